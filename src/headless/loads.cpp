#include "loads.h"

#include "bench_output.h"
#include "bench.h"
#include "file_names.h"
#include "firmware_file.h"
#include "interrupts.h"
#include "order_file.h"
#include "order_progress.h"
#include "port_settings.h"
#include "destination.h"
#include "record.h"
#include "system_devices.h"
#include "user_names.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSocketNotifier>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include <unistd.h>

namespace programador {

namespace {

// Exit statuses; a wrong command line is 64 (EX_USAGE).
enum Status { kDone = 0, kCommunication = 1, kPort = 2, kImage = 3, kWrongCommand = 64 };


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

// The exit status a load gives, alone.
int statusOf(const LoadOutcome& load, int signal)
{
    switch (verdictOf(load)) {
    case Verdict::Ready: return kDone;
    case Verdict::Interrupted: return 128 + signal;
    case Verdict::Failed: break;
    }
    return load.exit == LoadExit::Failure ? kCommunication : kPort;
}

} // namespace

int runLoads(const CommandLine& command)
{
    // An order file: its image, its name in every row, and its ports unless --port or --device
    // name others. One that cannot be used starts nothing.
    Order order;
    const bool ordered = !command.orderFile.isEmpty();
    if (ordered) {
        QString refusal;
        if (!readOrder(command.orderFile, order, refusal))
            return wrongCommand(refusal);
        if (order.asksSerial)
            return wrongCommand(QStringLiteral("%1 pide el número de serie de cada placa: se carga en el banco (programador --banco --orden)")
                                    .arg(printableName(command.orderFile)));
    }
    const QString imagePath = ordered ? order.image : command.image;

    // The devices: each --port as the numbering has it now, each --device as given.
    SystemDevices machine;
    PortNumbering numbering(machine);
    QList<PortAssignment> ports;
    for (const int n : command.ports)
        ports << numbering.resolve(n);
    for (const QString& path : command.devices)
        ports << PortAssignment::given(path);
    if (ports.isEmpty())
        for (const int n : order.ports)
            ports << numbering.resolve(n);
    QStringList keys;
    for (const PortAssignment& port : ports) {
        if (keys.contains(deviceKey(port)))
            return wrongCommand(QStringLiteral("%1 nombrado dos veces").arg(printableName(port.named())));
        keys << deviceKey(port);
    }

    // The image, read and checked once, before any port is touched.
    auto image = std::make_unique<FirmwareImage>();
    Cause cause = Cause::None;
    switch (FirmwareFile::load(imagePath, *image, cause)) {
    case FirmwareFile::Result::Loaded:
        break;
    case FirmwareFile::Result::TooLarge:
    case FirmwareFile::Result::Unreadable:
        say(QStringLiteral("programador: ") + reasonLine(printableName(imagePath), cause));
        say(cause == Cause::TooLarge ? QStringLiteral("Archivo demasiado grande") : QStringLiteral("Error en archivo"));
        return kImage;
    }
    const int blocks = FirmwareFile::blockCount(image->largo_archivo);
    // An order's image is the one it released, byte for byte, or nothing is sent.
    std::optional<OrderProgress> progress;
    if (ordered) {
        if (const QString refusal = imageRefusal(order, printableName(imagePath), FirmwareFile::sha256(*image)); !refusal.isEmpty()) {
            say(QStringLiteral("programador: ") + refusal);
            say(QString::fromUtf8(kNotTheOrdersImage));
            return kImage;
        }
        // The order goes on from what was counted of it before.
        QString kept;
        progress.emplace(order, stateFolder() + QStringLiteral("/ordenes"));
        if (!progress->read(kept))
            return wrongCommand(kept);
        if (progress->complete()) {
            say(QStringLiteral("Orden %1: %2").arg(order.name, progress->figures(QDateTime::currentDateTimeUtc())));
            return kDone;
        }
    }

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
        record->said = [](const RecordNews& news) { say(QStringLiteral("programador: ") + news.line()); };
    }

    // Without --port or --device, the port in PROGRAMADOR.INI, read as the window reads it at
    // start-up (made with port 1 when it cannot be read).
    if (ports.isEmpty()) {
        Silent silent;
        PortSettings settings(silent, QDir::currentPath());
        settings.lee_puerto();
        ports << numbering.resolve(settings.puerto);
    }

    QStringList names;
    for (const PortAssignment& port : ports)
        names << printableName(port.named());
    BenchOutput output(names, blocks);
    Bench bench(*image, imagePath, record.get());
    Bench::Events events;
    events.status = [&output](int device, const QString& text) { output.status(device, text); };
    events.progress = [&output](int device, int block) { output.progress(device, block); };
    events.gone = [&output](int, const QString& reason) { output.note(reason); };
    events.back = [&output, &names](int device) { output.note(names[device] + QStringLiteral(": de vuelta")); };
    events.loaded = [&](int device, const LoadOutcome& load) {
        output.ended(device, resultOf(load), verdictOf(load) == Verdict::Interrupted ? QString() : load.reason);
        if (!progress)
            return;
        // The order's count reached: the loads under way finish and the rest stop. A device
        // whose boards fail so many times in a row stops alone.
        const OrderProgress::Change change = progress->add(device, verdictOf(load), load.cause, QDateTime::currentDateTimeUtc());
        if (!progress->trouble().isEmpty())
            output.note(QStringLiteral("programador: ") + progress->trouble());
        if (change == OrderProgress::Change::Completed) {
            output.note(QStringLiteral("Orden completa"));
            bench.lastBoards();
        } else if (change == OrderProgress::Change::RowStopped) {
            output.note(names[device] + QStringLiteral(": Revise el puesto (") + progress->causes(device).join(QStringLiteral("; "))
                        + QLatin1Char(')'));
            bench.lastBoard(device);
        }
    };
    events.finished = [] { QCoreApplication::quit(); };

    // The first signal is "Cancelar" for every device; the second ends every run at once.
    int interruptions = 0, lastSignal = 0;
    QSocketNotifier notifier(signalsReadEnd(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        for (char number; ::read(signalsReadEnd(), &number, 1) == 1;) {
            if (number == SIGWINCH) {
                output.resized();
                continue;
            }
            lastSignal = number;
            bench.interruptStatus = 128 + number;
            bench.interruptCause = interruptedBy(number);
            ++interruptions;
            interruptions == 1 ? bench.cancel() : bench.abandon();
            // Once every run has ended, a signal ends the wait for the record too.
            if (record && !bench.running())
                record->abandon();
        }
    });
    listen();
    bench.trace = {ordered ? order.name : command.order, command.operatorName.isEmpty() ? loginName() : command.operatorName};
    bench.start(ports, command.repeat, std::move(events));
    bench.setSerial(0, command.serial);
    QCoreApplication::exec();
    output.finish();
    // The rows the file could not take, there to be copied into it.
    if (record)
        std::fputs(record->unwritten(record->finish()).constData(), stderr);

    // The summary: a line per device, then the counts.
    const bool several = bench.size() > 1 || command.repeat;
    qsizetype done = 0, failed = 0, interrupted = 0;
    for (int i = 0; i < bench.size(); ++i) {
        const DeviceCounts& counts = bench.counts(i);
        done += counts.ready;
        failed += counts.failed;
        interrupted += counts.interrupted;
        if (!several)
            continue;
        if (i == 0)
            say(QStringLiteral("Resumen:"));
        QString line = names[i] + QStringLiteral(": ");
        if (counts.loads == 0) {
            line += QStringLiteral("ninguna carga");
        } else if (!command.repeat) {
            line += resultOf(counts.last);
            if (verdictOf(counts.last) == Verdict::Failed)
                line += QStringLiteral(" (%1)").arg(counts.last.cause);
        } else {
            line += counted(counts.loads, QStringLiteral("carga"), QStringLiteral("cargas")) + QStringLiteral(", ")
                + counted(counts.ready, QStringLiteral("lista"), QStringLiteral("listas"));
        }
        say(line);
    }
    if (several) {
        QStringList totals{counted(done, QStringLiteral("listo"), QStringLiteral("listos")), QStringLiteral("%1 con error").arg(failed)};
        if (interrupted > 0)
            totals << counted(interrupted, QStringLiteral("interrumpido"), QStringLiteral("interrumpidos"));
        say(totals.join(QStringLiteral(", ")));
    }
    if (progress)
        say(QStringLiteral("Orden %1: %2").arg(order.name, progress->figures(QDateTime::currentDateTimeUtc())));

    if (interruptions > 0)
        endBy(lastSignal);
    // An order is done when its count is; else when each device's load is "Programa listo".
    const int status = progress       ? (progress->complete() ? kDone : kCommunication)
        : !several                    ? statusOf(bench.counts(0).last, lastSignal)
        : done == bench.size()        ? kDone
                                      : kCommunication;
    if (record && record->leftBehind())
        leaveNow(status);
    return status;
}

} // namespace programador
