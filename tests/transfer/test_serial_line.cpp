// The program's serial line, QSerialPortLine, over a real pseudo-terminal to the device
// harness. Real time, but nothing here waits for a time-out to expire.
#include "cooperative_wait.h"
#include "device_harness.h"
#include "event_loop_yield.h"
#include "qserial_port_line.h"
#include "tick_timers.h"

#include <QDeadlineTimer>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <unistd.h>

using namespace programador;
using namespace programador::testing;

namespace {

// What `step` writes on standard error.
QString stderrOf(const std::function<void()>& step)
{
    QTemporaryFile file;
    const int saved = ::dup(2);
    if (!file.open() || ::dup2(file.handle(), 2) != 2)
        return QStringLiteral("<no capture>");
    step();
    ::dup2(saved, 2);
    ::close(saved);
    file.seek(0);
    return QString::fromLocal8Bit(file.readAll());
}

} // namespace

class TestSerialLine : public QObject {
    Q_OBJECT

    DeviceHarness device;   // COM1

private slots:
    void initTestCase() { qputenv("PROGRAMADOR_COM1", QFile::encodeName(device.path())); }

    void portNumbersMapToDevicesAndOnlyOneSettingIsTaken()
    {
        qputenv("PROGRAMADOR_COM3", "");
        QCOMPARE(QSerialPortLine::devicePath(3), QString("/dev/ttyS2"));
        QSerialPortLine line;
        QVERIFY_THROWS_EXCEPTION(SerialError, line.setSettings("19200,E,7,2"));
        QVERIFY_THROWS_EXCEPTION(SerialError, line.setPortNumber(5));
    }

    void everyByteValuePassesBothWaysAndCloseWritesOutTheRest()
    {
        QSerialPortLine line;
        line.open();
        QByteArray bytes;
        for (int i = 0; i < 256; ++i)
            bytes += char(i);
        device.send(bytes);
        QByteArray got;
        int reads = 0;
        for (QDeadlineTimer deadline(10000); got.size() < bytes.size() && !deadline.hasExpired();)
            got += line.bytesWaiting() > 0 ? (++reads, line.read()) : QByteArray();
        QCOMPARE(got, bytes);   // none changed, one byte a read
        QCOMPARE(reads, 256);
        // A block and EOT, and the port closed at once: the device has them all.
        line.write(bytes);
        line.write(QByteArray(132, '\x5A'));
        line.write("\x04");
        line.close();
        QVERIFY(device.waitHeard(256 + 133));
        QCOMPARE(device.heard(), bytes + QByteArray(132, '\x5A') + '\x04');
    }

    void aPortHeldOpenIsRefusedUntilItIsClosed()
    {
        QSerialPortLine first, second;
        first.open();
        const QString said = stderrOf([&] { QVERIFY_THROWS_EXCEPTION(SerialError, second.open()); });
        QVERIFY2(said.count('\n') == 1 && said.startsWith("programador: " + device.path() + ": "), qPrintable(said));
        first.close();
        second.open();
        QVERIFY(second.isOpen());
    }

    // The last: the cable is pulled.
    void aVanishedPortEndsTheWaitAndEveryLaterOperation()
    {
        QSerialPortLine line;
        line.open();
        TickCounters ticks;
        TickTimers timers(ticks);
        EventLoopYield events;
        CooperativeWait wait(ticks, events, line);
        QTimer::singleShot(0, [this] { device.hangUp(); });   // inside the wait's first yield
        // A hang-up missed would end in the 40-tick time-out, which returns 1. One failure,
        // one line on standard error, however many operations fail after it.
        const QString said = stderrOf([&] {
            QVERIFY_THROWS_EXCEPTION(SerialError, wait.waitFor('\x15', 40, CooperativeWait::Cancel::Honoured));
            QVERIFY_THROWS_EXCEPTION(SerialError, line.write("x"));
            QVERIFY_THROWS_EXCEPTION(SerialError, line.close());
        });
        QVERIFY(!line.isOpen());
        QCOMPARE(said, "programador: " + device.path() + ": the device went away\n");
    }
};

QTEST_GUILESS_MAIN(TestSerialLine)
#include "test_serial_line.moc"
