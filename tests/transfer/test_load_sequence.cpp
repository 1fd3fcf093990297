#include "transfer_rig.h"

#include <QTest>

#include <functional>

using namespace programador;
using namespace programador::testing;

namespace {

using Setup = std::function<void(Rig&)>;

enum class Anchor { Open, Answer, LastBlock };

qint64 firstEventTime(const ScriptedLine& line, ScriptedLine::Event::Kind kind)
{
    const auto events = line.eventsOf(kind);
    return events.isEmpty() ? -1 : events.first().at;
}

qint64 lastBlockTime(const ScriptedLine& line)
{
    qint64 at = -1;
    for (const ScriptedLine::Event& e : line.eventsOf(ScriptedLine::Event::Kind::Write)) {
        if (e.bytes.size() == 132)
            at = e.at;
    }
    return at;
}

QStringList blockHeaders(const ScriptedLine& line)
{
    QStringList out;
    for (const QByteArray& b : line.blocks())
        out << QString::fromLatin1(b.left(3).toHex(' '));
    return out;
}

const QStringList kPrologue{
    "view:lockForTransfer",
    "line:port 3",
    "line:settings 9600,N,8,1",
    "line:input length 1",
    "line:open",
    "view:setStatusText " + kFeedDevice,
    "view:setStatusVisible 1",
    "view:setCancelEnabled 1",
    "view:setNormalPointer",
};

const QStringList kSuccessExit{
    "line:write 04", "line:close", "view:setNormalPointer", "view:clearDrawing",
    "message:" + kDone, "view:habilita",
};
const QStringList kFailureExit{
    "line:close", "view:setNormalPointer", "message:" + kCommError, "view:habilita",
};
const QStringList kCancelExit{"line:close", "view:habilita", "view:setNormalPointer"};
const QStringList kErrorExitClosing{
    "line:close", "view:setNormalPointer", "message:" + kPortError, "view:habilita",
};
const QStringList kErrorExitNothingToClose{
    "view:setNormalPointer", "message:" + kPortError, "view:habilita",
};

// What every exit leaves, whichever it was.
void checkIdleAfterRun(const Rig& rig)
{
    QVERIFY(!rig.sequence.running());
    QVERIFY(!rig.line.isOpen());
    QVERIFY2(rig.line.misuse.isEmpty(), qPrintable(rig.line.misuse.join("; ")));
    QVERIFY(!rig.view.locked);
    QVERIFY(!rig.view.cancelEnabled);
    QVERIFY(!rig.view.statusVisible);
    QVERIFY(!rig.view.progressVisible);
}

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Anchor)

class TestLoadSequence : public QObject {
    Q_OBJECT

private slots:
    // Success.
    void successRunsEveryStepInOrder();
    void blockCounts_data();
    void blockCounts();
    void blockNumbersWrapAfter255();
    void largestImageIsSentWhole();
    void leftoverCancelFlagDoesNotSpoilARun();
    void pauseBeforeTheFirstBlock();
    // Failure.
    void failureExit_data();
    void failureExit();
    // Cancel.
    void cancelDuringAMiddleBlock();
    void cancelDuringThePauseBeforeTheFirstBlock();
    void cancelDuringTheLastBlockStillSucceeds();
    // Error.
    void portThatCannotBeOpened();
    void portThatRefusesItsSettings();
    void portThatVanishesMidTransfer_data();
    void portThatVanishesMidTransfer();
    void imageTooLongForTheBuffer();
    // Across runs and window closing.
    void sendingAgainAfterEachExit_data();
    void sendingAgainAfterEachExit();
    void abandonEndsTheRunQuietly_data();
    void abandonEndsTheRunQuietly();
};

void TestLoadSequence::successRunsEveryStepInOrder()
{
    Rig rig;
    rig.attachDevice();
    rig.loadImage(300);
    QList<bool> runningDuringYields;
    rig.clock.onYield = [&] { runningDuringYields << rig.sequence.running(); };

    rig.sequence.Command1_Click();

    QStringList expected = kPrologue;
    expected << "view:setStatusText " + kConnecting << "view:setStatusText " + kConnecting
             << "line:write 2a" << "view:setStatusText " + kStartingXmodem
             << "view:setStatusText " + kSending << "view:setProgressVisible 1"
             << "view:setProgressValue 1" << "line:block 1"
             << "view:setProgressValue 2" << "line:block 2"
             << "view:setProgressValue 3" << "line:block 3";
    expected << kSuccessExit;
    QCOMPARE(rig.journal, expected);

    QCOMPARE(rig.messages.shown.size(), 1);
    QCOMPARE(rig.messages.shown[0].text, kDone);
    QCOMPARE(rig.messages.shown[0].icon, MessageIcon::Information);
    QCOMPARE(rig.messages.shown[0].buttons, MessageButtons::Ok);
    QCOMPARE(rig.device->data().left(300), rig.imageBytes(0, 300));
    QCOMPARE(rig.line.written().right(1), kEot);
    QCOMPARE(rig.device->eots, 1);
    QCOMPARE(rig.view.habilitaCount, 1);
    QCOMPARE(rig.view.clearDrawingCount, 1);
    QVERIFY(!runningDuringYields.isEmpty());
    QVERIFY(!runningDuringYields.contains(false));
    checkIdleAfterRun(rig);
}

void TestLoadSequence::blockCounts_data()
{
    QTest::addColumn<std::int32_t>("length");
    QTest::addColumn<int>("blocks");
    QTest::newRow("empty image") << 0 << 1;
    QTest::newRow("128 bytes") << 128 << 1;
    QTest::newRow("129 bytes") << 129 << 2;
    QTest::newRow("256 bytes") << 256 << 2;
    QTest::newRow("257 bytes") << 257 << 3;
    QTest::newRow("1 byte") << 1 << 1;
}

void TestLoadSequence::blockCounts()
{
    QFETCH(std::int32_t, length);
    QFETCH(int, blocks);

    Rig rig;
    rig.attachDevice();
    rig.loadImage(length);
    rig.sequence.Command1_Click();

    QCOMPARE(rig.device->blocks.size(), blocks);
    QCOMPARE(rig.device->data().left(length), rig.imageBytes(0, length));
    // An empty image still goes as one block of what the buffer holds, all zero here.
    if (length == 0)
        QCOMPARE(rig.device->data(), QByteArray(128, '\0'));
    QCOMPARE(rig.messages.texts(), QStringList{kDone});
    QCOMPARE(rig.journalTail(kSuccessExit.size()), kSuccessExit);
}

void TestLoadSequence::blockNumbersWrapAfter255()
{
    Rig rig;
    rig.attachDevice();
    rig.loadImage(257 * 128);
    rig.sequence.Command1_Click();

    const QStringList headers = blockHeaders(rig.line);
    QCOMPARE(headers.size(), 257);
    QCOMPARE(headers[0], QString("01 01 fe"));
    QCOMPARE(headers[254], QString("01 ff 00"));   // the 255th block
    QCOMPARE(headers[255], QString("01 00 ff"));   // the 256th
    QCOMPARE(headers[256], QString("01 01 fe"));   // the 257th
    QCOMPARE(rig.view.progressValues.size(), 257);
    QCOMPARE(rig.view.progressValues.last(), 257.0f);
    QCOMPARE(rig.device->data(), rig.imageBytes(0, 257 * 128));
    QCOMPARE(rig.messages.texts(), QStringList{kDone});
}

void TestLoadSequence::largestImageIsSentWhole()
{
    Rig rig;
    rig.attachDevice();
    rig.loadImage(FirmwareImage::kMaxSendable);
    rig.sequence.Command1_Click();

    QCOMPARE(rig.device->blocks.size(), 1953);
    QCOMPARE(rig.device->data(), rig.imageBytes(0, FirmwareImage::kMaxSendable));
    QCOMPARE(rig.messages.texts(), QStringList{kDone});
    QCOMPARE(rig.device->eots, 1);
}

void TestLoadSequence::leftoverCancelFlagDoesNotSpoilARun()
{
    // A press during the last block of the previous run leaves the flag raised.
    Rig rig;
    rig.attachDevice();
    rig.loadImage(300);
    rig.wait.cancelado = -1;
    rig.sequence.Command1_Click();
    QCOMPARE(rig.messages.texts(), QStringList{kDone});
    QCOMPARE(rig.device->blocks.size(), 3);
}

void TestLoadSequence::pauseBeforeTheFirstBlock()
{
    Rig rig(500, 37);
    rig.attachDevice();
    rig.loadImage(200);
    qint64 shownAt = -1;
    int yieldsAt = -1;
    rig.view.onCall = [&](const QString& call) {
        if (call == "setProgressVisible 1") {
            shownAt = rig.clock.now();
            yieldsAt = rig.clock.yields;
        }
    };
    rig.line.onWrite = [&, deviceWrite = rig.line.onWrite](const QByteArray& bytes) {
        if (bytes.size() == 132 && bytes.at(1) == 1) {
            const qint64 pause = rig.clock.now() - shownAt;
            QVERIFY2(pause >= 100 && pause <= 200, qPrintable(QString::number(pause)));
            QVERIFY(rig.clock.yields > yieldsAt);
        }
        deviceWrite(bytes);
    };
    rig.sequence.Command1_Click();
    QVERIFY(shownAt >= 0);
    QCOMPARE(rig.messages.texts(), QStringList{kDone});
}

void TestLoadSequence::failureExit_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<bool>("answered");   // "*" was written
    QTest::addColumn<Anchor>("anchor");
    QTest::addColumn<qint64>("minMs");     // from the anchor to the close
    QTest::addColumn<qint64>("maxMs");

    QTest::newRow("no handshake")
        << Setup([](Rig& r) { r.device->announcement.clear(); }) << 0 << false << Anchor::Open << qint64{19000} << qint64{20000};
    QTest::newRow("only + from the device")
        << Setup([](Rig& r) { r.device->announcement = "+++"; }) << 0 << false << Anchor::Open << qint64{19000} << qint64{20000};
    QTest::newRow("no NAK")
        << Setup([](Rig& r) { r.device->sendsNak = false; }) << 0 << true << Anchor::Answer << qint64{39000} << qint64{40000};
    QTest::newRow("CRC request instead of NAK")
        << Setup([](Rig& r) { r.device->sendsNak = false; r.line.replyTo("*", "C", 300); })
        << 0 << true << Anchor::Answer << qint64{39000} << qint64{40000};
    QTest::newRow("no ACK for block 1")
        << Setup([](Rig& r) { r.device->reply = [](int) { return QByteArray(); }; })
        << 1 << true << Anchor::LastBlock << qint64{9000} << qint64{10000};
    QTest::newRow("no ACK for block 2 of 3")
        << Setup([](Rig& r) { r.device->reply = [](int b) { return b == 2 ? QByteArray() : kAck; }; })
        << 2 << true << Anchor::LastBlock << qint64{9000} << qint64{10000};
    QTest::newRow("NAK instead of ACK: the block is not sent again")
        << Setup([](Rig& r) { r.device->reply = [](int b) { return b == 2 ? kNak : kAck; }; })
        << 2 << true << Anchor::LastBlock << qint64{9000} << qint64{10000};
    QTest::newRow("cancel while Alimente el equipo shows")
        << Setup([](Rig& r) { r.device->announcement.clear(); r.clock.at(5000, [&r] { r.sequence.Command2_Click(); }); })
        << 0 << false << Anchor::Open << qint64{5000} << qint64{5000};
    QTest::newRow("cancel while connecting")
        << Setup([](Rig& r) { r.device->announcement = "+"; r.clock.at(4000, [&r] { r.sequence.Command2_Click(); }); })
        << 0 << false << Anchor::Open << qint64{4000} << qint64{4000};
    QTest::newRow("cancel while waiting for the NAK")
        << Setup([](Rig& r) { r.device->sendsNak = false; r.clock.at(9000, [&r] { r.sequence.Command2_Click(); }); })
        << 0 << true << Anchor::Open << qint64{9000} << qint64{9000};
}

void TestLoadSequence::failureExit()
{
    QFETCH(Setup, setup);
    QFETCH(int, blocks);
    QFETCH(bool, answered);
    QFETCH(Anchor, anchor);
    QFETCH(qint64, minMs);
    QFETCH(qint64, maxMs);

    Rig rig;
    rig.attachDevice();
    rig.loadImage(3 * 128);
    setup(rig);
    rig.sequence.Command1_Click();

    QCOMPARE(rig.messages.shown.size(), 1);
    QCOMPARE(rig.messages.shown[0].text, kCommError);
    QCOMPARE(rig.messages.shown[0].icon, MessageIcon::Warning);
    QCOMPARE(rig.messages.shown[0].buttons, MessageButtons::Ok);
    QCOMPARE(rig.journalTail(kFailureExit.size()), kFailureExit);
    QCOMPARE(rig.line.blocks().size(), blocks);
    QCOMPARE(rig.device->answers, answered ? 1 : 0);
    QVERIFY(!rig.line.writes().contains(kEot));
    QCOMPARE(rig.view.habilitaCount, 1);
    QCOMPARE(rig.wait.cancelado, std::int16_t{0});

    qint64 from = -1;
    switch (anchor) {
    case Anchor::Open: from = firstEventTime(rig.line, ScriptedLine::Event::Kind::Open); break;
    case Anchor::Answer: from = rig.line.timeOfFirstWrite("*"); break;
    case Anchor::LastBlock: from = lastBlockTime(rig.line); break;
    }
    const qint64 took = firstEventTime(rig.line, ScriptedLine::Event::Kind::Close) - from;
    QVERIFY2(from >= 0 && took >= minMs && took <= maxMs, qPrintable(QString::number(took)));
    checkIdleAfterRun(rig);
}

void TestLoadSequence::cancelDuringAMiddleBlock()
{
    Rig rig;
    ScriptedDevice& device = rig.attachDevice();
    rig.loadImage(5 * 128);
    device.onBlock = [&](int block) {
        if (block == 2)
            rig.clock.after(5, [&] { rig.sequence.Command2_Click(); });
    };
    rig.sequence.Command1_Click();

    QCOMPARE(device.blocks.size(), 2);    // the block under way is completed, no other follows
    QVERIFY(rig.messages.shown.isEmpty());
    QCOMPARE(device.eots, 0);
    QCOMPARE(rig.journalTail(kCancelExit.size() + 1), QStringList{"line:block 2"} + kCancelExit);
    QCOMPARE(rig.wait.cancelado, std::int16_t{0});
    QCOMPARE(rig.view.habilitaCount, 1);
    checkIdleAfterRun(rig);
}

void TestLoadSequence::cancelDuringThePauseBeforeTheFirstBlock()
{
    Rig rig;
    rig.attachDevice();
    rig.loadImage(300);
    rig.view.onCall = [&](const QString& call) {
        if (call == "setProgressVisible 1")
            rig.clock.after(50, [&] { rig.sequence.Command2_Click(); });
    };
    rig.sequence.Command1_Click();

    QVERIFY(rig.line.blocks().isEmpty());
    QVERIFY(rig.messages.shown.isEmpty());
    QCOMPARE(rig.journalTail(kCancelExit.size() + 1), QStringList{"view:setProgressVisible 1"} + kCancelExit);
    checkIdleAfterRun(rig);
}

void TestLoadSequence::cancelDuringTheLastBlockStillSucceeds()
{
    Rig rig;
    ScriptedDevice& device = rig.attachDevice();
    rig.loadImage(3 * 128);
    device.onBlock = [&](int block) {
        if (block == 3)
            rig.clock.after(5, [&] { rig.sequence.Command2_Click(); });
    };
    rig.sequence.Command1_Click();

    QCOMPARE(rig.messages.texts(), QStringList{kDone});
    QCOMPARE(device.eots, 1);
    QCOMPARE(rig.journalTail(kSuccessExit.size()), kSuccessExit);
    // Raised until the next run clears it.
    QCOMPARE(rig.wait.cancelado, std::int16_t{-1});
    checkIdleAfterRun(rig);
}

void TestLoadSequence::portThatCannotBeOpened()
{
    Rig rig;
    rig.attachDevice();
    rig.loadImage(300);
    rig.line.failOpen = true;
    rig.sequence.Command1_Click();

    const QStringList expected = QStringList{"view:lockForTransfer", "line:port 3", "line:settings 9600,N,8,1",
                                             "line:input length 1"}
        + kErrorExitNothingToClose;
    QCOMPARE(rig.journal, expected);
    QCOMPARE(rig.messages.shown.size(), 1);
    QCOMPARE(rig.messages.shown[0].text, kPortError);
    QCOMPARE(rig.messages.shown[0].icon, MessageIcon::Warning);
    QCOMPARE(rig.messages.shown[0].buttons, MessageButtons::Ok);
    QVERIFY(rig.view.callsNamed("setCancelEnabled").isEmpty());
    QVERIFY(rig.line.events.size() == 3);   // the three settings, nothing opened or written
    QCOMPARE(rig.clock.yields, 0);
    checkIdleAfterRun(rig);
}

void TestLoadSequence::portThatRefusesItsSettings()
{
    Rig rig;
    rig.attachDevice();
    rig.loadImage(300);
    rig.line.vanish();
    rig.sequence.Command1_Click();

    QCOMPARE(rig.journal, QStringList{"view:lockForTransfer"} + kErrorExitNothingToClose);
    QCOMPARE(rig.messages.texts(), QStringList{kPortError});
    QCOMPARE(rig.view.habilitaCount, 1);
    checkIdleAfterRun(rig);
}

void TestLoadSequence::portThatVanishesMidTransfer_data()
{
    QTest::addColumn<bool>("closeFails");
    QTest::newRow("close still works") << false;
    QTest::newRow("close fails too") << true;
}

void TestLoadSequence::portThatVanishesMidTransfer()
{
    QFETCH(bool, closeFails);

    Rig rig;
    ScriptedDevice& device = rig.attachDevice();
    rig.loadImage(5 * 128);
    rig.line.closeFailsWhenVanished = closeFails;
    device.onBlock = [&](int block) {
        if (block == 2)
            rig.line.vanish();
    };
    rig.sequence.Command1_Click();

    QCOMPARE(rig.messages.texts(), QStringList{kPortError});
    QCOMPARE(rig.messages.shown[0].icon, MessageIcon::Warning);
    QCOMPARE(device.blocks.size(), 2);
    QCOMPARE(device.eots, 0);
    const QStringList exit = closeFails ? kErrorExitNothingToClose : kErrorExitClosing;
    QCOMPARE(rig.journalTail(exit.size() + 1), QStringList{"line:block 2"} + exit);
    checkIdleAfterRun(rig);
}

void TestLoadSequence::imageTooLongForTheBuffer()
{
    Rig rig;
    ScriptedDevice& device = rig.attachDevice();
    rig.loadImage(FirmwareImage::kMaxSendable + 1);
    rig.sequence.Command1_Click();

    QCOMPARE(device.blocks.size(), 1953);
    QCOMPARE(device.eots, 0);
    QCOMPARE(rig.line.writes().last().size(), 132);   // block 1953 was the last thing written
    QCOMPARE(rig.messages.texts(), QStringList{kPortError});
    // The port is closed although the line itself never failed.
    QCOMPARE(rig.journalTail(kErrorExitClosing.size() + 2),
             (QStringList{"line:block 161", "view:setProgressValue 1954"} + kErrorExitClosing));
    checkIdleAfterRun(rig);
}

void TestLoadSequence::sendingAgainAfterEachExit_data()
{
    QTest::addColumn<Setup>("firstRun");
    QTest::addColumn<QStringList>("firstMessages");

    QTest::newRow("after success") << Setup([](Rig&) {}) << QStringList{kDone};
    QTest::newRow("after failure") << Setup([](Rig& r) { r.device->announcement.clear(); }) << QStringList{kCommError};
    QTest::newRow("after cancel") << Setup([](Rig& r) {
        r.device->onBlock = [&r](int b) {
            if (b == 1)
                r.sequence.Command2_Click();
        };
    }) << QStringList{};
    QTest::newRow("after cancel in the last block") << Setup([](Rig& r) {
        r.device->onBlock = [&r](int b) {
            if (b == 3)
                r.sequence.Command2_Click();
        };
    }) << QStringList{kDone};
    QTest::newRow("after a port that could not be opened") << Setup([](Rig& r) { r.line.failOpen = true; }) << QStringList{kPortError};
    QTest::newRow("after an image too long") << Setup([](Rig& r) {
        r.loadImage(FirmwareImage::kMaxSendable + 1);
        r.device->replyDelay = 1;
    }) << QStringList{kPortError};
    QTest::newRow("after the port vanished") << Setup([](Rig& r) {
        r.device->onBlock = [&r](int b) {
            if (b == 2)
                r.line.vanish();
        };
    }) << QStringList{kPortError};
}

void TestLoadSequence::sendingAgainAfterEachExit()
{
    QFETCH(Setup, firstRun);
    QFETCH(QStringList, firstMessages);

    Rig rig;
    rig.attachDevice();
    rig.loadImage(3 * 128);
    firstRun(rig);
    rig.sequence.Command1_Click();
    QCOMPARE(rig.messages.texts(), firstMessages);
    checkIdleAfterRun(rig);

    // The operator presses "Cargar Firmware" again, with the device ready this time.
    rig.line.failOpen = false;
    rig.line.reappear();
    rig.loadImage(3 * 128);
    ScriptedDevice& device = rig.attachDevice();
    const int opensBefore = rig.line.opens;
    rig.messages.shown.clear();
    rig.clock.runUntil(rig.clock.now() + 60000);
    rig.sequence.Command1_Click();

    QCOMPARE(rig.messages.texts(), QStringList{kDone});
    QCOMPARE(rig.line.opens, opensBefore + 1);
    QCOMPARE(device.blocks.size(), 3);
    QCOMPARE(device.data(), rig.imageBytes(0, 3 * 128));
    QCOMPARE(blockHeaders(rig.line).mid(blockHeaders(rig.line).size() - 3),
             (QStringList{"01 01 fe", "01 02 fd", "01 03 fc"}));
    checkIdleAfterRun(rig);
}

void TestLoadSequence::abandonEndsTheRunQuietly_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::newRow("while the device is awaited") << Setup([](Rig& r) {
        r.device->announcement.clear();
        r.clock.at(3000, [&r] { r.wait.abandon(); });
    });
    QTest::newRow("while the NAK is awaited") << Setup([](Rig& r) {
        r.device->sendsNak = false;
        r.clock.at(9000, [&r] { r.wait.abandon(); });
    });
    QTest::newRow("in the pause before the first block") << Setup([](Rig& r) {
        r.view.onCall = [&r](const QString& call) {
            if (call == "setProgressVisible 1")
                r.clock.after(50, [&r] { r.wait.abandon(); });
        };
    });
    QTest::newRow("while an ACK is awaited") << Setup([](Rig& r) {
        r.device->onBlock = [&r](int b) {
            if (b == 2)
                r.clock.after(5, [&r] { r.wait.abandon(); });
        };
    });
    QTest::newRow("in the handshake's pause") << Setup([](Rig& r) {
        r.view.onCall = [&r](const QString& call) {
            if (call == "setStatusText " + kConnecting)
                r.clock.after(300, [&r] { r.wait.abandon(); });
        };
    });
}

void TestLoadSequence::abandonEndsTheRunQuietly()
{
    QFETCH(Setup, setup);

    Rig rig;
    rig.attachDevice();
    rig.loadImage(3 * 128);
    setup(rig);
    rig.sequence.Command1_Click();

    QVERIFY(!rig.sequence.running());
    QVERIFY(!rig.line.isOpen());
    QCOMPARE(rig.line.closes, 1);
    QCOMPARE(rig.journal.last(), QString("line:close"));
    QVERIFY(rig.messages.shown.isEmpty());
    QVERIFY(!rig.line.writes().contains(kEot));
    QCOMPARE(rig.view.habilitaCount, 0);
    QVERIFY(rig.line.misuse.isEmpty());
}

int runLoadSequenceTests(int argc, char** argv)
{
    TestLoadSequence t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_load_sequence.moc"
