#include "handshake.h"
#include "transfer_rig.h"

#include <QTest>

using namespace programador;
using namespace programador::testing;

namespace {

// The moment the line handed out `byte`, -1 when it never did.
qint64 timeRead(const ScriptedLine& line, const QByteArray& byte)
{
    for (const ScriptedLine::Event& e : line.eventsOf(ScriptedLine::Event::Kind::Read)) {
        if (e.bytes == byte)
            return e.at;
    }
    return -1;
}

} // namespace

class TestHandshake : public QObject {
    Q_OBJECT

private slots:
    void announcements_data();
    void announcements();
    void anAReadInTheLastPassIsStillAnswered();
    void anAThatComesWithTheLastTickIsTooLate();
    void arrivingCharactersDoNotExtendTheTimeOut();
    void cancelEndsTheWait();
    void cancelDuringTheAnswersPauseIsNotSeen();
    void answerComesOneToTwoSecondsAfterTheA_data();
    void answerComesOneToTwoSecondsAfterTheA();
    void bytesAfterTheAStayForTheNakWait();
};

void TestHandshake::announcements_data()
{
    QTest::addColumn<QByteArray>("sent");        // one character every 300 ms
    QTest::addColumn<bool>("asOneBurst");        // or everything at once
    QTest::addColumn<std::int16_t>("result");
    QTest::addColumn<QStringList>("texts");      // every caption set on Label1, in order

    const QStringList answered{kStartingXmodem};
    QTest::newRow("T A") << QByteArray("TA") << false << std::int16_t{0} << answered;
    QTest::newRow("A T") << QByteArray("AT") << false << std::int16_t{1} << QStringList{};
    QTest::newRow("T T A") << QByteArray("TTA") << false << std::int16_t{0} << answered;
    QTest::newRow("T other A") << QByteArray("TxA") << false << std::int16_t{1} << QStringList{};
    QTest::newRow("lower case t a") << QByteArray("ta") << false << std::int16_t{1} << QStringList{};
    QTest::newRow("T lower case a") << QByteArray("Ta") << false << std::int16_t{1} << QStringList{};
    QTest::newRow("noise then T A") << QByteArray("\x00\xffzT" "A", 5) << false << std::int16_t{0} << answered;
    QTest::newRow("T A in one burst") << QByteArray("TA") << true << std::int16_t{0} << answered;
    QTest::newRow("+ then T A") << QByteArray("+TA") << false << std::int16_t{0} << QStringList{kConnecting, kStartingXmodem};
    QTest::newRow("several + then T A") << QByteArray("+++TA") << true << std::int16_t{0}
                                        << QStringList{kConnecting, kConnecting, kConnecting, kStartingXmodem};
    QTest::newRow("+ alone times out") << QByteArray("+") << false << std::int16_t{1} << QStringList{kConnecting};
    QTest::newRow("+ between T and A") << QByteArray("T+A") << false << std::int16_t{1} << QStringList{kConnecting};
    QTest::newRow("+ after the pair is not read") << QByteArray("TA+") << true << std::int16_t{0} << answered;
}

void TestHandshake::announcements()
{
    QFETCH(QByteArray, sent);
    QFETCH(bool, asOneBurst);
    QFETCH(std::int16_t, result);
    QFETCH(QStringList, texts);

    Rig rig;
    rig.line.open();
    rig.line.setInputLength(1);
    if (asOneBurst) {
        rig.line.deliverAt(1000, sent);
    } else {
        for (qsizetype i = 0; i < sent.size(); ++i)
            rig.line.deliverAt(1000 + 300 * i, sent.mid(i, 1));
    }

    QCOMPARE(espera_ath0(rig.wait, rig.view), result);
    QCOMPARE(rig.view.statusTexts, texts);
    QCOMPARE(rig.line.written(), result == 0 ? QByteArray("*") : QByteArray());
    QCOMPARE(rig.wait.cancelado, std::int16_t{0});
    if (result == 1) {
        QVERIFY2(rig.clock.now() >= 19000 && rig.clock.now() <= 20000, qPrintable(QString::number(rig.clock.now())));
    }
}

void TestHandshake::anAReadInTheLastPassIsStillAnswered()
{
    // Timer1 ticks at 500, 1500, ...: the 20th tick comes at 19500.
    Rig rig(500);
    rig.line.open();
    rig.line.setInputLength(1);
    rig.line.deliverAt(100, "T");
    rig.line.deliverAt(19495, "A");

    QCOMPARE(espera_ath0(rig.wait, rig.view), std::int16_t{0});
    QCOMPARE(timeRead(rig.line, "A"), qint64{19495});
    QCOMPARE(rig.line.written(), QByteArray("*"));
}

void TestHandshake::anAThatComesWithTheLastTickIsTooLate()
{
    // The time-out test of a pass comes before its read.
    Rig rig(500);
    rig.line.open();
    rig.line.setInputLength(1);
    rig.line.deliverAt(100, "T");
    rig.line.deliverAt(19500, "A");

    QCOMPARE(espera_ath0(rig.wait, rig.view), std::int16_t{1});
    QCOMPARE(rig.clock.now(), qint64{19500});
    QCOMPARE(timeRead(rig.line, "A"), qint64{-1});
    QVERIFY(rig.line.written().isEmpty());
}

void TestHandshake::arrivingCharactersDoNotExtendTheTimeOut()
{
    Rig rig(500);
    rig.line.open();
    rig.line.setInputLength(1);
    for (qint64 t = 200; t < 30000; t += 400)
        rig.line.deliverAt(t, (t / 400) % 2 ? "+" : "A");

    QCOMPARE(espera_ath0(rig.wait, rig.view), std::int16_t{1});
    QCOMPARE(rig.clock.now(), qint64{19500});
    QVERIFY(rig.view.statusTexts.size() > 10);
    QCOMPARE(rig.view.statusText, kConnecting);
}

void TestHandshake::cancelEndsTheWait()
{
    Rig rig;
    rig.line.open();
    rig.line.deliverAt(1000, "+");
    rig.clock.at(4200, [&] { rig.sequence.Command2_Click(); });
    rig.line.deliverAt(6000, "TA");

    QCOMPARE(espera_ath0(rig.wait, rig.view), std::int16_t{1});
    QCOMPARE(rig.clock.now(), qint64{4200});
    QCOMPARE(rig.wait.cancelado, std::int16_t{0});
    QVERIFY(rig.line.written().isEmpty());
}

void TestHandshake::cancelDuringTheAnswersPauseIsNotSeen()
{
    Rig rig(500);
    rig.line.open();
    rig.line.setInputLength(1);
    rig.line.deliverAt(1000, "TA");
    // The A is read at about 1010; the pause lasts until the second tick after it, 2500.
    rig.clock.at(1700, [&] { rig.sequence.Command2_Click(); });

    QCOMPARE(espera_ath0(rig.wait, rig.view), std::int16_t{0});
    QCOMPARE(rig.line.written(), QByteArray("*"));
    QCOMPARE(rig.view.statusText, kStartingXmodem);
    QCOMPARE(rig.wait.cancelado, std::int16_t{-1});

    // The NAK wait that follows sees it on its first pass.
    rig.line.deliver(kNak);
    QCOMPARE(rig.sender.espera_nak(), std::int16_t{1});
    QCOMPARE(rig.wait.cancelado, std::int16_t{0});
}

void TestHandshake::answerComesOneToTwoSecondsAfterTheA_data()
{
    QTest::addColumn<qint64>("timer1Phase");
    QTest::addColumn<qint64>("aAt");
    for (qint64 phase : {qint64{1}, qint64{500}, qint64{1000}}) {
        for (qint64 at : {qint64{1000}, qint64{1450}, qint64{1999}})
            QTest::addRow("first tick at %lld, A at %lld", phase, at) << phase << at;
    }
}

void TestHandshake::answerComesOneToTwoSecondsAfterTheA()
{
    QFETCH(qint64, timer1Phase);
    QFETCH(qint64, aAt);

    Rig rig(timer1Phase);
    rig.line.open();
    rig.line.setInputLength(1);
    rig.line.deliverAt(aAt - 300, "T");
    rig.line.deliverAt(aAt, "A");

    QCOMPARE(espera_ath0(rig.wait, rig.view), std::int16_t{0});
    const qint64 delay = rig.line.timeOfFirstWrite("*") - timeRead(rig.line, "A");
    QVERIFY2(delay >= 1000 && delay <= 2000, qPrintable(QString::number(delay)));
    // The answer is sent before the caption changes, and the routine returns at once.
    QCOMPARE(rig.journalTail(2), (QStringList{"line:write 2a", "view:setStatusText " + kStartingXmodem}));
    QCOMPARE(rig.clock.now(), rig.line.timeOfFirstWrite("*"));
}

void TestHandshake::bytesAfterTheAStayForTheNakWait()
{
    Rig rig(500);
    rig.line.open();
    rig.line.setInputLength(1);
    rig.line.deliverAt(1000, "TA" + kNak + "x");
    rig.line.deliverAt(1800, "yz");   // during the answer's pause

    QCOMPARE(espera_ath0(rig.wait, rig.view), std::int16_t{0});
    QCOMPARE(rig.line.input, kNak + "xyz");

    const int yieldsBefore = rig.clock.yields;
    QCOMPARE(rig.sender.espera_nak(), std::int16_t{0});
    QCOMPARE(rig.clock.yields - yieldsBefore, 1);
    QCOMPARE(rig.line.input, QByteArray("xyz"));
}

int runHandshakeTests(int argc, char** argv)
{
    TestHandshake t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_handshake.moc"
