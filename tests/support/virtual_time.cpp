#include "virtual_time.h"

#include <algorithm>

namespace programador::testing {

namespace {
constexpr qint64 kTimer1Interval = 1000;
constexpr qint64 kTimer2Interval = 100;
} // namespace

VirtualTime::VirtualTime(TickCounters& ticks, qint64 timer1Phase, qint64 timer2Phase)
    : ticks_(ticks)
    , nextTimer1_(timer1Phase)
    , nextTimer2_(timer2Phase)
{
    Q_ASSERT(timer1Phase > 0 && timer1Phase <= kTimer1Interval);
    Q_ASSERT(timer2Phase > 0 && timer2Phase <= kTimer2Interval);
}

void VirtualTime::at(qint64 when, std::function<void()> action)
{
    actions_.emplace(std::max(when, now_), std::move(action));
}

void VirtualTime::stallWhen(std::function<bool()> condition, qint64 ms)
{
    stallCondition_ = std::move(condition);
    conditionalStall_ = ms;
}

qint64 VirtualTime::nextEvent() const
{
    qint64 next = std::min(nextTimer1_, nextTimer2_);
    if (!actions_.empty())
        next = std::min(next, actions_.begin()->first);
    return next;
}

void VirtualTime::yield(bool mayBlock)
{
    ++yields;
    if (mayBlock)
        ++blockingYields;

    qint64 target = mayBlock ? std::max(now_, nextEvent()) : now_ + stepMs;
    target += stall_;
    stall_ = 0;
    if (stallCondition_ && stallCondition_()) {
        stallCondition_ = nullptr;
        target += conditionalStall_;
    }
    if (target > limitMs)
        throw Exhausted{target};
    runUntil(target);
    if (onYield)
        onYield();
}

void VirtualTime::runUntil(qint64 target)
{
    for (;;) {
        const qint64 next = nextEvent();
        if (next > target)
            break;
        now_ = next;
        if (nextTimer1_ == next) {
            nextTimer1_ += kTimer1Interval;
            ticks_.Timer1_Timer();
        } else if (nextTimer2_ == next) {
            nextTimer2_ += kTimer2Interval;
            ticks_.Timer2_Timer();
        } else {
            // Taken out before it runs: the action may schedule further ones.
            auto node = actions_.extract(actions_.begin());
            node.mapped()();
        }
    }
    now_ = std::max(now_, target);
}

} // namespace programador::testing
