#pragma once

#include "csv_file.h"
#include "load_row.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace programador {

// The rows on their way to a database, made durable on this PC first, one file a row, in
// $XDG_STATE_HOME/programador/pendientes/<the destination's key>/ (~/.local/state/... without the
// variable). A row's file is written whole under a name of its own, flushed, then renamed into
// the folder, so a reader finds every row whole or not at all; names sort by the load's start.
// Several programs of the same user may share the folder: each row has its own file, and a row
// sent twice is inserted once (its id).
class Spool : public RowStore {
public:
    explicit Spool(const QString& destination);

    // 0, or the errno of the failure (the row is then not in the folder).
    int put(const LoadRow& row) override;
    QString name() const override { return folder_; }
    // The rows' files, oldest load first.
    QStringList pending() const;
    std::optional<LoadRow> read(const QString& file) const;
    void remove(const QString& file) const;
    QString folder() const { return folder_; }

private:
    QString folder_;
};

} // namespace programador
