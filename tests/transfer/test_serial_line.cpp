// The QSerialPort line over real pseudo-terminals, and a whole transfer through it to
// lrzsz rx. Runs in real time: the pseudo-terminals ignore the baud rate, so a full
// image takes a few seconds; nothing here waits for a time-out to expire.
#include "cooperative_wait.h"
#include "event_loop_yield.h"
#include "firmware_image.h"
#include "handshake.h"
#include "pty_link.h"
#include "qserial_port_line.h"
#include "recording_view.h"
#include "tick_timers.h"
#include "xmodem_sender.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace programador;
using namespace programador::testing;

namespace {

// The far end of the cable, read and written directly.
class FarEnd {
public:
    explicit FarEnd(const QString& path) : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY)) {}
    ~FarEnd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void write(const QByteArray& bytes) const { QCOMPARE(::write(fd_, bytes.constData(), bytes.size()), bytes.size()); }
    // Reads until `count` bytes have come or the deadline passes.
    QByteArray read(int count, int timeoutMs = 5000) const
    {
        QByteArray out;
        const QDeadlineTimer deadline(timeoutMs);
        while (out.size() < count && !deadline.hasExpired()) {
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(deadline.remainingTime())) <= 0)
                break;
            char buf[4096];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, static_cast<int>(n));
        }
        return out;
    }

private:
    int fd_;
};

// The program's yield, counting the passes that were allowed to sleep.
class CountingYield : public EventYield {
public:
    void yield(bool mayBlock) override
    {
        if (mayBlock)
            ++blocking;
        ++passes;
        inner.yield(mayBlock);
    }
    EventLoopYield inner;
    int passes = 0;
    int blocking = 0;
};

// Reads what the line receives until `count` bytes have come, yielding as a wait does.
QByteArray receive(QSerialPortLine& line, int count, int timeoutMs = 5000)
{
    QByteArray got;
    EventLoopYield events;
    const QDeadlineTimer deadline(timeoutMs);
    while (got.size() < count && !deadline.hasExpired()) {
        events.yield(false);
        if (line.bytesWaiting() > 0)
            got += line.read();
    }
    return got;
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    return bytes;
}

// Captures what is written to standard error while it lives.
class StderrCapture {
public:
    StderrCapture()
    {
        file_.open();
        std::fflush(stderr);
        saved_ = ::dup(2);
        ::dup2(file_.handle(), 2);
    }
    QString text()
    {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
        file_.seek(0);
        return QString::fromLocal8Bit(file_.readAll());
    }
    ~StderrCapture()
    {
        if (saved_ >= 0)
            text();
    }

private:
    QTemporaryFile file_;
    int saved_ = -1;
};

} // namespace

class TestSerialLine : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        for (int n = 1; n <= 4; ++n)
            qunsetenv(QByteArray("PROGRAMADOR_COM" + QByteArray::number(n)).constData());
    }

    void portNumbersMapToDevices()
    {
        QCOMPARE(QSerialPortLine::devicePath(1), QString("/dev/ttyS0"));
        QCOMPARE(QSerialPortLine::devicePath(4), QString("/dev/ttyS3"));
        qputenv("PROGRAMADOR_COM3", "/dev/ttyUSB0");
        QCOMPARE(QSerialPortLine::devicePath(3), QString("/dev/ttyUSB0"));
        qputenv("PROGRAMADOR_COM3", "");
        QCOMPARE(QSerialPortLine::devicePath(3), QString("/dev/ttyS2"));
    }

    void refusesWhatItCannotOpen()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath("no-such-tty");
        qputenv("PROGRAMADOR_COM2", QFile::encodeName(missing));
        QSerialPortLine line;
        line.setPortNumber(2);
        StderrCapture err;
        QVERIFY_THROWS_EXCEPTION(SerialError, line.open());
        const QString said = err.text();
        QCOMPARE(said.count('\n'), 1);
        QVERIFY2(said.startsWith("programador: " + missing + ": "), qPrintable(said));
        QVERIFY(!line.isOpen());
        QVERIFY_THROWS_EXCEPTION(SerialError, line.setSettings("19200,E,7,2"));
        QVERIFY_THROWS_EXCEPTION(SerialError, line.setPortNumber(5));
    }

    void passesEveryByteValueBothWays()
    {
        QTemporaryDir dir;
        PtyLink link(dir.path());
        QVERIFY(link.ready());
        qputenv("PROGRAMADOR_COM1", QFile::encodeName(link.loaderPath()));
        QSerialPortLine line;
        line.setPortNumber(1);
        line.setSettings("9600,N,8,1");
        line.setInputLength(1);
        line.open();
        FarEnd device(link.devicePath());
        QVERIFY(device.ok());

        const QByteArray bytes = allByteValues();
        device.write(bytes);
        QCOMPARE(receive(line, bytes.size()), bytes);   // one byte per read, none changed
        line.write(bytes);
        QCOMPARE(device.read(bytes.size()), bytes);
        line.close();
        QVERIFY(!line.isOpen());
    }

    void aPortHeldOpenCannotBeOpenedAgain()
    {
        QTemporaryDir dir;
        PtyLink link(dir.path());
        QVERIFY(link.ready());
        qputenv("PROGRAMADOR_COM1", QFile::encodeName(link.loaderPath()));
        QSerialPortLine first;
        first.open();
        QSerialPortLine second;
        StderrCapture err;
        QVERIFY_THROWS_EXCEPTION(SerialError, second.open());
        QVERIFY(err.text().contains(link.loaderPath()));
        first.close();
        second.open();   // free again once the first has closed it
        QVERIFY(second.isOpen());
    }

    void closeWritesOutWhatIsQueued()
    {
        QTemporaryDir dir;
        PtyLink link(dir.path());
        QVERIFY(link.ready());
        qputenv("PROGRAMADOR_COM1", QFile::encodeName(link.loaderPath()));
        FarEnd device(link.devicePath());
        QSerialPortLine line;
        line.open();
        const QByteArray block = QByteArray(132, '\x5A');
        line.write(block);
        line.write(QByteArray(1, '\x04'));
        line.close();   // at once, with no event loop in between
        QCOMPARE(device.read(133), block + '\x04');
    }

    void aBurstIsReadWithoutSleeping()
    {
        QTemporaryDir dir;
        PtyLink link(dir.path());
        QVERIFY(link.ready());
        qputenv("PROGRAMADOR_COM1", QFile::encodeName(link.loaderPath()));
        QSerialPortLine line;
        line.open();
        FarEnd device(link.devicePath());
        TickCounters ticks;
        CountingYield events;
        CooperativeWait wait(ticks, events, line);
        device.write(QByteArray(99, 'x') + '\x15');
        // The burst may need a pass or two to arrive; from then on every byte is read in
        // its own pass and no pass sleeps while bytes wait.
        ticks.contador1 = 0;
        QCOMPARE(wait.waitFor('\x15', 40, CooperativeWait::Cancel::Ignored), std::int16_t(0));
        QVERIFY2(events.blocking <= 2, qPrintable(QString::number(events.blocking)));
        QVERIFY(events.passes >= 100);
        QCOMPARE(line.bytesWaiting(), 0);
    }

    void aVanishedPortEndsTheWait()
    {
        QTemporaryDir dir;
        auto link = std::make_unique<PtyLink>(dir.path());
        QVERIFY(link->ready());
        qputenv("PROGRAMADOR_COM1", QFile::encodeName(link->loaderPath()));
        QSerialPortLine line;
        line.open();
        TickCounters ticks;
        TickTimers timers(ticks);
        EventLoopYield events;
        CooperativeWait wait(ticks, events, line);
        QTimer::singleShot(50, [&] { link->kill(); });
        QElapsedTimer clock;
        clock.start();
        // Without the hang-up this would be a 40-second time-out returning 1.
        QVERIFY_THROWS_EXCEPTION(SerialError, wait.waitFor('\x15', 40, CooperativeWait::Cancel::Honoured));
        QVERIFY(ticks.contador1 < 40);
        QVERIFY_THROWS_EXCEPTION(SerialError, line.write("x"));
        QVERIFY_THROWS_EXCEPTION(SerialError, line.close());
        QVERIFY(!line.isOpen());
    }

    void sendsAWholeImageToRx_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("largest image") << FirmwareImage::kMaxSendable;
        QTest::newRow("padded last block") << 1000;
    }
    void sendsAWholeImageToRx()
    {
        QFETCH(int, length);
        QTemporaryDir dir;
        PtyLink link(dir.path());
        QVERIFY(link.ready());
        qputenv("PROGRAMADOR_COM1", QFile::encodeName(link.loaderPath()));

        auto image = std::make_unique<FirmwareImage>();
        QRandomGenerator random(length);
        for (int i = 0; i < length; ++i)
            image->buffer[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(random.bounded(256));
        image->largo_archivo = length;

        QSerialPortLine line;
        line.setPortNumber(1);
        line.setSettings("9600,N,8,1");
        line.setInputLength(1);
        line.open();
        RxDevice device(link.devicePath(), dir.path());
        QVERIFY(device.started());

        TickCounters ticks;
        TickTimers timers(ticks);
        EventLoopYield events;
        CooperativeWait wait(ticks, events, line);
        RecordingView view;
        XmodemSender sender(wait, *image, view);
        QCOMPARE(espera_ath0(wait, view), std::int16_t(0));
        QCOMPARE(sender.espera_nak(), std::int16_t(0));
        wait.ret3();
        sender.bloque = 1;
        sender.nro_bloque = 1;
        sender.indice = 0;
        std::int16_t result = 0;
        while ((result = sender.envia_paquete()) == 0) {
            ++sender.bloque;
            sender.nro_bloque = static_cast<std::uint8_t>(sender.nro_bloque + 1);
        }
        QVERIFY2(result == 1, qPrintable(QStringLiteral("block %1 not acknowledged; rx: %2").arg(sender.bloque).arg(device.log())));
        line.write(QByteArray(1, '\x04'));
        line.close();

        // rx ends well only when the EOT reached it.
        QVERIFY2(device.finished(), qPrintable(device.log()));
        const int blocks = (length + 127) / 128;
        QCOMPARE(sender.bloque, blocks);
        const QByteArray expected =
            QByteArray(reinterpret_cast<const char*>(image->buffer.data()), length) + QByteArray(blocks * 128 - length, '\0');
        const QByteArray got = device.received();
        QCOMPARE(got.size(), expected.size());
        QVERIFY(got == expected);
    }
};

QTEST_GUILESS_MAIN(TestSerialLine)
#include "test_serial_line.moc"
