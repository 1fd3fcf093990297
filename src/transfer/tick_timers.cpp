#include "tick_timers.h"

namespace programador {

TickTimers::TickTimers(TickCounters& counters, QObject* parent)
    : QObject(parent)
{
    Timer1.setInterval(1000);
    Timer2.setInterval(100);
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer2.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, [&counters] { counters.Timer1_Timer(); });
    connect(&Timer2, &QTimer::timeout, this, [&counters] { counters.Timer2_Timer(); });
    Timer1.start();
    Timer2.start();
}

} // namespace programador
