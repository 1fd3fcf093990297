// The program as an operator uses it: the real main window offscreen, its real serial
// line on a pseudo-terminal, and at the far end the device harness with lrzsz rx.
#include "device_harness.h"
#include "event_loop_yield.h"
#include "main_window.h"
#include "qserial_port_line.h"
#include "recording_messages.h"
#include "system_devices.h"

#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

using namespace programador;
using namespace programador::testing;

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void anOperatorChoosesThePortAndSendsTheLargestImageRebuilt()
    {
        QTemporaryDir dir;
        QByteArray image(249984, Qt::Uninitialized);
        QRandomGenerator random(20261207);
        // The image's name is Latin-1, as a Windows archive unpacked here leaves it.
        const QByteArray name = QFile::encodeName(dir.filePath("versi")) + "\xf3n.stb";
        const auto build = [&] {   // the image built (again): new bytes on disk
            for (char& byte : image)
                byte = char(random.bounded(256));
            const int fd = ::open(name.constData(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
            QVERIFY(::write(fd, image.constData(), image.size()) == image.size() && ::close(fd) == 0);
        };
        build();
        DeviceHarness devices[2];
        qputenv("PROGRAMADOR_COM2", QFile::encodeName(devices[0].path()));
        qputenv("PROGRAMADOR_COM4", QFile::encodeName(dir.filePath("no-such-tty")));
        RecordingMessages messages;
        SystemDevices serialDevices;
        PortNumbering numbering(serialDevices, dir.filePath("puertos.ini"));
        QSerialPortLine line([&numbering](int n) { return numbering.resolve(n); });
        EventLoopYield events;
        MainWindow window(messages, line, events, numbering, dir.path(), [] {});
        window.Form_Load();
        window.show();
        MainWindowUi& ui = window.ui();

        // COM4 leads nowhere: the dialog stays. COM2 is the device, and is kept.
        ui.configurar->trigger();
        for (QRadioButton* option : {window.portDialogUi()->Option4, window.portDialogUi()->Option2}) {
            QTest::mouseClick(option, Qt::LeftButton);
            QTest::mouseClick(window.portDialogUi()->Command1, Qt::LeftButton);
        }
        QCOMPARE(messages.texts, QStringList{"Error en puerto serie"});
        QVERIFY(!window.portDialogUi() && window.settings().puerto == 2);

        window.openDirectory(dir.path());
        const QListWidgetItem* item = ui.File1->findItems(QStringLiteral("versi\ufffdn.stb"), Qt::MatchExactly).value(0);
        QTest::mouseClick(ui.File1->viewport(), Qt::LeftButton, {}, ui.File1->visualItemRect(item).center());
        // Sent, then rebuilt and sent again as it is on disk, with one press each.
        for (DeviceHarness& device : devices) {
            if (&device != devices)
                build();
            messages.texts.clear();
            qputenv("PROGRAMADOR_COM2", QFile::encodeName(device.path()));
            // The operator switches the device on once the loader waits for it: the timer
            // fires in the first yield of the wait for the device, after the port opened.
            QTimer::singleShot(0, [&device] { device.switchOn(); });
            QTest::mouseClick(ui.Command1, Qt::LeftButton);
            QVERIFY2(device.finished(), qPrintable(messages.texts.join(", ") + " / rx: " + device.log()));
            QVERIFY(device.received() == image);
            QCOMPARE(messages.texts, QStringList{"Programa listo"});
            QVERIFY(ui.Command1->isEnabled() && !ui.Command2->isEnabled() && !ui.ProgressBar1->isVisible());
        }
    }
};

QTEST_MAIN(TestEndToEnd)
#include "test_end_to_end.moc"
