#pragma once

#include "firmware_image.h"
#include "load_sequence.h"
#include "port_numbering.h"

#include <QDateTime>
#include <QObject>
#include <QThread>
#include <QUuid>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace programador {

// How one load of one device ended.
struct LoadOutcome {
    QUuid id;                // made at the load's start
    QDateTime start;
    double seconds = 0;
    int blocksSent = 0;
    LoadExit exit = LoadExit::Error;
    QString message;         // the message the window would show; empty for a cancel
    QString reason;          // its reason line, when it has one
    bool interrupted = false;   // a signal reached the run while it loaded
    LoadStop stop = LoadStop::None;   // where a communication error stopped
    // Given by the bench when the load is counted: the board's serial number, and the cause of
    // a load that is not "Programa listo", in the words the window shows under the result.
    QString serial;
    QString cause;
};

// What a device's run tells, in the thread that owns the DeviceRun.
struct DeviceEvents {
    std::function<void()> started;                    // a board's load begins
    std::function<void(const QString&)> status;       // Label1's caption
    std::function<void(int)> progress;                // the block being sent
    std::function<void(const QString&)> gone;         // the adapter went away, or is not there: why
    std::function<void()> back;                       // it is there again
    std::function<void(const LoadOutcome&)> loaded;   // a load has ended
    std::function<void()> finished;                   // the run is over, its port closed
};

// One device of the bench, in a thread of its own: its serial line, tick timers, waits
// and load sequence are the ones "Cargar Firmware" uses, born, used and closed in that thread,
// so a device that is off, fails or goes away never holds up another. With repeat, the line
// stays open between boards and waits for each next board's start-up, with no time limit, until
// it is cancelled; an adapter that goes away is waited for until its path is back. The thread's
// body is a boundary: whatever a board's wait or load raises ends that load as its error, and
// nothing crosses it.
class DeviceRun {
public:
    // owner lives in the calling thread; events are called there, through its event loop. With
    // asksSerial, each board's start-up is answered only once its serial number is given: one
    // that comes before is let go, and the run says to scan first.
    DeviceRun(PortAssignment port, const FirmwareImage& image, bool repeat, QObject* owner, DeviceEvents events,
              bool asksSerial = false);
    ~DeviceRun();   // waits for the thread to end

    void start();
    void wait();   // until the thread has ended
    // The first signal: a load under way ends as "Cancelar" makes it end; a line waiting for
    // its next board stops. The second: the run ends at once, port closed, no EOT.
    void cancel();
    void abandon();
    // The last load's row is on disk: with repeat, the next load may start.
    void recorded();
    // The owner has heard the last load: with repeat, the next board may be asked for.
    void heard();
    // The next board's serial number is given: its start-up may be answered.
    void serialGiven();
    // The load under way, if there is one, is the device's last: the run ends after it, and a
    // line that waits for its next board stops now.
    void lastBoard();

private:
    void body();
    void post(std::function<void()> call);   // to the owner's thread
    void here(std::function<void()> call);   // to the run's thread

    const PortAssignment port_;
    const FirmwareImage& image_;
    const bool repeat_;
    QObject* const owner_;
    const DeviceEvents events_;
    const bool asksSerial_;
    std::atomic<int> given_ = 0;   // serial numbers given, one a board
    std::atomic<bool> last_ = false;   // no board after the one under way
    std::unique_ptr<QThread> thread_;
    std::mutex mutex_;
    QObject* control_ = nullptr;   // lives in the run's thread while it runs
    int requested_ = 0;            // 1 cancel, 2 abandon: asked before control_ was there

    // Touched only in the run's thread.
    std::function<void()> cancelled_, abandoned_;
    int loads_ = 0, recorded_ = 0, heard_ = 0;
};

} // namespace programador
