#include "event_loop_yield.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace programador {

void EventLoopYield::yield(bool mayBlock)
{
    QCoreApplication::processEvents(mayBlock ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
}

} // namespace programador
