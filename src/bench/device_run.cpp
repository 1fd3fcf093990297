#include "device_run.h"

#include "cooperative_wait.h"
#include "event_loop_yield.h"
#include "qserial_port_line.h"
#include "tick_timers.h"
#include "transfer_view.h"
#include "xmodem_sender.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <exception>

namespace programador {

namespace {

// The device's serial line for a run that repeats: it stays open from one board to the next,
// and what the wait for the next board read of its start-up is given back to the handshake.
class KeptLine : public SerialLine {
public:
    KeptLine(SerialLine& inner, bool keep) : inner_(inner), keep_(keep) {}

    void setPortNumber(std::int16_t port) override { inner_.setPortNumber(port); }
    void setSettings(const QString& settings) override { inner_.setSettings(settings); }
    void setInputLength(std::int16_t length) override { inner_.setInputLength(length); }
    void open() override
    {
        if (!keep_ || !inner_.isOpen())
            inner_.open();
    }
    // Between boards the port stays open: the EOT goes out all the same.
    void close() override
    {
        if (!keep_)
            inner_.close();
    }
    bool isOpen() const override { return inner_.isOpen(); }
    qsizetype writeSome(const QByteArray& bytes) override { return inner_.writeSome(bytes); }
    void checkAlive() override { inner_.checkAlive(); }
    QString name() const override { return inner_.name(); }
    int bytesWaiting() override { return static_cast<int>(replay_.size()) + (replay_.isEmpty() ? inner_.bytesWaiting() : 0); }
    QByteArray read() override
    {
        if (replay_.isEmpty())
            return inner_.read();
        const QByteArray first = replay_.left(1);
        replay_.remove(0, 1);
        return first;
    }

    void giveBack(const QByteArray& bytes) { replay_ = bytes; }
    void shut()
    {
        replay_.clear();
        try {
            if (inner_.isOpen())
                inner_.close();
        } catch (const SerialError&) {
        }
    }

private:
    SerialLine& inner_;
    const bool keep_;
    QByteArray replay_;
};

// The window as the run shows it: Label1's captions and the progress go to the owner, the
// message is kept for the load's outcome.
class RunView : public TransferView, public OperatorMessages {
public:
    explicit RunView(std::function<void(std::function<void()>)> post, const DeviceEvents& events)
        : post_(std::move(post)), events_(events)
    {
    }
    void setStatusText(const QString& text) override
    {
        post_([status = events_.status, text] { status(text); });
    }
    void setProgressValue(float value) override
    {
        blocksSent = static_cast<int>(value);
        post_([progress = events_.progress, k = blocksSent] { progress(k); });
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

    int blocksSent = 0;
    QString message, reason;

private:
    std::function<void(std::function<void()>)> post_;
    const DeviceEvents& events_;
};

// The reason of a failure that left a board's wait or load, in the words of a port failure.
QString reasonOf(const std::exception_ptr& failure, const QString& port)
{
    try {
        std::rethrow_exception(failure);
    } catch (const SerialError& error) {
        return error.reason.isEmpty() ? reasonLine(port, Cause::PortFailed, QString::fromLocal8Bit(error.what())) : error.reason;
    } catch (const std::exception& error) {
        return reasonLine(port, Cause::PortFailed, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return reasonLine(port, Cause::PortFailed);
    }
}

} // namespace

DeviceRun::DeviceRun(PortAssignment port, const FirmwareImage& image, bool repeat, QObject* owner, DeviceEvents events,
                     bool asksSerial)
    : port_(std::move(port)), image_(image), repeat_(repeat), owner_(owner), events_(std::move(events)), asksSerial_(asksSerial)
{
}

DeviceRun::~DeviceRun()
{
    wait();
}

void DeviceRun::wait()
{
    if (thread_)
        thread_->wait();
}

void DeviceRun::start()
{
    thread_.reset(QThread::create([this] { body(); }));
    thread_->start();
}

void DeviceRun::post(std::function<void()> call)
{
    if (call)
        QMetaObject::invokeMethod(owner_, std::move(call), Qt::QueuedConnection);
}

void DeviceRun::here(std::function<void()> call)
{
    const std::lock_guard lock(mutex_);
    if (control_)
        QMetaObject::invokeMethod(control_, std::move(call), Qt::QueuedConnection);
}

void DeviceRun::cancel()
{
    {
        const std::lock_guard lock(mutex_);
        requested_ = std::max(requested_, 1);
    }
    here([this] { cancelled_(); });
}

void DeviceRun::abandon()
{
    {
        const std::lock_guard lock(mutex_);
        requested_ = 2;
    }
    here([this] { abandoned_(); });
}

void DeviceRun::recorded()
{
    here([this] { ++recorded_; });
}

void DeviceRun::heard()
{
    here([this] { ++heard_; });
}

void DeviceRun::serialGiven()
{
    ++given_;
    here([] {});   // wakes the wait for the board
}

void DeviceRun::lastBoard()
{
    last_ = true;
    here([] {});   // wakes the wait for the board
}

void DeviceRun::body()
{
    QObject control;
    TickCounters ticks;
    TickTimers timers(ticks);
    QSerialPortLine port([port = port_](int) { return port; });
    KeptLine line(port, repeat_);
    EventLoopYield events;
    CooperativeWait wait(ticks, events, line);
    RunView view([this](std::function<void()> call) { post(std::move(call)); }, events_);
    XmodemSender sender(wait, image_, view);
    const std::int16_t puerto = static_cast<std::int16_t>(port_.number > 0 ? port_.number : 1);
    LoadSequence sequence(wait, sender, view, view, puerto);

    bool stopping = false, interrupted = false;
    cancelled_ = [&] {
        stopping = interrupted = true;
        sequence.Command2_Click();
    };
    abandoned_ = [&] {
        stopping = interrupted = true;
        wait.abandon();
    };
    int requested = 0;
    {
        const std::lock_guard lock(mutex_);
        control_ = &control;
        requested = requested_;
    }
    // A signal that came before the run could hear it.
    if (requested > 0)
        requested == 1 ? cancelled_() : abandoned_();

    // The next board, with no time limit: the adapter opened (or waited for until its path is
    // back), then the board's start-up cue, "T" then "A". What came before the cue is given
    // back with it, so the handshake reads the start-up as it came. False once stopped.
    const auto awaitBoard = [&]() -> bool {
        // This wait has no time limit: with the timers stopped, nothing wakes the thread but the
        // device, a cancel, or the pause before looking again for an adapter that went away.
        timers.Timer1.stop();
        timers.Timer2.stop();
        const auto ticking = [&timers](bool on) {
            for (QTimer* timer : {&timers.Timer1, &timers.Timer2})
                on ? timer->start() : timer->stop();
        };
        // The owner has heard the last load before the next board is asked for: what it heard
        // may make that load the device's last (an order's count reached, a fixture that fails).
        // Only the owner's call wakes this wait: the line may be shut (a port that failed).
        while (heard_ < loads_ && !stopping && !last_) {
            events.yield(true);
            if (wait.abandoned())
                throw RunAbandoned{};
        }
        if (stopping || last_)
            return false;
        bool told = false, early = false;
        QString shown;
        QByteArray seen;
        for (;;) {
            try {
                if (!line.isOpen()) {
                    line.open();
                    if (told)
                        post(events_.back);
                    told = false;
                }
                // The board's serial number first, when it is asked for: a start-up before it is
                // let go, and the operator is told to scan first (then to switch the board on again).
                const bool armed = !asksSerial_ || given_ > loads_;
                if (!armed && seen.endsWith("TA")) {
                    seen.clear();
                    early = true;
                }
                const QString status = armed ? QStringLiteral("Alimente el equipo")
                    : early                  ? QStringLiteral("Escanee la placa primero")
                                             : QStringLiteral("Escanee la placa");
                if (status != shown)
                    view.setStatusText(shown = status);
                if (armed && seen.endsWith("TA"))
                    break;
                wait.yieldPass();
                if (stopping || last_)
                    return false;
                if (line.bytesWaiting() > 0)
                    seen = (seen + line.read()).right(64);
            } catch (const SerialError& failure) {
                // Gone, or not there yet: said once, then looked for again after a pause; once it
                // is back, the wait for the board is shown again.
                line.shut();
                seen.clear();
                shown.clear();
                if (!told)
                    post([gone = events_.gone, reason = failure.reason] { gone(reason); });
                told = true;
                ticking(true);
                for (ticks.contador2 = 0; ticks.contador2 < 10 && !stopping && !last_;) {   // a second
                    events.yield(true);
                    if (wait.abandoned())
                        throw RunAbandoned{};
                }
                ticking(false);
                if (stopping || last_)
                    return false;
            }
        }
        // The row of the last load is on disk before the next load starts. A board that is to be
        // none of this run's while it waits there is let go, as one that comes after.
        while (recorded_ < loads_ && !stopping && !last_)
            wait.yieldPass();
        line.giveBack(seen);
        ticking(true);
        return !stopping && !last_;
    };

    // One board after another. The thread's one boundary is here: whatever the wait for a board
    // or its load raises (a hang-up while the last row is written, a pause, an open) ends that
    // board's load as its error with the reason, exactly as a port failure inside a load does,
    // and never leaves the thread; with repeat the device then waits for its adapter as after
    // any hang-up.
    for (;;) {
        LoadOutcome outcome;
        outcome.id = QUuid::createUuid();
        outcome.start = QDateTime::currentDateTime();
        try {
            if ((repeat_ && !awaitBoard()) || stopping)
                break;
            view.blocksSent = 0;
            view.message.clear();
            view.reason.clear();
            interrupted = false;
            outcome.start = QDateTime::currentDateTime();
            post(events_.started);
            QElapsedTimer clock;
            clock.start();
            outcome.exit = sequence.Command1_Click();
            outcome.seconds = static_cast<double>(clock.elapsed()) / 1000.0;
            outcome.blocksSent = view.blocksSent;
            outcome.message = view.message;
            outcome.reason = view.reason;
            outcome.stop = sequence.stop();
        } catch (const RunAbandoned&) {
            break;   // ended at once while waiting for a board
        } catch (...) {
            outcome.exit = LoadExit::Error;
            outcome.message = QStringLiteral("Error en puerto serie");
            outcome.reason = reasonOf(std::current_exception(), port_.named());
        }
        outcome.interrupted = interrupted;
        ++loads_;
        post([loaded = events_.loaded, outcome] { loaded(outcome); });
        // A port that failed is opened afresh for the next board.
        if (outcome.exit == LoadExit::Error)
            line.shut();
        if (!repeat_ || stopping || last_)
            break;
    }
    line.shut();
    {
        const std::lock_guard lock(mutex_);
        control_ = nullptr;
    }
    post(events_.finished);
}

} // namespace programador
