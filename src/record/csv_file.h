#pragma once

#include "load_row.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace programador {

// Where a row is made durable on this PC: the CSV file itself, or the spool on its way to a
// database.
class RowStore {
public:
    // Runs the one step that makes a row the store's (its bytes written into the file, its file
    // renamed into the spool) and gives back its result, 0 or an errno; ECANCELED without
    // running it when the record has ended. The record runs it under its own lock, so that its
    // end never comes in the middle of it: a row whose step ran is the store's.
    using Commit = std::function<int(const std::function<int()>& step)>;

    virtual ~RowStore() = default;
    // 0, or the errno of the failure. Before commit took the row, a failure leaves the store as
    // it was; after it (a flush that failed), the row stays the store's.
    virtual int put(const LoadRow& row, const Commit& commit) = 0;
    virtual QString name() const = 0;   // as a message names it
};

// The record's CSV file, shared by every program that names it. Each row is appended under
// the file's lock, whole or not at all: the size is noted first, and a short or failed write
// cuts the file back to it, so a full disk never leaves a torn row for the next one to be glued
// onto. A row always starts on a line of its own, whatever another program or a crash left.
class CsvFile : public RowStore {
public:
    CsvFile() = default;
    ~CsvFile() override;
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    // Opens path for appending, creating it. Never blocks: a FIFO, a device or anything else
    // that is not a regular file is refused at once. An empty file gets the header; a file
    // begun by an earlier version keeps the columns of its header. False, with the reason,
    // when the file cannot be used.
    bool open(const QString& path, QString& why);
    // Appends the row, flushed to disk before it returns: 0, or the errno of the failure. A
    // failed write leaves the file as it was; the row is the file's once its bytes are written
    // (commit), even when the flush after it fails.
    int put(const LoadRow& row, const Commit& commit) override { return append(&row, commit); }
    QString name() const override { return path_; }
    // The row's columns that the file's header does not have, so are not written there.
    QList<QByteArray> missing() const;

private:
    int append(const LoadRow* row, const Commit& commit);   // none: the header of an empty file alone
    void readHeader();

    int fd_ = -1;
    QString path_;
    QList<QByteArray> columns_ = LoadRow::csvColumns();   // as the file's header has them
};

} // namespace programador
