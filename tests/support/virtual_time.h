#pragma once

#include "event_yield.h"
#include "tick_counters.h"

#include <QtGlobal>

#include <functional>
#include <map>

namespace programador::testing {

// A yield that advances virtual time instead of running an event loop. Each yield moves
// the clock by stepMs, or, when the wait may block, straight to the next event (a tick or
// a scheduled action), as the event loop would sleep until it. Timer1 ticks every 1000 ms
// from timer1Phase on, Timer2 every 100 ms from timer2Phase on; scheduled actions (a
// device byte, a click on "Cancelar") run inside the yield that reaches their time, in
// time order with the ticks (at equal times: Timer1, Timer2, then the actions in the
// order they were scheduled).
class VirtualTime : public EventYield {
public:
    // Raised when a yield would pass limitMs: a wait that never ends fails its test
    // instead of hanging it. Not a std::exception, so no error trap swallows it.
    struct Exhausted {
        qint64 at;
    };

    // The phases are the times of each timer's first tick, in (0, interval].
    explicit VirtualTime(TickCounters& ticks, qint64 timer1Phase = 500, qint64 timer2Phase = 50);

    void yield(bool mayBlock) override;

    qint64 now() const { return now_; }
    // Runs action inside the yield that reaches `when` (at once in the next yield when
    // `when` has passed).
    void at(qint64 when, std::function<void()> action);
    void after(qint64 delay, std::function<void()> action) { at(now_ + delay, std::move(action)); }

    // The next yield advances this much further, delivering several ticks at once, as a
    // long modal operation inside the event loop would.
    void stallNextYield(qint64 ms) { stall_ += ms; }
    // The first yield that starts while condition() holds advances ms further.
    void stallWhen(std::function<bool()> condition, qint64 ms);

    // Lets time pass outside any wait, as the idle event loop would.
    void runUntil(qint64 target);

    qint64 stepMs = 10;
    qint64 limitMs = 2 * 3600 * 1000;
    int yields = 0;
    int blockingYields = 0;
    std::function<void()> onYield;   // runs after every yield

private:
    qint64 nextEvent() const;

    TickCounters& ticks_;
    qint64 now_ = 0;
    qint64 nextTimer1_;
    qint64 nextTimer2_;
    qint64 stall_ = 0;
    std::function<bool()> stallCondition_;
    qint64 conditionalStall_ = 0;
    std::multimap<qint64, std::function<void()>> actions_;   // equal times keep their order
};

} // namespace programador::testing
