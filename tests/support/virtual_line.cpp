#include "virtual_line.h"

#include <algorithm>

namespace programador::testing {

QByteArray expectedBlock(const FirmwareImage& image, int k)
{
    QByteArray block = QByteArray("\x01") + char(k) + char(255 - (k & 0xFF));
    int sum = 0;
    for (int i = 128 * (k - 1); i < 128 * k; sum += image.buffer[i++])
        block += char(image.buffer[i]);
    return block + char(sum);
}

void VirtualLine::operation(const QString& name, const QByteArray& bytes)
{
    if (vanished_ || name == failOn) {
        failOn.clear();
        if (name == "open")   // refused as a port is to a user outside the dialout group
            throw SerialError(Cause::NoPortPermission, QStringLiteral("COM%1").arg(portNumber));
        throw SerialError(name.toStdString() + ": the port failed");
    }
    vanished_ = name == vanishAfter;
    if (onEvent)
        onEvent({now, name, bytes});
}

void VirtualLine::open()
{
    if (open_)
        throw SerialError("the port is already open");
    operation("open");
    open_ = true;
    ++opens_;
    blocks_ = 0;
    input_.clear();
    for (const auto& [after, bytes] : device.sends)
        deliverAt(now + after, bytes);
}

void VirtualLine::close()
{
    open_ = false;   // a port that fails its close is released all the same
    operation("close");
}

void VirtualLine::checkAlive()
{
    if (vanished_ || !open_)
        throw SerialError("the port is gone");
}

qsizetype VirtualLine::writeSome(const QByteArray& bytes)
{
    if (!open_)
        throw SerialError("write on a closed port");
    const bool block = bytes.size() == 132;
    operation(block ? QStringLiteral("B%1").arg(blocks_ + 1) : bytes == "*" ? "*" : bytes == "\x04" ? "EOT" : "write",
              bytes);
    blocks_ += block;
    if (bytes == "*" && device.nakAfter >= 0)
        deliverAt(now + device.nakAfter, device.nak);
    if (block)
        deliverAt(now + 20, device.replies.value(blocks_, "\x06"));
    return bytes.size();
}

int VirtualLine::bytesWaiting()
{
    if (vanished_ || !open_)
        throw SerialError("bytes waiting: the port is gone");
    return int(input_.size());
}

QByteArray VirtualLine::read()
{
    if (vanished_ || input_.isEmpty())
        throw SerialError("read: nothing to read");
    const QByteArray out = input_.left(inputLength > 0 ? inputLength : input_.size());
    input_.remove(0, out.size());
    consumed += out;
    return out;
}

void VirtualLine::deliverAt(qint64 when, const QByteArray& bytes)
{
    at(when, [this, bytes, opened = opens_] {
        if (open_ && opens_ == opened)
            input_ += bytes;
    });
}

qint64 VirtualLine::next() const
{
    return std::min({timer1_, timer2_, actions_.empty() ? timer1_ : actions_.begin()->first});
}

void VirtualLine::yield(bool mayBlock)
{
    qint64 target = mayBlock ? next() : now + 1;
    if (stallAt >= 0 && now >= stallAt)
        target += 2000, stallAt = -1;
    if (target > 3600 * 1000)
        throw Exhausted{};
    runUntil(std::max(target, now));
}

void VirtualLine::runUntil(qint64 target)
{
    for (now = next(); now <= target; now = next()) {
        if (timer1_ == now) {
            timer1_ += 1000;
            ticks->Timer1_Timer();
        } else if (timer2_ == now) {
            timer2_ += 100;
            ticks->Timer2_Timer();
        } else {
            auto node = actions_.extract(actions_.begin());   // out first: it may schedule more
            node.mapped()();
        }
    }
    now = target;
}

} // namespace programador::testing
