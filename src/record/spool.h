#pragma once

#include "csv_file.h"
#include "destination.h"
#include "load_row.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace programador {

// The rows on their way to a database, made durable on this PC first, one file a row, in
// $XDG_STATE_HOME/programador/pendientes/<the server's key>/ (~/.local/state/... without the
// variable), with the destination's text beside them in a file "destino". A row's file is
// written whole under a name of its own that starts with a dot, flushed, then renamed into the
// folder, so a reader finds every row whole or not at all; names sort by the load's start.
// Several programs of the same user may share the folder: each row has its own file, and a row
// sent twice is inserted once (its id). Rows the server refuses for themselves, and files that
// are no row, are set aside in the folder's rechazadas/, each with the reason beside it.
class Spool : public RowStore {
public:
    explicit Spool(const Destination& destination);

    // 0, or the errno of the failure (the row is then not in the folder).
    int put(const LoadRow& row, const Commit& commit) override;
    QString name() const override { return folder_; }
    QString folder() const { return folder_; }
    QString setAsideFolder() const;

    // The rows' files, oldest load first.
    QStringList pending() const;
    // The row a file holds; nothing when it is gone (sent meanwhile by another program) or is
    // no row (broken).
    std::optional<LoadRow> read(const QString& file, bool& broken) const;
    void remove(const QString& file) const;
    // Moves the file to rechazadas/, with why beside it (name.motivo). False when it could not.
    bool setAside(const QString& file, const QString& why) const;

    // What a crash left: a row's file that was never renamed into place, older than a minute.
    void sweep() const;
    // Takes in the rows an earlier version of the program kept for this destination, in a folder
    // named by the destination's exact text.
    void adopt(const QString& text) const;
    // Other folders of this user's spool that hold rows, which nobody sends while no program
    // names their destination.
    struct Other {
        QString folder, destination;   // destination: empty when the folder does not say
        qsizetype rows = 0;
    };
    // except: a folder of this program's own, left out.
    static QList<Other> others(const QString& except = {});

    static QString root();

private:
    // The folder and its "destino", made when missing: 0 or the errno.
    int make() const;

    QString folder_;
    QString destination_;   // as the operator reads it
};

} // namespace programador
