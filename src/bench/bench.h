#pragma once

#include "device_run.h"
#include "firmware_image.h"
#include "load_row.h"
#include "port_numbering.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace programador {

class Record;

// How a load ended, for counting: ready ("Programa listo"), failed (the board or its line), or
// interrupted (a signal, "Detener" or "Cancelar" stopped it while it loaded).
enum class Verdict { Ready, Failed, Interrupted };
Verdict verdictOf(const LoadOutcome& load);
// The load's result in the window's words: "Programa listo", "Error de comunicacion",
// "Error en puerto serie", or "Interrumpido".
QString resultOf(const LoadOutcome& load);
// Who loads, and for what order: every row says it.
struct LoadTrace {
    QString order;
    QString operatorName;
};
// The record's row of a load of the image (read from imagePath, its SHA-256 in hex) on a port;
// an interrupted load's status is interruptStatus (128 + the signal that stopped it). The
// board's serial and the cause are the load's.
LoadRow rowOf(const LoadOutcome& load, const PortAssignment& port, const QString& imagePath, const FirmwareImage& image,
              const QByteArray& sha256, int interruptStatus, const LoadTrace& trace);
// The cause of a load that did not end in "Programa listo", as the operator can act on it: a
// port's failure as its reason says (the reason names the device first: name), a communication
// error by where the board stopped (of blocks), an interrupted load as interruptCause; none for
// a board that is ready.
QString causeOf(const LoadOutcome& load, const QString& name, int blocks, const QString& interruptCause);
// The cause of a load interrupted by a signal: "detenida por la señal SIGTERM"; by the operator
// for 0.
QString interruptedBy(int signal);
// The cause alone, from a reason that names the device first ("COM3 /dev/ttyUSB0: ...").
QString causeIn(const QString& reason, const QString& name);
// "1 lista", "2 listas".
QString counted(qsizetype n, const QString& one, const QString& many);

// What a device's loads come to. A bench may run for weeks: only the counts and the last load
// are kept.
struct DeviceCounts {
    qsizetype loads = 0, ready = 0, failed = 0, interrupted = 0;
    LoadOutcome last;

    void add(const LoadOutcome& load);   // one more load, counted by its verdict, and the last
};

// Several devices at once, board after board: a DeviceRun each, in a thread of its own, their
// counts, and the record's row of every load, each next load of a device waiting until its row
// is durable. Used by the command line and by the bench window, in their own thread, which the
// runs' events reach through its event loop.
class Bench {
public:
    struct Events {
        std::function<void(int)> started;                       // device, a board's load begins
        std::function<void(int, const QString&)> status;        // device, Label1's caption
        std::function<void(int, int)> progress;                 // device, the block being sent
        std::function<void(int, const QString&)> gone;          // device, why its adapter is not there
        std::function<void(int)> back;                          // device, its adapter there again
        std::function<void(int, const LoadOutcome&)> loaded;    // device, a load counted and recorded
        std::function<void(int)> ended;                         // device, its run is over (the others may go on)
        std::function<void()> finished;                         // every run is over, its port closed
    };

    // image: read and checked by the front end, from imagePath (whose name the rows keep); it
    // lives as long as the bench. record: none, or where every load's row goes.
    Bench(const FirmwareImage& image, QString imagePath, Record* record);
    ~Bench();   // waits for every run's thread
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    // One run a port; with repeat, board after board until cancelled.
    void start(const QList<PortAssignment>& ports, bool repeat, Events events);
    // The loads under way end as "Cancelar" makes them end, and the runs waiting for a board
    // stop; abandon() ends every run at once, port closed, no EOT.
    void cancel();
    void abandon();
    // The loads under way are the last: each run ends after its load, and the runs waiting for
    // a board stop now (an order's count reached). Of one device alone (its fixture failing).
    void lastBoards();
    void lastBoard(int device);
    // A device whose run has ended runs again, board after board, on the same port (the
    // operator starts a stopped row again).
    void restart(int device);
    bool ended(int device) const { return devices_[static_cast<std::size_t>(device)].ended; }
    // Waits for every run's thread to end, then hears what the runs said before they ended, so
    // that the loads they cut short have their rows: for a front end that goes away at once.
    void settle();
    bool running() const { return finished_ < static_cast<int>(devices_.size()); }

    int size() const { return static_cast<int>(devices_.size()); }
    const DeviceCounts& counts(int device) const { return devices_[static_cast<std::size_t>(device)].counts; }
    // The status that an interrupted load's row gives: 128 + the signal that stopped it; and
    // its cause.
    int interruptStatus = 130;
    QString interruptCause = interruptedBy(0);
    // The order and the operator, for every row.
    LoadTrace trace;
    // With asksSerial (set before start, with repeat), each board's start-up waits for its
    // serial number, given by setSerial; without, a serial given stays for every load of the
    // device.
    bool asksSerial = false;
    void setSerial(int device, const QString& serial);
    // The serial number given for the device's next board (or the load under way); empty when none.
    const QString& serial(int device) const { return devices_[static_cast<std::size_t>(device)].serial; }

private:
    struct Device {
        PortAssignment port;
        std::unique_ptr<DeviceRun> run;
        DeviceCounts counts;
        QString serial;
        bool ended = false;   // its run is over
        int runs = 0;         // runs begun: a row's call back reaches only the run whose load it was
    };
    void loaded(int index, const LoadOutcome& load);
    void startRun(int index);

    const FirmwareImage& image_;
    const QString imagePath_;
    const QByteArray sha256_;
    Record* const record_;
    QObject owner_;   // the front end's thread: what the runs say goes there
    std::vector<Device> devices_;
    Events events_;
    bool repeat_ = false;
    int finished_ = 0;
};

} // namespace programador
