#include "system_devices.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace programador {

namespace {

const QString kById = QStringLiteral("/dev/serial/by-id");
const QString kByPath = QStringLiteral("/dev/serial/by-path");

// udev's links in folder, by the node they lead to.
QMap<QString, QString> linksIn(const QString& folder)
{
    QMap<QString, QString> links;
    for (const QFileInfo& link : QDir(folder).entryInfoList(QDir::System | QDir::Files, QDir::Name | QDir::Reversed))
        links[link.canonicalFilePath()] = link.absoluteFilePath();
    return links;
}

// A built-in port with no UART behind it reports the type "unknown". One that cannot be
// asked (no permission) is kept: opening it will say why it cannot be used.
bool hasUart(const QString& path)
{
    if (!QFileInfo(path).fileName().startsWith(QLatin1String("ttyS")))
        return true;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return true;
    serial_struct info {};
    const bool unknown = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
    ::close(fd);
    return !unknown;
}

} // namespace

SystemDevices::SystemDevices()
{
    settle_.setSingleShot(true);
    settle_.setInterval(500);
    QObject::connect(&settle_, &QTimer::timeout, [this] {
        watch();   // /dev/serial/by-id and by-path come and go with the first and last adapter
        if (changed)
            changed();
    });
    QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, [this] { settle_.start(); });
    watch();
}

void SystemDevices::watch()
{
    for (const QString& folder : {QStringLiteral("/dev"), kById, kByPath}) {
        if (!watcher_.directories().contains(folder) && QFileInfo(folder).isDir())
            watcher_.addPath(folder);
    }
}

QList<SerialDevice> SystemDevices::present()
{
    const QMap<QString, QString> byId = linksIn(kById), byPath = linksIn(kByPath);

    QList<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString path = info.systemLocation();
        if (!hasUart(path))
            continue;
        devices.append({path, byId.value(path, path), info.description(), info.manufacturer(), info.serialNumber(),
                        byPath.value(path)});
    }
    return devices;
}

} // namespace programador
