// The program's serial line, QSerialPortLine, over a real pseudo-terminal to the device
// harness. Real time, but nothing here waits for a time-out to expire.
#include "cooperative_wait.h"
#include "device_harness.h"
#include "event_loop_yield.h"
#include "qserial_port_line.h"
#include "tick_timers.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <memory>

#include <unistd.h>

using namespace programador;
using namespace programador::testing;

class TestSerialLine : public QObject {
    Q_OBJECT

    std::unique_ptr<DeviceHarness> device;   // COM1, the line's port unless a test says otherwise

private slots:
    void init()
    {
        device = std::make_unique<DeviceHarness>();
        QVERIFY(device->ready());
        qputenv("PROGRAMADOR_COM1", QFile::encodeName(device->path()));
    }

    void portNumbersMapToDevicesAndOnlyOneSettingIsTaken()
    {
        // COM1 named by its variable is what every other test opens.
        qunsetenv("PROGRAMADOR_COM4");
        QCOMPARE(QSerialPortLine::devicePath(4), QString("/dev/ttyS3"));
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
            bytes.append(static_cast<char>(i));
        device->send(bytes);
        QByteArray got;
        for (const QDeadlineTimer deadline(10000); got.size() < bytes.size() && !deadline.hasExpired();) {
            if (line.bytesWaiting() > 0) {
                const QByteArray one = line.read();
                QCOMPARE(one.size(), 1);
                got += one;
            }
        }
        QCOMPARE(got, bytes);
        // A block and EOT, and the port closed at once: the device has them all.
        const QByteArray block = QByteArray(132, '\x5A');
        line.write(bytes);
        line.write(block);
        line.write(QByteArray(1, '\x04'));
        line.close();
        QVERIFY(device->waitHeard(256 + 133));
        QCOMPARE(device->heard(), bytes + block + '\x04');
    }

    void aPortHeldOpenIsRefusedUntilItIsClosed()
    {
        QSerialPortLine first;
        QSerialPortLine second;
        first.open();
        QTemporaryFile err;
        const int saved = ::dup(2);
        QVERIFY(err.open() && ::dup2(err.handle(), 2) == 2);   // standard error, unbuffered, into the file
        QVERIFY_THROWS_EXCEPTION(SerialError, second.open());
        ::dup2(saved, 2);
        ::close(saved);
        err.seek(0);   // standard error moved the file's offset
        const QString said = QString::fromLocal8Bit(err.readAll());
        QCOMPARE(said.count('\n'), 1);
        QVERIFY2(said.startsWith("programador: " + device->path() + ": "), qPrintable(said));
        first.close();
        second.open();
        QVERIFY(second.isOpen());
    }

    void aVanishedPortEndsTheWaitAndEveryLaterOperation()
    {
        QSerialPortLine line;
        line.open();
        TickCounters ticks;
        TickTimers timers(ticks);
        EventLoopYield events;
        CooperativeWait wait(ticks, events, line);
        QTimer::singleShot(0, [this] { device->hangUp(); });   // inside the wait's first yield
        // A hang-up missed would end in the 40-tick time-out, which returns 1.
        QVERIFY_THROWS_EXCEPTION(SerialError, wait.waitFor('\x15', 40, CooperativeWait::Cancel::Honoured));
        QVERIFY_THROWS_EXCEPTION(SerialError, line.write("x"));
        QVERIFY_THROWS_EXCEPTION(SerialError, line.close());
        QVERIFY(!line.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestSerialLine)
#include "test_serial_line.moc"
