#include "load_sequence.h"

#include "handshake.h"

#include <QByteArray>
#include <QString>

#include <exception>

namespace programador {

namespace {

constexpr char kEot = 0x04;

// running() is true from the first step of a run until its exit has finished, whichever
// way the run ends.
class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& flag_;
};

// Closes the port when it is open; a port that fails even that is left as it is.
void closeQuietly(SerialLine& line)
{
    try {
        if (line.isOpen())
            line.close();
    } catch (const std::exception&) {
    }
}

} // namespace

QString exitMessage(LoadExit exit)
{
    switch (exit) {
    case LoadExit::Success: return QStringLiteral("Programa listo");
    case LoadExit::Failure: return QStringLiteral("Error de comunicacion");
    case LoadExit::Error: return QStringLiteral("Error en puerto serie");
    default: return QStringLiteral("Interrumpido");
    }
}

LoadSequence::LoadSequence(CooperativeWait& wait, XmodemSender& sender, TransferView& view,
                           OperatorMessages& messages, const std::int16_t& puerto)
    : wait_(wait)
    , sender_(sender)
    , view_(view)
    , messages_(messages)
    , puerto_(puerto)
{
}

void LoadSequence::Command2_Click()
{
    wait_.cancelado = -1;
}

LoadExit LoadSequence::Command1_Click()
{
    // "Cargar Firmware" is disabled while a run is under way; a second call from inside
    // a wait would send over the same line twice.
    if (running_)
        return LoadExit::NotStarted;
    RunningFlag runningFlag(running_);

    using Exit = LoadExit;
    Exit exit = Exit::Failure;
    SerialLine& line = wait_.line;

    wait_.cancelado = 0;
    stop_ = LoadStop::None;
    reason_.clear();
    view_.lockForTransfer();
    wait_.ticks.contador1 = 0;

    try {
        // A refusal of the port number or the settings ends the run like any other port
        // failure, instead of leaving the window locked.
        line.setPortNumber(puerto_);
        line.setSettings(QStringLiteral("9600,N,8,1"));
        line.setInputLength(1);

        line.open();
        view_.setStatusText(QStringLiteral("Alimente el equipo"));
        view_.setStatusVisible(true);
        view_.setCancelEnabled(true);
        view_.setNormalPointer();

        if (espera_ath0(wait_, view_) != 0) {
            exit = Exit::Failure;
            stop_ = LoadStop::Announcement;
        } else if (sender_.espera_nak() != 0) {
            exit = Exit::Failure;
            stop_ = LoadStop::ImageRequest;
        } else {
            view_.setStatusText(QStringLiteral("Transmitiendo archivo..."));
            view_.setProgressVisible(true);
            wait_.ret3();

            sender_.bloque = 1;
            sender_.nro_bloque = 1;
            sender_.indice = 0;
            for (;;) {
                // Once per block, before it is sent: a press during a block takes effect
                // when that block has ended.
                if (wait_.cancelado == -1) {
                    exit = Exit::Cancel;
                    break;
                }
                const std::int16_t result = sender_.envia_paquete();
                if (result == 0) {
                    ++sender_.bloque;
                    sender_.nro_bloque = sender_.nro_bloque == 255
                        ? std::uint8_t{0}
                        : static_cast<std::uint8_t>(sender_.nro_bloque + 1);
                    continue;
                }
                exit = result == 2 ? Exit::Failure : Exit::Success;
                stop_ = result == 2 ? LoadStop::Block : LoadStop::None;
                break;
            }
        }

        // The exits' own port steps stay under the trap: a port that fails here ends
        // the run through the error exit.
        switch (exit) {
        case Exit::Success:
            wait_.write(QByteArray(1, kEot));
            line.close();   // the line writes out the queued EOT before it closes
            break;
        case Exit::Failure:
            line.close();
            break;
        case Exit::Cancel:
            wait_.cancelado = 0;
            line.close();
            break;
        default:
            break;
        }
    } catch (const RunAbandoned&) {
        // The window is closing: free the port and leave at once.
        closeQuietly(line);
        return Exit::Abandoned;
    } catch (const std::exception& failure) {
        // Closing here lets the next run open the port again.
        closeQuietly(line);
        view_.setNormalPointer();
        const auto* serial = dynamic_cast<const SerialError*>(&failure);
        reason_ = serial ? serial->reason : QString();
        messages_.show(exitMessage(Exit::Error), MessageIcon::Warning, MessageButtons::Ok, reason_);
        view_.habilita();
        return Exit::Error;
    }

    switch (exit) {
    case Exit::Success:
        view_.setNormalPointer();
        view_.clearDrawing();
        messages_.show(exitMessage(exit), MessageIcon::Information, MessageButtons::Ok);
        view_.habilita();
        break;
    case Exit::Failure:
        view_.setNormalPointer();
        messages_.show(exitMessage(exit), MessageIcon::Warning, MessageButtons::Ok);
        view_.habilita();
        break;
    case Exit::Cancel:
        view_.habilita();
        view_.setNormalPointer();
        break;
    default:
        break;
    }
    return exit;
}

} // namespace programador
