#include "bench.h"

#include "firmware_file.h"
#include "load_sequence.h"
#include "record.h"

#include <QCoreApplication>

#include <csignal>

namespace programador {

Verdict verdictOf(const LoadOutcome& load)
{
    if (load.exit == LoadExit::Success)
        return Verdict::Ready;
    // A failure that came while the load was being stopped is no fault of the board's.
    if (load.interrupted || load.exit == LoadExit::Cancel || load.exit == LoadExit::Abandoned)
        return Verdict::Interrupted;
    return Verdict::Failed;
}

QString resultOf(const LoadOutcome& load)
{
    return verdictOf(load) == Verdict::Interrupted ? exitMessage(LoadExit::Cancel) : exitMessage(load.exit);
}

QString causeIn(const QString& reason, const QString& name)
{
    return reason.startsWith(name + QStringLiteral(": ")) ? reason.mid(name.size() + 2) : reason.section(QStringLiteral(": "), 1);
}

QString causeOf(const LoadOutcome& load, const QString& name, int blocks, const QString& interruptCause)
{
    switch (verdictOf(load)) {
    case Verdict::Ready: return {};
    case Verdict::Interrupted: return interruptCause;
    case Verdict::Failed: break;
    }
    if (!load.reason.isEmpty())
        return causeIn(load.reason, name);
    if (load.exit != LoadExit::Failure)
        return causeText(Cause::PortFailed);
    switch (load.stop) {
    case LoadStop::ImageRequest: return QStringLiteral("el equipo se anunció y no pidió la imagen");
    case LoadStop::Block: return QStringLiteral("el equipo dejó de responder en el bloque %1 de %2").arg(load.blocksSent).arg(blocks);
    default: return QStringLiteral("el equipo no se anunció");
    }
}

QString interruptedBy(int signal)
{
    switch (signal) {
    case 0: return QStringLiteral("detenida por el operador");
    case SIGINT: return QStringLiteral("detenida por la señal SIGINT");
    case SIGTERM: return QStringLiteral("detenida por la señal SIGTERM");
    case SIGHUP: return QStringLiteral("detenida por la señal SIGHUP");
    default: return QStringLiteral("detenida por la señal %1").arg(signal);
    }
}

LoadRow rowOf(const LoadOutcome& load, const PortAssignment& port, const QString& imagePath, const FirmwareImage& image,
              const QByteArray& sha256, int interruptStatus, const LoadTrace& trace)
{
    const int status = verdictOf(load) == Verdict::Interrupted ? interruptStatus
        : load.exit == LoadExit::Success                      ? 0
        : load.exit == LoadExit::Failure                      ? 1
                                                              : 2;
    return {load.id, {}, {}, load.start, port.number,
            port.state == PortAssignment::State::Present ? port.device.path : port.path, port.device.serialNumber,
            imagePath, image.largo_archivo, sha256, load.blocksSent, FirmwareFile::blockCount(image.largo_archivo),
            resultOf(load), status, load.seconds, load.serial, trace.order, trace.operatorName, load.cause};
}

void DeviceCounts::add(const LoadOutcome& load)
{
    ++loads;
    switch (verdictOf(load)) {
    case Verdict::Ready: ++ready; break;
    case Verdict::Failed: ++failed; break;
    case Verdict::Interrupted: ++interrupted; break;
    }
    last = load;
}

QString counted(qsizetype n, const QString& one, const QString& many)
{
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
}

Bench::Bench(const FirmwareImage& image, QString imagePath, Record* record)
    : image_(image), imagePath_(std::move(imagePath)), sha256_(FirmwareFile::sha256(image)), record_(record)
{
}

Bench::~Bench()
{
    for (Device& device : devices_)
        device.run.reset();   // waits for its thread
}

void Bench::start(const QList<PortAssignment>& ports, bool repeat, Events events)
{
    events_ = std::move(events);
    repeat_ = repeat;
    devices_.clear();
    devices_.resize(static_cast<std::size_t>(ports.size()));
    finished_ = 0;
    for (int i = 0; i < ports.size(); ++i) {
        devices_[static_cast<std::size_t>(i)].port = ports[i];
        startRun(i);
    }
    for (Device& device : devices_)
        device.run->start();
}

void Bench::startRun(int i)
{
    Device& device = devices_[static_cast<std::size_t>(i)];
    DeviceEvents run;
    run.started = [this, i] {
        if (events_.started)
            events_.started(i);
    };
    run.status = [this, i](const QString& text) {
        if (events_.status)
            events_.status(i, text);
    };
    run.progress = [this, i](int block) {
        if (events_.progress)
            events_.progress(i, block);
    };
    run.gone = [this, i](const QString& reason) {
        if (events_.gone)
            events_.gone(i, reason);
    };
    run.back = [this, i] {
        if (events_.back)
            events_.back(i);
    };
    run.loaded = [this, i](const LoadOutcome& load) { loaded(i, load); };
    run.finished = [this, i] {
        devices_[static_cast<std::size_t>(i)].ended = true;
        if (events_.ended)
            events_.ended(i);
        if (++finished_ == size() && events_.finished)
            events_.finished();
    };
    device.ended = false;
    ++device.runs;
    device.run = std::make_unique<DeviceRun>(device.port, image_, repeat_, &owner_, std::move(run), asksSerial && repeat_);
}

void Bench::lastBoards()
{
    for (int i = 0; i < size(); ++i)
        lastBoard(i);
}

void Bench::lastBoard(int device)
{
    devices_[static_cast<std::size_t>(device)].run->lastBoard();
}

void Bench::restart(int index)
{
    Device& device = devices_[static_cast<std::size_t>(index)];
    if (!device.ended)
        return;
    // The run before has ended, its thread with it; what it said has all been heard.
    --finished_;
    device.serial.clear();   // the next board's is scanned afresh
    startRun(index);
    device.run->start();
}

void Bench::loaded(int index, const LoadOutcome& given)
{
    Device& device = devices_[static_cast<std::size_t>(index)];
    // The same cause in the window, on standard error (a failure's reason, naming the device) and
    // in the row.
    LoadOutcome load = given;
    load.serial = device.serial;
    load.cause = causeOf(load, device.port.named(), FirmwareFile::blockCount(image_.largo_archivo), interruptCause);
    if (load.reason.isEmpty() && verdictOf(load) == Verdict::Failed)
        load.reason = device.port.named() + QStringLiteral(": ") + load.cause;
    // Each board its own serial number.
    if (asksSerial)
        device.serial.clear();
    device.counts.add(load);
    // The device's next load waits until this row is on disk (or kept, when the disk takes
    // nothing). The record outlives the bench: the call back has the bench's own object for its
    // context, so that a bench gone, or replaced by the next, is never called.
    const auto recorded = [this, index, runs = device.runs] {
        const Device& now = devices_[static_cast<std::size_t>(index)];
        if (now.runs == runs && now.run)
            now.run->recorded();
    };
    if (record_) {
        record_->append(rowOf(load, device.port, imagePath_, image_, sha256_, interruptStatus, trace), &owner_, recorded);
    } else {
        recorded();
    }
    if (events_.loaded)
        events_.loaded(index, load);
    if (device.run)
        device.run->heard();
}

void Bench::setSerial(int index, const QString& serial)
{
    Device& device = devices_[static_cast<std::size_t>(index)];
    const bool first = device.serial.isEmpty();
    device.serial = serial;
    if (first && asksSerial && device.run)
        device.run->serialGiven();
}

void Bench::cancel()
{
    for (Device& device : devices_)
        device.run->cancel();
}

void Bench::abandon()
{
    for (Device& device : devices_)
        device.run->abandon();
}

void Bench::settle()
{
    for (Device& device : devices_)
        device.run->wait();
    QCoreApplication::sendPostedEvents(&owner_, QEvent::MetaCall);
}

} // namespace programador
