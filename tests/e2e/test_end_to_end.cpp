// The program as an operator uses it: the real main window offscreen, its real serial
// line on a pseudo-terminal, and at the far end the device harness, which answers the
// start-up and hands the transfer to lrzsz rx.
#include "device_harness.h"
#include "event_loop_yield.h"
#include "main_window.h"
#include "port_dialog_ui.h"
#include "qserial_port_line.h"
#include "recording_messages.h"

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

using namespace programador;
using namespace programador::testing;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void anOperatorChoosesThePortAndSendsTheLargestImageTwice()
    {
        QTemporaryDir dir;
        QByteArray image(249984, Qt::Uninitialized);
        QRandomGenerator random(20261207);
        for (char& byte : image)
            byte = static_cast<char>(random.bounded(256));
        QFile file(dir.filePath("firmware.stb"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
        file.close();
        DeviceHarness devices[2] = {DeviceHarness(DeviceHarness::Receiver::Rx), DeviceHarness(DeviceHarness::Receiver::Rx)};
        QVERIFY(devices[0].ready() && devices[1].ready());
        qputenv("PROGRAMADOR_COM2", QFile::encodeName(devices[0].path()));
        qputenv("PROGRAMADOR_COM4", QFile::encodeName(dir.filePath("no-such-tty")));

        RecordingMessages messages;
        QSerialPortLine line;
        EventLoopYield events;
        MainWindow window(messages, line, events, dir.path(), [] {});
        window.Form_Load();
        window.show();
        MainWindowUi& ui = window.ui();

        // COM4 leads nowhere: the dialog stays. COM2 is the device, and is kept.
        ui.configurar->trigger();
        PortDialogUi* dialog = window.portDialogUi();
        QVERIFY(dialog && dialog->isVisible());
        QTest::mouseClick(dialog->Option4, Qt::LeftButton);
        QTest::mouseClick(dialog->Command1, Qt::LeftButton);
        QCOMPARE(messages.texts, QStringList{"Error en puerto serie"});
        QVERIFY(dialog->isVisible());
        QTest::mouseClick(dialog->Option2, Qt::LeftButton);
        QTest::mouseClick(dialog->Command1, Qt::LeftButton);
        QVERIFY(!window.portDialogUi());
        QCOMPARE(fileBytes(dir.filePath("PROGRAMADOR.INI")), QByteArray("2\r\n"));

        window.openDirectory(dir.path());
        const QList<QListWidgetItem*> found = ui.File1->findItems("firmware.stb", Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        QTest::mouseClick(ui.File1->viewport(), Qt::LeftButton, {}, ui.File1->visualItemRect(found.first()).center());
        for (DeviceHarness& device : devices) {
            const qsizetype shown = messages.shown.size();
            qputenv("PROGRAMADOR_COM2", QFile::encodeName(device.path()));
            // The operator switches the device on once the loader waits for it: the timer
            // fires in the first yield of the wait for the device, after the port opened.
            QTimer::singleShot(0, [&device] { device.switchOn(); });
            QTest::mouseClick(ui.Command1, Qt::LeftButton);
            QVERIFY2(device.finished(), qPrintable(messages.texts.join(", ") + " / rx: " + device.log()));
            QCOMPARE(device.received().size(), image.size());
            QVERIFY(device.received() == image);
            QCOMPARE(messages.texts.mid(shown), QStringList{"Programa listo"});
            QVERIFY(ui.Command1->isEnabled() && !ui.Command2->isEnabled() && ui.File1->isEnabled());
            QVERIFY(ui.configurar->isEnabled() && !ui.Label1->isVisible() && !ui.ProgressBar1->isVisible());
        }
    }
};

QTEST_MAIN(TestEndToEnd)
#include "test_end_to_end.moc"
