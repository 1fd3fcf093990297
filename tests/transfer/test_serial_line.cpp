// The program's serial line, QSerialPortLine, over a real pseudo-terminal to the device
// harness: the line itself, then whole runs against a device at fault. Real time, with the
// ticks a hundred times as fast where a run waits for a time-out.
#include "device_harness.h"
#include "event_loop_yield.h"
#include "load_sequence.h"
#include "qserial_port_line.h"
#include "recording_messages.h"
#include "tick_timers.h"
#include "xmodem_sender.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>
#include <memory>
#include <utility>

#include <sys/wait.h>
#include <unistd.h>

using namespace programador;
using namespace programador::testing;

namespace {

struct Fault {
    DeviceFaults faults;
    bool held = false;   // another program has the port open when the run starts
    QString message;
    int minTicks = 0, maxTicks = 0;   // of Timer1 in the wait that ended the run
    QString reason = {};              // the message's reason line, the device named PORT
    bool throughLink = false;         // the other program reaches the device through a link
    bool pulled = false;              // the cable is pulled once the loader reads the start-up
    int size = 1000;                  // of the image
    QByteArray before = {};           // what the device sent before the loader opened the port; it is not switched on
};

// The message and its reason, and the Timer1 ticks of the wait that ended the run.
struct Ending {
    QStringList messages;
    QString reason;
    int ticks;
};

// What the run shows: nothing, but the cable may be pulled at the first "+".
struct PullingView : QuietView {
    std::function<void()> onConnecting;
    void setStatusText(const QString& text) override
    {
        if (onConnecting && text.startsWith("Estableciendo"))
            std::exchange(onConnecting, nullptr)();
    }
};

// One run of "Cargar Firmware" on COM1, Timer1 every 10 ms and Timer2 every 1 ms.
Ending load(DeviceHarness& device, const QByteArray& image, bool pulled = false, bool switchOn = true)
{
    qputenv("PROGRAMADOR_COM1", QFile::encodeName(device.path()));
    QSerialPortLine line(PortAssignment::fromVariable);
    TickCounters ticks;
    QTimer timer1, timer2;
    QObject::connect(&timer1, &QTimer::timeout, [&] { ticks.Timer1_Timer(); });
    QObject::connect(&timer2, &QTimer::timeout, [&] { ticks.Timer2_Timer(); });
    timer1.start(10);
    timer2.start(1);
    EventLoopYield events;
    CooperativeWait wait(ticks, events, line);
    PullingView view;
    if (pulled)   // the loader has the whole start-up, written at once, in hand by then
        view.onConnecting = [&device] { device.pullCable(); };
    RecordingMessages messages;
    auto buffer = std::make_unique<FirmwareImage>();
    std::copy(image.begin(), image.end(), buffer->buffer.begin());
    buffer->largo_archivo = std::int32_t(image.size());
    XmodemSender sender(wait, *buffer, view);
    const std::int16_t puerto = 1;
    LoadSequence sequence(wait, sender, view, messages, puerto);
    if (switchOn)
        QTimer::singleShot(0, [&device] { device.switchOn(); });   // once the loader waits for it
    sequence.Command1_Click();
    return {messages.texts, messages.shown.value(0).reason.replace(device.path(), "PORT"), ticks.contador1};
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestSerialLine : public QObject {
    Q_OBJECT

    DeviceHarness device;   // COM1 of the line's own tests

private slots:
    void init() { qputenv("PROGRAMADOR_COM1", QFile::encodeName(device.path())); }

    void onlyNumberedPortsAndOneSettingAreTaken()
    {
        qputenv("PROGRAMADOR_COM3", "");
        QSerialPortLine line(PortAssignment::fromVariable);
        line.setPortNumber(3);
        try {
            line.open();
            QFAIL("COM3 stands for nothing, and opened");
        } catch (const SerialError& failure) {
            QCOMPARE(failure.reason, QString::fromUtf8("COM3: libre, ningún dispositivo tiene ese número"));
        }
        QVERIFY_THROWS_EXCEPTION(SerialError, line.setSettings("19200,E,7,2"));
        QVERIFY_THROWS_EXCEPTION(SerialError, line.setPortNumber(5));
    }

    void everyByteValuePassesBothWaysAndCloseWritesOutTheRest()
    {
        QSerialPortLine line(PortAssignment::fromVariable);
        line.open();
        line.open();   // an open line is opened anew
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
        QCOMPARE(device.lineSettings(), "9600 8N1");
        // A block and EOT, and the port closed at once: the device has them all.
        QCOMPARE(line.writeSome(bytes) + line.writeSome(QByteArray(132, '\x5A')) + line.writeSome("\x04"), 256 + 132 + 1);
        line.close();
        line.close();   // a closed line closes quietly
        QCOMPARE(device.heardAll(), bytes + QByteArray(132, '\x5A') + '\x04');
    }

    // Whatever the device does wrong, the run ends through the right exit, in the time its
    // waits allow, the port is free for the next program at once, and a good device then
    // gets the image.
    void faults_data()
    {
        QTest::addColumn<Fault>("fault");
        const QString comm = QStringLiteral("Error de comunicacion"), port = QStringLiteral("Error en puerto serie");
        QTest::newRow("port held by another program") << Fault{{}, true, port, 0, 0};
        // Whatever name reaches the device, it is one device: the second program is refused.
        QTest::newRow("port held through a link") << Fault{{}, true, port, 0, 0,
                                                           QString::fromUtf8("COM1 PORT: el puerto está en uso por otro programa"), true};
        QTest::newRow("device gone in block 3") << Fault{{.hangUpInBlock = 3}, false, port, 0, 9,
                                                         QString::fromUtf8("COM1 PORT: el dispositivo se desconectó")};
        // A device that goes while the loader pauses before its answer is seen in the pause.
        QTest::newRow("device gone after its start-up") << Fault{{}, false, port, 0, 1,
                                                                 QString::fromUtf8("COM1 PORT: el dispositivo se desconectó"), false, true};
        // A device that stops reading: the loader waits for room as every wait waits (the
        // timers tick on), as long as 50 ticks of Timer2, then gives up.
        QTest::newRow("device stops reading") << Fault{{.floodAcks = true}, false, port, 3, 20000,
                                                       QString::fromUtf8("COM1 PORT: la línea no acepta más datos"), false, false, 249984};
        // What a device sent before the port was opened (powered already, an earlier session's
        // leftovers) is no answer: the loader waits its 20 ticks for the start-up.
        QTest::newRow("a start-up sent before the open") << Fault{{}, false, comm, 20, 20, {}, false, false, 1000, "++TA\x15"};
        QTest::newRow("NAK after block 2") << Fault{{.nakAfterBlock = 2}, false, comm, 10, 10};
        QTest::newRow("silence from block 2") << Fault{{.silentFromBlock = 2}, false, comm, 10, 10};
        QTest::newRow("garbage before an ACK") << Fault{{.garbageAfterBlock = 1}, false, "Programa listo", 0, 9};
        QTest::newRow("a receiver that asks for CRC") << Fault{{.crcInsteadOfNak = true}, false, comm, 40, 40};
    }
    void faults()
    {
        QFETCH(Fault, fault);
        QByteArray image(fault.size, Qt::Uninitialized);
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 7);
        DeviceHarness device(fault.faults);
        QTemporaryDir dir;
        const QString link = dir.filePath("by-id-link");
        QVERIFY(QFile::link(device.path(), link));
        qputenv("PROGRAMADOR_COM1", QFile::encodeName(fault.throughLink ? link : device.path()));
        int opened[2];
        QVERIFY(::pipe(opened) == 0);
        pid_t holder = fault.held ? ::fork() : -1;
        if (holder == 0) {   // the other program: it opens the port as the loader does, and waits
            QSerialPortLine other(PortAssignment::fromVariable);
            other.open();
            (void)!::write(opened[1], "", 1);
            ::pause();
        }
        const auto stopHolder = [&holder] {
            if (holder > 0)
                ::kill(holder, SIGKILL), ::waitpid(holder, nullptr, 0);
            holder = -1;
        };
        const std::unique_ptr<pid_t, std::function<void(pid_t*)>> onReturn(&holder, [&stopHolder](pid_t*) { stopHolder(); });
        char c;
        QVERIFY(holder < 0 || ::read(opened[0], &c, 1) == 1);
        ::close(opened[0]), ::close(opened[1]);
        device.sendBeforeOpen(fault.before);
        const Ending ending = load(device, image, fault.pulled, fault.before.isEmpty());
        QCOMPARE(ending.messages, QStringList{fault.message});
        QVERIFY2(ending.ticks >= fault.minTicks && ending.ticks <= fault.maxTicks, qPrintable(QString::number(ending.ticks)));
        if (!fault.reason.isEmpty())
            QCOMPARE(ending.reason, fault.reason);
        if (!fault.faults.hangUpInBlock && !fault.pulled) {
            stopHolder();
            QSerialPortLine next(PortAssignment::fromVariable);
            next.open();   // free at once
        }
        DeviceHarness good;
        QCOMPARE(load(good, image).messages, QStringList{"Programa listo"});
        QVERIFY(good.finished() && good.received().left(image.size()) == image);
    }
};

QTEST_GUILESS_MAIN(TestSerialLine)
#include "test_serial_line.moc"
