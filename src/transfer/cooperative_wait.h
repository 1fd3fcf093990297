#pragma once

#include "event_yield.h"
#include "serial_line.h"
#include "tick_counters.h"

#include <cstdint>
#include <exception>

namespace programador {

// Raised from a yield once the main window is closing: the run ends at once, without
// a message and without EOT, and the port is closed by the load sequence.
class RunAbandoned : public std::exception {
public:
    const char* what() const noexcept override { return "transfer abandoned"; }
};

// The waits of a transfer: polling passes that yield to the event loop, in the order
// success test, yield, cancel test, time-out test, read one byte.
class CooperativeWait {
public:
    enum class Cancel { Honoured, Ignored };

    CooperativeWait(TickCounters& ticks, EventYield& events, SerialLine& line);

    // One yield. Blocks in the event loop only while no received byte is waiting.
    // Raises RunAbandoned when abandon() was called.
    void yieldPass();
    // Sets counter to 0, yields, and yields again while counter is below 2. Reads nothing
    // and ignores cancel, but a device that hangs up meanwhile ends it (SerialError). Used by
    // ret3 (contador2) and by the handshake's answer (contador1).
    void pause(std::int16_t& counter);
    // Writes the bytes, in order. When the device has stopped reading and the line takes no
    // more, waits for room as every wait waits, yielding (so "Cancelar", closing the window and
    // signals are served), for 50 Timer2 ticks at most (contador2), then raises SerialError.
    void write(const QByteArray& bytes);
    // The character wait: 0 when `awaited` was read, 1 on time-out (contador1 reached or
    // passed limit) or, when honoured, cancel (which clears cancelado).
    std::int16_t waitFor(char awaited, std::int16_t limit, Cancel cancel);
    void ret3() { pause(ticks.contador2); }

    void abandon() { abandoned_ = true; }
    bool abandoned() const { return abandoned_; }

    TickCounters& ticks;
    EventYield& events;
    SerialLine& line;
    std::int16_t cancelado = 0;   // -1 when the operator pressed "Cancelar", else 0

private:
    bool abandoned_ = false;
};

} // namespace programador
