// The program from the command line, as a production line runs it: the real binary as a
// child, its port a pseudo-terminal to the device harness with lrzsz rx. The device is
// switched on when the program says "Alimente el equipo".
#include "device_harness.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace programador::testing;

namespace {

struct Run {
    QStringList args;         // "IMAGE" stands for the image's path
    QByteArray ini = "2\r\n"; // PROGRAMADOR.INI in the working directory; COM2 is the device
    bool switchOn = true;
    // SIGINT once the program waits for the device, or for the ACK of block k (below) when
    // there is one; a SIGTERM 200 ms later.
    int signalsSent = 0;
    int status;
    QString said;             // standard error, lines joined by "|"; "..." ends a prefix
    DeviceFaults faults = {};
};

} // namespace

Q_DECLARE_METATYPE(Run)

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void runs_data()
    {
        QTest::addColumn<Run>("run");
        // Not a terminal: a progress line at each tenth of the 1953 blocks.
        const QString sending = QString::fromUtf8("Alimente el equipo|Estableciendo conexión...|Iniciando protocolo XMODEM...|"
                                                  "Transmitiendo archivo...|");
        QTest::newRow("success") << Run{{"IMAGE"}, "2\r\n", true, 0, 0, sending
            + "bloque 196 de 1953|bloque 391 de 1953|bloque 586 de 1953|bloque 782 de 1953|bloque 977 de 1953|"
              "bloque 1172 de 1953|bloque 1368 de 1953|bloque 1563 de 1953|bloque 1758 de 1953|bloque 1953 de 1953|Programa listo"};
        QTest::newRow("device off") << Run{{"--port", "1", "IMAGE"}, "", false, 0, 1, "Alimente el equipo|Error de comunicacion"};
        QTest::newRow("port missing") << Run{{"--device=/dev/no-such-tty", "IMAGE"}, "", false, 0, 2,
                                             "programador: /dev/no-such-tty: No such file or directory|Error en puerto serie"};
        QTest::newRow("unreadable image") << Run{{"/no/such/image.bin"}, "", false, 0, 3, "Error en archivo"};
        QTest::newRow("two images") << Run{{"IMAGE", "IMAGE"}, "", false, 0, 64, "programador: una sola IMAGEN|uso: ..."};
        QTest::newRow("no COM5") << Run{{"--port", "5", "IMAGE"}, "", false, 0, 64, "programador: --port necesita un puerto de 1 a 4|uso: ..."};
        // One failure, one line on standard error, however many operations fail after it.
        QTest::newRow("device gone") << Run{{"IMAGE"}, "2\r\n", true, 0, 2,
                                            sending + "programador: PORT: the device went away|Error en puerto serie", {.hangUpInBlock = 3}};
        QTest::newRow("SIGINT while the device is off") << Run{{"IMAGE"}, "2\r\n", false, 1, 1, "Alimente el equipo|Error de comunicacion"};
        // The signal comes while block 2 waits for its ACK: the run ends once that block is
        // answered, before the next one.
        QTest::newRow("SIGINT while sending") << Run{{"IMAGE"}, "2\r\n", true, 1, 130, sending.chopped(1), {.holdAckOfBlock = 2}};
        // The first signal waits for the block under way, which never gets its ACK (a time-out
        // would end "Error de comunicacion" after 10 s); the second ends the run at once.
        QTest::newRow("a second signal") << Run{{"IMAGE"}, "2\r\n", true, 2, 130, sending.chopped(1), {.silentFromBlock = 1}};
    }

    void runs()
    {
        QFETCH(Run, run);
        QTemporaryDir dir;
        QByteArray image(249984, Qt::Uninitialized);   // 1953 blocks
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 13);
        QFile file(dir.filePath("firmware.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
        file.close();
        QFile ini(dir.filePath("PROGRAMADOR.INI"));
        QVERIFY(run.ini.isEmpty() || (ini.open(QIODevice::WriteOnly) && ini.write(run.ini) == run.ini.size()));
        ini.close();
        DeviceHarness device(run.faults);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PROGRAMADOR_COM1", device.path());
        environment.insert("PROGRAMADOR_COM2", device.path());
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(dir.path());
        program.start(PROGRAMADOR_EXECUTABLE, run.args.replaceInStrings("IMAGE", file.fileName()));
        QVERIFY(program.waitForStarted());
        QByteArray said;
        bool switched = false;
        int signalled = 0;
        QElapsedTimer sinceSignal;
        while (program.state() != QProcess::NotRunning) {
            program.waitForFinished(20);
            said += program.readAllStandardError();
            if (run.switchOn && !switched && said.contains("Alimente el equipo\n"))
                device.switchOn(), switched = true;
            const int blocks = run.faults.holdAckOfBlock + run.faults.silentFromBlock;
            const bool waiting = said.contains("Alimente el equipo\n") && device.heard().size() >= (blocks ? 1 + 132 * blocks : 0);
            if (signalled < run.signalsSent && waiting && (!signalled || sinceSignal.elapsed() > 200)) {
                ::kill(program.processId(), signalled++ ? SIGTERM : SIGINT), sinceSignal.start();
                if (signalled == run.signalsSent)
                    device.release();
            }
        }
        said += program.readAllStandardError();
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), run.status);
        const QString lines = QString::fromUtf8(said).trimmed().replace('\n', '|').replace(device.path(), "PORT");
        QVERIFY2(run.said.endsWith("...") ? lines.startsWith(run.said.chopped(3)) : lines == run.said, qPrintable(lines));
        // Read when no port is given, never written.
        QCOMPARE(ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray(), run.ini);
        if (run.status == 0)
            QVERIFY(device.finished() && device.received().left(image.size()) == image);
        if (run.status == 130) {   // the port closed after whole blocks: no EOT
            const QByteArray heard = device.heardAll();
            QVERIFY2(heard.size() > 132 && (heard.size() - 1) % 132 == 0, heard.right(40).toHex().constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
