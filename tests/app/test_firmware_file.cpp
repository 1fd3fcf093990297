#include "file_browser.h"
#include "firmware_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

using namespace programador;

namespace {

QByteArray pattern(int length, char seed)
{
    QByteArray bytes(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        bytes[i] = static_cast<char>(seed + i * 7);
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

bool bufferHolds(const FirmwareImage& image, const QByteArray& bytes)
{
    return std::equal(bytes.begin(), bytes.end(), reinterpret_cast<const char*>(image.buffer.data()));
}

bool zeroFrom(const FirmwareImage& image, int from)
{
    return std::all_of(image.buffer.begin() + from, image.buffer.end(), [](std::uint8_t b) { return b == 0; });
}

} // namespace

class TestFirmwareFile : public QObject {
    Q_OBJECT

private slots:
    void loadsWholeImages_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("blocks");
        QTest::newRow("empty") << 0 << 1;
        QTest::newRow("one byte") << 1 << 1;
        QTest::newRow("one block") << 128 << 1;
        QTest::newRow("block and a byte") << 129 << 2;
        QTest::newRow("largest sendable") << 249984 << 1953;
    }
    void loadsWholeImages()
    {
        QFETCH(int, length);
        QFETCH(int, blocks);
        QTemporaryDir dir;
        const QString path = dir.filePath("image.bin");
        const QByteArray bytes = pattern(length, 3);
        writeFile(path, bytes);

        auto image = std::make_unique<FirmwareImage>();
        image->buffer.fill(0xEE);   // what an earlier, longer image left
        QCOMPARE(FirmwareFile::load(path, *image), FirmwareFile::Result::Loaded);
        QCOMPARE(image->largo_archivo, length);
        QVERIFY(bufferHolds(*image, bytes));
        QVERIFY(zeroFrom(*image, length));
        QCOMPARE(FirmwareFile::blockCount(length), blocks);
    }

    void refusesWhatCannotBeSentWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("big.stb");
        writeFile(path, pattern(FirmwareImage::kMaxSendable + 1, 1));
        auto image = std::make_unique<FirmwareImage>();
        image->buffer[0] = 0x42;
        image->largo_archivo = 7;
        QCOMPARE(FirmwareFile::load(path, *image), FirmwareFile::Result::TooLarge);
        QCOMPARE(image->buffer[0], 0x42);
        QCOMPARE(image->largo_archivo, 7);
    }

    void refusesWhatIsNotARegularFile()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath("pipe.bin");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QDir(dir.path()).mkdir("folder.bin"));
        auto image = std::make_unique<FirmwareImage>();
        // A FIFO with no writer would block a plain open; it must come back at once.
        QCOMPARE(FirmwareFile::load(fifo, *image), FirmwareFile::Result::Unreadable);
        QCOMPARE(FirmwareFile::load(dir.filePath("folder.bin"), *image), FirmwareFile::Result::Unreadable);
        QCOMPARE(FirmwareFile::load("/dev/zero", *image), FirmwareFile::Result::Unreadable);
        QCOMPARE(FirmwareFile::load(dir.filePath("missing.bin"), *image), FirmwareFile::Result::Unreadable);
        QCOMPARE(image->largo_archivo, 0);
    }

    void joinsWithOneSeparator()
    {
        QCOMPARE(FirmwareFile::joinPath("/", "a.bin"), QString("/a.bin"));
        QCOMPARE(FirmwareFile::joinPath("/media/usb", "a.bin"), QString("/media/usb/a.bin"));
    }

    void listsMatchingFilesRegardlessOfCase()
    {
        QTemporaryDir dir;
        for (const char* name : {"b.bin", "A.STB", "c.Bin", "notes.txt", "x.stbx", "bin", ".hidden.bin"})
            writeFile(dir.filePath(name), "x");
        QVERIFY(QDir(dir.path()).mkdir("folder.bin"));
        QCOMPARE(FileBrowser::matchingFiles(dir.path()), QStringList({"A.STB", "b.bin", "c.Bin"}));
        QVERIFY(FileBrowser::matchingFiles(dir.filePath("no-such-dir")).isEmpty());
    }

    void directoryListIsTheChainThenSubdirectories()
    {
        QTemporaryDir dir;
        const QString current = QDir(dir.path()).absolutePath();
        QDir(current).mkdir("zeta");
        QDir(current).mkdir("Alfa");
        writeFile(current + "/file.bin", "x");
        const QList<FileBrowser::DirectoryEntry> entries = FileBrowser::directoryEntries(current);
        const QStringList parts = current.split('/', Qt::SkipEmptyParts);
        QCOMPARE(entries.size(), 1 + parts.size() + 2);
        QCOMPARE(entries[0].path, QString("/"));
        QCOMPARE(entries[parts.size()].path, current);
        QVERIFY(entries[parts.size()].inChain);
        QCOMPARE(entries[parts.size() + 1].label, QString("Alfa"));
        QCOMPARE(entries[parts.size() + 2].path, current + "/zeta");
        QVERIFY(!entries.last().inChain);
        QCOMPARE(entries.last().depth, parts.size() + 1);

        // A directory that cannot be read still shows the way back.
        const QList<FileBrowser::DirectoryEntry> gone = FileBrowser::directoryEntries(current + "/missing");
        QCOMPARE(gone.size(), parts.size() + 2);
        QVERIFY(gone.last().inChain);
    }

    void drivesStartAtTheRoot()
    {
        QStringList roots = FileBrowser::driveRoots();
        QVERIFY(!roots.isEmpty());
        QCOMPARE(roots.first(), QString("/"));
        QCOMPARE(roots.removeDuplicates(), 0);
        QCOMPARE(FileBrowser::driveOf("/media/usb/fw", {"/", "/media/usb"}), QString("/media/usb"));
        QCOMPARE(FileBrowser::driveOf("/media/usb2", {"/", "/media/usb"}), QString("/"));
    }
};

QTEST_GUILESS_MAIN(TestFirmwareFile)
#include "test_firmware_file.moc"
