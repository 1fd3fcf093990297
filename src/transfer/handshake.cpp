#include "handshake.h"

#include <QByteArray>
#include <QString>

namespace programador {

namespace {
constexpr std::int16_t kHandshakeTicks = 20;
} // namespace

std::int16_t espera_ath0(CooperativeWait& wait, TransferView& view)
{
    wait.ticks.contador1 = 0;
    QByteArray current;
    QByteArray previous;
    QByteArray pair;
    for (;;) {
        // The pair is judged before the yield, so an "A" read in the last pass before
        // the time-out is still answered.
        if (pair == "TA")
            break;
        wait.yieldPass();
        if (wait.cancelado == -1 || wait.ticks.contador1 >= kHandshakeTicks) {
            wait.cancelado = 0;
            return 1;
        }
        if (wait.line.bytesWaiting() == 0)
            continue;
        previous = current;
        current = wait.line.read();
        pair = previous + current;
        if (current == "+")
            view.setStatusText(QStringLiteral("Estableciendo conexión..."));
    }

    // The device needs one to two seconds before it takes the answer. Whatever it sends
    // meanwhile stays in the line for the NAK wait.
    wait.pause(wait.ticks.contador1);
    wait.write(QByteArray("*"));
    view.setStatusText(QStringLiteral("Iniciando protocolo XMODEM..."));
    return 0;
}

} // namespace programador
