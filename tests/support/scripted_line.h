#pragma once

#include "serial_line.h"
#include "virtual_time.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>

namespace programador::testing {

// A serial line with a scripted device behind it, on virtual time. It records every
// operation with its virtual time, delivers bytes at given times or in reaction to what
// is written, and can refuse to open or vanish. Like a real port it refuses a second
// open, drops what the device sends while it is closed, and empties its input on open.
class ScriptedLine : public SerialLine {
public:
    struct Event {
        enum class Kind { SetPort, SetSettings, SetInputLength, Open, Close, Write, Read };
        Kind kind;
        qint64 at;
        QByteArray bytes;   // Write: what was written; Read: what was returned
        QString text;       // SetSettings
        int number = 0;     // SetPort, SetInputLength
    };

    explicit ScriptedLine(VirtualTime& clock);

    // SerialLine
    void setPortNumber(std::int16_t port) override;
    void setSettings(const QString& settings) override;
    void setInputLength(std::int16_t length) override;
    void open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    void write(const QByteArray& bytes) override;
    int bytesWaiting() override;
    QByteArray read() override;

    // The device side. Bytes arrive at the given moment and are seen from the next pass on.
    void deliver(const QByteArray& bytes);
    void deliverAt(qint64 ms, const QByteArray& bytes);
    void deliverAfter(qint64 delayMs, const QByteArray& bytes);

    // Hooks for a scripted device: onOpen runs after each successful open, onWrite and then
    // the reactions (in the order they were added) after each write.
    std::function<void()> onOpen;
    std::function<void(const QByteArray& written)> onWrite;
    void react(std::function<void(const QByteArray& written)> reaction);
    // Answers a write equal to `written` with `reply`, delayMs later.
    void replyTo(const QByteArray& written, const QByteArray& reply, qint64 delayMs);
    // Answers the first `count` blocks (every block when count < 0) with ACK, delayMs after
    // each; later blocks with `otherwise` (nothing when empty).
    void ackBlocks(int count = -1, qint64 delayMs = 20, const QByteArray& otherwise = {});

    // Faults.
    bool failOpen = false;              // open() raises SerialError
    void vanish();                      // from now on every operation raises SerialError
    void reappear() { vanished_ = false; }
    bool closeFailsWhenVanished = true; // a vanished port fails its close, but is released

    // What happened.
    QList<Event> events;
    QList<Event> eventsOf(Event::Kind kind) const;
    QList<QByteArray> writes() const;
    QByteArray written() const;         // every written byte, in order
    QList<QByteArray> blocks() const;   // the writes of 132 bytes
    qint64 timeOfFirstWrite(const QByteArray& bytes) const;   // -1 when never written
    int opens = 0;
    int closes = 0;
    QStringList misuse;                 // operations on a closed port, reads of an empty input
    QStringList* journal = nullptr;     // when set: "line:..." entries shared with other fakes

    std::int16_t portNumber = 0;
    QString settings;
    std::int16_t inputLength = 0;       // 0: a read returns everything waiting
    QByteArray input;                   // received, not yet read

private:
    void record(Event::Kind kind, const QByteArray& bytes = {}, const QString& text = {}, int number = 0);
    void note(const QString& entry);
    void failIfVanished(const char* operation);

    VirtualTime& clock_;
    bool open_ = false;
    bool vanished_ = false;
    int blocksSeen_ = 0;
    QList<std::function<void(const QByteArray&)>> reactions_;
};

} // namespace programador::testing
