#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace programador {

// Why a file or a serial port could not be used. Each cause is worded once, in Spanish, and
// the same words reach the second line of the operator's message box and the command line.
enum class Cause {
    None,
    // The firmware image file.
    NotFound,
    IsFolder,
    NotRegularFile,
    NoReadPermission,
    EmptyFile,
    TooLarge,            // more than the device takes
    ReadFailed,
    // A file written: the record of loads, its spool.
    NoWritePermission,
    NotAFolder,          // a part of the path, which should be a folder, is a file
    ReadOnlyFileSystem,
    DiskFull,
    WriteFailed,
    // The record's database, as its answer (its SQLSTATE) says.
    ServerAway,          // no answer, or the connection lost
    ServerBusy,          // it answered, and takes no rows for now: starting, stopping, full, a lock held
    PasswordMissing,     // it asks for a password that libpq's means do not hold
    PasswordRefused,
    RoleRefused,         // the role, or the server's rules for who may come in
    DatabaseMissing,
    SchemaMissing,
    TableNotMade,        // no table cargas, and the role may not make one
    PrivilegeMissing,    // the role may not add rows to cargas
    TableRefused,        // the table takes no rows of this role for another reason
    ServerRefused,       // it refused the connection for another reason
    RowRefused,          // this one row, for itself: the rows behind it go in
    // The serial port.
    PortFree,            // no device has the COM number
    DeviceAbsent,        // the number's device is not plugged in
    NoSuchDevice,
    NoPortPermission,
    PortInUse,
    DeviceGone,          // it went away while in use
    NotASerialPort,
    LineStuck,           // the line takes no more bytes, or does not send what it holds
    PortFailed,
};

// The cause of a failed open(2), stat or read(2) of a file, from its errno.
Cause fileCause(int error);
// The cause of a failed open(2) or write(2) of a file written, from its errno.
Cause writeCause(int error);
// The cause of a failed open of a serial device, from its errno.
Cause portCause(int error);
// "what: cause", what naming the file or the device; detail, the system's or the server's own
// words, in parentheses after the cause (a file that could not be read or written, a port that
// failed, and every cause of the record's database), or what permissionRemedy says for
// NoPortPermission (without it, the dialout remedy).
QString reasonLine(const QString& what, Cause cause, const QString& detail = {});
// The cause's words alone, as reasonLine has them after "what: ".
QString causeText(Cause cause);

// Who may open a device: the user asking, and the device's owner, group and mode.
struct DeviceAccess {
    QString user;    // the user the program runs as
    QString owner;   // empty when the device could not be looked at
    QString group;
    unsigned mode = 0;   // the permission bits
};
DeviceAccess deviceAccess(const QByteArray& path);
// What helps a user whom the device refused: joining its group when that group is dialout (the
// group serial devices belong to), else who the device belongs to, since no group remedy can help.
QString permissionRemedy(const DeviceAccess& access);
// Names as a sentence lists them: "serie", "serie y causa", "serie, orden y causa".
QString listed(const QList<QByteArray>& names);
// The system's words for an errno.
QString systemText(int error);

} // namespace programador
