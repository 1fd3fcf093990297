#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace programador {

// A serial device of the machine, as the system describes it.
struct SerialDevice {
    QString path;            // its /dev node: /dev/ttyUSB0
    QString stableName;      // its /dev/serial/by-id/ link where udev made one, else path
    QString description;     // "FT232R USB UART"; may be empty (a built-in UART)
    QString manufacturer;
    QString serialNumber;
    QString slotName;        // its /dev/serial/by-path/ link (the USB port it is in); may be empty

    bool operator==(const SerialDevice&) const = default;
};

// The machine's serial devices, and word when they may have changed.
class DeviceList {
public:
    virtual ~DeviceList() = default;
    virtual QList<SerialDevice> present() = 0;
    std::function<void()> changed;   // a device was plugged in or pulled out
};

} // namespace programador
