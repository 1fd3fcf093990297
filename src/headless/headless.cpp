#include "headless.h"

#include "command_line.h"
#include "cooperative_wait.h"
#include "event_loop_yield.h"
#include "file_names.h"
#include "firmware_file.h"
#include "load_sequence.h"
#include "port_numbering.h"
#include "port_settings.h"
#include "qserial_port_line.h"
#include "system_devices.h"
#include "tick_timers.h"
#include "xmodem_sender.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace programador {

namespace {

// Exit statuses; a wrong command line is 64 (EX_USAGE). A run ended by a signal ends by
// that signal, which a shell shows as 128 + its number.
enum Status { kDone = 0, kCommunication = 1, kPort = 2, kImage = 3, kWrongCommand = 64 };

void say(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
}

// What the window would show, as lines on standard error, one a change: Label1's captions,
// and the progress ("bloque k de n", rewritten in place on a terminal, else a line at each
// tenth of the blocks). The message that ends the run is kept for the caller to tell.
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
    MessageAnswer show(const QString& text, MessageIcon, MessageButtons, const QString& why) override
    {
        message = text;
        reason = why;
        return MessageAnswer::Ok;
    }
    void setStatusVisible(bool) override {}
    void setProgressVisible(bool) override {}
    void setCancelEnabled(bool) override {}
    void lockForTransfer() override {}
    void setNormalPointer() override {}
    void clearDrawing() override {}
    void habilita() override {}

    // A line of its own, after the progress line when that is being rewritten in place.
    void line(const QString& text)
    {
        if (progressShown_)
            std::fputc('\n', stderr);
        progressShown_ = false;
        say(text);
    }

    QString message;   // the run's message, with its reason
    QString reason;

private:
    const int blocks_;
    const bool terminal_;
    bool progressShown_ = false;
    QString status_;
};

int signalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    const char number = static_cast<char>(signal);
    (void)!::write(signalPipe[1], &number, 1);
}

// SIGINT and SIGTERM reach the run through a pipe that its event loop watches; a closed
// standard error (| head) never ends a run.
bool catchSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

// Ends the process by the signal that interrupted it, so that a shell sees an interrupted
// command (and a loop around it stops).
[[noreturn]] void endBy(int signal)
{
    std::fflush(stderr);
    ::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

int statusOf(LoadExit exit)
{
    switch (exit) {
    case LoadExit::Success: return kDone;
    case LoadExit::Failure: return kCommunication;
    default: return kPort;
    }
}

// Loads the image into one device, as "Cargar Firmware" does.
int load(const CommandLine& command)
{
    // The image first, as the window loads it, before the port is touched.
    auto image = std::make_unique<FirmwareImage>();
    Cause cause = Cause::None;
    switch (FirmwareFile::load(command.image, *image, cause)) {
    case FirmwareFile::Result::Loaded:
        break;
    case FirmwareFile::Result::TooLarge:
        say(QStringLiteral("Archivo demasiado grande"));
        return kImage;
    case FirmwareFile::Result::Unreadable:
        say(QStringLiteral("programador: ") + reasonLine(printableName(command.image), cause));
        say(QStringLiteral("Error en archivo"));
        return kImage;
    }
    Terminal terminal(FirmwareFile::blockCount(image->largo_archivo));
    PortSettings settings(terminal, QDir::currentPath());
    if (command.port == 0)
        settings.lee_puerto();   // as at the window's start-up: made with port 1 when unreadable
    const std::int16_t puerto = command.port != 0 ? command.port : settings.puerto;

    TickCounters ticks;
    TickTimers timers(ticks);
    SystemDevices devices;
    PortNumbering numbering(devices);
    QSerialPortLine line(&numbering, command.device);
    EventLoopYield events;
    CooperativeWait wait(ticks, events, line);
    XmodemSender sender(wait, *image, terminal);
    LoadSequence sequence(wait, sender, terminal, terminal, puerto);

    // The first signal is "Cancelar": a block under way is answered first. The second ends
    // the run at once.
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    int interruptions = 0, lastSignal = 0;
    const auto hear = [&] {
        for (char number; ::read(signalPipe[0], &number, 1) == 1; lastSignal = number)
            ++interruptions == 1 ? sequence.Command2_Click() : wait.abandon();
    };
    QObject::connect(&notifier, &QSocketNotifier::activated, hear);
    hear();   // one that came while the image was read: the run does not start

    const LoadExit exit = interruptions > 0 ? LoadExit::Cancel : sequence.Command1_Click();
    if (interruptions > 0 && exit != LoadExit::Success) {
        terminal.line(QStringLiteral("Interrumpido"));
        endBy(lastSignal);
    }
    if (!terminal.reason.isEmpty())
        terminal.line(QStringLiteral("programador: ") + terminal.reason);
    terminal.line(terminal.message);
    if (interruptions > 0)
        endBy(lastSignal);
    return statusOf(exit);
}

} // namespace

int runHeadless(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!catchSignals())
        return kPort;
    // The arguments as bytes: a file name need not be UTF-8.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << nameFromBytes(QByteArray(argv[i]));
    QString wrong;
    const std::optional<CommandLine> command = parseCommandLine(args, wrong);
    if (!command) {
        say(wrong);
        std::fputs(kUsage, stderr);
        return kWrongCommand;
    }
    switch (command->action) {
    case CommandLine::Action::Help:
        std::printf("%s%s", kUsage, kHelp);
        return kDone;
    case CommandLine::Action::Version:
        std::printf("Telvarin V5.0 (programador %s)\n", PROGRAMADOR_VERSION);
        return kDone;
    case CommandLine::Action::List: {
        // As the port dialog sees them; new devices get their numbers here too.
        SystemDevices devices;
        PortNumbering numbering(devices);
        numbering.refresh();
        for (const QString& line : numbering.listing())
            std::printf("%s\n", line.toUtf8().constData());
        return kDone;
    }
    case CommandLine::Action::Load:
        break;
    }
    return load(*command);
}

} // namespace programador
