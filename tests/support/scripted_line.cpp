#include "scripted_line.h"

#include <algorithm>

namespace programador::testing {

namespace {
constexpr int kBlockBytes = 132;
constexpr char kAck = 0x06;
} // namespace

ScriptedLine::ScriptedLine(VirtualTime& clock)
    : clock_(clock)
{
}

void ScriptedLine::record(Event::Kind kind, const QByteArray& bytes, const QString& text, int number)
{
    events.append(Event{kind, clock_.now(), bytes, text, number});
}

void ScriptedLine::note(const QString& entry)
{
    if (journal)
        journal->append(QStringLiteral("line:") + entry);
}

void ScriptedLine::failIfVanished(const char* operation)
{
    if (vanished_)
        throw SerialError(std::string(operation) + ": the device has gone");
}

void ScriptedLine::setPortNumber(std::int16_t port)
{
    failIfVanished("set port");
    portNumber = port;
    record(Event::Kind::SetPort, {}, {}, port);
    note(QStringLiteral("port %1").arg(port));
}

void ScriptedLine::setSettings(const QString& value)
{
    failIfVanished("set settings");
    settings = value;
    record(Event::Kind::SetSettings, {}, value);
    note(QStringLiteral("settings ") + value);
}

void ScriptedLine::setInputLength(std::int16_t length)
{
    failIfVanished("set input length");
    inputLength = length;
    record(Event::Kind::SetInputLength, {}, {}, length);
    note(QStringLiteral("input length %1").arg(length));
}

void ScriptedLine::open()
{
    failIfVanished("open");
    if (failOpen)
        throw SerialError("open: the port cannot be opened");
    if (open_)
        throw SerialError("open: the port is already open");
    open_ = true;
    input.clear();
    ++opens;
    record(Event::Kind::Open);
    note(QStringLiteral("open"));
    if (onOpen)
        onOpen();
}

void ScriptedLine::close()
{
    if (!open_)
        misuse << QStringLiteral("close of a closed port");
    if (vanished_ && closeFailsWhenVanished) {
        open_ = false;
        throw SerialError("close: the device has gone");
    }
    open_ = false;
    ++closes;
    record(Event::Kind::Close);
    note(QStringLiteral("close"));
}

void ScriptedLine::write(const QByteArray& bytes)
{
    failIfVanished("write");
    if (!open_)
        misuse << QStringLiteral("write on a closed port");
    record(Event::Kind::Write, bytes);
    if (bytes.size() == kBlockBytes)
        note(QStringLiteral("block %1").arg(static_cast<unsigned char>(bytes.at(1))));
    else
        note(QStringLiteral("write ") + QString::fromLatin1(bytes.toHex(' ')));
    if (onWrite)
        onWrite(bytes);
    for (const auto& reaction : reactions_)
        reaction(bytes);
}

int ScriptedLine::bytesWaiting()
{
    failIfVanished("bytes waiting");
    if (!open_)
        misuse << QStringLiteral("bytes waiting on a closed port");
    return static_cast<int>(input.size());
}

QByteArray ScriptedLine::read()
{
    failIfVanished("read");
    if (!open_)
        misuse << QStringLiteral("read on a closed port");
    if (input.isEmpty())
        misuse << QStringLiteral("read with nothing waiting");
    const qsizetype n = inputLength > 0 ? std::min<qsizetype>(inputLength, input.size()) : input.size();
    const QByteArray out = input.left(n);
    input.remove(0, n);
    record(Event::Kind::Read, out);
    return out;
}

void ScriptedLine::deliver(const QByteArray& bytes)
{
    if (open_ && !vanished_)
        input.append(bytes);
}

void ScriptedLine::deliverAt(qint64 ms, const QByteArray& bytes)
{
    clock_.at(ms, [this, bytes] { deliver(bytes); });
}

void ScriptedLine::deliverAfter(qint64 delayMs, const QByteArray& bytes)
{
    deliverAt(clock_.now() + delayMs, bytes);
}

void ScriptedLine::react(std::function<void(const QByteArray&)> reaction)
{
    reactions_.append(std::move(reaction));
}

void ScriptedLine::replyTo(const QByteArray& writtenBytes, const QByteArray& reply, qint64 delayMs)
{
    react([this, writtenBytes, reply, delayMs](const QByteArray& bytes) {
        if (bytes == writtenBytes)
            deliverAfter(delayMs, reply);
    });
}

void ScriptedLine::ackBlocks(int count, qint64 delayMs, const QByteArray& otherwise)
{
    react([this, count, delayMs, otherwise](const QByteArray& bytes) {
        if (bytes.size() != kBlockBytes || bytes.at(0) != 0x01)
            return;
        ++blocksSeen_;
        if (count < 0 || blocksSeen_ <= count)
            deliverAfter(delayMs, QByteArray(1, kAck));
        else if (!otherwise.isEmpty())
            deliverAfter(delayMs, otherwise);
    });
}

void ScriptedLine::vanish()
{
    vanished_ = true;
}

QList<ScriptedLine::Event> ScriptedLine::eventsOf(Event::Kind kind) const
{
    QList<Event> out;
    for (const Event& e : events) {
        if (e.kind == kind)
            out.append(e);
    }
    return out;
}

QList<QByteArray> ScriptedLine::writes() const
{
    QList<QByteArray> out;
    for (const Event& e : eventsOf(Event::Kind::Write))
        out.append(e.bytes);
    return out;
}

QByteArray ScriptedLine::written() const
{
    QByteArray out;
    for (const Event& e : eventsOf(Event::Kind::Write))
        out.append(e.bytes);
    return out;
}

QList<QByteArray> ScriptedLine::blocks() const
{
    QList<QByteArray> out;
    for (const Event& e : eventsOf(Event::Kind::Write)) {
        if (e.bytes.size() == kBlockBytes)
            out.append(e.bytes);
    }
    return out;
}

qint64 ScriptedLine::timeOfFirstWrite(const QByteArray& bytes) const
{
    for (const Event& e : events) {
        if (e.kind == Event::Kind::Write && e.bytes == bytes)
            return e.at;
    }
    return -1;
}

} // namespace programador::testing
