#pragma once

namespace programador {

// One pass of a wait hands control to the event loop through this interface.
// mayBlock is true only when the wait has nothing to read: the program then sleeps in
// the event loop until a tick, a click or a received byte wakes it. In the tests the
// yield advances virtual time and plays the scripted device.
class EventYield {
public:
    virtual ~EventYield() = default;
    virtual void yield(bool mayBlock) = 0;
};

} // namespace programador
