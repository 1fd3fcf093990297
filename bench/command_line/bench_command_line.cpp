// The command line's bench mode as a production bench runs it: the real programador as a
// child process.
//  - Paced devices: one image into 1, 4 and 16 devices at once, each a pseudo-terminal that
//    this program paces like a 9600-baud 8N1 line (960 bytes a second each way) and on whose
//    far end it plays the device: start-up "++TA", NAK after the "*", every block checked and
//    answered ACK, EOT. For each device: the time from its "A" to its EOT, the pauses the
//    loader makes on its line, the line's physical limit and the ratio of the two; for the
//    program: its CPU (wait4, its own process only) and peak RSS. Then lrzsz sx on one such
//    line, for comparison: what a sender that answers at once gets from the line and device.
//  - Idle: --repeat on devices that are never switched on, and the CPU it takes to wait.
//  - Soak: --repeat --log through many boards on the device harness (unpaced, lrzsz rx behind
//    it): every board's image, the record's rows, the memory after board 10 and at the end,
//    and the exit by SIGINT.
// Prints figures; asserts nothing. Exits non-zero only when it cannot run or a device did not
// receive its image.
//
//   build/bench/bench_command_line [--bytes N] [--devices 1,4,16] [--idle SECONDS]
//                                  [--boards N] [--soak-bytes N] [--skip paced,quiet,sx,idle,soak]
//                                  [--show-output]
//
// --bytes: the paced image (32768, 256 blocks: about 36 s a load); --devices: the paced runs;
// --idle: how long each idle run is watched (20); --boards and --soak-bytes: the soak (200
// boards of 8192 bytes); --skip: parts left out (quiet is the 16-device run with standard error
// to /dev/null, sx the same paced line with lrzsz sx as the sender); --show-output: the
// program's standard error, copied to this one's.
#include "device_harness.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

using namespace programador::testing;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kBlock = 132;
constexpr int kData = 128;
constexpr char kSoh = 0x01, kEot = 0x04, kAck = 0x06, kNak = 0x15;
constexpr std::int64_t kBaud = 9600;
constexpr std::int64_t kBitsPerByte = 10;   // 8N1: start bit, 8 data bits, stop bit

// The time k bytes take on the line, and how many whole bytes fit in a time.
Clock::duration lineTime(std::int64_t bytes)
{
    return std::chrono::nanoseconds(bytes * kBitsPerByte * 1'000'000'000 / kBaud);
}
std::int64_t bytesIn(Clock::duration time)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time).count() * kBaud / (kBitsPerByte * 1'000'000'000);
}
double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}
double cpuSeconds(const rusage& r)
{
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec)
        + static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}
int blocksOf(qsizetype bytes)
{
    return static_cast<int>((bytes + kData - 1) / kData);
}
QByteArray padded(const QByteArray& image)
{
    return image + QByteArray(blocksOf(image.size()) * kData - image.size(), '\0');
}

// A device at the far end of a pseudo-terminal whose line moves at most 960 bytes a second
// each way. What the loader writes waits in the pseudo-terminal, as in a tty's output queue,
// and is read only as fast as the line would carry it: from the moment bytes are there (the
// line becomes busy) one byte per 1.0417 ms. Each byte the device sends is written when its
// own 1.0417 ms on the line have passed. A thread of its own; its figures are read after
// stop().
class PacedDevice {
public:
    struct Figures {
        std::optional<Clock::time_point> aSent;        // the start-up's "A" reached the loader
        std::optional<Clock::time_point> starIn;       // the "*" has crossed the line
        std::optional<Clock::time_point> nakSent;      // the NAK reached the loader
        std::optional<Clock::time_point> block1Start;  // block 1's first byte began to cross
        std::optional<Clock::time_point> eotIn;        // the EOT has crossed the line
        int blocks = 0;                                // blocks received whole and right
        std::int64_t lineBytes = 0;                    // both ways, from the NAK to the EOT
        std::int64_t stray = 0;                        // bytes from the loader out of place
        QString fault;                                 // the first thing that was wrong
    };

    explicit PacedDevice(QByteArray expected) : expected_(std::move(expected))
    {
        char name[64];
        termios raw{};
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0
            || (slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0 || ::tcgetattr(slave_, &raw) != 0)
            return;
        path_ = name;
        ::cfmakeraw(&raw);
        if (::tcsetattr(slave_, TCSANOW, &raw) == 0 && ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) == 0)
            thread_ = std::thread([this] { run(); });
    }
    ~PacedDevice()
    {
        stop();
        for (const int fd : {master_, slave_, wake_[0], wake_[1]})
            if (fd >= 0)
                ::close(fd);
    }
    PacedDevice(const PacedDevice&) = delete;
    PacedDevice& operator=(const PacedDevice&) = delete;

    bool ready() const { return thread_.joinable(); }
    const std::string& path() const { return path_; }
    void switchOn()
    {
        switchedOn_ = true;
        (void)!::write(wake_[1], "o", 1);
    }
    void stop()
    {
        if (!thread_.joinable())
            return;
        stopping_ = true;
        (void)!::write(wake_[1], "s", 1);
        thread_.join();
    }
    const Figures& figures() const { return f_; }   // after stop()
    bool done() const { return done_; }             // the EOT has come, or something was wrong
    int expectedBlocks() const { return static_cast<int>(expected_.size() / kData); }

private:
    struct Outgoing {
        char byte;
        Clock::time_point asked;   // when the device decided to send it
    };

    // When the byte at the head of the queue has crossed the line.
    Clock::time_point sendDue() const { return std::max(sent_.front().asked, lineFreeOut_) + lineTime(1); }
    // Bytes still to come before the device has something to act on.
    std::int64_t wanted() const { return block_.isEmpty() ? 1 : kBlock - block_.size(); }

    void run()
    {
        ::prctl(PR_SET_TIMERSLACK, 1UL);   // wake-ups to the microsecond, not 50 us late
        char buf[4096];
        while (!stopping_) {
            std::optional<Clock::time_point> due;
            if (!sent_.empty())
                due = sendDue();
            if (busy_) {
                const Clock::time_point next = busySince_ + lineTime(taken_ + wanted());
                due = due ? std::min(*due, next) : next;
            }
            pollfd fds[2] = {{wake_[0], POLLIN, 0}, {master_, static_cast<short>(busy_ ? 0 : POLLIN), 0}};
            timespec timeout{};
            if (due) {
                const auto left = std::max(Clock::duration::zero(), *due - Clock::now());
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                timeout = {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
            }
            ::ppoll(fds, 2, due ? &timeout : nullptr, nullptr);
            if (fds[0].revents)
                while (::read(wake_[0], buf, sizeof buf) > 0) {
                }
            if (switchedOn_ && !on_) {
                on_ = true;
                const Clock::time_point now = Clock::now();
                for (const char c : {'+', '+', 'T', 'A'})
                    sent_.push_back({c, now});
            }
            if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {   // never while this end holds the slave
                f_.fault = QStringLiteral("the pseudo-terminal hung up");
                return;
            }
            Clock::time_point now = Clock::now();
            // Loader to device: from the moment bytes wait, as many as the line has carried since.
            if (!busy_ && (fds[1].revents & POLLIN)) {
                busy_ = true;
                busySince_ = now;
                taken_ = 0;
            }
            if (busy_) {
                const std::int64_t allowed = bytesIn(now - busySince_) - taken_;
                if (allowed > 0) {
                    const ssize_t n = ::read(master_, buf, static_cast<size_t>(std::min<std::int64_t>(allowed, sizeof buf)));
                    for (ssize_t i = 0; i < n; ++i)
                        fromLoader(static_cast<char>(buf[i]), busySince_ + lineTime(taken_ + i + 1));
                    taken_ += std::max<ssize_t>(n, 0);
                    // Nothing more waiting: the line went idle when its last byte had crossed.
                    int waiting = 0;
                    if (n < allowed || ::ioctl(master_, FIONREAD, &waiting) != 0 || waiting == 0)
                        busy_ = false;
                }
            }
            // Device to loader: each byte once it has crossed the line.
            now = Clock::now();
            while (!sent_.empty() && sendDue() <= now) {
                const Outgoing out = sent_.front();
                lineFreeOut_ = sendDue();
                sent_.pop_front();
                if (::write(master_, &out.byte, 1) != 1 && f_.fault.isEmpty())
                    f_.fault = QStringLiteral("could not write to the pseudo-terminal");
                const Clock::time_point at = Clock::now();
                if (f_.starIn)
                    ++f_.lineBytes;
                if (out.byte == 'A' && !f_.aSent)
                    f_.aSent = at;
                if (out.byte == kNak && f_.starIn && !f_.nakSent)
                    f_.nakSent = at;
            }
        }
    }

    // One byte from the loader, which finished crossing the line at `at`; the device acts at
    // once, so what it answers is asked for at that moment.
    void fromLoader(char byte, Clock::time_point at)
    {
        if (f_.eotIn || !f_.fault.isEmpty()) {
            ++f_.stray;
            return;
        }
        if (!f_.starIn) {
            if (f_.aSent && byte == '*') {
                f_.starIn = at;
                sent_.push_back({kNak, at});
            } else {
                ++f_.stray;
            }
            return;
        }
        ++f_.lineBytes;
        if (block_.isEmpty()) {
            if (byte == kEot) {
                f_.eotIn = at;
                done_ = true;
                if (f_.blocks != expectedBlocks())
                    f_.fault = QStringLiteral("EOT after %1 of %2 blocks").arg(f_.blocks).arg(expectedBlocks());
                return;
            }
            if (byte != kSoh) {
                done_ = true;
                f_.fault = QStringLiteral("0x%1 where block %2 should begin").arg(static_cast<std::uint8_t>(byte), 2, 16, QLatin1Char('0')).arg(f_.blocks + 1);
                return;
            }
            if (f_.blocks == 0)
                f_.block1Start = at - lineTime(1);
        }
        block_.append(byte);
        if (block_.size() < kBlock)
            return;
        const int k = f_.blocks + 1;
        const auto number = static_cast<std::uint8_t>(k);
        const auto u = [this](int i) { return static_cast<std::uint8_t>(block_[i]); };
        std::uint8_t sum = 0;
        for (int i = 3; i < 3 + kData; ++i)
            sum = static_cast<std::uint8_t>(sum + u(i));
        QString wrong;
        if (k > expectedBlocks())
            wrong = QStringLiteral("block %1 of %2").arg(k).arg(expectedBlocks());
        else if (u(1) != number || u(2) != 255 - number)
            wrong = QStringLiteral("block %1 numbered %2/%3").arg(k).arg(u(1)).arg(u(2));
        else if (u(kBlock - 1) != sum)
            wrong = QStringLiteral("block %1: checksum %2, the data sum %3").arg(k).arg(u(kBlock - 1)).arg(sum);
        else if (block_.mid(3, kData) != expected_.mid((k - 1) * kData, kData))
            wrong = QStringLiteral("block %1: data differ from the image").arg(k);
        block_.clear();
        if (!wrong.isEmpty()) {
            done_ = true;
            f_.fault = wrong;
            sent_.push_back({kNak, at});
            return;
        }
        ++f_.blocks;
        sent_.push_back({kAck, at});
    }

    const QByteArray expected_;
    int master_ = -1, slave_ = -1, wake_[2] = {-1, -1};
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stopping_{false}, switchedOn_{false}, done_{false};

    // The thread's own.
    bool on_ = false;
    bool busy_ = false;                 // the line from the loader is carrying bytes
    Clock::time_point busySince_;
    std::int64_t taken_ = 0;            // bytes read since the line became busy
    std::deque<Outgoing> sent_;         // bytes the device sends, in order
    Clock::time_point lineFreeOut_{};   // when the line to the loader is free again
    QByteArray block_;
    Figures f_;
};

// The program as a child process; standard input and output are /dev/null, standard error a
// pipe of this program's or /dev/null.
struct Child {
    pid_t pid = -1;
    int err = -1;   // the read end of its standard error, or -1
    QByteArray said;
    Clock::time_point started;
    bool show = false;

    bool start(const std::vector<std::string>& args, bool capture)
    {
        int pipeFds[2] = {-1, -1};
        if (capture && ::pipe2(pipeFds, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (capture)
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
        else
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        started = Clock::now();
        const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (capture) {
            ::close(pipeFds[1]);
            err = pipeFds[0];
            ::fcntl(err, F_SETFL, O_NONBLOCK);
        }
        return failed == 0;
    }
    // What it has said since, waiting at most timeoutMs for something.
    void hear(int timeoutMs)
    {
        if (err < 0) {
            ::usleep(static_cast<useconds_t>(timeoutMs) * 1000);
            return;
        }
        pollfd p{err, POLLIN, 0};
        ::poll(&p, 1, timeoutMs);
        char buf[4096];
        ssize_t n;
        while ((n = ::read(err, buf, sizeof buf)) > 0) {
            said.append(buf, n);
            if (show)
                (void)!::write(2, buf, static_cast<size_t>(n));
        }
        if (n == 0) {
            ::close(err);
            err = -1;
        }
    }
    int count(const char* line) const { return static_cast<int>(said.count(line)); }
    // Reaps it if it has ended.
    bool ended(int& status, rusage& usage, Clock::time_point& at)
    {
        const pid_t r = ::wait4(pid, &status, WNOHANG, &usage);
        if (r == pid)
            at = Clock::now();
        return r == pid;
    }
    void closeErr()
    {
        if (err >= 0)
            ::close(err);
        err = -1;
    }
};

QString exitText(int status)
{
    if (WIFEXITED(status))
        return QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return QStringLiteral("ended by signal %1 (%2)").arg(WTERMSIG(status)).arg(QString::fromLocal8Bit(strsignal(WTERMSIG(status))));
    return QStringLiteral("status 0x%1").arg(status, 0, 16);
}

// The CPU time of another process, every thread of it, to the nanosecond.
std::optional<double> processCpu(pid_t pid)
{
    clockid_t clock;
    timespec t{};
    if (::clock_getcpuclockid(pid, &clock) != 0 || ::clock_gettime(clock, &t) != 0)
        return std::nullopt;
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A field of /proc/PID/status as a number ("VmRSS", "VmHWM" in kB; "Threads").
long statusField(pid_t pid, const char* name)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray wanted = QByteArray(name) + ':';
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(wanted))
            return line.mid(wanted.size()).trimmed().split(' ').first().toLong();
    return -1;
}

// Voluntary context switches of every thread of a process: how often it went to sleep.
long sleeps(pid_t pid)
{
    long total = 0;
    DIR* dir = ::opendir(QStringLiteral("/proc/%1/task").arg(pid).toLocal8Bit().constData());
    if (!dir)
        return -1;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        QFile file(QStringLiteral("/proc/%1/task/%2/status").arg(pid).arg(QString::fromLatin1(e->d_name)));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                total += line.mid(24).trimmed().toLong();
    }
    ::closedir(dir);
    return total;
}

// How many of a process's descriptors are open on a path.
int opensOf(pid_t pid, const std::string& path)
{
    const std::string dirName = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(dirName.c_str());
    if (!dir)
        return 0;
    int n = 0;
    char target[256];
    while (const dirent* e = ::readdir(dir)) {
        const ssize_t len = ::readlinkat(::dirfd(dir), e->d_name, target, sizeof target - 1);
        n += len > 0 && std::string(target, static_cast<size_t>(len)) == path;
    }
    ::closedir(dir);
    return n;
}

// The last non-empty lines of what the program said, joined by " | ".
QString lastLines(const QByteArray& said, int n)
{
    QList<QByteArray> lines = said.trimmed().split('\n');
    QStringList out;
    for (qsizetype i = std::max<qsizetype>(0, lines.size() - n); i < lines.size(); ++i)
        out << QString::fromUtf8(lines[i]);
    return out.join(QStringLiteral(" | "));
}

struct Options {
    qsizetype bytes = 32768;
    QList<int> devices = {1, 4, 16};
    int idleSeconds = 20;
    int boards = 200;
    qsizetype soakBytes = 8192;
    QStringList skip;
    bool showOutput = false;
};

struct Paced {
    bool ran = false;
    long maxRssKb = 0;
    bool intact = false;
};

// Each device's figures, a line each, then the ratios; true when every device received the
// image byte for byte.
bool report(const std::vector<std::unique_ptr<PacedDevice>>& devices, int blocks)
{
    std::printf("  %-12s %9s %8s %8s %10s %9s %8s  %s\n", "device", "A->EOT s", "A->* s", "NAK->1 s", "limit s", "rest s",
                "ratio", "image");
    bool intact = true;
    double worst = 0, sum = 0;
    std::string worstName;
    for (const auto& d : devices) {
        const PacedDevice::Figures& f = d->figures();
        const bool whole = f.fault.isEmpty() && f.eotIn && f.blocks == d->expectedBlocks();
        intact = intact && whole;
        if (!(f.aSent && f.starIn && f.nakSent && f.block1Start && f.eotIn)) {
            std::printf("  %-12s not loaded (%d of %d blocks) %s\n", d->path().c_str(), f.blocks, d->expectedBlocks(),
                        f.fault.isEmpty() ? "" : qPrintable(f.fault));
            continue;
        }
        const double total = seconds(*f.eotIn - *f.aSent);
        const double pauseA = seconds(*f.starIn - *f.aSent);
        const double pauseNak = seconds(*f.block1Start - *f.nakSent);
        const double physical = seconds(lineTime(f.lineBytes));
        const double rest = total - pauseA - pauseNak;
        const double ratio = rest / physical;
        sum += ratio;
        if (ratio > worst) {
            worst = ratio;
            worstName = d->path();
        }
        std::printf("  %-12s %9.3f %8.3f %8.3f %10.3f %9.3f %8.5f  %s%s\n", d->path().c_str(), total, pauseA, pauseNak, physical,
                    rest, ratio, whole ? "received byte for byte" : "NOT RECEIVED: ", whole ? "" : qPrintable(f.fault));
        if (f.stray > 0)
            std::printf("  %-12s %lld stray byte(s) from the loader\n", d->path().c_str(), static_cast<long long>(f.stray));
    }
    std::printf("  ratio = (A->EOT - pauses) / limit; limit = bytes on the line from the NAK to the EOT (%lld) x 10 / 9600; "
                "mean %.5f, worst %.5f (%s)\n",
                static_cast<long long>(1 + std::int64_t(blocks) * (kBlock + 1) + 1),
                devices.empty() ? 0.0 : sum / static_cast<double>(devices.size()), worst, worstName.c_str());
    return intact;
}

// One program loading N paced devices at once.
Paced runPaced(const Options& options, int n, bool quiet, const QByteArray& image, const QString& imagePath)
{
    Paced out;
    const QByteArray expected = padded(image);
    std::vector<std::unique_ptr<PacedDevice>> devices;
    std::vector<std::string> args{PROGRAMADOR_EXECUTABLE};
    for (int i = 0; i < n; ++i) {
        devices.push_back(std::make_unique<PacedDevice>(expected));
        if (!devices.back()->ready()) {
            std::printf("cannot make pseudo-terminal %d\n", i + 1);
            return out;
        }
        args.insert(args.end(), {"--device", devices.back()->path()});
    }
    args.push_back(QFile::encodeName(imagePath).toStdString());

    Child child;
    child.show = options.showOutput;
    if (!child.start(args, !quiet)) {
        std::printf("cannot start %s\n", PROGRAMADOR_EXECUTABLE);
        return out;
    }
    // Every device is switched on at once once the program waits for all of them: it says so,
    // or, when what it says goes to /dev/null, it has every port open (and a moment more, for
    // the input flush that follows the open).
    const int blocks = blocksOf(image.size());
    const auto limit = std::chrono::seconds(60) + 3 * lineTime(std::int64_t(blocks) * (kBlock + 1));
    bool switched = false, killed = false;
    int status = 0;
    rusage usage{};
    Clock::time_point endedAt;
    for (;;) {
        child.hear(20);
        if (!switched) {
            bool waiting = !quiet && child.count("Alimente el equipo\n") >= n;
            if (quiet) {
                waiting = true;
                for (const auto& d : devices)
                    waiting = waiting && opensOf(child.pid, d->path()) >= 2;
                if (waiting)
                    ::usleep(200'000);
            }
            if (waiting) {
                for (const auto& d : devices)
                    d->switchOn();
                switched = true;
            }
        }
        if (child.ended(status, usage, endedAt))
            break;
        if (!killed && Clock::now() - child.started > limit) {
            killed = true;
            std::printf("the program has not ended after %.0f s: killed\n", seconds(limit));
            ::kill(child.pid, SIGKILL);
        }
    }
    while (child.err >= 0)
        child.hear(100);
    for (const auto& d : devices)
        d->stop();

    const double wall = seconds(endedAt - child.started);
    const double cpu = cpuSeconds(usage);
    out.ran = true;
    out.maxRssKb = usage.ru_maxrss;
    std::printf("\n%d device%s at once, standard error %s: %s, %.2f s wall, CPU %.3f s (user %.3f, sys %.3f) = %.3f %% of one core, "
                "peak RSS %.1f MB\n",
                n, n == 1 ? "" : "s", quiet ? "to /dev/null" : "to a pipe", qPrintable(exitText(status)), wall, cpu,
                static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6,
                static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6,
                100.0 * cpu / wall, static_cast<double>(usage.ru_maxrss) / 1024.0);
    out.intact = report(devices, blocks) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!quiet)
        std::printf("  it said last: %s\n", qPrintable(lastLines(child.said, n > 1 ? 2 : 1)));
    if (!out.intact)
        std::printf("  NOT EVERY DEVICE RECEIVED THE IMAGE, or the exit status is not 0\n");
    std::fflush(stdout);
    return out;
}

// lrzsz sx as the loader on one paced line, for comparison: what the line and this device
// take with a sender that answers at once. sx knows no start-up: the device is switched on
// first, then the shell that becomes sx sends the "*". sx waits for an ACK of its EOT, which
// the device never sends: it is killed once the EOT has come.
bool runSx(const QByteArray& image, const QTemporaryDir& dir)
{
    const QByteArray expected = padded(image);   // sx pads the last block with 0x1A, not 0x00
    const QString path = dir.filePath("image-padded.bin");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(expected) != expected.size())
            return false;
    }
    std::vector<std::unique_ptr<PacedDevice>> devices;
    devices.push_back(std::make_unique<PacedDevice>(expected));
    PacedDevice& device = *devices.front();
    if (!device.ready())
        return false;
    device.switchOn();
    ::usleep(100'000);   // the start-up is on the line
    const std::string port = device.path();
    Child sx;
    if (!sx.start({"/bin/sh", "-c", "exec < '" + port + "' > '" + port + "' 2>/dev/null; printf '*'; exec sx -b -q '"
                                         + QFile::encodeName(path).toStdString() + "'"},
                  false))
        return false;
    const auto limit = std::chrono::seconds(60) + 3 * lineTime(std::int64_t(blocksOf(image.size())) * (kBlock + 1));
    while (!device.done() && Clock::now() - sx.started < limit)
        ::usleep(20'000);
    ::kill(sx.pid, SIGKILL);
    int status = 0;
    rusage usage{};
    ::wait4(sx.pid, &status, 0, &usage);
    device.stop();
    std::printf("\nlrzsz sx on one paced line, for comparison (killed after its EOT): CPU %.3f s\n", cpuSeconds(usage));
    const bool intact = report(devices, blocksOf(image.size()));
    std::fflush(stdout);
    return intact;
}

// The program with --repeat on devices never switched on: what waiting costs.
bool runIdle(const Options& options, int n, const QString& imagePath)
{
    std::vector<std::unique_ptr<PacedDevice>> devices;
    std::vector<std::string> args{PROGRAMADOR_EXECUTABLE, "--repeat"};
    for (int i = 0; i < n; ++i) {
        devices.push_back(std::make_unique<PacedDevice>(QByteArray(kData, '\0')));
        if (!devices.back()->ready())
            return false;
        args.insert(args.end(), {"--device", devices.back()->path()});
    }
    args.push_back(QFile::encodeName(imagePath).toStdString());
    Child child;
    child.show = options.showOutput;
    if (!child.start(args, true))
        return false;
    int status = 0;
    rusage usage{};
    Clock::time_point endedAt;
    bool gone = false;
    while (child.count("Alimente el equipo\n") < n && Clock::now() - child.started < std::chrono::seconds(30)
           && !(gone = child.ended(status, usage, endedAt)))
        child.hear(20);
    if (gone) {
        std::printf("\nidle, %d device%s: the program ended at once, %s: %s\n", n, n == 1 ? "" : "s", qPrintable(exitText(status)),
                    qPrintable(lastLines(child.said, 3)));
        return false;
    }
    const Clock::time_point ready = Clock::now();
    // A second to settle, then the watch.
    while (Clock::now() - ready < std::chrono::seconds(1))
        child.hear(100);
    const std::optional<double> cpu0 = processCpu(child.pid);
    const long sleeps0 = sleeps(child.pid);
    const Clock::time_point t0 = Clock::now();
    while (Clock::now() - t0 < std::chrono::seconds(options.idleSeconds))
        child.hear(200);
    const std::optional<double> cpu1 = processCpu(child.pid);
    const long sleeps1 = sleeps(child.pid);
    const double wall = seconds(Clock::now() - t0);
    const long threads = statusField(child.pid, "Threads");
    const long rss = statusField(child.pid, "VmRSS");
    ::kill(child.pid, SIGINT);
    while (!child.ended(status, usage, endedAt) && Clock::now() - t0 < std::chrono::seconds(options.idleSeconds + 20))
        child.hear(20);
    while (child.err >= 0)
        child.hear(100);
    for (const auto& d : devices)
        d->stop();
    const double cpu = cpu0 && cpu1 ? *cpu1 - *cpu0 : -1;
    std::printf("\nidle, --repeat on %d device%s never switched on: %.2f s watched, CPU %.4f s = %.4f %% of one core, "
                "%.0f wake-ups a second, %ld threads, VmRSS %.1f MB\n",
                n, n == 1 ? "" : "s", wall, cpu, 100.0 * cpu / wall, static_cast<double>(sleeps1 - sleeps0) / wall, threads,
                static_cast<double>(rss) / 1024.0);
    std::printf("  after SIGINT: %s; whole run %.3f s CPU; it said last: %s\n", qPrintable(exitText(status)), cpuSeconds(usage),
                qPrintable(lastLines(child.said, 2)));
    std::fflush(stdout);
    return true;
}

// Board after board on the device harness, with a record.
bool runSoak(const Options& options, const QTemporaryDir& dir)
{
    QByteArray image(options.soakBytes, Qt::Uninitialized);
    QRandomGenerator random(200);
    for (char& c : image)
        c = static_cast<char>(random.bounded(256));
    const QString imagePath = dir.filePath("soak.bin");
    const QString logPath = dir.filePath("registro.csv");
    {
        QFile f(imagePath);
        if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size())
            return false;
    }
    const QByteArray expected = padded(image);
    DeviceHarness harness;
    if (!harness.ready())
        return false;
    Child child;
    child.show = options.showOutput;
    if (!child.start({PROGRAMADOR_EXECUTABLE, "--repeat", "--log", QFile::encodeName(logPath).toStdString(), "--device",
                      QFile::encodeName(harness.path()).toStdString(), QFile::encodeName(imagePath).toStdString()},
                     true))
        return false;
    int switched = 0, intact = 0, status = 0;
    double rxTail = 0;   // rx ends about a second after the EOT; the next board waits for that
    QString firstBad;
    long rss10 = -1, hwm10 = -1, rssEnd = -1, hwmEnd = -1;
    rusage usage{};
    Clock::time_point endedAt, lastProgress = Clock::now(), tenth;
    bool gone = false;
    for (;;) {
        child.hear(20);
        if (child.count("Alimente el equipo\n") > switched) {
            // The board before is loaded, and its row written, when the program waits again.
            if (switched > 0) {
                const Clock::time_point asked = Clock::now();
                const bool whole = harness.finished(10000) && harness.received() == expected;
                rxTail += seconds(Clock::now() - asked);
                intact += whole;
                if (!whole && firstBad.isEmpty())
                    firstBad = QStringLiteral("board %1: %2 bytes received").arg(switched).arg(harness.received().size());
            }
            if (switched == std::min(10, options.boards)) {
                rss10 = statusField(child.pid, "VmRSS");
                hwm10 = statusField(child.pid, "VmHWM");
                tenth = Clock::now();
            }
            if (switched == options.boards) {
                rssEnd = statusField(child.pid, "VmRSS");
                hwmEnd = statusField(child.pid, "VmHWM");
                break;
            }
            if (switched > 0)
                harness.nextBoard();
            harness.switchOn();
            ++switched;
            lastProgress = Clock::now();
        }
        if ((gone = child.ended(status, usage, endedAt)))
            break;
        if (Clock::now() - lastProgress > std::chrono::seconds(60)) {
            std::printf("\nsoak: no progress in 60 s at board %d\n", switched);
            break;
        }
    }
    const double wall = seconds(Clock::now() - child.started);
    const double sinceTenth = seconds(Clock::now() - tenth);
    QFile log(logPath);
    const QList<QByteArray> rows = log.open(QIODevice::ReadOnly) ? log.readAll().split('\n') : QList<QByteArray>();
    int records = 0, ready = 0;
    const bool header = !rows.isEmpty() && rows.first().startsWith("inicio,");
    for (qsizetype i = header ? 1 : 0; i < rows.size(); ++i) {
        if (rows[i].isEmpty())
            continue;
        ++records;
        ready += rows[i].split(',').value(9) == "Programa listo";
    }
    const std::optional<double> cpuBefore = processCpu(child.pid);
    if (!gone) {
        ::kill(child.pid, SIGINT);
        const Clock::time_point t0 = Clock::now();
        while (!(gone = child.ended(status, usage, endedAt)) && Clock::now() - t0 < std::chrono::seconds(20))
            child.hear(20);
        if (!gone) {
            ::kill(child.pid, SIGKILL);
            ::wait4(child.pid, &status, 0, &usage);
        }
    }
    while (child.err >= 0)
        child.hear(100);
    const int bytes = static_cast<int>(image.size());
    std::printf("\nsoak: --repeat --log, %d boards of %d bytes (%d blocks) on the device harness (unpaced, lrzsz rx)\n",
                options.boards, bytes, blocksOf(bytes));
    std::printf("  boards switched on %d, received byte for byte %d%s%s\n", switched, intact,
                firstBad.isEmpty() ? "" : "; first not: ", qPrintable(firstBad));
    std::printf("  record: %s + %d rows, %d of them \"Programa listo\"\n", header ? "header" : "NO HEADER", records, ready);
    std::printf("  after board %d: VmRSS %ld kB, VmHWM %ld kB; after board %d: VmRSS %ld kB, VmHWM %ld kB\n",
                std::min(10, options.boards), rss10, hwm10, options.boards, rssEnd, hwmEnd);
    std::printf("  rx ended %.3f s on average after the program waited for the next board\n", switched > 0 ? rxTail / switched : 0.0);
    std::printf("  %.1f s wall (%.2f s a board%s), CPU %.3f s (%.2f ms a board) = %.3f %% of one core\n", wall,
                switched > 10 ? sinceTenth / (switched - 10) : wall / std::max(1, switched), switched > 10 ? " after board 10" : "",
                cpuBefore.value_or(-1),
                cpuBefore ? 1000.0 * *cpuBefore / std::max(1, switched) : 0.0, cpuBefore ? 100.0 * *cpuBefore / wall : 0.0);
    std::printf("  after SIGINT: %s, whole run %.3f s CPU, peak RSS %.1f MB; it said last: %s\n", qPrintable(exitText(status)),
                cpuSeconds(usage), static_cast<double>(usage.ru_maxrss) / 1024.0, qPrintable(lastLines(child.said, 4)));
    std::fflush(stdout);
    return intact == options.boards;
}

QList<int> numbers(const QString& list)
{
    QList<int> out;
    for (const QString& s : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
        out << s.toInt();
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        const QString value = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
        if (a == QLatin1String("--show-output")) {
            options.showOutput = true;
            continue;
        }
        if (value.isEmpty()) {
            std::fprintf(stderr, "bench_command_line: %s needs a value\n", argv[i]);
            return 64;
        }
        ++i;
        if (a == QLatin1String("--bytes"))
            options.bytes = value.toLongLong();
        else if (a == QLatin1String("--devices"))
            options.devices = numbers(value);
        else if (a == QLatin1String("--idle"))
            options.idleSeconds = value.toInt();
        else if (a == QLatin1String("--boards"))
            options.boards = value.toInt();
        else if (a == QLatin1String("--soak-bytes"))
            options.soakBytes = value.toLongLong();
        else if (a == QLatin1String("--skip"))
            options.skip = value.split(QLatin1Char(','));
        else {
            std::fprintf(stderr, "bench_command_line: unknown option %s\n", argv[i - 1]);
            return 64;
        }
    }
    if (options.bytes < 1 || options.bytes > 249984 || options.soakBytes < 1 || options.soakBytes > 249984 || options.boards < 1
        || options.idleSeconds < 1) {
        std::fprintf(stderr, "bench_command_line: an image is 1 to 249984 bytes, and there is at least one board and one second\n");
        return 64;
    }

    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    // The numbering's own file goes to the temporary folder, never the user's.
    ::setenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")).constData(), 1);
    QByteArray image(options.bytes, Qt::Uninitialized);
    QRandomGenerator random(9600);
    for (char& c : image)
        c = static_cast<char>(random.bounded(256));
    const QString imagePath = dir.filePath("image.bin");
    {
        QFile f(imagePath);
        if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size())
            return 2;
    }
    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    const int blocks = blocksOf(image.size());
    std::printf("%s\nload average at start %.2f %.2f %.2f; %ld cores\n", PROGRAMADOR_EXECUTABLE, load[0], load[1], load[2],
                ::sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("paced image: %lld bytes, %d blocks; a 9600-baud 8N1 line carries 960 bytes a second each way; "
                "from the NAK to the EOT %lld bytes cross it: %.3f s\n",
                static_cast<long long>(image.size()), blocks, static_cast<long long>(2 + std::int64_t(blocks) * (kBlock + 1)),
                seconds(lineTime(2 + std::int64_t(blocks) * (kBlock + 1))));
    std::fflush(stdout);

    bool ok = true;
    const rusage zero{};
    rusage self0 = zero, self1 = zero;
    ::getrusage(RUSAGE_SELF, &self0);
    if (!options.skip.contains(QLatin1String("paced"))) {
        long single = 0, sixteen = 0;
        for (const int n : options.devices) {
            const Paced p = runPaced(options, n, false, image, imagePath);
            ok = ok && p.ran && p.intact;
            if (n == 1)
                single = p.maxRssKb;
            if (n == 16)
                sixteen = p.maxRssKb;
        }
        if (!options.skip.contains(QLatin1String("quiet"))) {
            const Paced p = runPaced(options, 16, true, image, imagePath);
            ok = ok && p.ran && p.intact;
        }
        if (single > 0 && sixteen > 0)
            std::printf("\npeak RSS: 16 devices in one program %.1f MB; one device %.1f MB, 16 single-device runs 16 x %.1f = %.1f MB "
                        "(one program is %.1f %% of that)\n",
                        static_cast<double>(sixteen) / 1024.0, static_cast<double>(single) / 1024.0,
                        static_cast<double>(single) / 1024.0, 16.0 * static_cast<double>(single) / 1024.0,
                        100.0 * static_cast<double>(sixteen) / (16.0 * static_cast<double>(single)));
    }
    ::getrusage(RUSAGE_SELF, &self1);
    if (!options.skip.contains(QLatin1String("paced")))
        std::printf("(the paced devices themselves, in this program: %.3f s CPU)\n", cpuSeconds(self1) - cpuSeconds(self0));
    if (!options.skip.contains(QLatin1String("sx")))
        ok = runSx(image, dir) && ok;
    if (!options.skip.contains(QLatin1String("idle"))) {
        ok = runIdle(options, 1, imagePath) && ok;
        ok = runIdle(options, 16, imagePath) && ok;
    }
    if (!options.skip.contains(QLatin1String("soak")))
        ok = runSoak(options, dir) && ok;
    return ok ? 0 : 1;
}
