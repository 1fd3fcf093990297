#include "transfer_rig.h"

#include <QTest>

#include <algorithm>

using namespace programador;
using namespace programador::testing;

namespace {

QByteArray block(std::uint8_t number, const QByteArray& data, std::uint8_t checksum)
{
    QByteArray out;
    out.append('\x01');
    out.append(static_cast<char>(number));
    out.append(static_cast<char>(255 - number));
    out.append(data);
    out.append(static_cast<char>(checksum));
    return out;
}

void fill(FirmwareImage& image, std::int32_t from, const QByteArray& bytes)
{
    std::copy(bytes.begin(), bytes.end(), image.buffer.begin() + from);
}

} // namespace

class TestXmodemSender : public QObject {
    Q_OBJECT

private slots:
    void blockLayout_data();
    void blockLayout();
    void blockNumbersOnTheLine_data();
    void blockNumbersOnTheLine();
    void laterBlocksTakeTheNextBytes();
    void lastBlockCarriesWhatTheBufferHoldsAfterTheImage();
    void results_data();
    void results();
    void progressShowsTheBlockBeforeItIsWritten();
    void nakAfterABlockDoesNotResendIt();
    void indexLimit_data();
    void indexLimit();
};

void TestXmodemSender::blockLayout_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<std::uint8_t>("checksum");

    QTest::newRow("all 0xFF") << QByteArray(128, '\xff') << std::uint8_t{0x80};
    QTest::newRow("all zero") << QByteArray(128, '\0') << std::uint8_t{0x00};
    QTest::newRow("starts 0x00 0xFF") << (QByteArray("\x00\xff", 2) + QByteArray(126, '\0')) << std::uint8_t{0xFF};
    QByteArray ramp;
    for (int i = 0; i < 128; ++i)
        ramp.append(static_cast<char>(i));
    QTest::newRow("0 to 127") << ramp << std::uint8_t{0xC0};   // 8128 = 31 * 256 + 192
    QTest::newRow("sum of exactly 256") << (QByteArray(2, '\x80') + QByteArray(126, '\0')) << std::uint8_t{0x00};
    QTest::newRow("last byte counts") << (QByteArray(127, '\0') + QByteArray(1, '\x2a')) << std::uint8_t{0x2A};
}

void TestXmodemSender::blockLayout()
{
    QFETCH(QByteArray, data);
    QFETCH(std::uint8_t, checksum);

    Rig rig;
    rig.line.open();
    rig.line.ackBlocks();
    fill(rig.image, 0, data);
    rig.image.largo_archivo = 128;
    rig.sender.bloque = 1;
    rig.sender.nro_bloque = 1;
    rig.sender.indice = 0;

    QCOMPARE(rig.sender.envia_paquete(), std::int16_t{1});
    const QByteArray expected = block(1, data, checksum);
    QCOMPARE(rig.line.writes(), QList<QByteArray>{expected});
    QCOMPARE(rig.sender.paquete, expected);
    QCOMPARE(rig.sender.checksum, std::int32_t{checksum});
    QCOMPARE(rig.sender.indice, std::int32_t{128});
}

void TestXmodemSender::blockNumbersOnTheLine_data()
{
    QTest::addColumn<std::uint8_t>("number");
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("1") << std::uint8_t{1} << QByteArray("\x01\x01\xfe", 3);
    QTest::newRow("2") << std::uint8_t{2} << QByteArray("\x01\x02\xfd", 3);
    QTest::newRow("255") << std::uint8_t{255} << QByteArray("\x01\xff\x00", 3);
    QTest::newRow("0 after 255") << std::uint8_t{0} << QByteArray("\x01\x00\xff", 3);
    QTest::newRow("128") << std::uint8_t{128} << QByteArray("\x01\x80\x7f", 3);
}

void TestXmodemSender::blockNumbersOnTheLine()
{
    QFETCH(std::uint8_t, number);
    QFETCH(QByteArray, header);

    Rig rig;
    rig.line.open();
    rig.line.ackBlocks();
    rig.image.largo_archivo = 128 * 300;
    rig.sender.bloque = 7;
    rig.sender.nro_bloque = number;
    rig.sender.indice = 6 * 128;

    QCOMPARE(rig.sender.envia_paquete(), std::int16_t{0});
    QCOMPARE(rig.line.blocks().size(), 1);
    QCOMPARE(rig.line.blocks().first().left(3), header);
}

void TestXmodemSender::laterBlocksTakeTheNextBytes()
{
    Rig rig;
    rig.line.open();
    rig.line.ackBlocks();
    rig.loadImage(3 * 128);
    rig.sender.bloque = 2;
    rig.sender.nro_bloque = 2;
    rig.sender.indice = 128;

    QCOMPARE(rig.sender.envia_paquete(), std::int16_t{0});
    QCOMPARE(rig.line.blocks().first().mid(3, 128), rig.imageBytes(128, 128));
    QCOMPARE(rig.sender.indice, std::int32_t{256});
}

void TestXmodemSender::lastBlockCarriesWhatTheBufferHoldsAfterTheImage()
{
    // An earlier, longer image left 0xAA behind; the sender adds no fill byte of its own.
    Rig rig;
    rig.line.open();
    rig.line.ackBlocks();
    fill(rig.image, 0, QByteArray(256, '\xaa'));
    fill(rig.image, 128, QByteArray("\x11", 1));
    rig.image.largo_archivo = 129;
    rig.sender.bloque = 2;
    rig.sender.nro_bloque = 2;
    rig.sender.indice = 128;

    QCOMPARE(rig.sender.envia_paquete(), std::int16_t{1});
    QCOMPARE(rig.line.blocks().first().mid(3, 128), QByteArray("\x11", 1) + QByteArray(127, '\xaa'));
}

void TestXmodemSender::results_data()
{
    QTest::addColumn<std::int32_t>("length");
    QTest::addColumn<std::int32_t>("bloque");
    QTest::addColumn<bool>("acknowledged");
    QTest::addColumn<std::int16_t>("result");

    QTest::newRow("256 bytes, block 1") << 256 << 1 << true << std::int16_t{0};
    QTest::newRow("256 bytes, block 2 is the last") << 256 << 2 << true << std::int16_t{1};
    QTest::newRow("257 bytes, block 2") << 257 << 2 << true << std::int16_t{0};
    QTest::newRow("257 bytes, block 3 is the last") << 257 << 3 << true << std::int16_t{1};
    QTest::newRow("128 bytes, block 1 is the last") << 128 << 1 << true << std::int16_t{1};
    QTest::newRow("129 bytes, block 1") << 129 << 1 << true << std::int16_t{0};
    QTest::newRow("empty image, block 1 is the last") << 0 << 1 << true << std::int16_t{1};
    QTest::newRow("no ACK, more to send") << 256 << 1 << false << std::int16_t{2};
    QTest::newRow("no ACK for the last") << 256 << 2 << false << std::int16_t{2};
}

void TestXmodemSender::results()
{
    QFETCH(std::int32_t, length);
    QFETCH(std::int32_t, bloque);
    QFETCH(bool, acknowledged);
    QFETCH(std::int16_t, result);

    Rig rig;
    rig.line.open();
    rig.line.ackBlocks(acknowledged ? -1 : 0);
    rig.loadImage(length);
    rig.sender.bloque = bloque;
    rig.sender.nro_bloque = static_cast<std::uint8_t>(bloque);
    rig.sender.indice = (bloque - 1) * 128;

    std::int16_t got = -1;
    const qint64 took = rig.elapsed([&] { got = rig.sender.envia_paquete(); });
    QCOMPARE(got, result);
    QCOMPARE(rig.line.blocks().size(), 1);
    if (!acknowledged)
        QVERIFY2(took >= 9000 && took <= 10000, qPrintable(QString::number(took)));
    // Even without an ACK the index has moved past the block.
    QCOMPARE(rig.sender.indice, bloque * 128);
}

void TestXmodemSender::progressShowsTheBlockBeforeItIsWritten()
{
    Rig rig;
    rig.line.open();
    rig.line.ackBlocks();
    rig.loadImage(1000);
    rig.sender.bloque = 5;
    rig.sender.nro_bloque = 5;
    rig.sender.indice = 512;
    rig.journal.clear();

    rig.sender.envia_paquete();
    QCOMPARE(rig.journal, (QStringList{"view:setProgressValue 5", "line:block 5"}));
    QCOMPARE(rig.view.progressValue, 5.0f);
}

void TestXmodemSender::nakAfterABlockDoesNotResendIt()
{
    Rig rig;
    rig.line.open();
    rig.line.ackBlocks(0, 20, kNak);
    rig.loadImage(256);
    rig.sender.bloque = 1;
    rig.sender.nro_bloque = 1;
    rig.sender.indice = 0;

    QCOMPARE(rig.sender.envia_paquete(), std::int16_t{2});
    QCOMPARE(rig.line.writes().size(), 1);
}

void TestXmodemSender::indexLimit_data()
{
    QTest::addColumn<std::int32_t>("bloque");
    QTest::addColumn<std::int32_t>("indice");
    QTest::addColumn<bool>("refused");

    QTest::newRow("block 1953 ends at 249983") << 1953 << 249856 << false;
    QTest::newRow("a block ending at 250000") << 1954 << 249873 << false;
    QTest::newRow("a block ending at 250001") << 1954 << 249874 << true;
    QTest::newRow("block 1954") << 1954 << 249984 << true;
    QTest::newRow("negative index") << 1 << -1 << true;
}

void TestXmodemSender::indexLimit()
{
    QFETCH(std::int32_t, bloque);
    QFETCH(std::int32_t, indice);
    QFETCH(bool, refused);

    Rig rig;
    rig.line.open();
    rig.line.ackBlocks();
    rig.image.buffer[FirmwareImage::kBufferSize - 1] = 0x5A;
    rig.image.largo_archivo = FirmwareImage::kBufferSize;
    rig.sender.bloque = bloque;
    rig.sender.nro_bloque = static_cast<std::uint8_t>(bloque);
    rig.sender.indice = indice;

    if (refused) {
        QVERIFY_THROWS_EXCEPTION(ImageIndexError, rig.sender.envia_paquete());
        QVERIFY(rig.line.written().isEmpty());
        QCOMPARE(rig.clock.yields, 0);
    } else {
        rig.sender.envia_paquete();
        QCOMPARE(rig.line.blocks().size(), 1);
        if (indice == 249873)
            QCOMPARE(rig.line.blocks().first().at(130), '\x5a');
    }
}

int runXmodemSenderTests(int argc, char** argv)
{
    TestXmodemSender t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_xmodem_sender.moc"
