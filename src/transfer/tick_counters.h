#pragma once

#include <cstdint>

namespace programador {

// The two tick counters of the transfer. Timer1 (1000 ms) advances contador1 and
// Timer2 (100 ms) advances contador2; both stop at 20000. In the program QTimers call
// the tick handlers, in the tests a fake yield calls them as virtual time passes.
struct TickCounters {
    static constexpr std::int16_t kCeiling = 20000;

    std::int16_t contador1 = 0;
    std::int16_t contador2 = 0;

    void Timer1_Timer();
    void Timer2_Timer();
};

} // namespace programador
