// The bench under a production order: the order read and shown, each load counted toward it,
// a row stopped for its fixture started again, and the alarm.
#include "bench_window.h"

#include "file_names.h"
#include "user_names.h"
#include "window_record.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

namespace programador {

void BenchWindow::readOrder(const QString& file)
{
    order_.reset();
    progress_.reset();
    orderTrouble_.clear();
    Order order;
    QString why;
    if (!programador::readOrder(file, order, why)) {
        orderTrouble_ = why;
    } else {
        order_ = order;
        imagePath_ = order.image;
        // What was counted of it before, on this PC.
        progress_ = std::make_unique<OrderProgress>(order, stateFolder() + QStringLiteral("/ordenes"));
        if (!progress_->read(why))
            orderTrouble_ = why;
        ui_->Order->setText(order.name);
        ui_->AskSerial->setChecked(order.asksSerial);
    }
    showOrder();
}

void BenchWindow::showOrder()
{
    if (!ui_)
        return;
    ui_->OrderLine->setVisible(ordered());
    ui_->Figures->setVisible(progress_ != nullptr);
    if (!ordered()) {
        figuresClock_.stop();
        return;
    }
    QString line;
    if (order_) {
        const QString image = printableName(order_->image.section(QLatin1Char('/'), -1));
        line = order_->count > 0 ? QStringLiteral("Orden %1: %2 placas de %3").arg(order_->name).arg(order_->count).arg(image)
                                 : QStringLiteral("Orden %1: %2, sin cantidad").arg(order_->name, image);
    }
    if (!orderTrouble_.isEmpty())
        line += (line.isEmpty() ? QString() : QStringLiteral("; ")) + orderTrouble_;
    BenchWindowUi::paint(ui_->OrderLine, line, orderTrouble_.isEmpty() ? BenchWindowUi::Tone::Idle : BenchWindowUi::Tone::Failed);
    if (progress_) {
        // A complete order in green, for the operator at arm's length.
        const QString figures = progress_->figures(QDateTime::currentDateTimeUtc());
        if (progress_->complete()) {
            BenchWindowUi::paint(ui_->Figures, figures, BenchWindowUi::Tone::Ready);
        } else {
            ui_->Figures->setPalette(QPalette());
            ui_->Figures->setAutoFillBackground(false);
            ui_->Figures->setText(figures);
        }
        figuresClock_.start();
    }
}

void BenchWindow::counted(int n, const LoadOutcome& load)
{
    const Verdict verdict = verdictOf(load);
    if (!progress_) {
        if (verdict == Verdict::Failed)
            sound(Alarm::What::Failed);
        return;
    }
    // The count reached: the loads under way finish, the rows waiting stop. A row whose boards
    // fail so many times in a row stops alone; the others go on.
    const int device = int(numbers_.indexOf(n));
    const OrderProgress::Change change = progress_->add(n, verdict, load.cause, QDateTime::currentDateTimeUtc());
    if (!progress_->trouble().isEmpty())
        orderTrouble_ = progress_->trouble();
    if (change == OrderProgress::Change::Completed) {
        bench_->lastBoards();
        sound(Alarm::What::OrderComplete);
    } else if (change == OrderProgress::Change::RowStopped) {
        bench_->lastBoard(device);
        row(n).stopForFixture(progress_->causes(n));
        sound(Alarm::What::RowStopped);
    } else if (verdict == Verdict::Failed) {
        sound(Alarm::What::Failed);
    }
    showOrder();
}

void BenchWindow::restartRow(int n)
{
    const int device = int(numbers_.indexOf(n));
    if (!bench_ || device < 0 || !bench_->ended(device) || !row(n).stoppedForFixture())
        return;
    // A complete order starts no row again.
    if (progress_ && progress_->complete())
        return;
    if (progress_)
        progress_->restart(n);
    row(n).restarted();
    bench_->restart(device);
    if (bench_->asksSerial)
        row(n).askSerial();
}

void BenchWindow::SaveOrder_Click()
{
    if (bench_ || !imageLoaded_)
        return;
    Order order = order_.value_or(Order{});
    order.name = ui_->Order->text().trimmed();
    if (order.name.isEmpty()) {
        messages_.show(QStringLiteral("Escriba el nombre de la orden"), MessageIcon::Warning, MessageButtons::Ok);
        ui_->Order->setFocus();
        return;
    }
    order.image = QFileInfo(imagePath_).absoluteFilePath();
    order.sha256 = FirmwareFile::sha256(*image_);
    order.asksSerial = ui_->AskSerial->isChecked();
    order.ports.clear();
    for (int n = 1; n <= int(rows_.size()); ++n)
        if (row(n).ui().Use->isChecked())
            order.ports << n;
    const QString file = chooseOrderFile ? chooseOrderFile(ui_) : QString();
    if (file.isEmpty())
        return;
    // Written whole or not at all: an order read half written would be another order. The
    // flush brings out a disk that takes nothing, which the commit alone would not notice.
    const QByteArray text = orderText(order);
    QSaveFile saved(file);
    errno = 0;
    if (!saved.open(QIODevice::WriteOnly) || saved.write(text) != text.size() || !saved.flush() || !saved.commit()) {
        const int error = errno;
        messages_.show(QStringLiteral("Error en archivo"), MessageIcon::Warning, MessageButtons::Ok,
                       reasonLine(printableName(file.section(QLatin1Char('/'), -1)), error ? writeCause(error) : Cause::WriteFailed));
    }
}

void BenchWindow::sound(Alarm::What what)
{
    // registro.ini as read at this bench's "Iniciar".
    if (alarm)
        alarm->sound(what, record_.sound(), ui_);
}

} // namespace programador
