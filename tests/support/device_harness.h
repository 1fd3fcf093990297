#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace programador::testing {

// What the device does wrong, on request; blocks count from 1 (an EOT counts as the block
// after the last), 0 = never.
struct DeviceFaults {
    int silentFromBlock = 0;      // block k and all later ones get no answer at all
    int hangUpInBlock = 0;        // the device hangs up when part of block k has come
    int holdAckOfBlock = 0;       // block k's ACK waits for release()
    bool floodAcks = false;       // its NAK comes with thousands of ACKs, and it reads no more
};

// The device at the far end of a pseudo-terminal pair, for one transfer. The loader opens
// path(); the harness keeps a descriptor of that end too, so the pair stays up and raw
// across the loader's opens and closes. A thread of its own reads what the loader writes,
// plays the device's start-up and, from the loader's "*" on, relays the line to lrzsz rx
// (XMODEM, 8-bit checksum) on pipes, and rx's answers back through the faults. Every
// public call is thread-safe: the loader may be this process or another.
class DeviceHarness {
public:
    explicit DeviceHarness(DeviceFaults faults = {});
    ~DeviceHarness();   // stops the thread, kills rx, closes the pair

    QString path() const { return path_; }   // the loader's end: give it as PROGRAMADOR_COMn
    void sendBeforeOpen(const QByteArray& bytes);   // raw bytes to the loader, there before it opens
    void switchOn(const QByteArray& startUp = QByteArrayLiteral("++TA"));
    void nextBoard();                        // the board is swapped: the next one waits to be switched on
    void pullCable();                        // the device hangs up, now
    // A link that names the device goes first when it hangs up, as an adapter's node goes: the
    // kernel gives a closed pseudo-terminal's name to the next one any program opens.
    void unlinkOnHangUp(const QString& link);
    void pullCableOnceRead();                // the same, once the loader has read all the device sent
    void release();                          // the held ACK goes out, now or when it comes
    // The transfer ended well (rx exited 0); false as soon as it ended otherwise.
    bool finished(int timeoutMs = 60000);
    QByteArray received() const;             // the file rx wrote
    QByteArray heard() const;                // every byte the loader wrote, in order
    QByteArray heardAll();                   // the same, once all it wrote before now has come
    bool stalled() const;                    // it reads no more, and the line before it is full
    // Nothing on its way between the loader and rx: each has read what the other sent, and rx
    // waits for its input or has ended; a device that reads no more is quiet too. A test's
    // virtual time runs only while it is, so that a busy machine slowing rx or the relay never
    // runs a wait of the loader's out.
    bool quiet() const;
    bool at9600_8N1() const;                 // as the loader set the line: 9600 baud, 8N1, no flow control

private:
    void run();
    void fromLoader(QByteArray bytes);
    void startRx();
    void answer(QByteArray bytes);
    void hangUp();
    QByteArray link_;
    const DeviceFaults faults_;
    QTemporaryDir dir_;   // rx's own: it refuses absolute output paths
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    int master_ = -1, slave_ = -1, wake_[2] = {-1, -1}, toRx_ = -1, fromRx_ = -1, rx_ = -1;
    QString path_;
    bool on_ = false, relaying_ = false, ended_ = false, ok_ = false, stopping_ = false, released_ = false;
    bool deaf_ = false;   // floodAcks: no more reading
    QByteArray heard_, line_, held_;   // line_: the loader's bytes since its "*"; held_: not yet rx's
    QByteArray heldAck_;               // rx's ACK of block holdAckOfBlock, until release()
};

} // namespace programador::testing
