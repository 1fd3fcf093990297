#include "headless.h"

#include "cooperative_wait.h"
#include "event_loop_yield.h"
#include "firmware_file.h"
#include "load_sequence.h"
#include "port_settings.h"
#include "qserial_port_line.h"
#include "tick_timers.h"
#include "xmodem_sender.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace programador {

namespace {

// Exit statuses; a wrong command line is 64 (EX_USAGE), a run stopped by a signal 130.
enum Status { kDone = 0, kCommunication = 1, kPort = 2, kImage = 3, kWrongCommand = 64, kStopped = 130 };

const char* const kUsage = "uso: programador [--port N | --device RUTA] IMAGEN\n"
                           "     programador --help | --version\n";
const char* const kHelp =
    "Carga IMAGEN (un archivo .stb o .bin) en el equipo por el puerto serie, sin ventana, como\n"
    "\"Cargar Firmware\": encienda el equipo cuando se lea \"Alimente el equipo\".\n"
    "  --port N        el puerto COMN, de 1 a 4: PROGRAMADOR_COMN si existe, si no /dev/ttyS(N-1)\n"
    "  --device RUTA   el dispositivo serie RUTA\n"
    "Sin --port ni --device, el puerto de PROGRAMADOR.INI en el directorio de trabajo.\n"
    "Estado de salida: 0 Programa listo; 1 Error de comunicacion; 2 Error en puerto serie;\n"
    "3 la imagen no se pudo cargar; 64 orden mal escrita; 130 interrumpido (SIGINT, SIGTERM:\n"
    "el primero cancela como \"Cancelar\", el segundo termina en el acto).\n"
    "Sin argumentos, programador abre su ventana.\n";

void say(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
}

struct Options {
    std::int16_t port = 0;   // 0: the one in PROGRAMADOR.INI
    QString device;
    QString image;
};

// The command line, or nothing when it is wrong (with the reason said).
std::optional<Options> parse(QStringList args)
{
    Options options;
    QStringList images;
    bool onlyImages = false;
    while (!args.isEmpty()) {
        QString arg = args.takeFirst();
        QString value;
        const bool port = arg == "--port" || arg.startsWith("--port="), device = arg == "--device" || arg.startsWith("--device=");
        if (!onlyImages && (port || device)) {
            value = arg.contains('=') ? arg.section('=', 1) : args.isEmpty() ? QString() : args.takeFirst();
            bool number = false;
            const int n = value.toInt(&number);
            if ((port && (!number || n < 1 || n > 4)) || (device && value.isEmpty())) {
                say(QStringLiteral("programador: %1 necesita %2").arg(arg.section('=', 0, 0), port ? "un puerto de 1 a 4" : "una ruta"));
                return std::nullopt;
            }
            if (options.port != 0 || !options.device.isEmpty()) {
                say(QStringLiteral("programador: un solo --port o --device"));
                return std::nullopt;
            }
            options.port = port ? std::int16_t(n) : std::int16_t(1);   // a device opens whatever the number
            options.device = port ? QString() : value;
        } else if (!onlyImages && arg == "--") {
            onlyImages = true;
        } else if (!onlyImages && arg.startsWith('-') && arg != "-") {
            say(QStringLiteral("programador: opción desconocida %1").arg(arg));
            return std::nullopt;
        } else {
            images << arg;
        }
    }
    if (images.size() != 1) {
        say(images.isEmpty() ? QStringLiteral("programador: falta la IMAGEN")
                             : QStringLiteral("programador: una sola IMAGEN"));
        return std::nullopt;
    }
    options.image = images.first();
    return options;
}

// What the window would show, as lines on standard error, one a change: Label1's captions,
// the progress ("bloque k de n", rewritten in place on a terminal, else a line at each tenth
// of the blocks), and the messages.
class Terminal : public TransferView, public OperatorMessages {
public:
    explicit Terminal(int blocks) : blocks_(blocks), terminal_(::isatty(STDERR_FILENO) == 1) {}

    void setStatusText(const QString& text) override
    {
        if (text != status_)
            line(status_ = text);
    }
    void setProgressValue(float value) override
    {
        const int k = int(value);
        if (terminal_) {
            std::fprintf(stderr, "\rbloque %d de %d", k, blocks_);
            progressShown_ = true;
        } else if (k * 10 / blocks_ != (k - 1) * 10 / blocks_) {
            say(QStringLiteral("bloque %1 de %2").arg(k).arg(blocks_));
        }
    }
    MessageAnswer show(const QString& text, MessageIcon, MessageButtons, const QString&) override
    {
        line(shown = text);
        return MessageAnswer::Ok;
    }
    void setStatusVisible(bool) override {}
    void setProgressVisible(bool) override {}
    void setCancelEnabled(bool) override {}
    void lockForTransfer() override {}
    void setNormalPointer() override {}
    void clearDrawing() override {}
    void habilita() override {}

    QString shown;   // the last message

private:
    void line(const QString& text)
    {
        if (progressShown_)
            std::fputc('\n', stderr);
        progressShown_ = false;
        say(text);
    }

    const int blocks_;
    const bool terminal_;
    bool progressShown_ = false;
    QString status_;
};

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char signal = 1;
    (void)!::write(signalPipe[1], &signal, 1);
}

} // namespace

int runHeadless(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains("--help") || args.contains("-h")) {
        std::printf("%s%s", kUsage, kHelp);
        return kDone;
    }
    if (args.contains("--version")) {
        std::printf("Telvarin V5.0 (programador %s)\n", PROGRAMADOR_VERSION);
        return kDone;
    }
    const std::optional<Options> options = parse(args);
    if (!options) {
        std::fputs(kUsage, stderr);
        return kWrongCommand;
    }

    // The image first, as the window loads it, before the port is touched.
    auto image = std::make_unique<FirmwareImage>();
    Cause cause = Cause::None;
    switch (FirmwareFile::load(options->image, *image, cause)) {
    case FirmwareFile::Result::Loaded:
        break;
    case FirmwareFile::Result::TooLarge:
        say(QStringLiteral("Archivo demasiado grande"));
        return kImage;
    case FirmwareFile::Result::Unreadable:
        say(QStringLiteral("Error en archivo"));
        return kImage;
    }
    Terminal terminal(FirmwareFile::blockCount(image->largo_archivo));
    PortSettings settings(terminal, QDir::currentPath());
    if (options->port == 0)
        settings.lee_puerto();   // as at the window's start-up: made with port 1 when unreadable
    const std::int16_t puerto = options->port != 0 ? options->port : settings.puerto;

    TickCounters ticks;
    TickTimers timers(ticks);
    QSerialPortLine line(options->device);
    EventLoopYield events;
    CooperativeWait wait(ticks, events, line);
    XmodemSender sender(wait, *image, terminal);
    LoadSequence sequence(wait, sender, terminal, terminal, puerto);

    // SIGINT and SIGTERM: the first is "Cancelar", the second ends the run at once. The
    // handler only writes to a pipe; the run sees it in its next yield.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return kPort;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    int signalled = 0;
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        for (char signal; ::read(signalPipe[0], &signal, 1) == 1;)
            ++signalled == 1 ? sequence.Command2_Click() : wait.abandon();
    });
    struct sigaction action{};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    sequence.Command1_Click();
    if (terminal.shown == QLatin1String("Programa listo"))
        return kDone;
    if (terminal.shown == QLatin1String("Error de comunicacion"))
        return kCommunication;
    return terminal.shown.isEmpty() ? kStopped : kPort;
}

} // namespace programador
