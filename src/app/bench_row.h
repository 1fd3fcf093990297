#pragma once

#include "bench.h"
#include "bench_row_ui.h"
#include "port_numbering.h"

namespace programador {

// What one row of "Banco de carga" shows, from the bench's events for its COM number: the
// device as numbered (kept while its adapter is out, the reason in the state's tooltip), the
// state in its colour, the progress of the board under way ("bloque k de n", empty again
// while the row waits for the next board), the counts of the shift and the last result with
// its cause and the board's serial number. The counts are the bench window's, kept from one
// opening to the next until the operator clears them.
class BenchRow {
public:
    BenchRow(const BenchRowUi& ui, DeviceCounts& counts);

    const BenchRowUi& ui() const { return ui_; }
    // The device as the numbering has it.
    void showPort(const PortAssignment& port);
    // Not running: "Detenido", the box free to change; running: the box fixed.
    void showIdle(bool running);
    // A progress bar empty, out of the image's blocks.
    void showBlocks(int blocks);
    void showCounts();
    bool loading() const { return loading_; }

    // The board's serial number, when the bench asks for one: the field free for the next
    // board's; the serial given, kept in view while its board loads; a serial refused, because
    // the row at COM number other has it already; and no field to type in (the bench stopped).
    void askSerial();
    void takeSerial(const QString& serial);
    void refuseSerial(const QString& serial, int other);
    void closeSerial();
    bool waitsForSerial() const { return ui_.Serial->isVisibleTo(ui_.Serial->parentWidget()) && !ui_.Serial->isReadOnly(); }

    // The bench's events.
    void started();
    void status(const QString& text);
    void progress(int block);
    void gone(const QString& reason);
    void back(const PortAssignment& port);
    void loaded(const LoadOutcome& load);
    // Stopped for its fixture: "Revise el puesto" in red, the causes of its failed boards in a
    // row in the result's place; "Reanudar" in the progress bar's once its run has ended.
    void stopForFixture(const QStringList& causes);
    void showRestart();
    bool stoppedForFixture() const { return stopped_; }
    // Started again: as a row that waits for its first board, its counts kept.
    void restarted();

private:
    BenchRowUi ui_;
    DeviceCounts& counts_;
    bool loading_ = false;
    bool stopped_ = false;
};

} // namespace programador
