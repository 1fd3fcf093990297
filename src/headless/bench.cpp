#include "bench.h"

#include "bench_output.h"
#include "device_run.h"
#include "file_names.h"
#include "firmware_file.h"
#include "interrupts.h"
#include "port_settings.h"
#include "destination.h"
#include "record.h"
#include "system_devices.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <unistd.h>

namespace programador {

namespace {

// Exit statuses; a wrong command line is 64 (EX_USAGE).
enum Status { kDone = 0, kCommunication = 1, kPort = 2, kImage = 3, kWrongCommand = 64 };

const QString kDoneMessage = QStringLiteral("Programa listo");
const QString kInterrupted = QStringLiteral("Interrumpido");

void say(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
}

int wrongCommand(const QString& why)
{
    say(QStringLiteral("programador: ") + why);
    std::fputs(kUsage, stderr);
    return kWrongCommand;
}

// Startup reads PROGRAMADOR.INI without a word; nothing here is ever saved.
struct Silent : OperatorMessages {
    MessageAnswer show(const QString&, MessageIcon, MessageButtons, const QString&) override { return MessageAnswer::Ok; }
};

// The device itself, whatever name it was given by: a by-id link and its /dev node are one, and
// so are a relative path and its absolute one while the device is not there yet.
QString deviceKey(const PortAssignment& port)
{
    if (port.path.isEmpty())
        return port.named();   // a COM number that stands for nothing
    char canonical[PATH_MAX];
    if (::realpath(nameToBytes(port.path).constData(), canonical))
        return nameFromBytes(canonical);
    return QDir::cleanPath(QDir::current().absoluteFilePath(port.path));
}

// What a load ended with, in the window's words; a signal turns a failure into an interruption.
QString resultOf(const LoadOutcome& load)
{
    if (load.exit == LoadExit::Success)
        return load.message;
    return load.interrupted || load.message.isEmpty() ? kInterrupted : load.message;
}

int statusOf(const LoadOutcome& load, int signal)
{
    if (resultOf(load) == kInterrupted)
        return 128 + signal;
    switch (load.exit) {
    case LoadExit::Success: return kDone;
    case LoadExit::Failure: return kCommunication;
    default: return kPort;
    }
}

// "1 listo", "2 listos".
QString counted(qsizetype n, const QString& one, const QString& many)
{
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
}

// The cause alone, from a reason that names the device first.
QString causeOf(const QString& reason, const QString& name)
{
    return reason.startsWith(name + QStringLiteral(": ")) ? reason.mid(name.size() + 2) : reason;
}

// A device's loads as the summary counts them: a bench may run for weeks, so only the counts
// and the last load are kept.
struct Device {
    PortAssignment port;
    QString name;
    std::unique_ptr<DeviceRun> run;
    qsizetype loads = 0, listos = 0, interrupted = 0;
    LoadOutcome last;
};

} // namespace

int runLoads(const CommandLine& command)
{
    // The devices: each --port as the numbering has it now, each --device as given.
    SystemDevices machine;
    PortNumbering numbering(machine);
    QList<PortAssignment> ports;
    for (const int n : command.ports)
        ports << numbering.resolve(n);
    for (const QString& path : command.devices)
        ports << PortAssignment::given(path);
    QStringList keys;
    for (const PortAssignment& port : ports) {
        if (keys.contains(deviceKey(port)))
            return wrongCommand(QStringLiteral("%1 nombrado dos veces").arg(printableName(port.named())));
        keys << deviceKey(port);
    }

    // The image, read and checked once, before any port is touched.
    auto image = std::make_unique<FirmwareImage>();
    Cause cause = Cause::None;
    switch (FirmwareFile::load(command.image, *image, cause)) {
    case FirmwareFile::Result::Loaded:
        break;
    case FirmwareFile::Result::TooLarge:
    case FirmwareFile::Result::Unreadable:
        say(QStringLiteral("programador: ") + reasonLine(printableName(command.image), cause));
        say(cause == Cause::TooLarge ? QStringLiteral("Archivo demasiado grande") : QStringLiteral("Error en archivo"));
        return kImage;
    }
    const int blocks = FirmwareFile::blockCount(image->largo_archivo);
    const QByteArray sha256 = FirmwareFile::sha256(*image);

    // The record: --log, else the one configured for this PC.
    QString why;
    const RecordSettings settings = RecordSettings::read(RecordSettings::defaultFile(), why);
    if (!why.isEmpty())
        say(QStringLiteral("programador: ") + why);
    const QString destination = command.log.isEmpty() ? settings.destination : command.log;
    std::unique_ptr<Record> record;
    if (!destination.isEmpty()) {
        if (!(record = Record::open(destination, settings.stationName(), why)))
            return wrongCommand(why);
        record->said = [](const QString& line, bool) { say(QStringLiteral("programador: ") + line); };
    }

    // Without --port or --device, the port in PROGRAMADOR.INI, read as the window reads it at
    // start-up (made with port 1 when it cannot be read).
    if (ports.isEmpty()) {
        Silent silent;
        PortSettings settings(silent, QDir::currentPath());
        settings.lee_puerto();
        ports << numbering.resolve(settings.puerto);
    }

    std::vector<Device> devices(static_cast<std::size_t>(ports.size()));
    QStringList names;
    for (qsizetype i = 0; i < ports.size(); ++i)
        names << printableName(ports[i].named());
    BenchOutput output(names, blocks);
    QObject owner;
    int finished = 0, interruptions = 0, lastSignal = 0;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        Device& device = devices[i];
        device.port = ports[static_cast<qsizetype>(i)];
        device.name = names[static_cast<qsizetype>(i)];
        const int index = static_cast<int>(i);
        DeviceEvents events;
        events.status = [&output, index](const QString& text) { output.status(index, text); };
        events.progress = [&output, index](int k) { output.progress(index, k); };
        events.note = [&output](const QString& line) { output.note(line); };
        events.loaded = [&, index](const LoadOutcome& load) {
            Device& device = devices[static_cast<std::size_t>(index)];
            ++device.loads;
            device.listos += resultOf(load) == kDoneMessage;
            device.interrupted += resultOf(load) == kInterrupted;
            device.last = load;
            // The next load of the device waits until its row is on disk (or kept, when the disk
            // takes nothing).
            const auto recorded = [&devices, index] {
                if (DeviceRun* run = devices[static_cast<std::size_t>(index)].run.get())
                    run->recorded();
            };
            if (record)
                record->append({load.id, {}, {}, load.start, device.port.number,
                                device.port.state == PortAssignment::State::Present ? device.port.device.path : device.port.path,
                                device.port.device.serialNumber, command.image, image->largo_archivo, sha256,
                                load.blocksSent, blocks, resultOf(load), statusOf(load, lastSignal), load.seconds},
                               recorded);
            else
                recorded();
            output.ended(index, resultOf(load), resultOf(load) == kInterrupted ? QString() : load.reason);
        };
        events.finished = [&] {
            if (++finished == static_cast<int>(devices.size()))
                QCoreApplication::quit();
        };
        device.run = std::make_unique<DeviceRun>(device.port, *image, command.repeat, &owner, std::move(events));
    }

    // The first signal is "Cancelar" for every device; the second ends every run at once.
    QSocketNotifier notifier(signalsReadEnd(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        for (char number; ::read(signalsReadEnd(), &number, 1) == 1;) {
            if (number == SIGWINCH) {
                output.resized();
                continue;
            }
            lastSignal = number;
            ++interruptions;
            for (Device& device : devices)
                interruptions == 1 ? device.run->cancel() : device.run->abandon();
            // Once every run has ended, a signal ends the wait for the record too.
            if (record && finished == static_cast<int>(devices.size()))
                record->abandon();
        }
    });
    listen();
    for (Device& device : devices)
        device.run->start();
    QCoreApplication::exec();
    for (Device& device : devices)
        device.run.reset();   // every thread has ended
    output.finish();
    // The rows the file could not take, there to be copied into it.
    if (record)
        std::fputs(record->unwritten(record->finish()).constData(), stderr);

    // The summary: a line per device, then the counts.
    const bool several = devices.size() > 1 || command.repeat;
    qsizetype done = 0, failed = 0, interrupted = 0;
    for (const Device& device : devices) {
        done += device.listos;
        interrupted += device.interrupted;
        failed += device.loads - device.listos - device.interrupted;
        if (!several)
            continue;
        if (&device == &devices.front())
            say(QStringLiteral("Resumen:"));
        QString line = device.name + QStringLiteral(": ");
        if (device.loads == 0) {
            line += QStringLiteral("ninguna carga");
        } else if (!command.repeat) {
            line += resultOf(device.last);
            if (!device.last.reason.isEmpty() && resultOf(device.last) != kInterrupted)
                line += QStringLiteral(" (%1)").arg(causeOf(device.last.reason, device.name));
        } else {
            line += counted(device.loads, QStringLiteral("carga"), QStringLiteral("cargas")) + QStringLiteral(", ")
                + counted(device.listos, QStringLiteral("lista"), QStringLiteral("listas"));
        }
        say(line);
    }
    if (several) {
        QStringList counts{counted(done, QStringLiteral("listo"), QStringLiteral("listos")), QStringLiteral("%1 con error").arg(failed)};
        if (interrupted > 0)
            counts << counted(interrupted, QStringLiteral("interrumpido"), QStringLiteral("interrumpidos"));
        say(counts.join(QStringLiteral(", ")));
    }

    if (interruptions > 0)
        endBy(lastSignal);
    if (!several)
        return statusOf(devices.front().last, lastSignal);
    return done == static_cast<qsizetype>(devices.size()) ? kDone : kCommunication;
}

} // namespace programador
