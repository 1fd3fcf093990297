#pragma once

#include "serial_device.h"

#include <QFileSystemWatcher>
#include <QTimer>

namespace programador {

// The serial devices udev knows, through QSerialPortInfo, with their by-id names. A built-in
// UART that answers as no UART at all (the kernel makes /dev/ttyS0 to 3 whether or not one is
// there) is no device. Nodes appearing in or leaving /dev are noticed through inotify, and
// told once udev has had time to describe them.
class SystemDevices : public DeviceList {
public:
    SystemDevices();
    QList<SerialDevice> present() override;

private:
    void watch();

    QFileSystemWatcher watcher_;
    QTimer settle_;
};

} // namespace programador
