#include "bench_row.h"

#include "bench_window_ui.h"
#include "file_names.h"

namespace programador {

namespace {

using Tone = BenchWindowUi::Tone;

} // namespace

BenchRow::BenchRow(const BenchRowUi& ui, DeviceCounts& counts) : ui_(ui), counts_(counts)
{
    showCounts();
}

void BenchRow::showPort(const PortAssignment& port)
{
    // An adapter changed in its slot says so, with both serial numbers, its node in the tooltip.
    ui_.Device->setText(printableName(port.formerAdapter.isEmpty() ? port.describe() : port.adapterChange()));
    ui_.Device->setToolTip(port.state == PortAssignment::State::Free ? QString() : printableName(port.path + QStringLiteral("\n") + port.describe()));
}

void BenchRow::showIdle(bool running)
{
    ui_.Use->setEnabled(!running);
    ui_.Restart->hide();
    ui_.Progress->show();
    if (running)
        return;
    loading_ = false;
    // A row stopped for its fixture says so until the bench starts again.
    if (stopped_)
        return;
    BenchWindowUi::paint(ui_.State, QStringLiteral("Detenido"), Tone::Idle);
    ui_.State->setToolTip(QString());
}

void BenchRow::stopForFixture(const QStringList& causes)
{
    stopped_ = true;
    QStringList each;
    for (const QString& cause : causes)
        if (!each.contains(cause))
            each << cause;
    BenchWindowUi::paint(ui_.State, QStringLiteral("Revise el puesto"), Tone::Failed);
    ui_.State->setToolTip(printableName(causes.join(QLatin1Char('\n'))));
    BenchWindowUi::paint(ui_.Last, printableName(each.join(QStringLiteral("; "))), Tone::Failed);
    ui_.Last->setToolTip(printableName(causes.join(QLatin1Char('\n'))));
}

void BenchRow::showRestart()
{
    if (!stopped_)
        return;
    ui_.Progress->hide();
    ui_.Restart->show();
}

void BenchRow::restarted()
{
    stopped_ = false;
    ui_.Restart->hide();
    ui_.Progress->show();
    ui_.State->setToolTip(QString());
    showCounts();
}

void BenchRow::showBlocks(int blocks)
{
    ui_.Progress->setRange(0, blocks);
    ui_.Progress->setValue(0);
}

void BenchRow::showCounts()
{
    // The interrupted loads on a line of their own, so that the line above stays whole at any count.
    QString text = counted(counts_.ready, QStringLiteral("lista"), QStringLiteral("listas"))
        + QStringLiteral(", %1 con error").arg(counts_.failed);
    if (counts_.interrupted > 0)
        text += QStringLiteral(",\n") + counted(counts_.interrupted, QStringLiteral("interrumpida"), QStringLiteral("interrumpidas"));
    ui_.Counts->setText(text);
    // The last load's result, and its cause below it; nothing before the first.
    const LoadOutcome& load = counts_.last;
    const Verdict verdict = verdictOf(load);
    const QString cause = load.cause.isEmpty() ? QString() : QStringLiteral("\n") + load.cause;
    const QString board = load.serial.isEmpty() ? QString() : load.serial + QStringLiteral(": ");
    const QString last = counts_.loads == 0 ? QString() : board + resultOf(load) + cause;
    BenchWindowUi::paint(ui_.Last, last,
                         counts_.loads == 0 || verdict == Verdict::Interrupted ? Tone::Idle
                         : verdict == Verdict::Ready                          ? Tone::Ready
                                                                              : Tone::Failed);
    ui_.Last->setToolTip(printableName(last));
}

void BenchRow::started()
{
    loading_ = true;
    ui_.Progress->setValue(0);
}

void BenchRow::status(const QString& text)
{
    if (stopped_)
        return;   // what the run said last before it stopped
    BenchWindowUi::paint(ui_.State, text, loading_ ? Tone::Working : Tone::Waiting);
    ui_.State->setToolTip(QString());
}

void BenchRow::progress(int block)
{
    ui_.Progress->setValue(block);
}

void BenchRow::gone(const QString& reason)
{
    // The device keeps its name: the operator looks for the adapter by it.
    BenchWindowUi::paint(ui_.State, QStringLiteral("Desconectado"), Tone::Away);
    ui_.State->setToolTip(printableName(causeIn(reason, {})));
    ui_.Progress->setValue(0);
}

void BenchRow::back(const PortAssignment& port)
{
    showPort(port);
    ui_.State->setToolTip(QString());
}

void BenchRow::loaded(const LoadOutcome& load)
{
    loading_ = false;
    counts_.add(load);
    showCounts();
    // The next board starts from nothing.
    ui_.Progress->setValue(0);
}

void BenchRow::askSerial()
{
    ui_.Serial->clear();
    ui_.Serial->setReadOnly(false);
    ui_.Serial->setEnabled(true);
}

void BenchRow::takeSerial(const QString& serial)
{
    ui_.Serial->setText(serial);
    ui_.Serial->setReadOnly(true);
}

void BenchRow::refuseSerial(const QString& serial, int other)
{
    BenchWindowUi::paint(ui_.State, QStringLiteral("%1 ya está en COM%2").arg(serial).arg(other), Tone::Failed);
    ui_.Serial->selectAll();
}

void BenchRow::closeSerial()
{
    ui_.Serial->setReadOnly(true);
    ui_.Serial->setEnabled(false);
}

} // namespace programador
