#include "main_window.h"

#include "file_browser.h"
#include "file_names.h"
#include "firmware_file.h"
#include "keyboard.h"
#include "user_names.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QStyle>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <limits>
#include <utility>

#include <sys/stat.h>

namespace programador {

namespace {

// The bar counts in whole steps; the maximum and value the program sets are whole numbers
// (a block count and a block number), so rounding loses nothing. Out-of-range values are
// clamped: the bar's minimum is 0.
int progressSteps(float value)
{
    if (!(value > 0.0f))   // also NaN
        return 0;
    if (value >= static_cast<float>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(std::lround(value));
}

} // namespace

MainWindow::MainWindow(OperatorMessages& messages, SerialLine& line, EventYield& events, PortNumbering& numbering,
                       const QString& settingsDirectory, EndProgram endProgram, Twips twips, DriveSource* drives)
    : messages_(messages),
      line_(line),
      events_(events),
      endProgram_(endProgram ? std::move(endProgram) : EndProgram([] { QCoreApplication::exit(0); })),
      ownDrives_(drives ? nullptr : std::make_unique<MountedDrives>()),
      drives_(drives ? *drives : *ownDrives_),
      settings_(messages, settingsDirectory),
      timers_(ticks_),
      image_(std::make_unique<FirmwareImage>()),
      ui_(twips),
      record_(*ui_.RecordLine),
      wait_(ticks_, events, line),
      sender_(wait_, *image_, *this),
      sequence_(wait_, sender_, *this, messages, settings_.puerto),
      portProbe_(line),
      portDialog_(portDialogWindow_, *this, portProbe_, settings_, messages, numbering),
      numbering_(numbering),
      benchWindow_(messages, numbering, record_)
{
    portDialogWindow_.setLogic(portDialog_);
    portDialogWindow_.setTransientParent(&ui_);

    connect(ui_.ayuda, &QAction::triggered, this, &MainWindow::ayuda_Click);
    connect(ui_.configurar, &QAction::triggered, this, &MainWindow::configurar_Click);
    connect(ui_.banco, &QAction::triggered, this, [this] { banco_Click(); });
    connect(ui_.salir, &QAction::triggered, this, &MainWindow::salir_Click);
    connect(ui_.Command1, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(ui_.Command2, &QPushButton::clicked, this, &MainWindow::Command2_Click);
    // Picking the drive already shown is no change of drive.
    connect(ui_.Drive1, &QComboBox::currentIndexChanged, this, &MainWindow::Drive1_Change);
    connect(ui_.Dir1, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { openDirectory(item->data(Qt::UserRole).toString()); });
    // Each change of the selected name loads that file, whatever made it: a click, the arrow
    // keys, typing a name's first letter. A double-click selects once, so it loads once.
    connect(ui_.File1, &QListWidget::itemSelectionChanged, this, &MainWindow::File1_Click);
    connect(&folderWatch_, &QFileSystemWatcher::directoryChanged, this, &MainWindow::followFolder);
    drives_.changed = [this] { followDrives(); };
    for (QAbstractButton* button : {static_cast<QAbstractButton*>(ui_.Command1), static_cast<QAbstractButton*>(ui_.Command2)})
        pressOnEnter(button);
    menuOnF10(ui_);
    ui_.File1->installEventFilter(this);

    // The lists start on the working directory and the drive it lies on.
    dirPath_ = QDir::currentPath();
    showDrives();
    showDirectories();
    Dir1_Change();

    ui_.installEventFilter(this);
}

MainWindow::~MainWindow()
{
    end();
    drives_.changed = nullptr;
    ui_.File1->removeEventFilter(this);
    ui_.removeEventFilter(this);
}

const QString& MainWindow::helpText()
{
    static const QString text = QStringLiteral(
        "Con el equipo sin energía, conecte el cable al conector RS232 y al puerto serie elegido en la PC, "
        "configure el puerto a utilizar en Configurar puerto serie, seleccione el archivo de firmware a cargar "
        "(*.stb o *.bin), oprima el botón 'Cargar Firmware' y alimente el equipo");
    return text;
}

void MainWindow::show()
{
    // Centred on the screen: the window's size is fixed by its layout before it is shown.
    ui_.layout()->activate();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        ui_.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, ui_.size(),
                                            screen->availableGeometry()));
    }
    ui_.show();
    // The first control of the tab order that can take the focus holds it.
    QWidget* first = ui_.Command1;
    while (!first->isEnabled() || !(first->focusPolicy() & Qt::TabFocus))
        first = first->nextInFocusChain();
    first->setFocus(Qt::TabFocusReason);
}

void MainWindow::Form_Load()
{
    record_.open();
    settings_.lee_puerto();
    marca_puerto();
    ui_.Command2->setEnabled(false);
    ui_.ProgressBar1->hide();
    ui_.Command1->setEnabled(false);
}

void MainWindow::marca_puerto()
{
    portDialog_.marca_puerto();
}

void MainWindow::ayuda_Click()
{
    messages_.show(helpText(), MessageIcon::Information, MessageButtons::Ok);
}

void MainWindow::configurar_Click()
{
    portDialog_.configurar_Click();
}

void MainWindow::banco_Click(const QString& orderFile)
{
    setEnabled(false);
    benchWindow_.open(imagePath_, &ui_, [this] {
        setEnabled(true);
        showAndRaise();
    }, orderFile);
}

void MainWindow::setEnabled(bool enabled)
{
    ui_.setEnabled(enabled);
}

void MainWindow::showAndRaise()
{
    ui_.show();
    ui_.raise();
    ui_.activateWindow();
}

void MainWindow::Command1_Click()
{
    // The file as it is on disk now: a rebuilt image goes out as rebuilt, and one that can no
    // longer be loaded does not go out at all. Never while a run sends the buffer.
    if (sequence_.running() || !loadImage(imagePath_, imageName_))
        return;
    // registro.ini as it is now: a destination set while the window was open is this load's.
    record_.open();
    const PortAssignment port = numbering_.resolve(settings_.puerto);   // what the load opens
    LoadOutcome load;
    load.id = QUuid::createUuid();
    load.start = QDateTime::currentDateTime();
    QElapsedTimer clock;
    clock.start();
    blocksSent_ = 0;
    load.exit = sequence_.Command1_Click();
    load.seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    load.blocksSent = blocksSent_;
    load.stop = sequence_.stop();
    load.reason = sequence_.reason();
    load.cause = causeOf(load, port.named(), FirmwareFile::blockCount(image_->largo_archivo),
                         programador::interruptedBy(signal_));
    // Its row, as the command line makes it; "Cancelar" is the command line's first SIGINT. The
    // operator by name; these loads have no order and no serial.
    record_.append(rowOf(load, port, imagePath_, *image_, FirmwareFile::sha256(*image_), 128 + (signal_ ? signal_ : SIGINT),
                         {{}, fullName()}));
}

void MainWindow::interrupt(int signal)
{
    signal_ = signal;
    const bool atOnce = ++signals_ > 1;
    if (sequence_.running())
        atOnce ? wait_.abandon() : sequence_.Command2_Click();
    benchWindow_.interrupt(signal, atOnce);
    QTimer::singleShot(0, &ui_, [this] { endOnceIdle(); });
}

void MainWindow::endOnceIdle()
{
    // The program ends once every load has ended and its row is made.
    if (sequence_.running() || benchWindow_.running())
        return void(QTimer::singleShot(20, &ui_, [this] { endOnceIdle(); }));
    windowClosing();
}

bool MainWindow::end()
{
    benchWindow_.end();
    return record_.finish();
}

void MainWindow::Command2_Click()
{
    sequence_.Command2_Click();
}

bool MainWindow::loadImage(const QString& path, const QString& name)
{
    ui_.Command1->setEnabled(false);
    setMenuEnabled(false);
    setBusyPointer();

    Cause cause = Cause::None;
    switch (FirmwareFile::load(path, *image_, cause)) {
    case FirmwareFile::Result::Loaded:
        break;
    case FirmwareFile::Result::TooLarge:
        // Only 1953 blocks fit the device's buffer: a longer image would stop half-way.
        imageLoadFailed(QStringLiteral("Archivo demasiado grande"), name, reasonLine(name, cause));
        return false;
    case FirmwareFile::Result::Unreadable:
        imageLoadFailed(QStringLiteral("Error en archivo"), name, reasonLine(name, cause));
        return false;
    }
    imagePath_ = path;
    imageName_ = name;
    ui_.Label2->setText(QStringLiteral("Archivo: ") + printableName(path));
    // The bar counts the blocks that will be sent, so it ends full for every length.
    setProgressMaximum(static_cast<float>(FirmwareFile::blockCount(image_->largo_archivo)));
    setProgressValue(0.0f);
    ui_.Command1->setEnabled(true);
    setNormalPointer();
    setMenuEnabled(true);
    return true;
}

void MainWindow::imageLoadFailed(const QString& message, const QString& name, const QString& reason)
{
    setNormalPointer();
    messages_.show(message, MessageIcon::Warning, MessageButtons::Ok, reason);
    try {
        if (line_.isOpen())
            line_.close();
    } catch (const SerialError&) {
        // A port that fails to close is left as it is; the next run opens it anew.
    }
    habilita();
    ui_.Command1->setEnabled(false);   // no image is ready to send
    ui_.Label2->setText(QString());
    imagePath_.clear();
    // Nothing is loaded, so nothing stays selected and picking the same name again retries.
    // The list may still be selecting it for the click or key that started the load: the
    // selection is cleared once that event is over.
    QTimer::singleShot(0, ui_.File1, [list = ui_.File1, name] {
        const QSignalBlocker quiet(list);
        if (!list->selectedItems().isEmpty() && list->selectedItems().first()->text() == name)
            list->clearSelection();
    });
}

void MainWindow::salir_Click()
{
    if (messages_.show(QStringLiteral("Está seguro?"), MessageIcon::None, MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    if (!ui_.close() && ui_.isVisible())
        return;         // the operator keeps it open: rows of the record would be lost
    windowClosing();    // in case the window was already closing
}

void MainWindow::abandonTransfer()
{
    if (sequence_.running())
        wait_.abandon();
}

void MainWindow::windowClosing()
{
    if (ended_)
        return;
    ended_ = true;
    abandonTransfer();
    endProgram_();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The file list takes the focus with its first file current but not selected; the first
    // arrow key selects that file instead of moving past it.
    if (watched == ui_.File1 && event->type() == QEvent::KeyPress && !fileChosen_
        && ui_.File1->selectedItems().isEmpty() && ui_.File1->count() > 0) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Up) {
            ui_.File1->setCurrentRow(std::max(0, ui_.File1->currentRow()), QItemSelectionModel::ClearAndSelect);
            return true;
        }
    }
    // Closing through the window system asks nothing, unless rows of the record would be lost
    // with the program: the window closes and the program ends.
    if (watched == &ui_ && event->type() == QEvent::Close) {
        if (const qsizetype rows = record_.inMemory(); rows > 0 && !signal_ && !ended_
            && messages_.show(rows == 1 ? QStringLiteral("¿Cerrar el programa? 1 fila del registro está solo en la memoria y se perderá.")
                                        : QStringLiteral("¿Cerrar el programa? %1 filas del registro están solo en la memoria y se perderán.").arg(rows),
                              MessageIcon::Warning, MessageButtons::YesNo, ui_.RecordLine->toolTip())
                != MessageAnswer::Yes) {
            event->ignore();
            return true;
        }
        event->accept();
        windowClosing();
        return false;
    }
    return QObject::eventFilter(watched, event);
}

void MainWindow::setStatusText(const QString& text) { ui_.Label1->setText(text); }

void MainWindow::setStatusVisible(bool visible) { ui_.Label1->setVisible(visible); }

void MainWindow::setProgressValue(float value)
{
    ui_.ProgressBar1->setValue(progressSteps(value));
    blocksSent_ = progressSteps(value);
}

void MainWindow::setProgressMaximum(float maximum) { ui_.ProgressBar1->setMaximum(progressSteps(maximum)); }

void MainWindow::setProgressVisible(bool visible) { ui_.ProgressBar1->setVisible(visible); }

void MainWindow::setCancelEnabled(bool enabled) { ui_.Command2->setEnabled(enabled); }

void MainWindow::lockForTransfer()
{
    setMenuEnabled(false);
    ui_.Command1->setEnabled(false);
    ui_.File1->setEnabled(false);
    ui_.Drive1->setEnabled(false);
    ui_.Dir1->setEnabled(false);
}

void MainWindow::setMenuEnabled(bool enabled)
{
    for (QAction* command : {ui_.ayuda, ui_.configurar, ui_.banco, ui_.salir})
        command->setEnabled(enabled);
}

void MainWindow::setNormalPointer() { ui_.unsetCursor(); }

void MainWindow::setBusyPointer() { ui_.setCursor(Qt::WaitCursor); }

void MainWindow::clearDrawing()
{
    // Nothing is drawn on the window at run time; a repaint shows the controls alone.
    ui_.update();
}

void MainWindow::habilita()
{
    ui_.Label1->hide();
    ui_.Command2->setEnabled(false);
    setMenuEnabled(true);
    ui_.Command1->setEnabled(true);
    ui_.File1->setEnabled(true);
    ui_.Drive1->setEnabled(true);
    ui_.Dir1->setEnabled(true);
    ui_.ProgressBar1->hide();
}

} // namespace programador
