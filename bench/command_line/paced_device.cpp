#include "paced_device.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace programador::bench {

PacedDevice::PacedDevice(QByteArray expected) : expected_(std::move(expected))
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

PacedDevice::~PacedDevice()
{
    stop();
    for (const int fd : {master_, slave_, wake_[0], wake_[1]})
        if (fd >= 0)
            ::close(fd);
}

void PacedDevice::switchOn()
{
    switchedOn_ = true;
    (void)!::write(wake_[1], "o", 1);
}

void PacedDevice::nextBoard()
{
    switchedOn_ = false;
    swapped_ = true;
    (void)!::write(wake_[1], "n", 1);
}

void PacedDevice::stop()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    (void)!::write(wake_[1], "s", 1);
    thread_.join();
}

void PacedDevice::run()
{
    ::prctl(PR_SET_TIMERSLACK, 1UL);   // wake-ups to the microsecond, not 50 us late
    const auto measure = [this] {
        timespec cpu{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        cpu_ = static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9;
    };
    char buf[4096];
    while (!stopping_) {
        measure();
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
        if (swapped_.exchange(false)) {
            on_ = done_ = false;
            block_.clear();
            f_ = {};
            silentAfter_ = 0;
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

void PacedDevice::fromLoader(char byte, Clock::time_point at)
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
    if (silentAfter_ > 0 && f_.blocks > silentAfter_) {
        done_ = true;
        f_.fault = QStringLiteral("silent after block %1, as asked").arg(silentAfter_.load());
        return;
    }
    sent_.push_back({kAck, at});
}

} // namespace programador::bench
