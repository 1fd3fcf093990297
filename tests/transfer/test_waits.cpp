#include "transfer_rig.h"

#include <QTest>

using namespace programador;
using namespace programador::testing;

namespace {

enum class WaitKind { Handshake, Nak, Ack };

std::int16_t runWait(Rig& rig, WaitKind kind)
{
    switch (kind) {
    case WaitKind::Handshake:
        return espera_ath0(rig.wait, rig.view);
    case WaitKind::Nak:
        return rig.sender.espera_nak();
    case WaitKind::Ack:
        return rig.sender.espera_ack();
    }
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(WaitKind)

class TestWaits : public QObject {
    Q_OBJECT

private slots:
    void countersStopAtTheCeiling();
    void ret3PausesTwoTimer2Ticks_data();
    void ret3PausesTwoTimer2Ticks();
    void pausesReadNothingAndIgnoreCancel();
    void timeOuts_data();
    void timeOuts();
    void cancelAlreadyRaisedWinsOverAWaitingNak();
    void awaitedByteAlreadyWaiting_data();
    void awaitedByteAlreadyWaiting();
    void aBurstIsReadOneBytePerPassWithoutSleeping();
    void nakDuringAckWaitIsIgnored();
    void cancelDuringAckWaitDoesNotShortenIt_data();
    void cancelDuringAckWaitDoesNotShortenIt();
    void crcRequestIsNotServed();
    void abandonEndsAWaitAfterTheYield_data();
    void abandonEndsAWaitAfterTheYield();
};

void TestWaits::countersStopAtTheCeiling()
{
    TickCounters direct;
    direct.contador1 = 19999;
    direct.Timer1_Timer();
    QCOMPARE(direct.contador1, std::int16_t{20000});
    for (int i = 0; i < 5; ++i)
        direct.Timer1_Timer();
    QCOMPARE(direct.contador1, std::int16_t{20000});
    QCOMPARE(direct.contador2, std::int16_t{0});

    // Left alone from start-up: contador2 gets there after 2000 s, contador1 after 20000 s,
    // and neither moves on.
    Rig rig;
    rig.clock.runUntil(2000 * 1000 + 50);
    QCOMPARE(rig.ticks.contador2, std::int16_t{20000});
    QCOMPARE(rig.ticks.contador1, std::int16_t{2000});
    rig.clock.runUntil(20000 * 1000 + 500);
    QCOMPARE(rig.ticks.contador1, std::int16_t{20000});
    rig.clock.runUntil(20100 * 1000);
    QCOMPARE(rig.ticks.contador1, std::int16_t{20000});
    QCOMPARE(rig.ticks.contador2, std::int16_t{20000});
}

void TestWaits::ret3PausesTwoTimer2Ticks_data()
{
    QTest::addColumn<qint64>("timer2Phase");
    QTest::addColumn<std::int16_t>("contador2Before");

    QTest::newRow("tick right after the start") << qint64{1} << std::int16_t{0};
    QTest::newRow("tick mid-interval") << qint64{50} << std::int16_t{0};
    QTest::newRow("tick a whole interval away") << qint64{100} << std::int16_t{0};
    QTest::newRow("counter already high") << qint64{50} << std::int16_t{5};
    QTest::newRow("counter at the ceiling") << qint64{100} << std::int16_t{20000};
}

void TestWaits::ret3PausesTwoTimer2Ticks()
{
    QFETCH(qint64, timer2Phase);
    QFETCH(std::int16_t, contador2Before);

    Rig rig(500, timer2Phase);
    rig.line.open();
    rig.ticks.contador2 = contador2Before;
    const qint64 took = rig.elapsed([&] { rig.wait.ret3(); });

    QVERIFY2(took >= 100 && took <= 200, qPrintable(QString::number(took)));
    QVERIFY(rig.clock.yields >= 1);
    QCOMPARE(rig.ticks.contador2, std::int16_t{2});
}

void TestWaits::pausesReadNothingAndIgnoreCancel()
{
    Rig rig;
    rig.line.open();
    rig.line.deliver("\x15xy");
    rig.wait.cancelado = -1;

    const qint64 took = rig.elapsed([&] { rig.wait.pause(rig.ticks.contador1); });

    QVERIFY2(took >= 1000 && took <= 2000, qPrintable(QString::number(took)));
    QCOMPARE(rig.line.input, QByteArray("\x15xy"));
    QCOMPARE(rig.wait.cancelado, std::int16_t{-1});
    // Nothing is read, so the pause may sleep in every yield although bytes wait.
    QCOMPARE(rig.clock.blockingYields, rig.clock.yields);
}

void TestWaits::timeOuts_data()
{
    QTest::addColumn<WaitKind>("kind");
    QTest::addColumn<std::int16_t>("limit");
    QTest::addColumn<qint64>("timer1Phase");
    QTest::addColumn<qint64>("startAt");
    QTest::addColumn<bool>("twoTicksInOneYield");

    struct Wait { const char* name; WaitKind kind; std::int16_t limit; };
    const Wait waits[] = {{"handshake", WaitKind::Handshake, 20}, {"NAK", WaitKind::Nak, 40}, {"ACK", WaitKind::Ack, 10}};
    for (const Wait& w : waits) {
        QTest::addRow("%s, first tick 1 ms after the start", w.name) << w.kind << w.limit << qint64{1} << qint64{0} << false;
        QTest::addRow("%s, first tick mid-interval", w.name) << w.kind << w.limit << qint64{500} << qint64{0} << false;
        QTest::addRow("%s, first tick a whole interval away", w.name) << w.kind << w.limit << qint64{1000} << qint64{0} << false;
        QTest::addRow("%s, started just before a tick", w.name) << w.kind << w.limit << qint64{500} << qint64{499} << false;
        // One yield that delivers the last two ticks at once must still end the wait.
        QTest::addRow("%s, two ticks in one yield", w.name) << w.kind << w.limit << qint64{500} << qint64{0} << true;
    }
}

void TestWaits::timeOuts()
{
    QFETCH(WaitKind, kind);
    QFETCH(std::int16_t, limit);
    QFETCH(qint64, timer1Phase);
    QFETCH(qint64, startAt);
    QFETCH(bool, twoTicksInOneYield);

    Rig rig(timer1Phase);
    rig.line.open();
    rig.view.setStatusText(kFeedDevice);
    rig.clock.runUntil(startAt);
    if (twoTicksInOneYield)
        rig.clock.stallWhen([&] { return rig.ticks.contador1 == limit - 1; }, 2000);

    std::int16_t result = -1;
    const qint64 took = rig.elapsed([&] { result = runWait(rig, kind); });

    QCOMPARE(result, std::int16_t{1});
    // The counter is reset between two ticks, so N ticks take between N-1 and N seconds.
    const qint64 minMs = (limit - 1) * 1000;
    const qint64 maxMs = limit * 1000 + (twoTicksInOneYield ? 1100 : 0);
    QVERIFY2(took >= minMs && took <= maxMs, qPrintable(QString::number(took)));
    QCOMPARE(rig.ticks.contador1, static_cast<std::int16_t>(twoTicksInOneYield ? limit + 1 : limit));
    QCOMPARE(rig.wait.cancelado, std::int16_t{0});
    QVERIFY(rig.line.written().isEmpty());
    QCOMPARE(rig.view.statusText, kFeedDevice);
    // Nothing to read: every pass may sleep until the next tick.
    QCOMPARE(rig.clock.blockingYields, rig.clock.yields);
}

void TestWaits::cancelAlreadyRaisedWinsOverAWaitingNak()
{
    Rig rig;
    rig.line.open();
    rig.line.deliver(kNak);
    rig.wait.cancelado = -1;

    QCOMPARE(rig.sender.espera_nak(), std::int16_t{1});
    QCOMPARE(rig.wait.cancelado, std::int16_t{0});
    QCOMPARE(rig.clock.yields, 1);
    // The cancel test comes before the read: the NAK is still there.
    QCOMPARE(rig.line.input, kNak);
}

void TestWaits::awaitedByteAlreadyWaiting_data()
{
    QTest::addColumn<WaitKind>("kind");
    QTest::addColumn<QByteArray>("waiting");
    QTest::newRow("NAK") << WaitKind::Nak << kNak;
    QTest::newRow("ACK") << WaitKind::Ack << kAck;
}

void TestWaits::awaitedByteAlreadyWaiting()
{
    QFETCH(WaitKind, kind);
    QFETCH(QByteArray, waiting);

    Rig rig;
    rig.line.open();
    rig.line.deliver(waiting);

    QCOMPARE(runWait(rig, kind), std::int16_t{0});
    // Read in the first pass, judged at the start of the second.
    QCOMPARE(rig.clock.yields, 1);
    QVERIFY(rig.line.input.isEmpty());
}

void TestWaits::aBurstIsReadOneBytePerPassWithoutSleeping()
{
    Rig rig;
    rig.line.open();
    rig.line.setInputLength(1);
    rig.line.deliver("abc" + kNak + "d");

    const qint64 took = rig.elapsed([&] { QCOMPARE(rig.sender.espera_nak(), std::int16_t{0}); });

    QCOMPARE(rig.clock.yields, 4);
    QCOMPARE(rig.clock.blockingYields, 0);
    QCOMPARE(took, 4 * rig.clock.stepMs);
    QCOMPARE(rig.line.input, QByteArray("d"));
}

void TestWaits::nakDuringAckWaitIsIgnored()
{
    {
        Rig rig;
        rig.line.open();
        rig.line.deliverAt(100, kNak);
        rig.line.deliverAt(3000, kAck);
        std::int16_t result = -1;
        const qint64 took = rig.elapsed([&] { result = rig.sender.espera_ack(); });
        QCOMPARE(result, std::int16_t{0});
        QVERIFY2(took >= 3000 && took <= 3000 + rig.clock.stepMs, qPrintable(QString::number(took)));
    }
    {
        Rig rig;
        rig.line.open();
        rig.line.deliverAt(100, kNak);
        std::int16_t result = -1;
        const qint64 took = rig.elapsed([&] { result = rig.sender.espera_ack(); });
        QCOMPARE(result, std::int16_t{1});
        QVERIFY2(took >= 9000 && took <= 10000, qPrintable(QString::number(took)));
    }
}

void TestWaits::cancelDuringAckWaitDoesNotShortenIt_data()
{
    QTest::addColumn<qint64>("ackAt");   // -1: no ACK
    QTest::addColumn<std::int16_t>("result");
    QTest::newRow("ACK comes") << qint64{5000} << std::int16_t{0};
    QTest::newRow("no ACK") << qint64{-1} << std::int16_t{1};
}

void TestWaits::cancelDuringAckWaitDoesNotShortenIt()
{
    QFETCH(qint64, ackAt);
    QFETCH(std::int16_t, result);

    Rig rig;
    rig.line.open();
    rig.clock.at(500, [&] { rig.sequence.Command2_Click(); });
    if (ackAt >= 0)
        rig.line.deliverAt(ackAt, kAck);

    std::int16_t got = -1;
    const qint64 took = rig.elapsed([&] { got = rig.sender.espera_ack(); });

    QCOMPARE(got, result);
    if (ackAt >= 0)
        QVERIFY(took >= ackAt);
    else
        QVERIFY2(took >= 9000 && took <= 10000, qPrintable(QString::number(took)));
    // Left for the block loop to see.
    QCOMPARE(rig.wait.cancelado, std::int16_t{-1});
}

void TestWaits::crcRequestIsNotServed()
{
    {
        Rig rig;
        rig.line.open();
        rig.line.deliverAt(100, "C");
        rig.line.deliverAt(10100, "C");
        std::int16_t result = -1;
        const qint64 took = rig.elapsed([&] { result = rig.sender.espera_nak(); });
        QCOMPARE(result, std::int16_t{1});
        QVERIFY2(took >= 39000 && took <= 40000, qPrintable(QString::number(took)));
        QVERIFY(rig.line.written().isEmpty());
    }
    {
        Rig rig;
        rig.line.open();
        rig.line.deliverAt(100, "C");
        rig.line.deliverAt(2000, kNak);
        QCOMPARE(rig.sender.espera_nak(), std::int16_t{0});
        QVERIFY(rig.line.written().isEmpty());
    }
}

void TestWaits::abandonEndsAWaitAfterTheYield_data()
{
    QTest::addColumn<int>("which");
    QTest::newRow("handshake") << 0;
    QTest::newRow("NAK wait") << 1;
    QTest::newRow("ACK wait") << 2;
    QTest::newRow("ret3") << 3;
    QTest::newRow("handshake's pause") << 4;
}

void TestWaits::abandonEndsAWaitAfterTheYield()
{
    QFETCH(int, which);

    Rig rig;
    rig.line.open();
    rig.clock.at(150, [&] { rig.wait.abandon(); });
    const auto run = [&] {
        switch (which) {
        case 0: espera_ath0(rig.wait, rig.view); break;
        case 1: rig.sender.espera_nak(); break;
        case 2: rig.sender.espera_ack(); break;
        case 3: rig.wait.ret3(); break;
        case 4: rig.wait.pause(rig.ticks.contador1); break;
        }
    };
    QVERIFY_THROWS_EXCEPTION(RunAbandoned, run());
    QVERIFY(rig.wait.abandoned());
    QVERIFY(rig.clock.now() >= 150 && rig.clock.now() < 1000);
}

int runWaitTests(int argc, char** argv)
{
    TestWaits t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_waits.moc"
