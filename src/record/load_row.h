#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace programador {

// One load of one device, as the record keeps it.
struct LoadRow {
    QUuid id;                // made at the load's start: the row's identity in the database
    QString station;         // the bench PC: its host name unless configured
    QString version;         // the program's
    QDateTime start;
    int number = 0;          // the COM number; 0 for a device given by its path
    QString device;          // the device's path, as file_names keeps names
    QString serialNumber;    // the adapter's, when known
    QString image;           // the image file, as given: its name is recorded
    qint64 size = 0;         // its bytes
    QByteArray sha256;       // in hex
    int blocksSent = 0;
    int blocks = 0;
    QString result;          // in the window's words: "Programa listo", "Error de comunicacion" ...
    int status = 0;          // what the load's own exit status would be
    double seconds = 0;
    // The board and who loaded it, for tracing: each may be empty.
    QString serial;          // the board's serial number, scanned or given
    QString order;           // the work order or lot
    QString operatorName;    // who loaded it
    QString cause;           // why a load that is not "Programa listo" ended so, as the window says it

    // The record's CSV (RFC 4180, CRLF): the columns, the header, and the row, with the columns
    // given (a file begun by an earlier version keeps its own; one it does not have is empty).
    // Names are written as the bytes they are, so that the row names the real file and device
    // even when the name is not UTF-8; no text cell ever starts as a spreadsheet's formula.
    static QList<QByteArray> csvColumns();
    static QByteArray csvHeader();
    // The names as a database's text keeps them (UTF-8 only): the device's path and the image
    // file's name, each byte that does not decode shown as U+FFFD.
    QString storedDevice() const;
    QString storedImage() const;
    QByteArray csv(const QList<QByteArray>& columns = csvColumns()) const;

    // The row as an INSERT into the table cargas, for psql: one that is there already changes
    // nothing.
    QByteArray sql() const;

    // The row as the spool keeps it on its way to the database (JSON), and back; nothing when
    // the bytes are not such a row.
    QByteArray json() const;
    static std::optional<LoadRow> fromJson(const QByteArray& bytes);
};

} // namespace programador
