// The whole transfer on virtual time, one row per scenario: what the device sends and
// when, the operator's clicks, a port that fails -> every byte the loader writes, in
// order and when, the exit with its message, and the cancel flag left behind. Then the
// program's serial line, QSerialPortLine, over a real pseudo-terminal to the device harness:
// the line itself, and whole runs against a device at fault that only a real line shows, in
// real time with the ticks a hundred times as fast.
#include "device_harness.h"
#include "event_loop_yield.h"
#include "load_sequence.h"
#include "qserial_port_line.h"
#include "recording_messages.h"
#include "virtual_line.h"
#include "xmodem_sender.h"

#include <QRegularExpression>
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

// The exits' messages as the rows name them, and Label1's captions, one letter each.
const QMap<QString, std::pair<QString, MessageIcon>> kMessages{{"Programa listo", {"done", MessageIcon::Information}},
    {"Error de comunicacion", {"comm", MessageIcon::Warning}}, {"Error en puerto serie", {"port", MessageIcon::Warning}}};
const QMap<QString, char> kCaptions{{"Alimente el equipo", 'A'}, {"Estableciendo conexi\u00f3n...", 'E'},
                                    {"Iniciando protocolo XMODEM...", 'I'}, {"Transmitiendo archivo...", 'T'}};

struct Row {
    int length = 384;                           // image bytes: 00, then FF to the end of block 2
    DeviceScript device = {};
    QList<std::pair<QString, char>> acts = {};  // at a time in ms, or 5 ms after a line event:
                                                // C "Cancelar", K "Cargar Firmware", X the window closes
    QString failOn = {};
    QString vanishAfter = {};
    qint64 stallAt = -1;
    int runs = 1;                               // a second run follows, on a device that behaves
    // The line's events, the message ("done", "comm", "port") and the return to idle, each
    // maybe with its time: "@lo-hi" ms, or "@+lo-hi" after the event before; "Bj..k" stands
    // for blocks j to k, as expectedBlock frames them from the image.
    QString timeline;
    QString captions = QStringLiteral("AEEIT");
    std::int16_t cancelado = 0;
    LoadStop stop = LoadStop::None;             // where a communication error stopped the last run
};

// What the run shows on the window: captions, progress, "Cancelar" offered, habilita.
struct View : QuietView {
    explicit View(std::function<void(const QString&)> note) : note(std::move(note)) {}
    void setStatusText(const QString& text) override { captions += kCaptions.value(text, '?'); }
    void setProgressValue(float value) override { progress << value; }
    void setCancelEnabled(bool on) override { cancelOffered = cancelOffered || on; }
    void habilita() override { note(QStringLiteral("idle")); }
    std::function<void(const QString&)> note;
    QString captions;
    QList<float> progress;
    bool cancelOffered = false;
};

struct Fault {
    DeviceFaults faults;
    bool held = false;   // another program has the port open when the run starts
    QString message;
    int minTicks = 0, maxTicks = 0;   // of Timer1 in the wait that ended the run
    QString reason = {};              // the message's reason line, the device named PORT
    QString com1 = "PORT";            // what PROGRAMADOR_COM1 names (for the other program when held): PORT, a LINK to it, or nothing
    bool pulled = false;              // the cable is pulled once the loader reads the start-up
    int size = 1000;                  // of the image
    QByteArray before = {};           // sent before the loader opened the port; the device is not switched on
};

// The messages, the first one's reason, and the Timer1 ticks of the wait that ended the run.
using Ending = std::tuple<QStringList, QString, int>;

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
    QSerialPortLine line(PortAssignment::fromVariable);
    // Virtual time: a Timer2 tick each millisecond and a Timer1 tick each ten, counted only while
    // the device side is quiet, so that a busy machine slowing rx never runs a wait out.
    TickCounters ticks;
    QTimer pulse;
    int pulses = 0;
    QObject::connect(&pulse, &QTimer::timeout, [&] {
        if (!device.quiet())
            return;
        ticks.Timer2_Timer();
        if (++pulses % 10 == 0)
            ticks.Timer1_Timer();
    });
    pulse.start(1);
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

Q_DECLARE_METATYPE(Row)
Q_DECLARE_METATYPE(Fault)

class TestTransfer : public QObject {
    Q_OBJECT

    DeviceHarness device;   // COM1 of the line's own tests

private slots:
    void run_data();
    void run();
    void countersStopAtTheCeiling();
    void init() { qputenv("PROGRAMADOR_COM1", QFile::encodeName(device.path())); }

    // The line as the device sees it: 9600 baud, 8N1, no flow control.
    void theLinesSettings()
    {
        QSerialPortLine line(PortAssignment::fromVariable);
        line.open();
        QVERIFY(device.at9600_8N1());
    }

    // Whatever the device does wrong, the run ends through the right exit, in the time its
    // waits allow, the port is free for the next program at once, and a good device then
    // gets the image.
    void faults_data()
    {
        QTest::addColumn<Fault>("fault");
        const QString comm = QStringLiteral("Error de comunicacion"), port = QStringLiteral("Error en puerto serie");
        // Another program has the port open: whatever name reaches the device, it is one device,
        // and the second program is refused.
        QTest::newRow("port held through a link") << Fault{{}, true, port, 0, 0, QString::fromUtf8("COM1 PORT: el puerto está en uso por otro programa"), "LINK"};
        QTest::newRow("a number that stands for nothing") << Fault{{}, false, port, 0, 0, QString::fromUtf8("COM1: libre, ningún dispositivo tiene ese número"), ""};
        QTest::newRow("device gone in block 3") << Fault{{.hangUpInBlock = 3}, false, port, 0, 9, QString::fromUtf8("COM1 PORT: el dispositivo se desconectó")};
        // A device that goes while the loader pauses before its answer is seen in the pause.
        QTest::newRow("device gone after its start-up") << Fault{{}, false, port, 0, 1, QString::fromUtf8("COM1 PORT: el dispositivo se desconectó"), "PORT", true};
        // A device that stops reading: the loader waits for room as every wait waits (the
        // timers tick on), as long as 50 ticks of Timer2, then gives up.
        QTest::newRow("device stops reading") << Fault{{.floodAcks = true}, false, port, 3, 20000, QString::fromUtf8("COM1 PORT: la línea no acepta más datos"), "PORT", false, 249984};
        // What a device sent before the port was opened (powered already, an earlier session's
        // leftovers) is no answer: the loader waits its 20 ticks for the start-up.
        QTest::newRow("a start-up sent before the open") << Fault{{}, false, comm, 20, 20, {}, "PORT", false, 1000, "++TA\x15"};
    }
    void faults()
    {
        QFETCH(Fault, fault);
        QByteArray image(fault.size, Qt::Uninitialized);
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 7);
        DeviceHarness device(fault.faults);
        QTemporaryDir dir;
        QVERIFY(QFile::link(device.path(), dir.filePath("LINK")));
        qputenv("PROGRAMADOR_COM1", QFile::encodeName(QString(fault.com1).replace("PORT", device.path()).replace("LINK", dir.filePath("LINK"))));
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
        if (fault.held)   // the loader itself opens the device by its own name
            qputenv("PROGRAMADOR_COM1", QFile::encodeName(device.path()));
        device.sendBeforeOpen(fault.before);
        const auto [messages, reason, ticks] = load(device, image, fault.pulled, fault.before.isEmpty());
        QCOMPARE(messages, QStringList{fault.message});
        QVERIFY2(ticks >= fault.minTicks && ticks <= fault.maxTicks, qPrintable(QString::number(ticks)));
        if (!fault.reason.isEmpty())
            QCOMPARE(reason, fault.reason);
        if (!fault.faults.hangUpInBlock && !fault.pulled && !fault.com1.isEmpty()) {
            stopHolder();
            QSerialPortLine next(PortAssignment::fromVariable);
            next.open();   // free at once
        }
        DeviceHarness good;
        qputenv("PROGRAMADOR_COM1", QFile::encodeName(good.path()));
        QCOMPARE(std::get<0>(load(good, image)), QStringList{"Programa listo"});
        QVERIFY(good.finished() && good.received().left(image.size()) == image);
    }
};

void TestTransfer::run_data()
{
    QTest::addColumn<Row>("row");
    const auto row = [](const char* name, Row r) { QTest::newRow(name) << r; };
    const QString done = QStringLiteral("open * B1..3 EOT close done idle");

    // The handshake: "+" shows "Estableciendo conexión..."; only "T" directly followed by
    // "A" is answered, one to two seconds later; 20 ticks in all.
    row("T A", {.timeline = "open *@2000-3010 B1@2900-3010 B2 B3 EOT close done idle"});
    row("a burst of noise, read without sleeping",
        {.device = {.sends = {{1000, QByteArray(300, '\xAA') + "TA"}}}, .timeline = "open *@2000-3010 B1..3 EOT close done idle", .captions = "AIT"});
    row("two ticks in one pass", {.device = {.sends = {}}, .stallAt = 19000, .timeline = "open close@19000-21500 comm idle", .captions = "A", .stop = LoadStop::Announcement});
    // The receiver's NAK, 40 ticks at most.
    row("no NAK", {.device = {.nakAfter = -1}, .timeline = "open * close@+40000-40000 comm idle", .captions = "AEEI", .stop = LoadStop::ImageRequest});
    // Blocks of 128 bytes numbered 1 .. 255, 0, 1 ..., the last padded from the buffer.
    row("128 bytes", {.length = 128, .timeline = "open * B1 EOT close done idle"});
    row("249984 bytes", {.length = 249984, .timeline = "open * B1..1953 EOT close done idle"});
    // Each block waits 10 ticks for its ACK; anything else counts for nothing, and no
    // block is ever sent twice.
    row("no ACK for block 2", {.device = {.replies = {{2, ""}}}, .timeline = "open * B1 B2 close@+9000-10000 comm idle", .stop = LoadStop::Block});
    row("two ticks in one pass of an ACK wait",
        {.device = {.replies = {{2, ""}}}, .stallAt = 12000, .timeline = "open * B1 B2 close@+9000-11500 comm idle", .stop = LoadStop::Block});
    row("NAK for block 2", {.device = {.replies = {{2, "\x15"}}}, .timeline = "open * B1 B2 close@+9000-10000 comm idle", .stop = LoadStop::Block});
    // "Cancelar": the device and NAK waits end as on a time-out; between blocks the run
    // ends quietly; the pauses and the ACK wait do not look.
    row("cancel while Alimente el equipo shows",
        {.device = {.sends = {}}, .acts = {{"5000", 'C'}}, .timeline = "open close@5000-5010 comm idle", .captions = "A",
         .stop = LoadStop::Announcement});
    row("cancel during block 2", {.acts = {{"B2", 'C'}}, .timeline = "open * B1 B2 close idle"});
    row("cancel during the last block", {.acts = {{"B3", 'C'}}, .timeline = done, .cancelado = -1});
    row("Cargar Firmware again during a run", {.acts = {{"B1", 'K'}}, .timeline = done});
    // The port: every failure is "Error en puerto serie", and the window comes back.
    row("port refused", {.failOn = "open", .timeline = "port idle", .captions = ""});
    row("write of block 2 fails", {.failOn = "B2", .timeline = "open * B1 close port idle"});
    row("port gone after block 2", {.vanishAfter = "B2", .timeline = "open * B1 B2 port idle"});
    // Closing the window ends the run at once: port closed, no EOT, no message.
    row("window closes while an ACK is awaited",
        {.device = {.replies = {{2, ""}}}, .acts = {{"B2", 'X'}}, .timeline = "open * B1 B2 close@+5-15"});
    // "Cargar Firmware" once more sends the same image again from block 1.
    row("again after a cancel", {.acts = {{"B1", 'C'}}, .runs = 2, .timeline = "open * B1 close idle " + done, .captions = "AEEITAEEIT"});
}


void TestTransfer::run()
{
    QFETCH(Row, row);
    TickCounters ticks;
    VirtualLine line;
    line.ticks = &ticks;
    CooperativeWait wait(ticks, line, line);
    QStringList timeline;   // "name@ms"
    View view([&](const QString& name) { timeline << name + '@' + QString::number(line.now); });
    RecordingMessages messages;
    auto image = std::make_unique<FirmwareImage>();
    XmodemSender sender(wait, *image, view);
    const std::int16_t puerto = 3;
    LoadSequence sequence(wait, sender, view, messages, puerto);

    for (int i = 0; i < row.length; ++i)
        image->buffer[i] = i == 0 ? 0x00 : i < 256 ? 0xFF : (i * 7 + i / 256 + 3) & 0xFF;
    image->largo_archivo = row.length;
    messages.onShow = [&] {
        const auto [name, icon] = kMessages.value(messages.texts.last(), {"?" + messages.texts.last(), MessageIcon::None});
        QCOMPARE(messages.shown.last().icon, icon);
        view.note(name);
    };
    const auto act = [&](char what) {
        what == 'C' ? sequence.Command2_Click() : what == 'K' ? void(sequence.Command1_Click()) : wait.abandon();
    };
    line.onEvent = [&](const VirtualLine::Event& e) {
        if (e.name == "port" || e.name == "settings" || e.name == "input length")
            return;
        view.note(!e.name.startsWith('B') || e.bytes == expectedBlock(*image, e.name.mid(1).toInt()) ? e.name : "?" + e.bytes.toHex());
        for (const auto& [when, what] : row.acts) {
            if (when == e.name)
                line.at(e.at + 5, [&act, what = what] { act(what); });
        }
    };
    for (const auto& [when, what] : row.acts) {
        if (when.front().isDigit())
            line.at(when.toLongLong(), [&act, what = what] { act(what); });
    }
    line.device = row.device;
    line.failOn = row.failOn;
    line.vanishAfter = row.vanishAfter;
    line.stallAt = row.stallAt;
    for (int run = 1; run <= row.runs; ++run) {
        if (run > 1) {
            row.acts.clear();
            line.repair();
            line.runUntil(line.now + 60000);
        }
        sequence.Command1_Click();
        QVERIFY(!line.isOpen() && !sequence.running());
    }

    // What happened, then when.
    QStringList expected;
    for (const QString& token : row.timeline.split(' ')) {
        const QStringList range = token.mid(1).split("..");
        for (int k = range[0].toInt(); range.size() == 2 && k <= range[1].toInt(); ++k)
            expected << 'B' + QString::number(k);
        if (range.size() != 2)
            expected << token;
    }
    QStringList names = timeline, wanted = expected;
    QCOMPARE(names.replaceInStrings(QRegularExpression("@.*"), {}), wanted.replaceInStrings(QRegularExpression("@.*"), {}));
    for (int i = 0; i < expected.size(); ++i) {
        const QStringList window = expected[i].section('@', 1).split('-');
        const qint64 at = timeline[i].section('@', 1).toLongLong()
            - (window[0].startsWith('+') ? timeline[i - 1].section('@', 1).toLongLong() : 0);
        QVERIFY2(window.size() != 2 || (at >= window[0].toLongLong() && at <= window[1].toLongLong()), qPrintable(timeline[i]));
    }
    QCOMPARE(view.captions, row.captions);
    QCOMPARE(wait.cancelado, row.cancelado);
    QCOMPARE(sequence.stop(), row.stop);
    // The line as the run set it up; "Cancelar" offered once the port is open; the progress
    // value at each block counts the blocks.
    QCOMPARE(view.cancelOffered, names.contains("open"));
    QVERIFY(!names.contains("open") || (line.portNumber == 3 && line.settings == "9600,N,8,1" && line.inputLength == 1));
    QVERIFY(view.progress.size() >= names.filter(QRegularExpression("^B")).size());
    for (int i = 0; i < view.progress.size(); ++i)
        QVERIFY(view.progress[i] == 1 || view.progress[i] == view.progress[i - 1] + 1);
}

void TestTransfer::countersStopAtTheCeiling()
{
    TickCounters ticks{19999, 20000};
    for (int i = 0; i < 3; ++i)
        ticks.Timer1_Timer(), ticks.Timer2_Timer();
    QCOMPARE(ticks.contador1, std::int16_t{20000});
    QCOMPARE(ticks.contador2, std::int16_t{20000});
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "test_transfer.moc"
