#include "qserial_port_line.h"

#include <QByteArray>
#include <QDeadlineTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace programador {

QSerialPortLine::QSerialPortLine(QString device) : fixedDevice_(std::move(device))
{
    // Only a lost device breaks the line. Other errors are not fatal: on a
    // pseudo-terminal, for instance, the modem-line ioctls report UnsupportedOperation.
    QObject::connect(&port_, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ResourceError && port_.isOpen() && !broken_) {
            broken_ = true;
            brokenReason_ = port_.errorString();
        }
    });
}

QSerialPortLine::~QSerialPortLine()
{
    if (port_.isOpen())
        port_.close();
}

QString QSerialPortLine::devicePath(std::int16_t port)
{
    const QByteArray configured = qgetenv(QByteArray("PROGRAMADOR_COM") + QByteArray::number(port));
    if (!configured.isEmpty())
        return QString::fromLocal8Bit(configured);
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

void QSerialPortLine::fail(const QString& reason)
{
    const QString named = !device_.isEmpty() ? device_ : !fixedDevice_.isEmpty() ? fixedDevice_ : devicePath(portNumber_);
    const QString line = QStringLiteral("programador: %1: %2").arg(named, reason);
    // A line that broke says so once; what fails after it on the same line adds nothing.
    if (!broken_ || !brokenReported_)
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    brokenReported_ = broken_;
    throw SerialError(line.toStdString());
}

void QSerialPortLine::setPortNumber(std::int16_t port)
{
    if (port < 1 || port > 4) {
        device_.clear();
        fail(QStringLiteral("no such port number %1").arg(port));
    }
    portNumber_ = port;
}

void QSerialPortLine::setSettings(const QString& settings)
{
    // The device speaks 9600 baud, no parity, 8 data bits, 1 stop bit; nothing else is offered.
    if (settings.compare(QLatin1String("9600,N,8,1"), Qt::CaseInsensitive) != 0)
        fail(QStringLiteral("unsupported line settings \"%1\"").arg(settings));
}

void QSerialPortLine::setInputLength(std::int16_t length)
{
    if (length < 0)
        fail(QStringLiteral("invalid input length %1").arg(length));
    inputLength_ = length;
}

void QSerialPortLine::open()
{
    if (port_.isOpen())
        port_.close();
    broken_ = false;
    brokenReported_ = false;
    brokenReason_.clear();
    device_ = fixedDevice_.isEmpty() ? devicePath(portNumber_) : fixedDevice_;
    port_.setPortName(device_);
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite))
        fail(port_.errorString());
    // A program started meanwhile must not inherit the port and keep it from hanging up.
    ::fcntl(static_cast<int>(port_.handle()), F_SETFD, FD_CLOEXEC);
    // Nothing that arrived before this open belongs to the run.
    port_.clear(QSerialPort::Input);
}

short QSerialPortLine::pollNow() const
{
    pollfd pfd{static_cast<int>(port_.handle()), POLLIN, 0};
    return ::poll(&pfd, 1, 0) < 0 ? 0 : pfd.revents;
}

bool QSerialPortLine::hungUp() const
{
    return (pollNow() & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void QSerialPortLine::checkAlive()
{
    if (!port_.isOpen())
        fail(QStringLiteral("port is not open"));
    if (!broken_ && hungUp()) {
        broken_ = true;
        brokenReason_ = QStringLiteral("the device went away");
    }
    if (broken_)
        fail(brokenReason_);
}

void QSerialPortLine::close()
{
    if (!port_.isOpen())
        return;
    if (broken_ || hungUp()) {
        const QString reason = broken_ ? brokenReason_ : QStringLiteral("the device went away");
        port_.close();
        fail(reason);
    }
    // Let the tty send what it holds, so the final EOT reaches the device before the port
    // closes. At 9600 baud a block leaves in 140 ms.
    const int fd = static_cast<int>(port_.handle());
    int drained;
    do {
        drained = ::tcdrain(fd);
    } while (drained != 0 && errno == EINTR);
    const int drainError = drained != 0 ? errno : 0;
    port_.close();
    if (drainError != 0 && drainError != ENOTTY)
        fail(QString::fromLocal8Bit(std::strerror(drainError)));
}

bool QSerialPortLine::isOpen() const
{
    return port_.isOpen();
}

void QSerialPortLine::write(const QByteArray& bytes)
{
    checkAlive();
    // The bytes go to the tty at once and in order, in as few writes as it takes: a block
    // must not wait in a user-space buffer for the next pass of the event loop. The tty
    // takes a 132-byte block whole; should it be full, wait for room, a bounded time.
    const int fd = static_cast<int>(port_.handle());
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    const QDeadlineTimer deadline(5000);
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n > 0) {
            data += n;
            left -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            broken_ = true;
            brokenReason_ = QString::fromLocal8Bit(std::strerror(errno));
            fail(brokenReason_);
        }
        pollfd pfd{fd, POLLOUT, 0};
        if (deadline.hasExpired() || ::poll(&pfd, 1, static_cast<int>(deadline.remainingTime())) <= 0)
            fail(QStringLiteral("the line takes no more bytes"));
    }
}

int QSerialPortLine::bytesWaiting()
{
    if (!port_.isOpen())
        fail(QStringLiteral("port is not open"));
    // One look at the tty per pass: what it holds is picked up without waiting, and a
    // hang-up is noted. Bytes already received are reported even when the device has
    // gone since.
    if (port_.bytesAvailable() == 0) {
        const short revents = pollNow();
        if (revents & POLLIN)
            port_.waitForReadyRead(0);
        if ((revents & (POLLHUP | POLLERR | POLLNVAL)) && !broken_) {
            broken_ = true;
            brokenReason_ = QStringLiteral("the device went away");
        }
    }
    if (port_.bytesAvailable() > 0)
        return static_cast<int>(port_.bytesAvailable());
    if (broken_)
        fail(brokenReason_);
    return 0;
}

QByteArray QSerialPortLine::read()
{
    if (!port_.isOpen() || port_.bytesAvailable() == 0)
        checkAlive();
    return port_.read(inputLength_ > 0 ? inputLength_ : port_.bytesAvailable());
}

} // namespace programador
