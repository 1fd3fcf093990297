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
    int number = 0;            // 1 to 16; 0 for a path given as it is
    State state = State::Free;
    QString path;          // what COMn opens: the variable's path, or the device's name as numbered
    SerialDevice device;   // when Present: the device as the system describes it
    // Numbered by slot, when another adapter than the one last seen there came into it in this
    // run: the serial number of the one before (the new one's is device.serialNumber).
    QString formerAdapter;

    // What the port dialog shows beside the number: "FT232R USB UART, /dev/ttyUSB0",
    // "desconectado", "libre"; an adapter changed in its slot says so after it.
    QString describe() const;
    // "otro adaptador: antes A50285BI, ahora FT9ZK3"; empty when it did not change.
    QString adapterChange() const;
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
// takes the lowest free number of COM1 to COM16 (a built-in /dev/ttySk takes COM(k+1) when that
// is free) and keeps it, also while unplugged. When a new device finds all sixteen taken, it
// takes the number of the absent device seen longest ago. The numbers live in an INI file
// (NumberingFile), which a person may edit by hand; [vistos] keeps when each absent device was
// last seen:
//
//   [puertos]
//   COM3=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
//   [vistos]
//   COM3=2026-12-08T10:00:00Z
//
// A number stays with the adapter (its by-id name) unless [puertos] says "por=ranura": then it
// stays with the USB port the adapter is plugged into (its by-path name), so that an adapter
// replaced in a fixture's slot keeps the slot's number. [adaptadores] then keeps the serial
// number of the adapter last seen in each slot, and another one there is said (beside the
// number, in the bench and in --list) for the rest of the run. A device with no by-path name
// (a built-in UART) stays numbered by its own name. Switching from one to the other renames the
// numbers of the devices present.
//
// The file is rewritten only when the numbering changed, keeping every other line of it. One
// that cannot be read (a FIFO or a device in its place among them), holds lines that are not
// INI, or cannot be written is left as it is: the numbering then lives in memory for the run,
// and one line on standard error says why. A key under those sections that is not COM1..COM16
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
    // Present devices that found no number (all sixteen held by present devices).
    QList<SerialDevice> unnumbered() const { return unnumbered_; }
    // The numbers shown, COM1 to COMn: at least the four of the port dialog, then up to the
    // highest one that stands for something.
    int shown() const;
    // programador --list: a line for each number shown, then one for each unnumbered device.
    QStringList listing() const;

    DeviceList& devices() { return devices_; }
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };

private:
    void read();
    void write();
    // The present device that the file's name for a number means, if any.
    const SerialDevice* deviceFor(const QString& name) const;
    // The name a number keeps for the device: its slot's when numbered by slot, else its own.
    QString nameOf(const SerialDevice& device) const;
    // Numbered by slot: the adapters in their slots, as they are now.
    void noteAdapters();
    // Says the line on standard error, once in the run.
    void say(const QString& line);
    void trouble(const QString& why);

    DeviceList& devices_;
    NumberingFile file_;
    QMap<int, QString> numbers_;   // COMn -> the device's name: a by-id link or a /dev path
    QMap<int, QString> seen_;      // COMn -> when its absent device was last seen
    QMap<int, QString> adapters_;  // COMn -> the serial number of the adapter last seen in its slot
    QMap<int, QString> formers_;   // COMn -> the one before, when it changed in this run
    bool bySlot_ = false;
    QList<SerialDevice> present_;
    QList<SerialDevice> unnumbered_;
    bool inMemory_ = false;        // the file failed: the numbering lives here for the run
    QSet<QString> said_;
};

} // namespace programador
