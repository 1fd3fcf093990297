#include "qserial_port_line.h"

#include "file_names.h"
#include "numbering_file.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <climits>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace programador {

QSerialPortLine::QSerialPortLine(PortResolver resolve) : resolve_(std::move(resolve))
{
    // Only a lost device breaks the line. Other errors are not fatal: on a
    // pseudo-terminal, for instance, the modem-line ioctls report UnsupportedOperation.
    QObject::connect(&port_, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ResourceError && port_.isOpen() && !broken_) {
            broken_ = true;
            brokenCause_ = Cause::DeviceGone;
        }
    });
}

QSerialPortLine::~QSerialPortLine()
{
    release();
}

void QSerialPortLine::release()
{
    room_.reset();
    if (port_.isOpen())
        port_.close();
    if (held_ >= 0)
        ::close(held_);
    held_ = -1;
}

void QSerialPortLine::fail(Cause cause, const QString& detail)
{
    throw SerialError(cause, named_, detail);
}

void QSerialPortLine::setPortNumber(std::int16_t port)
{
    if (port < 1 || port > kComNumbers) {
        named_ = QStringLiteral("COM%1").arg(port);
        fail(Cause::PortFree);
    }
    portNumber_ = port;
}

void QSerialPortLine::setSettings(const QString& settings)
{
    // The device speaks 9600 baud, no parity, 8 data bits, 1 stop bit; nothing else is offered.
    if (settings.compare(QLatin1String("9600,N,8,1"), Qt::CaseInsensitive) != 0)
        fail(Cause::PortFailed, QStringLiteral("unsupported line settings \"%1\"").arg(settings));
}

void QSerialPortLine::setInputLength(std::int16_t length)
{
    if (length < 0)
        fail(Cause::PortFailed, QStringLiteral("invalid input length %1").arg(length));
    inputLength_ = length;
}

void QSerialPortLine::open()
{
    release();
    broken_ = false;
    brokenCause_ = Cause::None;
    const PortAssignment port = resolve_(portNumber_);
    named_ = port.named();
    device_ = port.path;
    if (port.state == PortAssignment::State::Free)
        fail(Cause::PortFree);
    const bool absent = port.state == PortAssignment::State::Absent;

    // The device itself, whatever name it goes by: a by-id link, a link in PROGRAMADOR_COMn and
    // the /dev node are one device, and one lock.
    // The path as the bytes it is: a name that is not UTF-8 opens too.
    const auto refused = [this](int error, const QByteArray& path) {
        const Cause cause = portCause(error);
        fail(cause, cause == Cause::NoPortPermission ? permissionRemedy(deviceAccess(path)) : systemText(error));
    };
    char canonical[PATH_MAX];
    if (!::realpath(nameToBytes(device_).constData(), canonical)) {
        const int error = errno;
        if (absent && error == ENOENT)
            fail(Cause::DeviceAbsent);
        refused(error, nameToBytes(device_));
    }
    // The system's own answer to a refusal: the device is opened here first, and held open
    // beside Qt's descriptor until the line closes, so that this open's close is never the
    // last one (which would drop the modem lines between the two).
    held_ = ::open(canonical, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (held_ < 0)
        refused(errno, canonical);
    if (!::isatty(held_)) {
        release();
        fail(Cause::NotASerialPort);
    }
    // Qt's lock file is named after the device itself, as other serial programs name theirs:
    // a second program reaching it by any name is refused, root included (an exclusive open
    // does not stop root).
    port_.setPortName(QFile::decodeName(canonical));
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        // Opened a moment ago, so a refusal now is another program's lock or exclusive open.
        const QSerialPort::SerialPortError error = port_.error();
        const QString detail = port_.errorString();
        release();
        fail(error == QSerialPort::PermissionError ? Cause::PortInUse
                 : error == QSerialPort::DeviceNotFoundError ? Cause::DeviceGone
                                                             : Cause::PortFailed,
             detail);
    }
    // A program started meanwhile must not inherit the port and keep it from hanging up.
    ::fcntl(static_cast<int>(port_.handle()), F_SETFD, FD_CLOEXEC);
    room_ = std::make_unique<QSocketNotifier>(port_.handle(), QSocketNotifier::Write);
    room_->setEnabled(false);
    QObject::connect(room_.get(), &QSocketNotifier::activated, [this] { room_->setEnabled(false); });
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
        fail(Cause::PortFailed, QStringLiteral("not open"));
    if (!broken_ && hungUp()) {
        broken_ = true;
        brokenCause_ = Cause::DeviceGone;
    }
    if (broken_)
        fail(brokenCause_);
}

bool QSerialPortLine::drain()
{
    // What the tty holds takes 10 bits a byte at 9600 baud; with a margin, no more is waited.
    // A line that does not send it in that time (an adapter that stopped without hanging up)
    // is flushed, and the run told.
    const int fd = static_cast<int>(port_.handle());
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0)
        return true;   // not a tty that says: nothing to wait for
    const QDeadlineTimer deadline(500 + static_cast<qint64>(queued) * 10 * 1000 / 9600);
    while (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        if (deadline.hasExpired()) {
            ::tcflush(fd, TCOFLUSH);
            return false;
        }
        const timespec step{0, 2'000'000};
        ::nanosleep(&step, nullptr);
    }
    return true;
}

void QSerialPortLine::close()
{
    if (!port_.isOpen()) {
        release();
        return;
    }
    if (broken_ || hungUp()) {
        const Cause cause = broken_ ? brokenCause_ : Cause::DeviceGone;
        release();
        fail(cause);
    }
    // The final EOT reaches the device before the port closes.
    const bool drained = drain();
    release();
    if (!drained)
        fail(Cause::LineStuck);
}

bool QSerialPortLine::isOpen() const
{
    return port_.isOpen();
}

qsizetype QSerialPortLine::writeSome(const QByteArray& bytes)
{
    checkAlive();
    // The bytes go to the tty at once and in order: a block must not wait in a user-space
    // buffer for the next pass of the event loop. The tty takes a 132-byte block whole unless
    // the device stopped reading; then what it took is said, and the event loop is woken
    // when there is room.
    const int fd = static_cast<int>(port_.handle());
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            const int error = errno;
            broken_ = true;
            brokenCause_ = portCause(error);
            fail(brokenCause_, systemText(error));
        }
        room_->setEnabled(true);
        break;
    }
    return done;
}

int QSerialPortLine::bytesWaiting()
{
    if (!port_.isOpen())
        fail(Cause::PortFailed, QStringLiteral("not open"));
    // One look at the tty per pass: what it holds is picked up without waiting, and a
    // hang-up is noted. Bytes already received are reported even when the device has
    // gone since.
    if (port_.bytesAvailable() == 0) {
        const short revents = pollNow();
        if (revents & POLLIN)
            port_.waitForReadyRead(0);
        if ((revents & (POLLHUP | POLLERR | POLLNVAL)) && !broken_) {
            broken_ = true;
            brokenCause_ = Cause::DeviceGone;
        }
    }
    if (port_.bytesAvailable() > 0)
        return static_cast<int>(port_.bytesAvailable());
    if (broken_)
        fail(brokenCause_);
    return 0;
}

QByteArray QSerialPortLine::read()
{
    if (!port_.isOpen() || port_.bytesAvailable() == 0)
        checkAlive();
    return port_.read(inputLength_ > 0 ? inputLength_ : port_.bytesAvailable());
}

} // namespace programador
