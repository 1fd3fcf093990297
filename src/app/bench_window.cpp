#include "bench_window.h"

#include "file_names.h"
#include "firmware_file.h"
#include "window_record.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace programador {

namespace {

using Tone = BenchWindowUi::Tone;

const QString kStopped = QStringLiteral("Detenido");
const QString kAway = QStringLiteral("Desconectado");

// The cause alone, from a reason that names the device first ("COM3 /dev/ttyUSB0: ...").
QString causeOf(const QString& reason)
{
    return reason.section(QStringLiteral(": "), 1);
}

} // namespace

BenchWindow::BenchWindow(OperatorMessages& messages, PortNumbering& numbering, WindowRecord& record)
    : messages_(messages), numbering_(numbering), record_(record), image_(std::make_unique<FirmwareImage>())
{
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
    atOnce ? bench_->abandon() : bench_->cancel();
}

void BenchWindow::open(const QString& imagePath, QWidget* mainWindow, std::function<void()> closed)
{
    imagePath_ = imagePath;
    closed_ = std::move(closed);
    closing_ = false;
    ui_ = new BenchWindowUi;
    ui_->setAttribute(Qt::WA_DeleteOnClose, false);
    connect(ui_->Start, &QPushButton::clicked, this, &BenchWindow::Start_Click);
    connect(ui_->Stop, &QPushButton::clicked, this, &BenchWindow::Stop_Click);
    connect(ui_->Choose, &QPushButton::clicked, this, &BenchWindow::Choose_Click);
    connect(ui_->Close, &QPushButton::clicked, this, &BenchWindow::close);
    ui_->installEventFilter(this);
    record_.showAlso(ui_->RecordLine);
    counts_ = {};
    for (int n = 1; n <= BenchWindowUi::kRows; ++n) {
        row(n).Counts->setText(QStringLiteral("0 listas, 0 con error"));
        BenchWindowUi::paint(row(n).Last, QString(), Tone::Idle);
    }
    showPorts();
    showImage();
    // A port ticked for each number whose device is there.
    for (int n = 1; n <= BenchWindowUi::kRows; ++n) {
        const PortAssignment port = numbering_.assignment(n);
        row(n).Use->setChecked(port.state == PortAssignment::State::Present
                               || (port.state == PortAssignment::State::Variable && QFileInfo::exists(port.path)));
    }
    // Devices plugged in or pulled out while nothing runs show at once.
    numbering_.devices().changed = [this] {
        if (ui_ && !bench_)
            showPorts();
    };
    showIdle();
    // In the middle of the screen, in front of the main window.
    ui_->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        ui_->move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, ui_->size(), screen->availableGeometry()).topLeft());
    ui_->show();
    if (mainWindow && mainWindow->windowHandle() && ui_->windowHandle())
        ui_->windowHandle()->setTransientParent(mainWindow->windowHandle());
    ui_->raise();
    ui_->activateWindow();
}

void BenchWindow::showPorts()
{
    numbering_.refresh();
    for (int n = 1; n <= BenchWindowUi::kRows; ++n) {
        const PortAssignment port = numbering_.assignment(n);
        row(n).Device->setText(printableName(port.describe()));
        row(n).Device->setToolTip(port.state == PortAssignment::State::Free ? QString() : printableName(port.path));
    }
}

bool BenchWindow::readImage(Cause& cause)
{
    if (imagePath_.isEmpty()) {
        ui_->Image->setText(QStringLiteral("Imagen: no hay archivo seleccionado..."));
        return false;
    }
    const bool loaded = FirmwareFile::load(imagePath_, *image_, cause) == FirmwareFile::Result::Loaded;
    const QString name = printableName(imagePath_.section(QLatin1Char('/'), -1));
    ui_->Image->setText(loaded ? QStringLiteral("Imagen: %1, %2 bytes, SHA-256 %3")
                                     .arg(name)
                                     .arg(image_->largo_archivo)
                                     .arg(QString::fromLatin1(FirmwareFile::sha256(*image_).left(12)))
                               : QStringLiteral("Imagen: ") + reasonLine(name, cause));
    ui_->Image->setToolTip(printableName(imagePath_));
    for (int n = 1; n <= BenchWindowUi::kRows && !bench_; ++n) {
        row(n).Progress->setRange(0, loaded ? FirmwareFile::blockCount(image_->largo_archivo) : 1);
        row(n).Progress->setValue(0);
    }
    return loaded;
}

void BenchWindow::showIdle()
{
    const bool running = bench_ != nullptr;
    ui_->Start->setEnabled(!running && !imagePath_.isEmpty());
    ui_->Stop->setEnabled(running);
    ui_->Choose->setEnabled(!running);
    for (int n = 1; n <= BenchWindowUi::kRows; ++n) {
        row(n).Use->setEnabled(!running);
        if (!running)
            BenchWindowUi::paint(row(n).State, kStopped, Tone::Idle);
    }
}

void BenchWindow::Choose_Click()
{
    const QString chosen = chooseImage ? chooseImage(ui_) : QString();
    if (chosen.isEmpty())
        return;
    imagePath_ = chosen;
    showImage();
    showIdle();
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
    QList<PortAssignment> ports;
    numbers_.clear();
    for (int n = 1; n <= BenchWindowUi::kRows; ++n) {
        if (!row(n).Use->isChecked())
            continue;
        ports << numbering_.resolve(n);
        numbers_ << n;
    }
    if (ports.isEmpty())
        return;
    // registro.ini as it is now: a destination set while the window was open is this bench's.
    record_.open();
    const int blocks = FirmwareFile::blockCount(image_->largo_archivo);
    for (const int n : numbers_) {
        row(n).Progress->setRange(0, blocks);
        row(n).Progress->setValue(0);
        loading_[static_cast<std::size_t>(n - 1)] = false;
    }
    bench_ = std::make_unique<Bench>(*image_, imagePath_, record_.record());
    Bench::Events events;
    events.started = [this](int i) {
        const int n = numbers_[i];
        loading_[static_cast<std::size_t>(n - 1)] = true;
        row(n).Progress->setValue(0);
        row(n).Device->setText(printableName(numbering_.assignment(n).describe()));
    };
    events.status = [this](int i, const QString& text) {
        const int n = numbers_[i];
        BenchWindowUi::paint(row(n).State, text, loading_[static_cast<std::size_t>(n - 1)] ? Tone::Working : Tone::Waiting);
    };
    events.progress = [this](int i, int block) { row(numbers_[i]).Progress->setValue(block); };
    events.gone = [this](int i, const QString& reason) {
        const int n = numbers_[i];
        BenchWindowUi::paint(row(n).State, kAway, Tone::Away);
        row(n).Device->setText(causeOf(reason));
    };
    events.back = [this](int i) { row(numbers_[i]).Device->setText(printableName(numbering_.resolve(numbers_[i]).describe())); };
    events.loaded = [this](int i, const LoadOutcome& load) {
        const int n = numbers_[i];
        loading_[static_cast<std::size_t>(n - 1)] = false;
        DeviceCounts& counts = counts_[static_cast<std::size_t>(n - 1)];
        counts.add(load);
        showCounts(n, counts);
        const Verdict verdict = verdictOf(load);
        const QString reason = verdict == Verdict::Failed && !load.reason.isEmpty() ? QStringLiteral("\n") + causeOf(load.reason) : QString();
        BenchWindowUi::paint(row(n).Last, resultOf(load) + reason,
                             verdict == Verdict::Ready ? Tone::Ready : verdict == Verdict::Failed ? Tone::Failed : Tone::Idle);
    };
    events.finished = [this] { finish(); };
    bench_->start(ports, true, std::move(events));
    showIdle();
}

void BenchWindow::showCounts(int n, const DeviceCounts& counts)
{
    QString text = counted(counts.ready, QStringLiteral("lista"), QStringLiteral("listas"))
        + QStringLiteral(", %1 con error").arg(counts.failed);
    if (counts.interrupted > 0)
        text += QStringLiteral(", ") + counted(counts.interrupted, QStringLiteral("interrumpida"), QStringLiteral("interrumpidas"));
    row(n).Counts->setText(text);
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
        loading_ = {};
        if (closing_)
            close();
        else if (ui_)
            showIdle();
    }, Qt::QueuedConnection);
}

void BenchWindow::close()
{
    if (bench_) {
        // A load under way is a board half written: the operator says whether to end it.
        const bool loading = std::find(loading_.begin(), loading_.end(), true) != loading_.end();
        if (loading && messages_.show(QStringLiteral("Está seguro?"), MessageIcon::None, MessageButtons::YesNo) != MessageAnswer::Yes)
            return;
        closing_ = true;
        bench_->abandon();   // every run ends at once, its port closed; the window closes then
        return;
    }
    numbering_.devices().changed = nullptr;
    record_.showAlso(nullptr);
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
