#include "device_harness.h"
#include "files.h"

#include <QDeadlineTimer>
#include <QFile>

#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace programador::testing {

namespace {

constexpr int kBlock = 132;

void writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0, n = 0; fd >= 0 && n >= 0 && done < bytes.size(); done += n)
        n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
}

// True while the process is blocked in read(2) on its standard input: its syscall file
// says "running" while it runs, else the call's number and arguments.
bool readingStdin(pid_t pid)
{
    const QList<QByteArray> call = fileBytes(QStringLiteral("/proc/%1/syscall").arg(pid)).split(' ');
    return call.size() > 1 && call[0] == QByteArray::number(SYS_read) && call[1] == "0x0";
}

// The bytes waiting in a terminal's or a pipe's queue. A terminal's bytes reach its queue
// through the kernel's buffer work, a moment after they were written: an empty queue alone may
// mean "not there yet". A poll first completes that work, so that bytes on their way count.
int unread(int fd)
{
    int n = 0;
    pollfd queue{fd, POLLIN, 0};
    return fd >= 0 && ::poll(&queue, 1, 0) >= 0 && ::ioctl(fd, FIONREAD, &n) == 0 ? n : 0;
}

} // namespace

DeviceHarness::DeviceHarness(DeviceFaults faults) : faults_(faults)
{
    char name[64];
    termios raw{};
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0
        || (slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0 || ::tcgetattr(slave_, &raw) != 0)
        return;
    path_ = QString::fromLocal8Bit(name);
    ::cfmakeraw(&raw);
    if (::tcsetattr(slave_, TCSANOW, &raw) == 0 && ::pipe2(wake_, O_CLOEXEC) == 0 && dir_.isValid())
        thread_ = std::thread([this] { run(); });
}

DeviceHarness::~DeviceHarness()
{
    if (thread_.joinable()) {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        writeAll(wake_[1], "w");
        thread_.join();
    }
    if (rx_ > 0 && ::kill(rx_, SIGKILL) == 0)
        ::waitpid(rx_, nullptr, 0);
    for (const int fd : {master_, slave_, wake_[0], wake_[1], toRx_, fromRx_})
        ::close(fd);   // -1 is refused, harmlessly
}

// The gate. rx answers, then empties its input, then reads the next block: whatever
// reached it between its answer and that purge would be thrown away, and the loader
// writes the next block within microseconds of an ACK. So the relay hands rx the loader's
// bytes only while rx is blocked in read(2) on its standard input, and holds them
// meanwhile, looking again every 50 us. rx reads nothing between an answer and its purge,
// and the loader sends nothing unanswered, so what rx is handed it reads before it answers
// and purges again. (On these pipes rx's purge only drops its own read-ahead, which the
// gate keeps empty; on a terminal of its own it also flushes the terminal, and without the
// gate a busy machine loses a block there within a few runs.)
void DeviceHarness::run()
{
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);   // rx gone is an EPIPE here, not a signal
    const timespec look{0, 50000};
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        pollfd fds[3] = {{wake_[0], POLLIN, 0}, {fromRx_, POLLIN, 0}, {deaf_ ? -1 : master_, POLLIN, 0}};
        lock.unlock();
        ::ppoll(fds, 3, held_.isEmpty() || rx_ < 0 ? nullptr : &look, nullptr);
        lock.lock();
        char buf[4096];
        if (fds[0].revents)
            (void)!::read(wake_[0], buf, sizeof buf);
        if (const ssize_t n = fds[1].revents ? ::read(fromRx_, buf, sizeof buf) : -1; n > 0) {
            answer(QByteArray(buf, n));
        } else if (n == 0) {   // rx has ended
            int status = 0;
            ::waitpid(rx_, &status, 0);
            ::close(fromRx_);
            ::close(toRx_);   // each board's rx has pipes of its own
            rx_ = fromRx_ = toRx_ = -1;
            ok_ = !ended_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
            ended_ = true;
        }
        if (const ssize_t n = (fds[2].revents & POLLIN) ? ::read(master_, buf, sizeof buf) : 0; n > 0)
            fromLoader(QByteArray(buf, n));
        if (!held_.isEmpty() && rx_ > 0 && readingStdin(rx_)) {
            writeAll(toRx_, held_);
            held_.clear();
        }
        changed_.notify_all();
    }
}

void DeviceHarness::fromLoader(QByteArray bytes)
{
    heard_ += bytes;
    if (on_ && !relaying_ && bytes.contains('*')) {
        bytes.remove(0, bytes.indexOf('*') + 1);
        startRx();
    }
    if (!relaying_ || ended_)
        return;
    line_ += bytes;
    held_ += bytes;
    if (faults_.hangUpInBlock > 0 && line_.size() > (faults_.hangUpInBlock - 1) * kBlock)
        hangUp();
}

void DeviceHarness::startRx()
{
    relaying_ = true;
    const QByteArray dir = QFile::encodeName(dir_.path());
    const int log = ::open("/dev/null", O_WRONLY | O_CLOEXEC);   // rx's complaints
    int in[2], out[2];
    if (log < 0 || ::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || (rx_ = ::fork()) < 0) {
        ended_ = true;
        return;
    }
    if (rx_ == 0) {   // binary, quiet, over an old file; the 8-bit checksum unless told -c
        if (::dup2(in[0], 0) == 0 && ::dup2(out[1], 1) == 1 && ::dup2(log, 2) == 2 && ::chdir(dir.constData()) == 0)
            ::execlp("rx", "rx", "-b", "-q", "-y", "received.bin", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (const int fd : {in[0], out[1], log})
        ::close(fd);
    toRx_ = in[1];
    fromRx_ = out[0];
}

// rx's answers reach the loader through the faults.
void DeviceHarness::answer(QByteArray bytes)
{
    const int block = int((line_.size() + kBlock - 1) / kBlock);   // blocks begun
    if (block == 0 && bytes == "\x15" && faults_.floodAcks) {
        bytes += QByteArray(4000, '\x06');
        deaf_ = true;
    }
    if (faults_.silentFromBlock > 0 && block >= faults_.silentFromBlock)
        bytes.clear();
    else if (bytes == "\x06" && block == faults_.holdAckOfBlock && !released_)
        heldAck_.swap(bytes);
    writeAll(master_, bytes);
}

void DeviceHarness::release()
{
    const std::lock_guard lock(mutex_);
    released_ = true;
    writeAll(master_, heldAck_);
    heldAck_.clear();
}

void DeviceHarness::unlinkOnHangUp(const QString& link)
{
    const std::lock_guard lock(mutex_);
    link_ = QFile::encodeName(link);
}

void DeviceHarness::hangUp()
{
    if (!link_.isEmpty())
        ::unlink(link_.constData());
    ::close(master_);
    ::close(slave_);
    master_ = slave_ = -1;
    ended_ = true;
}

void DeviceHarness::sendBeforeOpen(const QByteArray& bytes)
{
    {
        const std::lock_guard lock(mutex_);
        writeAll(master_, bytes);
    }
    for (QDeadlineTimer deadline(5000); !deadline.hasExpired() && unread(slave_) < bytes.size();)
        std::this_thread::yield();
}

void DeviceHarness::switchOn(const QByteArray& startUp)
{
    const std::lock_guard lock(mutex_);
    on_ = true;
    writeAll(master_, startUp);
}

void DeviceHarness::pullCable()
{
    {
        const std::lock_guard lock(mutex_);
        hangUp();
    }
    writeAll(wake_[1], "w");
}

void DeviceHarness::pullCableOnceRead()
{
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired() && unread(slave_) > 0;)
        std::this_thread::yield();
    pullCable();
}

void DeviceHarness::nextBoard()
{
    const std::lock_guard lock(mutex_);
    // The board before, still receiving (its loader gave up on it), goes with its receiver.
    if (rx_ > 0 && ::kill(rx_, SIGKILL) == 0)
        ::waitpid(rx_, nullptr, 0);
    if (rx_ > 0) {
        ::close(fromRx_);
        ::close(toRx_);
        rx_ = fromRx_ = toRx_ = -1;
        writeAll(wake_[1], "w");
    }
    on_ = relaying_ = ended_ = ok_ = released_ = false;
    line_.clear(), held_.clear(), heldAck_.clear();
    QFile::remove(dir_.filePath("received.bin"));
}

bool DeviceHarness::finished(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return ended_; }) && ok_;
}

QByteArray DeviceHarness::heard() const
{
    const std::lock_guard lock(mutex_);
    return heard_;
}

// A mark written on the loader's end of the line comes after everything the loader wrote.
QByteArray DeviceHarness::heardAll()
{
    const QByteArray mark(16, '\x04');   // never in the loader's bytes: one EOT at most
    std::unique_lock lock(mutex_);
    writeAll(slave_, mark);
    if (!changed_.wait_for(lock, std::chrono::seconds(10), [&] { return heard_.endsWith(mark); }))
        return QByteArrayLiteral("(the mark never came)");
    heard_.chop(mark.size());   // the mark is the test's, not the loader's
    return heard_;
}

bool DeviceHarness::stalled() const
{
    const std::lock_guard lock(mutex_);
    return deaf_ && unread(master_) >= 4095;
}

bool DeviceHarness::quiet() const
{
    const std::lock_guard lock(mutex_);
    if (deaf_)
        return true;
    // Bytes handed to rx wait in its pipe until it runs: it still shows blocked in read(2) on a
    // busy machine that has not yet given it the processor.
    return held_.isEmpty() && unread(master_) == 0 && unread(slave_) == 0 && unread(fromRx_) == 0 && unread(toRx_) == 0
        && (rx_ < 0 || readingStdin(rx_));
}

bool DeviceHarness::at9600_8N1() const
{
    termios t{};
    return ::tcgetattr(slave_, &t) == 0 && ::cfgetospeed(&t) == B9600 && (t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)) == CS8;
}

QByteArray DeviceHarness::received() const { return fileBytes(dir_.filePath("received.bin")); }


} // namespace programador::testing
