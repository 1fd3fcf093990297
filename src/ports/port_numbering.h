#pragma once

#include "numbering_file.h"
#include "serial_device.h"

#include <QDateTime>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace programador {

// What a COM number stands for.
struct PortAssignment {
    enum class State {
        Given,      // a path given for the port (the command line's --device)
        Variable,   // PROGRAMADOR_COMn names a path
        Present,    // a device that has the number and is plugged in
        Absent,     // a device that has the number and is not plugged in
        Free,       // no device has the number
    };
    int number = 0;            // 1 to 4; 0 for a path given as it is
    State state = State::Free;
    QString path;          // what COMn opens: the variable's path, or the device's name as numbered
    SerialDevice device;   // when Present: the device as the system describes it

    // What the port dialog shows beside the number: "FT232R USB UART, /dev/ttyUSB0",
    // "desconectado", "libre".
    QString describe() const;
    // The port as the operator reads it in a message: "COM3 /dev/ttyUSB0", "COM4" when it is
    // free, the path alone when given as one.
    QString named() const;

    // A path given as it is.
    static PortAssignment given(const QString& path);
    // COMn from PROGRAMADOR_COMn alone: the path it names, or free.
    static PortAssignment fromVariable(int n);
};

// What opening COMn opens, asked at each open.
using PortResolver = std::function<PortAssignment(int)>;

// COM numbers as operators know them from Windows: a device plugged in for the first time
// takes the lowest free number (a built-in /dev/ttySk takes COM(k+1) when that is free) and
// keeps it, also while unplugged. When a new device finds all four taken, it takes the number
// of the absent device seen longest ago. The numbers live in an INI file (NumberingFile), which
// a person may edit by hand; [vistos] keeps when each absent device was last seen:
//
//   [puertos]
//   COM3=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
//   [vistos]
//   COM3=2026-12-08T10:00:00Z
//
// The file is rewritten only when the numbering changed, keeping every other line of it. One
// that cannot be read (a FIFO or a device in its place among them), holds lines that are not
// INI, or cannot be written is left as it is: the numbering then lives in memory for the run,
// and one line on standard error says why. A key under those sections that is not COM1..COM4
// is left in the file and said once to be ignored.
class PortNumbering {
public:
    explicit PortNumbering(DeviceList& devices, QString file = defaultFile());
    // $XDG_CONFIG_HOME/programador/puertos.ini, ~/.config/... when the variable is unset.
    static QString defaultFile();

    // What COMn stands for now: PROGRAMADOR_COMn when set and not empty (the devices are not
    // looked at), else what refresh() makes of the devices present.
    PortAssignment resolve(int n);
    // Looks at the devices present, numbers the new ones and rewrites the file if it changed.
    void refresh();
    // As the last refresh left it (the variable still comes first).
    PortAssignment assignment(int n) const;
    // Present devices that found no number (all four held by present devices).
    QList<SerialDevice> unnumbered() const { return unnumbered_; }
    // programador --list: a line for each number, then one for each unnumbered device.
    QStringList listing() const;

    DeviceList& devices() { return devices_; }
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };

private:
    void read();
    void write();
    // The present device that the file's name for a number means, if any.
    const SerialDevice* deviceFor(const QString& name) const;
    // Says the line on standard error, once in the run.
    void say(const QString& line);
    void trouble(const QString& why);

    DeviceList& devices_;
    NumberingFile file_;
    QMap<int, QString> numbers_;   // COMn -> the device's name: a by-id link or a /dev path
    QMap<int, QString> seen_;      // COMn -> when its absent device was last seen
    QList<SerialDevice> present_;
    QList<SerialDevice> unnumbered_;
    bool inMemory_ = false;        // the file failed: the numbering lives here for the run
    QSet<QString> said_;
};

} // namespace programador
