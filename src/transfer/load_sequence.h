#pragma once

#include "cooperative_wait.h"
#include "operator_messages.h"
#include "serial_line.h"
#include "transfer_view.h"
#include "xmodem_sender.h"

#include <cstdint>

namespace programador {

// How a run ended: its four exits, a run abandoned because the window closes (or a second
// signal came), and a press refused because a run is already under way.
enum class LoadExit { Success, Failure, Cancel, Error, Abandoned, NotStarted };

// What an exit tells the operator, as the record keeps it: "Programa listo", "Error de
// comunicacion", "Error en puerto serie"; a run stopped by the operator, or by the window
// closing, tells nothing and is "Interrumpido".
QString exitMessage(LoadExit exit);

// Where a run that ended in "Error de comunicacion" stopped: the device never announced itself,
// announced itself and never asked for the image, or stopped answering a block.
enum class LoadStop { None, Announcement, ImageRequest, Block };

// What "Cargar Firmware" does: lock the window, open the port, handshake, NAK, every
// block, EOT, close, tell the operator. Four exits: success, failure, cancel, error.
class LoadSequence {
public:
    LoadSequence(CooperativeWait& wait, XmodemSender& sender, TransferView& view,
                 OperatorMessages& messages, const std::int16_t& puerto);

    LoadExit Command1_Click();      // runs a whole transfer, returns when it has ended
    void Command2_Click();          // "Cancelar": only raises cancelado
    bool running() const { return running_; }
    // Of the last run: where it stopped, and the reason of a port failure ("COM1 /dev/ttyS0: ...").
    LoadStop stop() const { return stop_; }
    const QString& reason() const { return reason_; }

private:
    CooperativeWait& wait_;
    XmodemSender& sender_;
    TransferView& view_;
    OperatorMessages& messages_;
    const std::int16_t& puerto_;
    bool running_ = false;
    LoadStop stop_ = LoadStop::None;
    QString reason_;
};

} // namespace programador
