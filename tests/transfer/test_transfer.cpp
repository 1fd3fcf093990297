// The whole transfer on virtual time, one row per scenario: what the device sends and
// when, the operator's clicks, a port that fails -> every byte the loader writes, in
// order and when, the exit with its message, and the cancel flag left behind.
#include "handshake.h"
#include "load_sequence.h"
#include "recording_messages.h"
#include "virtual_line.h"
#include "xmodem_sender.h"

#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace programador;
using namespace programador::testing;

namespace {

// The exits' messages as the rows name them, and Label1's captions, one letter each.
const QMap<QString, std::pair<QString, MessageIcon>> kMessages{
    {QStringLiteral("Programa listo"), {"done", MessageIcon::Information}},
    {QStringLiteral("Error de comunicacion"), {"comm", MessageIcon::Warning}},
    {QStringLiteral("Error en puerto serie"), {"port", MessageIcon::Warning}}};
const QMap<QString, char> kCaptions{{QStringLiteral("Alimente el equipo"), 'A'},
                                    {QStringLiteral("Estableciendo conexi\u00f3n..."), 'E'},
                                    {QStringLiteral("Iniciando protocolo XMODEM..."), 'I'},
                                    {QStringLiteral("Transmitiendo archivo..."), 'T'}};

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

} // namespace

Q_DECLARE_METATYPE(Row)

class TestTransfer : public QObject {
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void countersStopAtTheCeiling();
};

void TestTransfer::run_data()
{
    QTest::addColumn<Row>("row");
    const auto row = [](const char* name, Row r) { QTest::newRow(name) << r; };
    const QString done = QStringLiteral("open * B1..3 EOT close done idle");
    const QString noDevice = QStringLiteral("open close@19000-20000 comm idle");

    // The handshake: "+" shows "Estableciendo conexión..."; only "T" directly followed by
    // "A" is answered, one to two seconds later; 20 ticks in all.
    row("T A", {.timeline = "open *@2000-3010 B1@2900-3010 B2 B3 EOT close done idle"});
    row("T T A", {.device = {.sends = {{1000, "TTA"}}}, .timeline = done, .captions = "AIT"});
    row("A T", {.device = {.sends = {{1000, "AT"}}}, .timeline = noDevice, .captions = "A"});
    row("T other A", {.device = {.sends = {{1000, "TxA"}}}, .timeline = noDevice, .captions = "A"});
    row("t a", {.device = {.sends = {{1000, "ta"}}}, .timeline = noDevice, .captions = "A"});
    row("T + A", {.device = {.sends = {{1000, "T+A"}}}, .timeline = noDevice, .captions = "AE"});
    row("a burst of noise, read without sleeping",
        {.device = {.sends = {{1000, QByteArray(300, '\xAA') + "TA"}}}, .timeline = "open *@2000-3010 B1..3 EOT close done idle", .captions = "AIT"});
    row("A read in the last pass", {.device = {.sends = {{100, "T"}, {19495, "A"}}}, .timeline = "open *@20495-21500 B1..3 EOT close done idle", .captions = "AIT"});
    row("A with the 20th tick", {.device = {.sends = {{100, "T"}, {19500, "A"}}}, .timeline = noDevice, .captions = "A"});
    row("two ticks in one pass", {.device = {.sends = {}}, .stallAt = 19000, .timeline = "open close@19000-21500 comm idle", .captions = "A"});
    row("bytes after the A are left for the NAK wait",
        {.device = {.sends = {{1000, "TA\x15"}}, .nakAfter = -1}, .timeline = "open *@2500-2510 B1@2600-2710 B2 B3 EOT close done idle", .captions = "AIT"});
    // The receiver's NAK, 40 ticks at most; "C" asks for CRC, which is not served.
    row("no NAK", {.device = {.nakAfter = -1}, .timeline = "open * close@+40000-40000 comm idle", .captions = "AEEI"});
    row("C instead of NAK", {.device = {.nak = "C"}, .timeline = "open * close@+40000-40000 comm idle", .captions = "AEEI"});
    // Blocks of 128 bytes numbered 1 .. 255, 0, 1 ..., the last padded from the buffer.
    row("0 bytes", {.length = 0, .timeline = "open * B1 EOT close done idle"});
    row("128 bytes", {.length = 128, .timeline = "open * B1 EOT close done idle"});
    row("129 bytes", {.length = 129, .timeline = "open * B1 B2 EOT close done idle"});
    row("256 bytes", {.length = 256, .timeline = "open * B1 B2 EOT close done idle"});
    row("257 bytes", {.length = 257, .timeline = done});
    row("257 blocks", {.length = 257 * 128, .timeline = "open * B1..257 EOT close done idle"});
    row("249984 bytes", {.length = 249984, .timeline = "open * B1..1953 EOT close done idle"});
    row("249985 bytes", {.length = 249985, .timeline = "open * B1..1953 close port idle"});
    // Each block waits 10 ticks for its ACK; anything else counts for nothing, and no
    // block is ever sent twice.
    row("no ACK for block 2", {.device = {.replies = {{2, ""}}}, .timeline = "open * B1 B2 close@+9000-10000 comm idle"});
    row("two ticks in one pass of an ACK wait",
        {.device = {.replies = {{2, ""}}}, .stallAt = 12000, .timeline = "open * B1 B2 close@+9000-11500 comm idle"});
    row("NAK for block 2", {.device = {.replies = {{2, "\x15"}}}, .timeline = "open * B1 B2 close@+9000-10000 comm idle"});
    row("NAK then ACK", {.device = {.replies = {{1, "\x15\x06"}}}, .timeline = done});
    row("garbage before an ACK", {.device = {.replies = {{2, "+TA\x01\x06"}}}, .timeline = done});
    // "Cancelar": the device and NAK waits end as on a time-out; between blocks the run
    // ends quietly; the pauses and the ACK wait do not look.
    row("cancel while Alimente el equipo shows",
        {.device = {.sends = {}}, .acts = {{"5000", 'C'}}, .timeline = "open close@5000-5010 comm idle", .captions = "A"});
    row("cancel in the answer's pause", {.acts = {{"1500", 'C'}}, .timeline = "open *@2000-3010 close@+0-100 comm idle", .captions = "AEEI"});
    row("cancel while the NAK is awaited",
        {.device = {.nakAfter = -1}, .acts = {{"9000", 'C'}}, .timeline = "open * close@9000-9010 comm idle", .captions = "AEEI"});
    row("cancel before the first block", {.acts = {{"2900", 'C'}}, .timeline = "open * close@2900-3010 idle"});
    row("cancel during block 2", {.acts = {{"B2", 'C'}}, .timeline = "open * B1 B2 close idle"});
    row("cancel during the last block", {.acts = {{"B3", 'C'}}, .timeline = done, .cancelado = -1});
    row("cancel during a block never acknowledged",
        {.device = {.replies = {{2, ""}}}, .acts = {{"B2", 'C'}}, .timeline = "open * B1 B2 close@+9000-10000 comm idle", .cancelado = -1});
    row("Cargar Firmware again during a run", {.acts = {{"B1", 'K'}}, .timeline = done});
    // The port: every failure is "Error en puerto serie", and the window comes back.
    row("port refused", {.failOn = "open", .timeline = "port idle", .captions = ""});
    row("port number refused", {.failOn = "port", .timeline = "port idle", .captions = ""});
    row("write of block 2 fails", {.failOn = "B2", .timeline = "open * B1 close port idle"});
    row("EOT fails", {.failOn = "EOT", .timeline = "open * B1..3 close port idle"});
    row("port gone after block 2", {.vanishAfter = "B2", .timeline = "open * B1 B2 port idle"});
    // Closing the window ends the run at once: port closed, no EOT, no message.
    row("window closes while the device is awaited",
        {.device = {.sends = {}}, .acts = {{"3000", 'X'}}, .timeline = "open close@3000-3010", .captions = "A"});
    row("window closes in the answer's pause", {.acts = {{"1500", 'X'}}, .timeline = "open close@1500-2500", .captions = "AEE"});
    row("window closes before the first block", {.acts = {{"2900", 'X'}}, .timeline = "open * close@2900-3000"});
    row("window closes while an ACK is awaited",
        {.device = {.replies = {{2, ""}}}, .acts = {{"B2", 'X'}}, .timeline = "open * B1 B2 close@+5-15"});
    // "Cargar Firmware" once more sends the same image again from block 1.
    row("again after a cancel in the last block", {.acts = {{"B3", 'C'}}, .runs = 2, .timeline = done + ' ' + done, .captions = "AEEITAEEIT"});
    row("again after a cancel", {.acts = {{"B1", 'C'}}, .runs = 2, .timeline = "open * B1 close idle " + done, .captions = "AEEITAEEIT"});
    row("again after the port went",
        {.vanishAfter = "B1", .runs = 2, .timeline = "open * B1 port idle " + done, .captions = "AEEITAEEIT"});
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
