#pragma once

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
    // A file written: the record of loads.
    NoWritePermission,
    WriteFailed,
    // The record's database.
    ServerRefused,       // it answered no: the role, the password, the database, a privilege
    ServerAway,          // out of reach for now
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
// "what: cause", what naming the file or the device; detail, the system's own words for a
// cause that has none of its own here (ReadFailed, WriteFailed, PortFailed, and the server's
// words for ServerRefused and ServerAway), or what
// permissionRemedy says for NoPortPermission (without it, the dialout remedy).
QString reasonLine(const QString& what, Cause cause, const QString& detail = {});

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
// The system's words for an errno.
QString systemText(int error);

} // namespace programador
