#pragma once

#include <QTemporaryDir>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace programador::testing {

// What the device does wrong, on request; blocks count from 1, 0 = never.
struct DeviceFaults {
    int silentFromBlock = 0;      // block k and all later ones get no answer at all
    int nakAfterBlock = 0;        // block k is answered NAK instead of ACK
    int garbageAfterBlock = 0;    // 0xFF 0x00 0x7F, then the ACK, after block k
    int hangUpInBlock = 0;        // the device hangs up when part of block k has come
    bool crcInsteadOfNak = false; // answers "C" (asks for CRC) where the NAK belongs
    bool noNak = false;           // never sends the NAK
};

// The device at the far end of a pseudo-terminal pair. The loader opens path(); the
// harness keeps a slave descriptor of its own, so the pair stays up and raw across the
// loader's opens and closes. A thread of its own reads what the loader writes, plays
// the device and relays the XMODEM part to the receiver. Every public call is
// thread-safe: the loader may run on the main thread inside nested event loops, or be
// a child process.
class DeviceHarness {
public:
    // lrzsz rx as a child on pipes (its file is received()), or an exact receiver of our
    // own that checks every block's framing and complains in log() at the first fault.
    enum class Receiver { Rx, Exact };
    using Faults = DeviceFaults;

    explicit DeviceHarness(Receiver receiver = Receiver::Exact, Faults faults = {});
    ~DeviceHarness();   // stops everything, kills rx, closes the pty; neither copied nor moved

    bool ready() const { return thread_.joinable(); }   // the pty pair and the thread are up
    QString path() const { return path_; }   // the loader's end: give it as PROGRAMADOR_COMn
    void send(const QByteArray& bytes);   // raw bytes to the loader, now
    // The start-up text; from the loader's "*" on, the receiver takes the line.
    void switchOn(const QByteArray& startUp = QByteArrayLiteral("++TA"));
    void hangUp();            // pulls the cable: once this returns, the loader's next operation fails
    bool waitHeard(int count, int timeoutMs = 10000);   // until the loader has written `count` bytes in all
    // The transfer ended well: rx exited 0 / the exact receiver took EOT after good
    // blocks. False as soon as it ended otherwise (rx failed, a complaint, a hang-up).
    bool finished(int timeoutMs = 60000);
    QByteArray received() const;   // the data of the accepted blocks, in order (rx: the file it wrote)
    QByteArray heard() const;      // every byte the loader wrote, raw, in order
    QString log() const;           // why it failed: rx's stderr tail, or the exact receiver's complaint

private:
    enum class Phase { Off, On, Receiving, Ended };
    void run();
    void fromLoader(QByteArray bytes);
    void takeLine();
    bool answer(QByteArray bytes);
    void takeBlocks();
    void hangUpNow();
    void end(bool well, const QString& complaint = {});
    void wake() { (void)!::write(wake_[1], "", 1); }

    const Receiver receiver_;
    const Faults faults_;
    QTemporaryDir dir_;   // rx's working directory: it refuses absolute output paths
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    int master_ = -1, slave_ = -1, wake_[2] = {-1, -1}, toRx_ = -1, fromRx_ = -1;
    int rx_ = -1;   // rx's process id
    QString path_, complaint_;
    Phase phase_ = Phase::Off;
    QByteArray heard_, line_, held_, received_;   // line_: the loader's bytes since its "*"
    int taken_ = 0, expected_ = 1;   // the exact receiver's place in line_, and the block number it wants
    bool hangUpWanted_ = false, ok_ = false;
    std::atomic<bool> stopping_ = false;
};

} // namespace programador::testing
