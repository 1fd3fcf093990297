#pragma once

#include "cooperative_wait.h"
#include "transfer_view.h"

#include <cstdint>

namespace programador {

// The device's start-up announcement: "+" while it starts, then "T" "A", answered with
// "*" one to two seconds later. 0 when answered, 1 on time-out (20 ticks) or cancel.
std::int16_t espera_ath0(CooperativeWait& wait, TransferView& view);

} // namespace programador
