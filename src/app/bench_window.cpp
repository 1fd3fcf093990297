#include "bench_window.h"

#include "file_names.h"
#include "firmware_file.h"
#include "keyboard.h"
#include "user_names.h"
#include "window_record.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStyle>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace programador {

QString BenchWindow::keptFile()
{
    return stateFolder() + QStringLiteral("/banco.ini");
}

BenchWindow::BenchWindow(OperatorMessages& messages, PortNumbering& numbering, WindowRecord& record)
    : messages_(messages), numbering_(numbering), record_(record), image_(std::make_unique<FirmwareImage>())
{
    // An editor saves by writing the file or by putting a new one in its place: both are seen.
    connect(&imageWatch_, &QFileSystemWatcher::fileChanged, this, &BenchWindow::checkImageOnDisk);
    connect(&imageWatch_, &QFileSystemWatcher::directoryChanged, this, &BenchWindow::checkImageOnDisk);
    figuresClock_.setInterval(60 * 1000);
    connect(&figuresClock_, &QTimer::timeout, this, &BenchWindow::showOrder);
}

BenchWindow::~BenchWindow()
{
    end();
}

void BenchWindow::end()
{
    if (bench_) {
        bench_->abandon();
        bench_->settle();
        bench_.reset();
    }
    numbering_.devices().changed = nullptr;
    record_.showAlso(nullptr);
    rows_.clear();
    if (ui_) {
        // Its filter goes first: a widget being destroyed is no longer the window it watched for.
        ui_->removeEventFilter(this);   // before the widget's end
        delete ui_;
    }
}

void BenchWindow::interrupt(int signal, bool atOnce)
{
    if (!bench_)
        return;
    bench_->interruptStatus = 128 + signal;
    bench_->interruptCause = interruptedBy(signal);
    atOnce ? bench_->abandon() : bench_->cancel();
}

void BenchWindow::open(const QString& imagePath, QWidget* mainWindow, std::function<void()> closed, const QString& orderFile)
{
    const QSettings kept(keptFile(), QSettings::IniFormat);
    const QString lastImage = nameFromBytes(kept.value(QStringLiteral("banco/imagen")).toByteArray());
    // The order given, else the one the bench ran last; else the main window's image, else the
    // one last loaded.
    orderFile_ = !orderFile.isEmpty() ? orderFile : nameFromBytes(kept.value(QStringLiteral("banco/orden_archivo")).toByteArray());
    imagePath_ = !imagePath.isEmpty() ? imagePath : lastImage;
    closed_ = std::move(closed);
    closing_ = false;
    ui_ = new BenchWindowUi;
    ui_->setAttribute(Qt::WA_DeleteOnClose, false);
    connect(ui_->Start, &QPushButton::clicked, this, &BenchWindow::Start_Click);
    connect(ui_->Stop, &QPushButton::clicked, this, &BenchWindow::Stop_Click);
    connect(ui_->Choose, &QPushButton::clicked, this, &BenchWindow::Choose_Click);
    connect(ui_->Clear, &QPushButton::clicked, this, &BenchWindow::Clear_Click);
    connect(ui_->SaveOrder, &QPushButton::clicked, this, &BenchWindow::SaveOrder_Click);
    connect(ui_->Close, &QPushButton::clicked, this, &BenchWindow::close);
    // Return presses the focused button; Escape is "Cerrar".
    for (QPushButton* button : {ui_->Choose, ui_->Clear, ui_->SaveOrder, ui_->Start, ui_->Stop, ui_->Close})
        pressOnEnter(button);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), ui_), &QShortcut::activated, this, &BenchWindow::close);
    ui_->installEventFilter(this);
    // The operator by name, the order and the scanning as the last bench had them.
    ui_->Operator->setText(fullName());
    ui_->Order->setText(kept.value(QStringLiteral("banco/orden")).toString());
    ui_->AskSerial->setChecked(kept.value(QStringLiteral("banco/serie")).toString() == QLatin1String("si"));
    record_.showAlso(ui_->RecordLine);
    rows_.clear();
    order_.reset();
    progress_.reset();
    orderTrouble_.clear();
    if (ordered())
        readOrder(orderFile_);
    showPorts();
    showImage();
    // The image last loaded, changed on disk since: chosen again before it is loaded.
    imageChanged_ = false;
    if (!ordered() && imageLoaded_ && imagePath_ == lastImage
        && FirmwareFile::sha256(*image_) != kept.value(QStringLiteral("banco/sha256")).toByteArray()) {
        imageChanged_ = true;
        ui_->Image->setText(imageShown_ += QString::fromUtf8("; la imagen cambió desde la última carga"));
    }
    // A port ticked for each number whose device is there; under an order, its own.
    for (int n = 1; n <= int(rows_.size()); ++n) {
        const PortAssignment port = numbering_.assignment(n);
        row(n).ui().Use->setChecked(order_ && !order_->ports.isEmpty() ? order_->ports.contains(n)
                                    : port.state == PortAssignment::State::Present
                                        || (port.state == PortAssignment::State::Variable && QFileInfo::exists(port.path)));
    }
    // Devices plugged in or pulled out while nothing runs show at once.
    numbering_.devices().changed = [this] {
        if (ui_ && !bench_)
            showPorts();
    };
    showIdle();
    // In the middle of the screen, as large as its rows ask within the screen, in front of the
    // main window: its transient before it is shown, so that the window manager keeps it there.
    ui_->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        ui_->resize(ui_->fittedSize(room));
        ui_->move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, ui_->frameGeometry().size().boundedTo(room.size()), room).topLeft());
    }
    ui_->winId();
    if (mainWindow && mainWindow->windowHandle() && ui_->windowHandle())
        ui_->windowHandle()->setTransientParent(mainWindow->windowHandle());
    ui_->show();
    ui_->raise();
    ui_->activateWindow();
}

void BenchWindow::showPorts()
{
    numbering_.refresh();
    // Every port an order names has its row, numbered or not yet.
    const QList<int> ordered = order_ ? order_->ports : QList<int>();
    ui_->showRows(std::max(numbering_.shown(), ordered.isEmpty() ? 0 : *std::max_element(ordered.cbegin(), ordered.cend())));
    for (int n = int(rows_.size()) + 1; n <= int(ui_->rows.size()); ++n) {
        rows_.emplace_back(ui_->rows[n - 1], counts_[static_cast<std::size_t>(n - 1)]);
        connect(ui_->rows[n - 1].Serial, &QLineEdit::returnPressed, this, [this, n] { serialEntered(n); });
        connect(ui_->rows[n - 1].Restart, &QPushButton::clicked, this, [this, n] { restartRow(n); });
        rows_.back().showBlocks(blocks());
        rows_.back().showIdle(bench_ != nullptr);
    }
    for (int n = 1; n <= int(rows_.size()); ++n)
        row(n).showPort(numbering_.assignment(n));
}

bool BenchWindow::readImage(Cause& cause)
{
    imageLoaded_ = false;
    if (imagePath_.isEmpty()) {
        imageShown_ = QStringLiteral("Imagen: no hay archivo seleccionado...");
        ui_->Image->setText(imageShown_);
        return false;
    }
    const bool loaded = imageLoaded_ = FirmwareFile::load(imagePath_, *image_, cause) == FirmwareFile::Result::Loaded;
    const QString name = printableName(imagePath_.section(QLatin1Char('/'), -1));
    imageShown_ = loaded ? QStringLiteral("Imagen: %1, %2 bytes, SHA-256 %3")
                               .arg(name)
                               .arg(image_->largo_archivo)
                               .arg(QString::fromLatin1(FirmwareFile::sha256(*image_).left(12)))
                         : QStringLiteral("Imagen: ") + reasonLine(name, cause);
    ui_->Image->setText(imageShown_);
    ui_->Image->setToolTip(printableName(imagePath_));
    for (BenchRow& each : rows_) {
        if (!bench_)
            each.showBlocks(blocks());
    }
    return loaded;
}

void BenchWindow::checkImageOnDisk()
{
    if (!bench_ || !ui_)
        return;
    // A file put in the image's place is watched from now on.
    if (!imageWatch_.files().contains(imagePath_))
        imageWatch_.addPath(imagePath_);
    // What is on disk now, by its bytes: a file touched and written the same is no change.
    auto onDisk = std::make_unique<FirmwareImage>();
    Cause cause = Cause::None;
    const bool same = FirmwareFile::load(imagePath_, *onDisk, cause) == FirmwareFile::Result::Loaded
        && FirmwareFile::sha256(*onDisk) == FirmwareFile::sha256(*image_);
    ui_->Image->setText(same ? imageShown_
                             : imageShown_ + QStringLiteral("; la imagen cambió en el disco; Detener e Iniciar para usarla"));
}

void BenchWindow::showIdle()
{
    const bool running = bench_ != nullptr;
    // Under an order: nothing starts while it cannot run or once it is complete, and only a
    // complete order lets another image be chosen (which leaves it).
    const bool complete = progress_ && progress_->complete();
    const bool runnable = !ordered() || (order_ && progress_ && orderTrouble_.isEmpty() && !complete);
    ui_->Start->setEnabled(!running && !imagePath_.isEmpty() && runnable && !imageChanged_);
    ui_->Stop->setEnabled(running);
    ui_->Choose->setEnabled(!running && (!ordered() || complete));
    ui_->Clear->setEnabled(!running);
    ui_->SaveOrder->setEnabled(!running && imageLoaded_ && !imageChanged_);
    ui_->Operator->setEnabled(!running);
    for (QWidget* field : std::initializer_list<QWidget*>{ui_->Order, ui_->AskSerial})
        field->setEnabled(!running && !ordered());
    for (BenchRow& each : rows_) {
        each.showIdle(running);
        if (!running)
            each.closeSerial();
        if (order_ && !order_->ports.isEmpty())
            each.ui().Use->setEnabled(false);
    }
    if (!running && !imageShown_.isEmpty())
        ui_->Image->setText(imageShown_);
    // The focus on a button that may be pressed.
    if (QWidget* focused = ui_->focusWidget(); !focused || !focused->isEnabled())
        (running ? ui_->Stop : ui_->Start->isEnabled() ? ui_->Start : ui_->Choose)->setFocus();
}

void BenchWindow::Choose_Click()
{
    const QString chosen = chooseImage ? chooseImage(ui_) : QString();
    if (chosen.isEmpty())
        return;
    imagePath_ = chosen;
    imageChanged_ = false;
    // Another image leaves a complete order: the bench is free again.
    if (ordered()) {
        orderFile_.clear();
        order_.reset();
        progress_.reset();
        orderTrouble_.clear();
        QSettings(keptFile(), QSettings::IniFormat).remove(QStringLiteral("banco/orden_archivo"));
        showOrder();
        for (BenchRow& each : rows_)
            each.ui().Use->setEnabled(true);
    }
    showImage();
    showIdle();
}

void BenchWindow::Clear_Click()
{
    if (bench_)
        return;
    counts_ = {};
    for (BenchRow& each : rows_)
        each.showCounts();
}

void BenchWindow::Start_Click()
{
    if (bench_ || imagePath_.isEmpty())
        return;
    // The file as it is on disk now, with the window's checks; one that cannot be loaded is
    // never sent.
    Cause cause = Cause::None;
    if (!readImage(cause)) {
        messages_.show(cause == Cause::TooLarge ? QStringLiteral("Archivo demasiado grande") : QStringLiteral("Error en archivo"),
                       MessageIcon::Warning, MessageButtons::Ok,
                       reasonLine(printableName(imagePath_.section(QLatin1Char('/'), -1)), cause));
        return;
    }
    // An order's image is the one it released, byte for byte, or nothing is sent.
    if (order_) {
        if (const QString refusal = imageRefusal(*order_, printableName(imagePath_.section(QLatin1Char('/'), -1)),
                                                 FirmwareFile::sha256(*image_));
            !refusal.isEmpty()) {
            messages_.show(QString::fromUtf8(kNotTheOrdersImage), MessageIcon::Warning, MessageButtons::Ok, refusal);
            return;
        }
    }
    QList<PortAssignment> ports;
    numbers_.clear();
    for (int n = 1; n <= int(rows_.size()); ++n) {
        if (!row(n).ui().Use->isChecked())
            continue;
        ports << numbering_.resolve(n);
        numbers_ << n;
    }
    if (ports.isEmpty())
        return;
    // registro.ini as it is now: a destination set while the window was open is this bench's.
    record_.open();
    for (const int n : numbers_)
        row(n).showBlocks(blocks());
    bench_ = std::make_unique<Bench>(*image_, imagePath_, record_.record());
    bench_->trace = {ui_->Order->text().trimmed(), ui_->Operator->text().trimmed()};
    bench_->asksSerial = ui_->AskSerial->isChecked();
    {
        // The order's own are the order file's; the bench's kept for the next time without one.
        QSettings kept(keptFile(), QSettings::IniFormat);
        if (ordered()) {
            kept.setValue(QStringLiteral("banco/orden_archivo"), nameToBytes(orderFile_));
        } else {
            kept.setValue(QStringLiteral("banco/orden"), bench_->trace.order);
            kept.setValue(QStringLiteral("banco/serie"), bench_->asksSerial ? QStringLiteral("si") : QStringLiteral("no"));
        }
        kept.setValue(QStringLiteral("banco/imagen"), nameToBytes(imagePath_));
        kept.setValue(QStringLiteral("banco/sha256"), FirmwareFile::sha256(*image_));
    }
    for (const int n : numbers_) {
        row(n).restarted();
        if (progress_)
            progress_->restart(n);
    }
    ui_->showSerials(bench_->asksSerial);
    Bench::Events events;
    events.started = [this](int i) {
        BenchRow& shown = row(numbers_[i]);
        shown.started();
        shown.showPort(numbering_.assignment(numbers_[i]));
    };
    events.status = [this](int i, const QString& text) { row(numbers_[i]).status(text); };
    events.progress = [this](int i, int block) { row(numbers_[i]).progress(block); };
    events.gone = [this](int i, const QString& reason) { row(numbers_[i]).gone(reason); };
    events.back = [this](int i) { row(numbers_[i]).back(numbering_.resolve(numbers_[i])); };
    events.loaded = [this](int i, const LoadOutcome& load) {
        const int n = numbers_[i];
        row(n).loaded(load);
        counted(n, load);
        // The next board's serial, scanned where the operator is: this row's field, unless the
        // focus is in another row that waits for one.
        if (bench_->asksSerial) {
            row(n).askSerial();
            const QWidget* focused = ui_->focusWidget();
            if (std::none_of(rows_.cbegin(), rows_.cend(), [focused](const BenchRow& each) {
                    return each.ui().Serial == focused && each.waitsForSerial(); }))
                ui_->rows[n - 1].Serial->setFocus();
        }
    };
    events.ended = [this](int i) { row(numbers_[i]).showRestart(); };
    events.finished = [this] { finish(); };
    bench_->start(ports, true, std::move(events));
    if (bench_->asksSerial) {
        for (const int n : numbers_)
            row(n).askSerial();
    }
    imageWatch_.addPath(imagePath_);
    imageWatch_.addPath(QFileInfo(imagePath_).absolutePath());
    showIdle();
    // The first board's serial, in the first row's field.
    if (bench_->asksSerial)
        ui_->rows[numbers_.first() - 1].Serial->setFocus();
}

void BenchWindow::serialEntered(int n)
{
    const int device = int(numbers_.indexOf(n));
    const QString serial = ui_->rows[n - 1].Serial->text().trimmed();
    if (!bench_ || device < 0 || serial.isEmpty() || !row(n).waitsForSerial())
        return;
    for (int other = 0; other < numbers_.size(); ++other) {
        if (other != device && bench_->serial(other) == serial)
            return row(n).refuseSerial(serial, numbers_[other]);
    }
    bench_->setSerial(device, serial);
    row(n).takeSerial(serial);
    focusNextSerial(n);
}

void BenchWindow::focusNextSerial(int n)
{
    for (int step = 1; step < int(rows_.size()); ++step) {
        const int next = (n - 1 + step) % int(rows_.size()) + 1;
        if (row(next).waitsForSerial())
            return ui_->rows[next - 1].Serial->setFocus();
    }
}

void BenchWindow::Stop_Click()
{
    if (bench_)
        bench_->cancel();
}

void BenchWindow::finish()
{
    // The runs' threads have ended: the bench goes once this event is over.
    QMetaObject::invokeMethod(this, [this] {
        if (!bench_)
            return;   // ended meanwhile
        bench_.reset();
        if (const QStringList watched = imageWatch_.files() + imageWatch_.directories(); !watched.isEmpty())
            imageWatch_.removePaths(watched);
        if (closing_)
            close();
        else if (ui_)
            showIdle();
    }, Qt::QueuedConnection);
}

void BenchWindow::close()
{
    if (bench_) {
        // Closing ends every row, a board half written or a row waiting for its board alike:
        // the operator says so first, No unless said otherwise.
        if (!closing_
            && messages_.show(QStringLiteral("¿Detener las cargas y cerrar el banco?"), MessageIcon::Warning,
                              MessageButtons::YesNoDefaultNo) != MessageAnswer::Yes)
            return;
        closing_ = true;
        bench_->abandon();   // every run ends at once, its port closed; the window closes then
        return;
    }
    numbering_.devices().changed = nullptr;
    record_.showAlso(nullptr);
    rows_.clear();
    if (ui_) {
        ui_->removeEventFilter(this);
        ui_->hide();
        ui_->deleteLater();
    }
    if (closed_)
        std::exchange(closed_, nullptr)();
}

bool BenchWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The window system's close goes where "Cerrar" goes; the window closes itself when it may.
    if (watched == ui_ && event->type() == QEvent::Close) {
        event->ignore();
        close();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace programador
