#pragma once

#include <QByteArray>
#include <QString>

namespace programador {

// The record's CSV file, shared by every program that names it. Each row is appended under
// the file's lock, whole or not at all: the size is noted first, and a short or failed write
// cuts the file back to it, so a full disk never leaves a torn row for the next one to be glued
// onto. A row always starts on a line of its own, whatever another program or a crash left.
class CsvFile {
public:
    CsvFile() = default;
    ~CsvFile();
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    // Opens path for appending, creating it. Never blocks: a FIFO, a device or anything else
    // that is not a regular file is refused at once. An empty file gets the header. False,
    // with the reason, when the file cannot be used.
    bool open(const QString& path, QString& why);
    // Appends the row, flushed to disk before it returns: 0, or the errno of the failure,
    // after which the file is as it was.
    int append(const QByteArray& row);
    QString path() const { return path_; }

private:
    int fd_ = -1;
    QString path_;
};

} // namespace programador
