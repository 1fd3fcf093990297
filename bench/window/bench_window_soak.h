#pragma once

#include "device_harness.h"
#include "main_window.h"

#include <memory>
#include <vector>

namespace programador::bench {

// "Banco de carga" board after board: each row's next board switched on as soon as the row waits
// for it, until `boards` boards have been switched on over the rows. Every board's file as rx
// wrote it is compared with the image, and the record's file counted at the end; the window's
// memory (VmRSS) and open descriptors are printed after board 10 and after the last. The bench
// is open, its rows ticked, "Iniciar" not yet pressed. True when every board arrived byte for
// byte and has its row.
bool soakInWindow(MainWindow& window, std::vector<std::unique_ptr<testing::DeviceHarness>>& devices, const QByteArray& expected,
                  int boards, const QString& recordPath);

} // namespace programador::bench
