#include "main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QStyle>

#include <cmath>
#include <limits>
#include <utility>

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

MainWindow::MainWindow(OperatorMessages& messages, SerialLine& line, EventYield& events,
                       const QString& settingsDirectory, EndProgram endProgram, Twips twips)
    : messages_(messages),
      line_(line),
      events_(events),
      endProgram_(endProgram ? std::move(endProgram) : EndProgram([] { QCoreApplication::exit(0); })),
      settings_(messages, settingsDirectory),
      timers_(ticks_),
      image_(std::make_unique<FirmwareImage>()),
      ui_(twips)
{
    connect(ui_.ayuda, &QAction::triggered, this, &MainWindow::ayuda_Click);
    connect(ui_.configurar, &QAction::triggered, this, &MainWindow::configurar_Click);
    connect(ui_.salir, &QAction::triggered, this, &MainWindow::salir_Click);
    // "Cargar Firmware" (Command1) and "Cancelar" (Command2) are the load sequence's; the
    // three lists are the image selection's. Both connect to ui_ here when they are added.

    ui_.installEventFilter(this);
}

MainWindow::~MainWindow()
{
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
}

void MainWindow::Form_Load()
{
    settings_.lee_puerto();
    marca_puerto();
    ui_.Command2->setEnabled(false);
    ui_.ProgressBar1->hide();
    ui_.Command1->setEnabled(false);
}

void MainWindow::marca_puerto()
{
    if (marcaPuertoHook_)
        marcaPuertoHook_();
}

void MainWindow::ayuda_Click()
{
    messages_.show(helpText(), MessageIcon::Information, MessageButtons::Ok);
}

void MainWindow::configurar_Click()
{
    // Opens the port dialog once it exists.
}

void MainWindow::salir_Click()
{
    if (messages_.show(QStringLiteral("Está seguro?"), MessageIcon::None, MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    ui_.close();        // ends the program through windowClosing()
    windowClosing();    // in case the window was already closing
}

void MainWindow::abandonTransfer()
{
    if (abandonTransferHook_)
        abandonTransferHook_();
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
    // Closing through the window system asks nothing: the window closes and the program ends.
    if (watched == &ui_ && event->type() == QEvent::Close) {
        event->accept();
        windowClosing();
        return false;
    }
    return QObject::eventFilter(watched, event);
}

void MainWindow::setStatusText(const QString& text) { ui_.Label1->setText(text); }

void MainWindow::setStatusVisible(bool visible) { ui_.Label1->setVisible(visible); }

void MainWindow::setProgressValue(float value) { ui_.ProgressBar1->setValue(progressSteps(value)); }

void MainWindow::setProgressMaximum(float maximum) { ui_.ProgressBar1->setMaximum(progressSteps(maximum)); }

void MainWindow::setProgressVisible(bool visible) { ui_.ProgressBar1->setVisible(visible); }

void MainWindow::setCancelEnabled(bool enabled) { ui_.Command2->setEnabled(enabled); }

void MainWindow::lockForTransfer()
{
    ui_.salir->setEnabled(false);
    ui_.ayuda->setEnabled(false);
    ui_.configurar->setEnabled(false);
    ui_.Command1->setEnabled(false);
    ui_.File1->setEnabled(false);
    ui_.Drive1->setEnabled(false);
    ui_.Dir1->setEnabled(false);
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
    ui_.ayuda->setEnabled(true);
    ui_.configurar->setEnabled(true);
    ui_.salir->setEnabled(true);
    ui_.Command1->setEnabled(true);
    ui_.File1->setEnabled(true);
    ui_.Drive1->setEnabled(true);
    ui_.Dir1->setEnabled(true);
    ui_.ProgressBar1->hide();
}

} // namespace programador
