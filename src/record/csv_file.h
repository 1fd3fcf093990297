#pragma once

#include "load_row.h"

#include <QByteArray>
#include <QString>

namespace programador {

// Where a row is made durable on this PC: the CSV file itself, or the spool on its way to a
// database.
class RowStore {
public:
    virtual ~RowStore() = default;
    // 0, or the errno of the failure, after which the store is as it was.
    virtual int put(const LoadRow& row) = 0;
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
    // that is not a regular file is refused at once. An empty file gets the header. False,
    // with the reason, when the file cannot be used.
    bool open(const QString& path, QString& why);
    // Appends the row, flushed to disk before it returns: 0, or the errno of the failure,
    // after which the file is as it was.
    int append(const QByteArray& row);
    int put(const LoadRow& row) override { return append(row.csv()); }
    QString name() const override { return path_; }

private:
    int fd_ = -1;
    QString path_;
};

} // namespace programador
