#include "main_window.h"
#include "qt_message_box.h"
#include "recording_messages.h"

#include <QApplication>
#include <QRadioButton>
#include <QFile>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <cmath>
#include <limits>
#include <memory>

using namespace programador;
using programador::testing::RecordingMessages;

namespace {

// A line that is never opened: nothing in these tests reaches the port.
class UnusedLine : public SerialLine {
public:
    void setPortNumber(std::int16_t) override { ++calls; }
    void setSettings(const QString&) override { ++calls; }
    void setInputLength(std::int16_t) override { ++calls; }
    void open() override { ++calls; }
    void close() override { ++calls; }
    bool isOpen() const override { return false; }
    void write(const QByteArray&) override { ++calls; }
    int bytesWaiting() override { return ++calls, 0; }
    QByteArray read() override { return ++calls, QByteArray(); }
    int calls = 0;
};

class CountingYield : public EventYield {
public:
    void yield(bool) override { ++calls; }
    int calls = 0;
};

const QString kHelp = QStringLiteral(
    "Con el equipo sin energía, conecte el cable al conector RS232 y al puerto serie elegido en la PC, configure el "
    "puerto a utilizar en Configurar puerto serie, seleccione el archivo de firmware a cargar (*.stb o *.bin), "
    "oprima el botón 'Cargar Firmware' y alimente el equipo");

// Records, in order, every change of enabled state and visibility of the window's controls
// and menu commands.
class ChangeLog : public QObject {
public:
    explicit ChangeLog(MainWindowUi& ui)
    {
        for (QWidget* w : std::initializer_list<QWidget*>{ui.Label1, ui.Label2, ui.Command1, ui.Command2, ui.File1,
                                                          ui.Drive1, ui.Dir1, ui.ProgressBar1, ui.Image1})
            w->installEventFilter(this);
        for (QAction* a : {ui.ayuda, ui.configurar, ui.salir}) {
            connect(a, &QAction::enabledChanged, this, [this, a](bool on) {
                entries << a->objectName() + (on ? QStringLiteral(" enabled") : QStringLiteral(" disabled"));
            });
        }
    }

    QStringList entries;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* w = static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::EnabledChange:
            entries << w->objectName() + (w->isEnabled() ? QStringLiteral(" enabled") : QStringLiteral(" disabled"));
            break;
        case QEvent::ShowToParent:
            entries << w->objectName() + QStringLiteral(" shown");
            break;
        case QEvent::HideToParent:
            entries << w->objectName() + QStringLiteral(" hidden");
            break;
        default:
            break;
        }
        return false;
    }
};

// Everything the operator can see of the window, one line per control.
QStringList snapshot(MainWindowUi& ui)
{
    QStringList out;
    const auto state = [](const QWidget* w) {
        return QStringLiteral("%1 enabled=%2 visible=%3 geometry=%4,%5 %6x%7")
            .arg(w->objectName())
            .arg(w->isEnabled())
            .arg(w->isVisible())
            .arg(w->x())
            .arg(w->y())
            .arg(w->width())
            .arg(w->height());
    };
    out << ui.windowTitle() << QStringLiteral("window enabled=%1 visible=%2").arg(ui.isEnabled()).arg(ui.isVisible())
        << QStringLiteral("cursor=%1").arg(ui.cursor().shape());
    for (QAction* a : ui.menuBar()->actions())
        out << QStringLiteral("%1 '%2' enabled=%3").arg(a->objectName(), a->text()).arg(a->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{ui.Drive1, ui.Dir1, ui.File1, ui.Image1})
        out << state(w);
    out << state(ui.Label2) + QStringLiteral(" '%1'").arg(ui.Label2->text())
        << state(ui.Label1) + QStringLiteral(" '%1'").arg(ui.Label1->text())
        << state(ui.Command1) + QStringLiteral(" '%1'").arg(ui.Command1->text())
        << state(ui.Command2) + QStringLiteral(" '%1'").arg(ui.Command2->text())
        << state(ui.ProgressBar1) + QStringLiteral(" %1/%2").arg(ui.ProgressBar1->value()).arg(ui.ProgressBar1->maximum());
    return out;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<missing>");
    return f.readAll();
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void formLoadCreatesTheSettingsFile();
    void formLoadReadsTheRememberedPort();
    void formLoadPreselectsThePortBeforeTheStartState();
    void startState();
    void shownCentredOnTheScreen();
    void timersTickFromCreation();
    void startStateTabOrderSkipsTheDisabledButtons();

    void lockForTransferDisablesInOrder();
    void habilitaFromATransferInOrder();
    void habilitaOnAnIdleWindowChangesNothing();
    void transferViewOnTheWidgets();
    void progressSteps_data();
    void progressSteps();
    void pointer();

    void ayudaShowsTheHelpEachTime();
    void salirAnsweredNoChangesNothing();
    void salirAnsweredYesEndsTheProgram();
    void closingThroughTheWindowSystemEndsTheProgramWithoutAsking_data();
    void closingThroughTheWindowSystemEndsTheProgramWithoutAsking();

    void messageBoxAsShown_data();
    void messageBoxAsShown();
    void messageBoxAnswers_data();
    void messageBoxAnswers();

private:
    void build();
    void startUp();   // Form_Load, then shown

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<RecordingMessages> messages_;
    std::unique_ptr<UnusedLine> line_;
    std::unique_ptr<CountingYield> yield_;
    std::unique_ptr<MainWindow> window_;
    int ended_ = 0;
};

void TestMainWindow::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    messages_ = std::make_unique<RecordingMessages>();
    line_ = std::make_unique<UnusedLine>();
    yield_ = std::make_unique<CountingYield>();
    ended_ = 0;
}

void TestMainWindow::cleanup()
{
    window_.reset();
    QCOMPARE(line_->calls, 0);
    QCOMPARE(yield_->calls, 0);
}

void TestMainWindow::build()
{
    window_ = std::make_unique<MainWindow>(*messages_, *line_, *yield_, dir_->path(), [this] { ++ended_; },
                                           Twips(96));
}

void TestMainWindow::startUp()
{
    build();
    window_->Form_Load();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(&window_->ui()));
}

void TestMainWindow::formLoadCreatesTheSettingsFile()
{
    build();
    window_->Form_Load();
    QCOMPARE(fileBytes(dir_->filePath(QStringLiteral("PROGRAMADOR.INI"))), QByteArray("1\r\n"));
    QCOMPARE(window_->settings().puerto, 1);
    QVERIFY(messages_->shown.isEmpty());
}

void TestMainWindow::formLoadReadsTheRememberedPort()
{
    {
        QFile f(dir_->filePath(QStringLiteral("PROGRAMADOR.INI")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("3\r\n");
    }
    build();
    QCOMPARE(window_->settings().puerto, 0);   // nothing read before the start-up
    window_->Form_Load();
    QCOMPARE(window_->settings().puerto, 3);
    QCOMPARE(fileBytes(dir_->filePath(QStringLiteral("PROGRAMADOR.INI"))), QByteArray("3\r\n"));
    QVERIFY(messages_->shown.isEmpty());
}

void TestMainWindow::formLoadPreselectsThePortBeforeTheStartState()
{
    {
        QFile f(dir_->filePath(QStringLiteral("PROGRAMADOR.INI")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("4\r\n");
    }
    build();
    QVERIFY(!window_->portDialogUi());
    window_->Form_Load();
    // The dialog exists from start-up on, hidden, with the remembered port selected.
    PortDialogUi* dialog = window_->portDialogUi();
    QVERIFY(dialog);
    QVERIFY(!dialog->isVisible());
    QVERIFY(dialog->Option4->isChecked());
    QVERIFY(!dialog->Option1->isChecked());
    QVERIFY(!window_->ui().Command1->isEnabled());
}

void TestMainWindow::startState()
{
    startUp();
    MainWindowUi& ui = window_->ui();
    QCOMPARE(ui.windowTitle(), QStringLiteral("Telvarin V5.0"));
    QVERIFY(ui.isVisible());
    QVERIFY(ui.isEnabled());

    QCOMPARE(ui.Command1->text(), QStringLiteral("Cargar Firmware"));
    QCOMPARE(ui.Command2->text(), QStringLiteral("Cancelar"));
    QVERIFY(!ui.Command1->isEnabled());
    QVERIFY(!ui.Command2->isEnabled());
    QVERIFY(!ui.Label1->isVisible());
    QVERIFY(!ui.ProgressBar1->isVisible());
    QVERIFY(ui.Label2->isVisible());
    QCOMPARE(ui.Label2->text(), QStringLiteral("No hay archivo seleccionado..."));
    QVERIFY(ui.Image1->isVisible());
    for (QWidget* list : std::initializer_list<QWidget*>{ui.Drive1, ui.Dir1, ui.File1}) {
        QVERIFY(list->isVisible());
        QVERIFY(list->isEnabled());
    }

    const QList<QAction*> menu = ui.menuBar()->actions();
    QCOMPARE(menu.size(), 3);
    QCOMPARE(menu[0]->text(), QStringLiteral("Ayuda"));
    QCOMPARE(menu[1]->text(), QStringLiteral("Configurar puerto serie"));
    QCOMPARE(menu[2]->text(), QStringLiteral("Salir"));
    for (QAction* a : menu)
        QVERIFY(a->isEnabled());

    QCOMPARE(ui.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(ui.centralWidget()->size(), QSize(458, 344));
    QVERIFY(messages_->shown.isEmpty());
    QCOMPARE(ended_, 0);
}

void TestMainWindow::shownCentredOnTheScreen()
{
    startUp();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint offset = window_->ui().geometry().center() - screen.center();
    QVERIFY2(std::abs(offset.x()) <= 1 && std::abs(offset.y()) <= 1,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
}

void TestMainWindow::timersTickFromCreation()
{
    build();
    QCOMPARE(window_->timers().Timer1.interval(), 1000);
    QCOMPARE(window_->timers().Timer2.interval(), 100);
    QVERIFY(window_->timers().Timer1.isActive());
    QVERIFY(window_->timers().Timer2.isActive());
    window_->Form_Load();
    window_->habilita();
    QVERIFY(window_->timers().Timer1.isActive());
    QVERIFY(window_->timers().Timer2.isActive());
}

void TestMainWindow::startStateTabOrderSkipsTheDisabledButtons()
{
    startUp();
    MainWindowUi& ui = window_->ui();
    ui.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&ui));
    ui.File1->setFocus();
    QList<QWidget*> seen;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget();
    }
    QCOMPARE(seen, (QList<QWidget*>{ui.Drive1, ui.Dir1, ui.File1, ui.Drive1}));
}

void TestMainWindow::lockForTransferDisablesInOrder()
{
    startUp();
    window_->ui().Command1->setEnabled(true);   // an image is loaded
    ChangeLog log(window_->ui());
    window_->lockForTransfer();
    QCOMPARE(log.entries, (QStringList{"salir disabled", "ayuda disabled", "configurar disabled", "Command1 disabled",
                                       "File1 disabled", "Drive1 disabled", "Dir1 disabled"}));
}

void TestMainWindow::habilitaFromATransferInOrder()
{
    startUp();
    MainWindowUi& ui = window_->ui();
    ui.Label2->setText(QStringLiteral("Archivo: /tmp/equipo.stb"));
    window_->setProgressMaximum(20.0f);
    window_->setProgressValue(0.0f);
    ui.Command1->setEnabled(true);

    // A transfer under way, as the load sequence leaves it.
    window_->lockForTransfer();
    window_->setCancelEnabled(true);
    window_->setStatusText(QStringLiteral("Transmitiendo archivo..."));
    window_->setStatusVisible(true);
    window_->setProgressVisible(true);
    window_->setProgressValue(7.0f);
    window_->setBusyPointer();
    const QRect label1Geometry = ui.Label1->geometry();

    ChangeLog log(ui);
    window_->habilita();
    QCOMPARE(log.entries,
             (QStringList{"Label1 hidden", "Command2 disabled", "ayuda enabled", "configurar enabled", "salir enabled",
                          "Command1 enabled", "File1 enabled", "Drive1 enabled", "Dir1 enabled",
                          "ProgressBar1 hidden"}));

    // Nothing else changes: the captions, the bar's maximum and value, the pointer.
    QCOMPARE(ui.Label1->text(), QStringLiteral("Transmitiendo archivo..."));
    QCOMPARE(ui.Label1->geometry(), label1Geometry);
    QCOMPARE(ui.Label2->text(), QStringLiteral("Archivo: /tmp/equipo.stb"));
    QCOMPARE(ui.ProgressBar1->maximum(), 20);
    QCOMPARE(ui.ProgressBar1->value(), 7);
    QCOMPARE(ui.cursor().shape(), Qt::WaitCursor);
    QVERIFY(ui.isEnabled());
    QVERIFY(messages_->shown.isEmpty());
}

void TestMainWindow::habilitaOnAnIdleWindowChangesNothing()
{
    startUp();
    window_->ui().Command1->setEnabled(true);   // idle with an image loaded
    const QStringList before = snapshot(window_->ui());
    ChangeLog log(window_->ui());
    window_->habilita();
    window_->habilita();
    QVERIFY2(log.entries.isEmpty(), qPrintable(log.entries.join(QLatin1Char(','))));
    QCOMPARE(snapshot(window_->ui()), before);
}

void TestMainWindow::transferViewOnTheWidgets()
{
    startUp();
    MainWindowUi& ui = window_->ui();
    window_->setStatusText(QStringLiteral("Alimente el equipo"));
    window_->setStatusVisible(true);
    QVERIFY(ui.Label1->isVisible());
    const QRect shortText = ui.Label1->geometry();

    // A longer caption re-sizes Label1 to the right; its corner stays.
    window_->setStatusText(QStringLiteral("Iniciando protocolo XMODEM..."));
    QCOMPARE(ui.Label1->text(), QStringLiteral("Iniciando protocolo XMODEM..."));
    QCOMPARE(ui.Label1->pos(), shortText.topLeft());
    QVERIFY(ui.Label1->width() > shortText.width());
    QVERIFY(ui.Label1->width() >= ui.Label1->fontMetrics().horizontalAdvance(ui.Label1->text()));

    window_->setCancelEnabled(true);
    QVERIFY(ui.Command2->isEnabled());
    window_->setCancelEnabled(false);
    QVERIFY(!ui.Command2->isEnabled());

    window_->setProgressVisible(true);
    QVERIFY(ui.ProgressBar1->isVisible());
    window_->setProgressVisible(false);
    QVERIFY(!ui.ProgressBar1->isVisible());

    const QStringList before = snapshot(ui);
    window_->clearDrawing();
    QCOMPARE(snapshot(ui), before);
}

void TestMainWindow::progressSteps_data()
{
    QTest::addColumn<float>("maximum");
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("shownMaximum");
    QTest::addColumn<int>("shownValue");

    QTest::newRow("empty image") << 1.0f << 1.0f << 1 << 1;
    QTest::newRow("1953 blocks") << 1954.0f << 1953.0f << 1954 << 1953;
    QTest::newRow("first block") << 2.0f << 1.0f << 2 << 1;
    QTest::newRow("fractions round") << 10.4f << 2.6f << 10 << 3;
    QTest::newRow("beyond an int") << 3.0e10f << 5.0f << std::numeric_limits<int>::max() << 5;
    QTest::newRow("negative value") << 5.0f << -3.0f << 5 << 0;
    QTest::newRow("not a number") << 5.0f << std::nanf("") << 5 << 0;
}

void TestMainWindow::progressSteps()
{
    QFETCH(float, maximum);
    QFETCH(float, value);
    QFETCH(int, shownMaximum);
    QFETCH(int, shownValue);

    build();
    window_->setProgressMaximum(maximum);
    window_->setProgressValue(value);
    QCOMPARE(window_->ui().ProgressBar1->minimum(), 0);
    QCOMPARE(window_->ui().ProgressBar1->maximum(), shownMaximum);
    QCOMPARE(window_->ui().ProgressBar1->value(), shownValue);
}

void TestMainWindow::pointer()
{
    startUp();
    window_->setBusyPointer();
    QCOMPARE(window_->ui().cursor().shape(), Qt::WaitCursor);
    window_->setNormalPointer();
    QCOMPARE(window_->ui().cursor().shape(), Qt::ArrowCursor);
}

void TestMainWindow::ayudaShowsTheHelpEachTime()
{
    startUp();
    const QStringList before = snapshot(window_->ui());
    QStringList duringBox;
    messages_->onShow = [&] { duringBox = snapshot(window_->ui()); };

    window_->ui().ayuda->trigger();
    QCOMPARE(duringBox, before);
    window_->ui().ayuda->trigger();

    QCOMPARE(messages_->shown.size(), 2);
    for (const RecordingMessages::Shown& s : messages_->shown) {
        QCOMPARE(s.text, kHelp);
        QCOMPARE(s.icon, MessageIcon::Information);
        QCOMPARE(s.buttons, MessageButtons::Ok);
    }
    QCOMPARE(snapshot(window_->ui()), before);
    QCOMPARE(ended_, 0);
}

void TestMainWindow::salirAnsweredNoChangesNothing()
{
    {
        QFile f(dir_->filePath(QStringLiteral("PROGRAMADOR.INI")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("2\r\n");
    }
    startUp();
    window_->image().buffer[0] = 0x5A;
    window_->image().largo_archivo = 1;
    window_->ui().Command1->setEnabled(true);
    window_->ui().Label2->setText(QStringLiteral("Archivo: /tmp/a.bin"));
    const QStringList before = snapshot(window_->ui());

    messages_->answers = {MessageAnswer::No};
    window_->ui().salir->trigger();

    QCOMPARE(messages_->shown.size(), 1);
    QCOMPARE(messages_->shown[0].text, QStringLiteral("Está seguro?"));
    QCOMPARE(messages_->shown[0].icon, MessageIcon::None);
    QCOMPARE(messages_->shown[0].buttons, MessageButtons::YesNo);
    QCOMPARE(ended_, 0);
    QVERIFY(window_->ui().isVisible());
    QCOMPARE(snapshot(window_->ui()), before);
    QCOMPARE(window_->settings().puerto, 2);
    QCOMPARE(window_->image().buffer[0], 0x5A);
    QCOMPARE(window_->image().largo_archivo, 1);
}

void TestMainWindow::salirAnsweredYesEndsTheProgram()
{
    startUp();
    messages_->answers = {MessageAnswer::Yes};
    window_->ui().salir->trigger();

    QCOMPARE(messages_->texts(), QStringList{QStringLiteral("Está seguro?")});
    QCOMPARE(ended_, 1);
    QVERIFY(!window_->ui().isVisible());

    // Once ended, a late close of the window ends nothing twice.
    window_->ui().close();
    QCOMPARE(ended_, 1);
}

void TestMainWindow::closingThroughTheWindowSystemEndsTheProgramWithoutAsking_data()
{
    QTest::addColumn<bool>("throughTheWindowHandle");
    QTest::newRow("window system close") << true;
    QTest::newRow("widget close") << false;
}

void TestMainWindow::closingThroughTheWindowSystemEndsTheProgramWithoutAsking()
{
    QFETCH(bool, throughTheWindowHandle);
    startUp();
    if (throughTheWindowHandle) {
        QVERIFY(window_->ui().windowHandle());
        window_->ui().windowHandle()->close();
    } else {
        window_->ui().close();
    }
    QVERIFY(messages_->shown.isEmpty());
    QCOMPARE(ended_, 1);
    QVERIFY(!window_->ui().isVisible());
}

void TestMainWindow::messageBoxAsShown_data()
{
    QTest::addColumn<MessageIcon>("icon");
    QTest::addColumn<MessageButtons>("buttons");
    QTest::addColumn<QMessageBox::Icon>("qtIcon");
    QTest::addColumn<QMessageBox::StandardButtons>("qtButtons");
    QTest::addColumn<QMessageBox::StandardButton>("defaultButton");

    QTest::newRow("help") << MessageIcon::Information << MessageButtons::Ok << QMessageBox::Information
                          << QMessageBox::StandardButtons(QMessageBox::Ok) << QMessageBox::Ok;
    QTest::newRow("question") << MessageIcon::None << MessageButtons::YesNo << QMessageBox::NoIcon
                              << (QMessageBox::Yes | QMessageBox::No) << QMessageBox::Yes;
    QTest::newRow("warning") << MessageIcon::Warning << MessageButtons::Ok << QMessageBox::Warning
                             << QMessageBox::StandardButtons(QMessageBox::Ok) << QMessageBox::Ok;
    QTest::newRow("error") << MessageIcon::Error << MessageButtons::Ok << QMessageBox::Critical
                           << QMessageBox::StandardButtons(QMessageBox::Ok) << QMessageBox::Ok;
}

void TestMainWindow::messageBoxAsShown()
{
    QFETCH(MessageIcon, icon);
    QFETCH(MessageButtons, buttons);
    QFETCH(QMessageBox::Icon, qtIcon);
    QFETCH(QMessageBox::StandardButtons, qtButtons);
    QFETCH(QMessageBox::StandardButton, defaultButton);

    // Built, never shown: no test waits on a modal box.
    const QString text = QStringLiteral("Error en <b>puerto</b> serie & más");
    const std::unique_ptr<QMessageBox> box = QtMessageBox::build(text, icon, buttons);
    QCOMPARE(box->windowTitle(), QStringLiteral("Telvarin"));
    QCOMPARE(box->text(), text);
    QCOMPARE(box->textFormat(), Qt::PlainText);   // shown as written, never as markup
    QCOMPARE(box->icon(), qtIcon);
    QCOMPARE(box->standardButtons(), qtButtons);
    QCOMPARE(box->defaultButton(), box->button(defaultButton));
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    QVERIFY(!box->parentWidget());   // usable while the main window is disabled
}

void TestMainWindow::messageBoxAnswers_data()
{
    QTest::addColumn<MessageButtons>("buttons");
    QTest::addColumn<int>("result");
    QTest::addColumn<MessageAnswer>("answer");

    QTest::newRow("ok") << MessageButtons::Ok << int(QMessageBox::Ok) << MessageAnswer::Ok;
    QTest::newRow("ok box closed otherwise") << MessageButtons::Ok << 0 << MessageAnswer::Ok;
    QTest::newRow("yes") << MessageButtons::YesNo << int(QMessageBox::Yes) << MessageAnswer::Yes;
    QTest::newRow("no") << MessageButtons::YesNo << int(QMessageBox::No) << MessageAnswer::No;
    QTest::newRow("question closed otherwise") << MessageButtons::YesNo << 0 << MessageAnswer::No;
    QTest::newRow("question escaped") << MessageButtons::YesNo << int(QMessageBox::Escape) << MessageAnswer::No;
}

void TestMainWindow::messageBoxAnswers()
{
    QFETCH(MessageButtons, buttons);
    QFETCH(int, result);
    QFETCH(MessageAnswer, answer);
    QCOMPARE(QtMessageBox::answerFor(result, buttons), answer);
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
