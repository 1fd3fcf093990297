#include "cooperative_wait.h"

#include <QByteArray>

namespace programador {

CooperativeWait::CooperativeWait(TickCounters& ticks, EventYield& events, SerialLine& line)
    : ticks(ticks)
    , events(events)
    , line(line)
{
}

void CooperativeWait::yieldPass()
{
    // Sleeping in the event loop while a byte is already waiting would read a burst at
    // one byte per tick; only an empty input may block.
    events.yield(line.bytesWaiting() == 0);
    if (abandoned_)
        throw RunAbandoned{};
}

void CooperativeWait::pause(std::int16_t& counter)
{
    // A pause reads nothing, so it may always sleep until the next tick; it looks at the line
    // all the same, or a device that hung up would wake the event loop on every pass.
    counter = 0;
    do {
        events.yield(true);
        if (abandoned_)
            throw RunAbandoned{};
        line.checkAlive();
    } while (counter < 2);
}

void CooperativeWait::write(const QByteArray& bytes)
{
    qsizetype done = line.writeSome(bytes);
    if (done == bytes.size())
        return;
    // The device stopped reading (its buffer full, a stalled adapter): nothing here is an
    // error until the time is up, a signal included.
    constexpr std::int16_t kRoomTicks = 50;
    ticks.contador2 = 0;
    while (done < bytes.size()) {
        events.yield(true);
        if (abandoned_)
            throw RunAbandoned{};
        if (ticks.contador2 >= kRoomTicks)
            throw SerialError(Cause::LineStuck, line.name());
        done += line.writeSome(bytes.mid(done));
    }
}

std::int16_t CooperativeWait::waitFor(char awaited, std::int16_t limit, Cancel cancel)
{
    const QByteArray wanted(1, awaited);
    ticks.contador1 = 0;
    QByteArray received;
    for (;;) {
        // A byte read at the end of one pass is judged at the start of the next.
        if (received == wanted)
            return 0;
        yieldPass();
        // Both are read afresh after the yield: ticks and clicks arrive inside it.
        if (cancel == Cancel::Honoured && cancelado == -1) {
            cancelado = 0;
            return 1;
        }
        // Reached or passed: one yield may have delivered more than one tick.
        if (ticks.contador1 >= limit) {
            if (cancel == Cancel::Honoured)
                cancelado = 0;
            return 1;
        }
        if (line.bytesWaiting() > 0)
            received = line.read();
    }
}

} // namespace programador
