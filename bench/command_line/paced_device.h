#pragma once

#include "line.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <thread>

namespace programador::bench {

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

    explicit PacedDevice(QByteArray expected);
    ~PacedDevice();
    PacedDevice(const PacedDevice&) = delete;
    PacedDevice& operator=(const PacedDevice&) = delete;

    bool ready() const { return thread_.joinable(); }
    const std::string& path() const { return path_; }
    void switchOn();
    // Once done(): the board is swapped, and the next one waits to be switched on. Its figures
    // replace the last board's.
    void nextBoard();
    // The first board answers no block after block k (the loader's ACK wait runs out).
    void silentAfter(int k) { silentAfter_ = k; }
    void stop();
    double cpuSeconds() const { return cpu_; }      // the device's own thread, after stop()
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

    void run();
    // One byte from the loader, which finished crossing the line at `at`; the device acts at
    // once, so what it answers is asked for at that moment.
    void fromLoader(char byte, Clock::time_point at);

    const QByteArray expected_;
    int master_ = -1, slave_ = -1, wake_[2] = {-1, -1};
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stopping_{false}, switchedOn_{false}, done_{false}, swapped_{false};
    std::atomic<int> silentAfter_{0};
    double cpu_ = 0;

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

} // namespace programador::bench
