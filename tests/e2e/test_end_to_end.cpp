// The whole program as an operator uses it: the real main window offscreen, its real
// serial line on a pseudo-terminal, and on the other end a device that answers the
// start-up handshake and then hands the line to lrzsz rx.
#include "event_loop_yield.h"
#include "main_window.h"
#include "port_dialog_ui.h"
#include "pty_link.h"
#include "qserial_port_line.h"
#include "recording_messages.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace programador;
using namespace programador::testing;

namespace {

const QString kDone = QStringLiteral("Programa listo");
const QString kPortError = QStringLiteral("Error en puerto serie");

QByteArray randomImage(int n)
{
    QByteArray bytes(n, Qt::Uninitialized);
    QRandomGenerator random(20261207);
    for (int i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(random.bounded(256));
    return bytes;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Starts the device a moment after "Cargar Firmware" was pressed: the timer fires inside
// the run's wait for the device.
void switchOnLater(std::unique_ptr<RxDevice>& device, const QString& path, const QString& dir)
{
    QTimer::singleShot(300, [&device, path, dir] { device = std::make_unique<RxDevice>(path, dir); });
}

struct Program {
    explicit Program(const QString& dir)
        : window(messages, line, events, dir, [this] { ++ended; })
    {
        window.Form_Load();
        window.show();
    }
    bool clickFile(const QString& name)
    {
        const QList<QListWidgetItem*> found = window.ui().File1->findItems(name, Qt::MatchExactly);
        if (found.isEmpty())
            return false;
        const QRect rect = window.ui().File1->visualItemRect(found.first());
        QTest::mouseClick(window.ui().File1->viewport(), Qt::LeftButton, {}, rect.center());
        return true;
    }
    RecordingMessages messages;
    QSerialPortLine line;
    EventLoopYield events;
    MainWindow window;
    int ended = 0;
};

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        for (int n = 1; n <= 4; ++n)
            qunsetenv(QByteArray("PROGRAMADOR_COM" + QByteArray::number(n)).constData());
    }

    void anOperatorSendsAnImageTwice()
    {
        QTemporaryDir dir;
        const QByteArray image = randomImage(249984);
        {
            QFile f(dir.filePath("firmware.stb"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(image);
        }
        qputenv("PROGRAMADOR_COM1", QFile::encodeName(dir.filePath("loader")));
        Program program(dir.path());
        program.window.openDirectory(dir.path());
        QVERIFY(program.clickFile("firmware.stb"));
        QVERIFY(program.window.ui().Command1->isEnabled());

        for (int run = 1; run <= 2; ++run) {
            PtyLink link(dir.path());
            QVERIFY(link.ready());
            // The operator switches the device on once the loader waits for it.
            std::unique_ptr<RxDevice> device;
            switchOnLater(device, link.devicePath(), dir.path());
            QTest::mouseClick(program.window.ui().Command1, Qt::LeftButton);
            QVERIFY(device && device->started());
            QVERIFY2(device->finished(),
                     qPrintable(program.messages.texts().join(", ") + " / rx: " + device->log()));
            QCOMPARE(device->received().size(), image.size());
            QVERIFY(device->received() == image);
            QCOMPARE(program.messages.texts().size(), run);
            QCOMPARE(program.messages.texts().last(), kDone);
            MainWindowUi& ui = program.window.ui();
            QVERIFY(ui.Command1->isEnabled() && !ui.Command2->isEnabled() && ui.File1->isEnabled());
            QVERIFY(!ui.Label1->isVisible() && !ui.ProgressBar1->isVisible());
            QCOMPARE(ui.ProgressBar1->value(), 1953);
        }
    }

    void theChosenPortIsTheOneUsed()
    {
        QTemporaryDir dir;
        {
            QFile f(dir.filePath("small.bin"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(randomImage(300));
        }
        PtyLink link(dir.path(), "com2", "device");
        QVERIFY(link.ready());
        qputenv("PROGRAMADOR_COM2", QFile::encodeName(link.loaderPath()));
        qputenv("PROGRAMADOR_COM4", QFile::encodeName(dir.filePath("no-such-tty")));
        Program program(dir.path());
        QCOMPARE(program.window.settings().puerto, 1);

        // COM4 is not there: the dialog stays; COM2 is.
        program.window.ui().configurar->trigger();
        PortDialogUi* dialog = program.window.portDialogUi();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(!program.window.ui().isEnabled());
        QVERIFY(dialog->isEnabled());
        QCOMPARE(dialog->Option2->toolTip(), link.loaderPath());
        QTest::mouseClick(dialog->Option4, Qt::LeftButton);
        QTest::mouseClick(dialog->Command1, Qt::LeftButton);
        QCOMPARE(program.messages.texts(), QStringList{kPortError});
        QVERIFY(dialog->isVisible() && dialog->Option4->isChecked());
        QVERIFY(!program.window.ui().isEnabled());
        QCOMPARE(fileBytes(dir.filePath("PROGRAMADOR.INI")), QByteArray("1\r\n"));
        QTest::mouseClick(dialog->Option2, Qt::LeftButton);
        QTest::mouseClick(dialog->Command1, Qt::LeftButton);
        QVERIFY(!program.window.portDialogUi());
        QVERIFY(program.window.ui().isEnabled());
        QCOMPARE(program.window.settings().puerto, 2);
        QCOMPARE(fileBytes(dir.filePath("PROGRAMADOR.INI")), QByteArray("2\r\n"));

        // The next transfer opens COM2.
        program.window.openDirectory(dir.path());
        QVERIFY(program.clickFile("small.bin"));
        std::unique_ptr<RxDevice> device;
        switchOnLater(device, link.devicePath(), dir.path());
        QTest::mouseClick(program.window.ui().Command1, Qt::LeftButton);
        QVERIFY(device && device->started());
        QVERIFY2(device->finished(), qPrintable(device->log()));
        QCOMPARE(device->received().left(300), fileBytes(dir.filePath("small.bin")));
        QCOMPARE(program.messages.texts().last(), kDone);
    }
};

QTEST_MAIN(TestEndToEnd)
#include "test_end_to_end.moc"
