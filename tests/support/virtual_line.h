#pragma once

#include "event_yield.h"
#include "firmware_image.h"
#include "serial_line.h"
#include "tick_counters.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <map>

namespace programador::testing {

// Block k of the image as the receiver expects it: SOH, k, 255 - k, 128 bytes, their sum.
// Written from the protocol, not from the sender's code.
QByteArray expectedBlock(const FirmwareImage& image, int k);

// What the device at the other end does: its start-up text, the receiver's NAK some time
// after the loader's "*", and an answer to each block (ACK unless told otherwise).
struct DeviceScript {
    QList<std::pair<qint64, QByteArray>> sends{{1000, "++TA"}};   // ms after the port opened
    qint64 nakAfter = 300;                                        // after the "*"; -1: never
    QByteArray nak{"\x15"};
    QMap<int, QByteArray> replies;                                // block k (from 1) answered thus
};

// A serial line with a scripted device behind it, and the event loop's yield, both on
// virtual time (ms). A yield that may block jumps to the next event (a tick, the device's
// bytes, an action), as the event loop sleeps until it; one that may not moves 1 ms on.
// Timer1 ticks at 500, 1500 ..., Timer2 at 50, 150 ... Every line operation is named
// ("port", "settings", "input length", "open", "close"; writes as "*", "EOT", "B<k>" for the
// k-th block since the open) and shown to onEvent. Like a real port it drops what the
// device sends while it is closed and empties its input on open.
class VirtualLine : public SerialLine, public EventYield {
public:
    struct Exhausted {};   // a yield past an hour: a wait that never ends fails its test
    struct Event {
        qint64 at;
        QString name;
        QByteArray bytes;
    };

    void setPortNumber(std::int16_t port) override { operation("port"), portNumber = port; }
    void setSettings(const QString& value) override { operation("settings"), settings = value; }
    void setInputLength(std::int16_t length) override { operation("input length"), inputLength = length; }
    void open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    qsizetype writeSome(const QByteArray& bytes) override;
    int bytesWaiting() override;
    QByteArray read() override;
    void checkAlive() override;
    QString name() const override { return QStringLiteral("COM%1").arg(portNumber); }

    void yield(bool mayBlock) override;
    void at(qint64 when, std::function<void()> action) { actions_.emplace(std::max(when, now), std::move(action)); }
    void runUntil(qint64 target);
    // The device behaves again, as scripted by default.
    void repair() { vanished_ = false, failOn.clear(), vanishAfter.clear(), device = {}; }

    TickCounters* ticks = nullptr;
    qint64 now = 0;
    qint64 stallAt = -1;          // the first yield from then on brings two seconds at once
    DeviceScript device;
    QString failOn;               // the operation of this name raises SerialError, once
    QString vanishAfter;          // after the operation of this name every one raises
    std::function<void(const Event&)> onEvent;
    QByteArray consumed;          // every byte the loader has read, in order
    std::int16_t portNumber = 0;
    std::int16_t inputLength = 0;
    QString settings;

private:
    void operation(const QString& name, const QByteArray& bytes = {});
    void deliverAt(qint64 when, const QByteArray& bytes);
    qint64 next() const;

    qint64 timer1_ = 500;
    qint64 timer2_ = 50;
    std::multimap<qint64, std::function<void()>> actions_;   // equal times keep their order
    bool open_ = false;
    bool vanished_ = false;
    int opens_ = 0;
    int blocks_ = 0;
    QByteArray input_;
};

} // namespace programador::testing
