#pragma once

#include "event_yield.h"

namespace programador {

// The program's yield: processes pending events, and sleeps in the event loop until the
// next one (a tick, a click, a received byte) when the wait may block.
class EventLoopYield : public EventYield {
public:
    void yield(bool mayBlock) override;
};

} // namespace programador
