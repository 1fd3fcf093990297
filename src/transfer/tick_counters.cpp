#include "tick_counters.h"

namespace programador {

namespace {
void tick(std::int16_t& counter)
{
    // The counter never exceeds the ceiling before the increment, so +1 stays in range.
    counter = static_cast<std::int16_t>(counter + 1);
    if (counter > TickCounters::kCeiling)
        counter = TickCounters::kCeiling;
}
} // namespace

void TickCounters::Timer1_Timer() { tick(contador1); }
void TickCounters::Timer2_Timer() { tick(contador2); }

} // namespace programador
