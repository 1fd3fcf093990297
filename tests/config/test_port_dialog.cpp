// The port dialog: its logic against fakes of the window, the main window and the port
// probe (with the real settings file in a temporary directory), the PUERTO_SERIE widget
// as designed, and the two together.
#include "file_obstacles.h"
#include "port_dialog.h"
#include "port_dialog_ui.h"
#include "port_settings.h"
#include "recording_messages.h"
#include "twips.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <set>
#include <vector>

using namespace programador;
using programador::testing::RecordingMessages;

namespace {

const QString kFile = QStringLiteral("PROGRAMADOR.INI");

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// One log for the window, the main window and the probe, to check the order of steps.
using Log = std::vector<QString>;

// The dialog window: an exclusive group of four options, as the widget's group is.
class FakeView : public PortDialogView {
public:
    explicit FakeView(Log& log) : log_(log) {}

    bool isCreated() const override { return created; }
    void createHidden() override
    {
        QVERIFY2(!created, "created twice without being destroyed");
        created = true;
        shown = false;
        selected = 0;
        ++creations;
        log_.push_back(QStringLiteral("dialog created"));
    }
    void show() override
    {
        QVERIFY2(created, "shown before it was created");
        shown = true;
        log_.push_back(QStringLiteral("dialog shown"));
    }
    void hideAndDestroy() override
    {
        QVERIFY2(created, "destroyed while not created");
        created = false;
        shown = false;
        selected = 0;
        log_.push_back(QStringLiteral("dialog destroyed"));
    }
    void selectOption(int n) override
    {
        QVERIFY2(created, "option selected on a dialog that does not exist");
        QVERIFY(n >= 1 && n <= 4);
        selected = n;
    }
    bool isOptionSelected(int n) const override { return created && selected == n; }

    bool created = false;
    bool shown = false;
    int selected = 0;   // 0: none
    int creations = 0;

private:
    Log& log_;
};

class FakeMainWindow : public PortDialogMainWindow {
public:
    explicit FakeMainWindow(Log& log) : log_(log) {}
    void setEnabled(bool on) override
    {
        enabled = on;
        log_.push_back(on ? QStringLiteral("main enabled") : QStringLiteral("main disabled"));
    }
    void showAndRaise() override
    {
        ++raised;
        log_.push_back(QStringLiteral("main shown"));
    }
    bool enabled = true;
    int raised = 0;

private:
    Log& log_;
};

class FakeProbe : public PortProbe {
public:
    explicit FakeProbe(Log& log) : log_(log) {}
    bool probe(std::int16_t port) override
    {
        probed.push_back(port);
        log_.push_back(QStringLiteral("probe %1").arg(port));
        return !missing.count(port);
    }
    std::set<int> missing;   // ports whose open fails
    std::vector<int> probed;

private:
    Log& log_;
};

// Everything a dialog needs, with the settings file in a temporary directory holding
// the given bytes and read as at start-up.
struct Rig {
    explicit Rig(const QByteArray& file = "1\r\n")
    {
        if (!dir.isValid() || !writeBytes(dir.filePath(kFile), file))
            qFatal("cannot prepare the settings directory");
        settings.lee_puerto();
    }
    QByteArray fileNow() const { return fileBytes(dir.filePath(kFile)); }

    QTemporaryDir dir;
    Log log;
    FakeView view{log};
    FakeMainWindow mainWindow{log};
    FakeProbe probe{log};
    RecordingMessages messages;
    PortSettings settings{messages, dir.path()};
    PortDialog dialog{view, mainWindow, probe, settings, messages};
};

void addPreselectionRows()
{
    QTest::addColumn<int>("puerto");
    QTest::addColumn<int>("option");
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("2") << 2 << 2;
    QTest::newRow("3") << 3 << 3;
    QTest::newRow("4") << 4 << 4;
    QTest::newRow("0 (before start-up)") << 0 << 1;
    QTest::newRow("5") << 5 << 1;
    QTest::newRow("-1") << -1 << 1;
}

} // namespace

class TestPortDialog : public QObject {
    Q_OBJECT

private slots:
    // logic
    void startUpPreselection_data() { addPreselectionRows(); }
    void startUpPreselection();
    void openingPreselects_data() { addPreselectionRows(); }
    void openingPreselects();
    void openingUsesTheDialogMadeAtStartUp();
    void acceptWithWorkingPort_data();
    void acceptWithWorkingPort();
    void acceptWithNoSelectionTakesCom1();
    void failingProbeThenGoodChoice();
    void failedSaveThenCancel_data();
    void failedSaveThenCancel();
    void cancelChangesNothing_data();
    void cancelChangesNothing();

    // widget
    void widgetAsDesigned();
    void widgetGeometry_data();
    void widgetGeometry();
    void widgetOptionsAreOneGroup();
    void widgetHasNoDefaultOrCancelKey();
    void widgetCloseIsOnlyReported();
    void widgetCentredWhenShown();

    // widget and logic together
    void widgetDrivenByTheLogic();
};

void TestPortDialog::startUpPreselection()
{
    QFETCH(int, puerto);
    QFETCH(int, option);
    Rig rig;
    rig.settings.puerto = std::int16_t(puerto);

    rig.dialog.marca_puerto();

    QVERIFY(rig.view.created);
    QVERIFY(!rig.view.shown);   // created hidden
    QCOMPARE(rig.view.selected, option);
    QCOMPARE(rig.log, (Log{QStringLiteral("dialog created")}));   // the main window is not touched
}

void TestPortDialog::openingPreselects()
{
    QFETCH(int, puerto);
    QFETCH(int, option);
    Rig rig;
    rig.settings.puerto = std::int16_t(puerto);

    rig.dialog.configurar_Click();

    QVERIFY(rig.view.created);
    QVERIFY(rig.view.shown);
    QCOMPARE(rig.view.selected, option);
    QVERIFY(!rig.mainWindow.enabled);
    QCOMPARE(rig.log, (Log{QStringLiteral("dialog created"), QStringLiteral("dialog shown"),
                           QStringLiteral("main disabled")}));
    QVERIFY(rig.probe.probed.empty());
    QVERIFY(rig.messages.shown.isEmpty());
}

// Form_Load's marca_puerto makes the dialog hidden; the first opening shows that one.
void TestPortDialog::openingUsesTheDialogMadeAtStartUp()
{
    Rig rig("3\r\n");
    rig.dialog.marca_puerto();
    QCOMPARE(rig.view.selected, 3);
    rig.view.selectOption(1);   // whatever the options show, the opening shows puerto

    rig.dialog.configurar_Click();

    QCOMPARE(rig.view.creations, 1);
    QVERIFY(rig.view.shown);
    QCOMPARE(rig.view.selected, 3);
}

void TestPortDialog::acceptWithWorkingPort_data()
{
    QTest::addColumn<QByteArray>("fileBefore");
    QTest::addColumn<int>("choice");
    QTest::newRow("1 -> 3") << QByteArray("1\r\n") << 3;
    QTest::newRow("2 -> 1") << QByteArray("2\r\n") << 1;
    QTest::newRow("1 -> 4") << QByteArray("1\r\n") << 4;
    QTest::newRow("4 -> 2") << QByteArray("4\r\n") << 2;
    // The port in force is probed again and the file rewritten in full.
    QTest::newRow("3 -> 3, file rewritten") << QByteArray("3") << 3;
}

void TestPortDialog::acceptWithWorkingPort()
{
    QFETCH(QByteArray, fileBefore);
    QFETCH(int, choice);
    Rig rig(fileBefore);
    rig.dialog.marca_puerto();
    rig.dialog.configurar_Click();
    rig.view.selectOption(choice);
    rig.log.clear();

    rig.dialog.Command1_Click();

    QCOMPARE(rig.probe.probed, (std::vector<int>{choice}));
    QCOMPARE(rig.settings.puerto, std::int16_t(choice));
    QCOMPARE(rig.fileNow(), QByteArray::number(choice) + "\r\n");
    QVERIFY(rig.messages.shown.isEmpty());
    QVERIFY(rig.mainWindow.enabled);
    QCOMPARE(rig.log, (Log{QStringLiteral("probe %1").arg(choice), QStringLiteral("main enabled"),
                           QStringLiteral("main shown"), QStringLiteral("dialog destroyed")}));

    // The next opening builds a new dialog showing the new port.
    rig.dialog.configurar_Click();
    QCOMPARE(rig.view.creations, 2);
    QCOMPARE(rig.view.selected, choice);
}

void TestPortDialog::acceptWithNoSelectionTakesCom1()
{
    Rig rig("3\r\n");
    rig.view.createHidden();   // as created: nothing selected
    rig.view.show();

    rig.dialog.Command1_Click();

    QCOMPARE(rig.probe.probed, (std::vector<int>{1}));
    QCOMPARE(rig.settings.puerto, std::int16_t(1));
    QCOMPARE(rig.fileNow(), QByteArray("1\r\n"));
    QVERIFY(!rig.view.created);
}

void TestPortDialog::failingProbeThenGoodChoice()
{
    Rig rig("1\r\n");
    rig.probe.missing = {4};
    rig.dialog.configurar_Click();
    rig.view.selectOption(4);
    rig.log.clear();

    rig.dialog.Command1_Click();

    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Error en puerto serie")});
    QCOMPARE(rig.messages.shown[0].icon, MessageIcon::Error);
    QCOMPARE(rig.messages.shown[0].buttons, MessageButtons::Ok);
    QCOMPARE(rig.log, (Log{QStringLiteral("probe 4")}));   // nothing else moved
    QVERIFY(rig.view.created);
    QVERIFY(rig.view.shown);
    QCOMPARE(rig.view.selected, 4);   // the operator's choice stays
    QVERIFY(!rig.mainWindow.enabled);
    QCOMPARE(rig.settings.puerto, std::int16_t(1));
    QCOMPARE(rig.fileNow(), QByteArray("1\r\n"));

    // Choosing a port that is there then closes the dialog and saves it.
    rig.view.selectOption(2);
    rig.dialog.Command1_Click();

    QCOMPARE(rig.messages.shown.size(), 1);
    QCOMPARE(rig.probe.probed, (std::vector<int>{4, 2}));
    QCOMPARE(rig.settings.puerto, std::int16_t(2));
    QCOMPARE(rig.fileNow(), QByteArray("2\r\n"));
    QVERIFY(!rig.view.created);
    QVERIFY(rig.mainWindow.enabled);
    QCOMPARE(rig.mainWindow.raised, 1);
}

// A save that fails keeps the dialog up; the port taken stays in force for the run,
// also after "Cancelar", while the file does not hold it.
void TestPortDialog::failedSaveThenCancel_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QByteArray>("fileAfter");
    QTest::newRow("working directory gone") << false << QByteArray("<missing>");
    QTest::newRow("disk full, old file kept") << true << QByteArray("1\r\n");
}

void TestPortDialog::failedSaveThenCancel()
{
    QFETCH(bool, diskFull);
    QFETCH(QByteArray, fileAfter);
    Rig rig("1\r\n");
    rig.dialog.configurar_Click();
    rig.view.selectOption(3);
    if (!diskFull)
        QVERIFY(QDir(rig.dir.path()).removeRecursively());
    rig.log.clear();

    if (diskFull) {
        testing::NoRoomForAByte noRoom;
        QVERIFY(noRoom.holds());
        rig.dialog.Command1_Click();
    } else {
        rig.dialog.Command1_Click();
    }

    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Error de archivo")});
    QCOMPARE(rig.messages.shown[0].icon, MessageIcon::Error);
    QCOMPARE(rig.log, (Log{QStringLiteral("probe 3")}));
    QCOMPARE(rig.settings.puerto, std::int16_t(3));
    QVERIFY(rig.view.shown);
    QCOMPARE(rig.view.selected, 3);
    QVERIFY(!rig.mainWindow.enabled);

    rig.dialog.Command2_Click();

    QCOMPARE(rig.messages.shown.size(), 1);
    QCOMPARE(rig.settings.puerto, std::int16_t(3));
    QVERIFY(rig.mainWindow.enabled);
    QVERIFY(!rig.view.created);
    QCOMPARE(rig.fileNow(), fileAfter);
    rig.dialog.configurar_Click();
    QCOMPARE(rig.view.selected, 3);
}

void TestPortDialog::cancelChangesNothing_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cancelar") << false;
    QTest::newRow("close box") << true;
}

void TestPortDialog::cancelChangesNothing()
{
    QFETCH(bool, closeBox);
    Rig rig("2\r\n");
    rig.dialog.marca_puerto();
    rig.dialog.configurar_Click();
    rig.view.selectOption(4);
    rig.log.clear();

    if (closeBox)
        rig.dialog.closeRequested();
    else
        rig.dialog.Command2_Click();

    QCOMPARE(rig.log, (Log{QStringLiteral("main enabled"), QStringLiteral("main shown"),
                           QStringLiteral("dialog destroyed")}));
    QVERIFY(rig.probe.probed.empty());
    QVERIFY(rig.messages.shown.isEmpty());
    QCOMPARE(rig.settings.puerto, std::int16_t(2));
    QCOMPARE(rig.fileNow(), QByteArray("2\r\n"));

    // The next opening rebuilds the dialog from puerto.
    rig.dialog.configurar_Click();
    QCOMPARE(rig.view.creations, 2);
    QCOMPARE(rig.view.selected, 2);
    QVERIFY(!rig.mainWindow.enabled);
}

namespace {

const std::array<QString, 4> kDevices{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB7"),
                                      QStringLiteral("/dev/ttyS2"), QStringLiteral("/dev/pts/9")};

} // namespace

void TestPortDialog::widgetAsDesigned()
{
    PortDialogUi w(kDevices);

    QCOMPARE(w.objectName(), QStringLiteral("PUERTO_SERIE"));
    QCOMPARE(w.windowTitle(), QStringLiteral("CONFIGURACION PUERTO SERIE"));
    QVERIFY(w.parent() == nullptr);   // stays usable while the main window is disabled
    QVERIFY(w.isWindow());
    QCOMPARE(w.windowModality(), Qt::NonModal);
    QVERIFY(!w.isVisible());

    const Twips twips = Twips::forScreen();
    QCOMPARE(w.size(), twips.size(4350, 2775));
    QCOMPARE(w.minimumSize(), w.size());
    QCOMPARE(w.maximumSize(), w.size());
    if (twips.dpi() == 96.0)
        QCOMPARE(w.size(), QSize(290, 185));

    const QStringList captions{QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                               QStringLiteral("COM4")};
    for (int n = 1; n <= 4; ++n) {
        QRadioButton* option = w.option(n);
        QVERIFY(option);
        QCOMPARE(option->objectName(), QStringLiteral("Option%1").arg(n));
        QCOMPARE(option->text(), captions[n - 1]);
        QCOMPARE(option->toolTip(), kDevices[std::size_t(n - 1)]);
        QVERIFY(!option->isChecked());   // none selected as created
        QCOMPARE(option->font(), QApplication::font());
    }
    QCOMPARE(w.option(0), nullptr);
    QCOMPARE(w.option(5), nullptr);
    QCOMPARE(w.Command1->text(), QStringLiteral("Aceptar"));
    QCOMPARE(w.Command2->text(), QStringLiteral("Cancelar"));
    QCOMPARE(w.Command1->objectName(), QStringLiteral("Command1"));
    QCOMPARE(w.Command2->objectName(), QStringLiteral("Command2"));
    QCOMPARE(w.options->checkedButton(), nullptr);

    // Tab order: the options in their order, then Aceptar, then Cancelar.
    const QList<QWidget*> order{w.Option1, w.Option2, w.Option3, w.Option4, w.Command1, w.Command2};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        QCOMPARE(order[i]->nextInFocusChain(), order[i + 1]);
}

void TestPortDialog::widgetGeometry_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QRect>("at96");
    QTest::newRow("Option1") << "Option1" << QRect(765, 510, 1035, 270) << QRect(51, 34, 69, 18);
    QTest::newRow("Option2") << "Option2" << QRect(765, 1275, 1035, 270) << QRect(51, 85, 69, 18);
    QTest::newRow("Option3") << "Option3" << QRect(2805, 510, 1035, 270) << QRect(187, 34, 69, 18);
    QTest::newRow("Option4") << "Option4" << QRect(2805, 1275, 1035, 270) << QRect(187, 85, 69, 18);
    QTest::newRow("Command1") << "Command1" << QRect(1020, 2040, 780, 350) << QRect(68, 136, 52, 23);
    QTest::newRow("Command2") << "Command2" << QRect(2550, 2040, 780, 350) << QRect(170, 136, 52, 23);
}

void TestPortDialog::widgetGeometry()
{
    QFETCH(QString, control);
    QFETCH(QRect, twips);
    QFETCH(QRect, at96);
    PortDialogUi w(kDevices);
    auto* widget = w.findChild<QWidget*>(control);
    QVERIFY(widget);
    const Twips t = Twips::forScreen();
    QCOMPARE(widget->geometry(), t.rect(twips.x(), twips.y(), twips.width(), twips.height()));
    if (t.dpi() == 96.0)
        QCOMPARE(widget->geometry(), at96);
}

void TestPortDialog::widgetOptionsAreOneGroup()
{
    PortDialogUi w(kDevices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.options->exclusive());
    for (int n = 1; n <= 4; ++n) {
        QCOMPARE(w.options->button(n), w.option(n));
        QCOMPARE(w.options->id(w.option(n)), n);
    }

    QTest::mouseClick(w.Option2, Qt::LeftButton);
    QCOMPARE(w.options->checkedId(), 2);
    QTest::mouseClick(w.Option3, Qt::LeftButton);
    QCOMPARE(w.options->checkedId(), 3);
    QVERIFY(!w.Option2->isChecked());
    w.Option4->setChecked(true);
    QCOMPARE(w.options->checkedId(), 4);
    QVERIFY(!w.Option1->isChecked() && !w.Option2->isChecked() && !w.Option3->isChecked());
}

// Enter and Escape are no shortcuts here: no default button, no cancel key.
void TestPortDialog::widgetHasNoDefaultOrCancelKey()
{
    PortDialogUi w(kDevices);
    QVERIFY(!w.Command1->isDefault() && !w.Command1->autoDefault());
    QVERIFY(!w.Command2->isDefault() && !w.Command2->autoDefault());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy accepted(w.Command1, &QPushButton::clicked);
    QSignalSpy cancelled(w.Command2, &QPushButton::clicked);
    QSignalSpy closing(&w, &PortDialogUi::closeRequested);

    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    // Keys go where the focus is, and from there up to the window.
    for (QWidget* focus : {static_cast<QWidget*>(w.Option2), static_cast<QWidget*>(w.Command2)}) {
        focus->setFocus();
        QCOMPARE(QApplication::focusWidget(), focus);
        QTest::keyClick(focus, Qt::Key_Return);
        QTest::keyClick(focus, Qt::Key_Enter);
        QTest::keyClick(focus, Qt::Key_Escape);
    }

    QVERIFY(w.isVisible());
    QCOMPARE(accepted.count(), 0);
    QCOMPARE(cancelled.count(), 0);
    QCOMPARE(closing.count(), 0);
}

// The window system's close is handed on, not carried out: the logic decides.
void TestPortDialog::widgetCloseIsOnlyReported()
{
    PortDialogUi w(kDevices);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy closing(&w, &PortDialogUi::closeRequested);

    QVERIFY(!w.close());

    QCOMPARE(closing.count(), 1);
    QVERIFY(w.isVisible());
}

void TestPortDialog::widgetCentredWhenShown()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    QVERIFY(screen);
    PortDialogUi w(kDevices);
    w.move(0, 0);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QPoint offset = w.frameGeometry().center() - screen->availableGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 2, qPrintable(QStringLiteral("off centre by %1,%2").arg(offset.x()).arg(offset.y())));
}

namespace {

// The app's side, as small as it can be: the view over a PortDialogUi it owns, and the
// buttons and the close box wired to the logic.
class WidgetView : public PortDialogView {
public:
    bool isCreated() const override { return ui != nullptr; }
    void createHidden() override
    {
        ui = new PortDialogUi(kDevices);
        QObject::connect(ui, &PortDialogUi::closeRequested, [this] { logic->closeRequested(); });
        QObject::connect(ui->Command1, &QPushButton::clicked, [this] { logic->Command1_Click(); });
        QObject::connect(ui->Command2, &QPushButton::clicked, [this] { logic->Command2_Click(); });
    }
    void show() override { ui->show(); }
    void hideAndDestroy() override
    {
        ui->hide();
        ui->deleteLater();   // we may be inside one of its own signals
        ui = nullptr;
    }
    void selectOption(int n) override { ui->option(n)->setChecked(true); }
    bool isOptionSelected(int n) const override { return ui->option(n)->isChecked(); }

    QPointer<PortDialogUi> ui;
    PortDialog* logic = nullptr;
};

} // namespace

void TestPortDialog::widgetDrivenByTheLogic()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeBytes(dir.filePath(kFile), "2\r\n"));
    Log log;
    FakeMainWindow mainWindow(log);
    FakeProbe probe(log);
    probe.missing = {3};
    RecordingMessages messages;
    PortSettings settings(messages, dir.path());
    settings.lee_puerto();
    WidgetView view;
    PortDialog dialog(view, mainWindow, probe, settings, messages);
    view.logic = &dialog;

    dialog.marca_puerto();
    QVERIFY(view.ui && !view.ui->isVisible());
    QCOMPARE(view.ui->options->checkedId(), 2);

    // Close box: the dialog goes away and the main window comes back.
    dialog.configurar_Click();
    QVERIFY(QTest::qWaitForWindowExposed(view.ui.data()));
    QPointer<PortDialogUi> first = view.ui;
    first->close();
    QVERIFY(mainWindow.enabled);
    QVERIFY(!view.isCreated());
    QTRY_VERIFY(first.isNull());

    // A port that is not there, then one that is, chosen with the mouse.
    dialog.configurar_Click();
    QVERIFY(QTest::qWaitForWindowExposed(view.ui.data()));
    QCOMPARE(view.ui->options->checkedId(), 2);
    QTest::mouseClick(view.ui->Option3, Qt::LeftButton);
    QTest::mouseClick(view.ui->Command1, Qt::LeftButton);
    QCOMPARE(messages.texts(), QStringList{QStringLiteral("Error en puerto serie")});
    QVERIFY(view.ui && view.ui->isVisible());
    QCOMPARE(view.ui->options->checkedId(), 3);
    QVERIFY(!mainWindow.enabled);

    QPointer<PortDialogUi> second = view.ui;
    QTest::mouseClick(view.ui->Option4, Qt::LeftButton);
    QTest::mouseClick(view.ui->Command1, Qt::LeftButton);
    QCOMPARE(probe.probed, (std::vector<int>{3, 4}));
    QCOMPARE(settings.puerto, std::int16_t(4));
    QCOMPARE(fileBytes(dir.filePath(kFile)), QByteArray("4\r\n"));
    QVERIFY(mainWindow.enabled);
    QVERIFY(!view.isCreated());
    QTRY_VERIFY(second.isNull());
}

QTEST_MAIN(TestPortDialog)
#include "test_port_dialog.moc"
