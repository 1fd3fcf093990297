#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace programador {

// One load of one device, as the record keeps it.
struct LoadRow {
    QDateTime start;
    int number = 0;          // the COM number; 0 for a device given by its path
    QString device;          // the device's path
    QString serialNumber;    // the adapter's, when known
    QString image;           // the image file, as given: its name is recorded
    qint64 size = 0;         // its bytes
    QByteArray sha256;       // in hex
    int blocksSent = 0;
    int blocks = 0;
    QString result;          // in the window's words: "Programa listo", "Error de comunicacion" ...
    int status = 0;          // what the load's own exit status would be
    double seconds = 0;
};

// The record of loads: a CSV file (RFC 4180, UTF-8) that a spreadsheet opens as it is, one row
// per load. Each row reaches the file in one write on a descriptor opened with O_APPEND and is
// flushed to disk before append() returns, so several programs can share the file, a power cut
// loses at most the row in flight, and no row is ever written over another.
class LoadRecord {
public:
    LoadRecord() = default;
    ~LoadRecord();
    LoadRecord(const LoadRecord&) = delete;
    LoadRecord& operator=(const LoadRecord&) = delete;

    // Opens the file for appending, creating it, with a header row when it is new or empty.
    // False, with the reason, when it cannot be opened.
    bool open(const QString& path, QString& why);
    bool isOpen() const { return fd_ >= 0; }
    // Appends the row. A file that stops taking rows says so once on standard error; the loads
    // go on.
    void append(const LoadRow& row);

    static QByteArray header();
    static QByteArray csv(const LoadRow& row);

private:
    int fd_ = -1;
    QString path_;
    bool failed_ = false;
};

} // namespace programador
