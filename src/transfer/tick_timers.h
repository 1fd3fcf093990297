#pragma once

#include "tick_counters.h"

#include <QObject>
#include <QTimer>

namespace programador {

// Timer1 (1000 ms) and Timer2 (100 ms): they tick from creation until the program ends.
class TickTimers : public QObject {
public:
    explicit TickTimers(TickCounters& counters, QObject* parent = nullptr);

    QTimer Timer1;
    QTimer Timer2;
};

} // namespace programador
