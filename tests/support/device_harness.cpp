#include "device_harness.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <numeric>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace programador::testing {

namespace {

constexpr char kSoh = 0x01, kEot = 0x04, kAck = 0x06, kNak = 0x15;
constexpr int kBlock = 132;
constexpr timespec kGateLook{0, 50000};   // 50 us

void writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0, n = 0; fd >= 0 && n >= 0 && done < bytes.size(); done += n)
        n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
}

// True while the process is blocked in read(2) on its standard input. The file says
// "running" while it runs, else the system call's number and arguments.
bool readingStdin(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/syscall").arg(pid));
    const QList<QByteArray> call = file.open(QIODevice::ReadOnly) ? file.readAll().split(' ') : QList<QByteArray>();
    return call.size() > 1 && call[0] == QByteArray::number(SYS_read) && call[1] == "0x0";
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

DeviceHarness::DeviceHarness(Receiver receiver, Faults faults) : receiver_(receiver), faults_(faults)
{
    char name[64];
    termios raw{};
    master_ = ::open("/dev/ptmx", O_RDWR | O_NOCTTY | O_CLOEXEC);
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
        stopping_ = true;
        wake();
        thread_.join();
    }
    if (rx_ > 0 && ::kill(rx_, SIGKILL) == 0)
        ::waitpid(rx_, nullptr, 0);
    for (const int fd : {master_, slave_, wake_[0], wake_[1], toRx_, fromRx_})
        ::close(fd);   // -1 is refused, harmlessly
}

// The gate. rx answers, then empties its input, then reads the next block: whatever
// reached it between its answer and that purge is thrown away. The loader writes the
// next block within microseconds of an ACK, so on a busy machine the block could come
// while rx, descheduled, has not yet purged. So the relay hands rx the loader's bytes
// only while rx is blocked in read(2) on its standard input (/proc/<pid>/syscall), and
// holds them meanwhile, looking again every kGateLook. rx reads nothing between an
// answer and its purge, and the loader sends nothing unanswered, so whatever rx is
// handed it reads before it answers and purges again.
// On these pipes rx's purge is weaker than on a terminal: its TCFLSH fails (ENOTTY), so
// it only drops its own read-ahead, which the gate keeps empty. Given a terminal of its
// own, rx lost a block within two runs of the end-to-end test beside a parallel build
// with the gate open, and none in thirty with it.
void DeviceHarness::run()
{
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);   // an rx gone is an EPIPE here, not a signal
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (hangUpWanted_)
            hangUpNow();
        pollfd fds[3] = {{wake_[0], POLLIN, 0}, {fromRx_, POLLIN, 0}, {master_, POLLIN, 0}};
        const timespec* timeout = !held_.isEmpty() && rx_ > 0 ? &kGateLook : nullptr;   // the gate is shut
        lock.unlock();
        ::ppoll(fds, 3, timeout, nullptr);
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
            rx_ = fromRx_ = -1;
            end(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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
    if (phase_ == Phase::On && bytes.contains('*')) {
        bytes.remove(0, bytes.indexOf('*') + 1);
        takeLine();
    }
    if (phase_ != Phase::Receiving)
        return;
    line_ += bytes;
    if (faults_.hangUpInBlock > 0 && line_.size() > (faults_.hangUpInBlock - 1) * kBlock)
        return hangUpNow();
    if (receiver_ == Receiver::Rx)
        held_ += bytes;
    else
        takeBlocks();
}

// The receiver takes the line: the exact one asks for the first block, or rx starts.
void DeviceHarness::takeLine()
{
    phase_ = Phase::Receiving;
    if (receiver_ == Receiver::Exact)
        return void(answer(QByteArray(1, kNak)));
    const QByteArray dir = QFile::encodeName(dir_.path());
    const int log = ::open(QFile::encodeName(dir_.filePath("rx.log")).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    int in[2], out[2];
    if (log < 0 || ::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || (rx_ = ::fork()) < 0)
        return end(false, QStringLiteral("rx cannot start"));
    if (rx_ == 0) {   // XMODEM with the 8-bit checksum (no -c), binary, quiet, over an old file
        if (::dup2(in[0], 0) == 0 && ::dup2(out[1], 1) == 1 && ::dup2(log, 2) == 2 && ::chdir(dir.constData()) == 0)
            ::execlp("rx", "rx", "-b", "-q", "-y", "received.bin", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (const int fd : {in[0], out[1], log})
        ::close(fd);
    toRx_ = in[1];
    fromRx_ = out[0];
}

// Every answer to the loader, from rx or the exact receiver, passes here and meets the
// faults. True when an ACK went out.
bool DeviceHarness::answer(QByteArray bytes)
{
    const int block = static_cast<int>((line_.size() + kBlock - 1) / kBlock);   // blocks begun
    const bool ack = bytes == QByteArray(1, kAck);
    if (block == 0 && bytes == QByteArray(1, kNak) && (faults_.noNak || faults_.crcInsteadOfNak))
        bytes = faults_.noNak ? QByteArray() : QByteArray("C");
    if (faults_.silentFromBlock > 0 && block >= faults_.silentFromBlock)
        bytes.clear();
    else if (ack && block == faults_.nakAfterBlock)
        bytes = QByteArray(1, kNak);
    else if (ack && block == faults_.garbageAfterBlock)
        bytes.prepend("\xff\x00\x7f", 3);
    writeAll(master_, bytes);
    return bytes.endsWith(kAck);
}

void DeviceHarness::takeBlocks()
{
    while (phase_ == Phase::Receiving && taken_ < line_.size()) {
        const QByteArray b = line_.mid(taken_, kBlock);
        if (b[0] == kEot)
            return received_.isEmpty() ? end(false, QStringLiteral("EOT before any block")) : end(answer(QByteArray(1, kAck)));
        const QByteArray frame = b.left(3) + b.right(1);   // SOH, number, its complement, checksum
        const QByteArray want = QByteArray(1, kSoh) + static_cast<char>(expected_) + static_cast<char>(255 - expected_)
            + static_cast<char>(std::accumulate(b.cbegin() + 3, b.cend() - 1, 0));
        if (b[0] != kSoh || (b.size() == kBlock && frame != want))
            return end(false, "framing " + frame.toHex(' ') + ", wanted " + want.toHex(' '));
        if (b.size() < kBlock)
            return;
        taken_ += kBlock;
        if (answer(QByteArray(1, kAck))) {
            received_ += b.mid(3, 128);
            expected_ = (expected_ + 1) & 0xFF;
        }
    }
}

void DeviceHarness::hangUpNow()
{
    hangUpWanted_ = false;
    ::close(master_);
    ::close(slave_);
    master_ = slave_ = -1;
    end(false);
}

// The transfer is over; a complaint is the exact receiver's, about the block at hand.
void DeviceHarness::end(bool well, const QString& complaint)
{
    ok_ = phase_ == Phase::Ended ? ok_ : well;
    phase_ = Phase::Ended;
    if (!complaint.isEmpty())
        complaint_ = QStringLiteral("block %1: %2").arg(taken_ / kBlock + 1).arg(complaint);
}

void DeviceHarness::send(const QByteArray& bytes) { const std::lock_guard lock(mutex_); writeAll(master_, bytes); }

void DeviceHarness::switchOn(const QByteArray& startUp)
{
    const std::lock_guard lock(mutex_);
    phase_ = std::max(phase_, Phase::On);
    writeAll(master_, startUp);
}

void DeviceHarness::hangUp()
{
    // The thread closes the master: closed while the thread polls it, it would stay open
    // until the poll ends.
    std::unique_lock lock(mutex_);
    hangUpWanted_ = ready() && master_ >= 0;
    wake();
    changed_.wait(lock, [this] { return !hangUpWanted_; });
}

bool DeviceHarness::waitHeard(int count, int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return heard_.size() >= count; });
}

bool DeviceHarness::finished(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return phase_ == Phase::Ended; }) && ok_;
}

QByteArray DeviceHarness::heard() const { const std::lock_guard lock(mutex_); return heard_; }

// rx writes its file and its log in its own directory; neither needs the lock.
QByteArray DeviceHarness::received() const
{
    if (receiver_ == Receiver::Rx)
        return fileBytes(dir_.filePath("received.bin"));
    const std::lock_guard lock(mutex_);
    return received_;
}

QString DeviceHarness::log() const
{
    const QString rx = QString::fromLocal8Bit(fileBytes(dir_.filePath("rx.log")).right(600));
    const std::lock_guard lock(mutex_);
    return complaint_ + rx;
}

} // namespace programador::testing
