#include "file_obstacles.h"
#include "port_settings.h"
#include "recording_messages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace programador;
using programador::testing::RecordingMessages;
using Entries = QMap<QString, QByteArray>;

namespace {

const QString kName = QStringLiteral("PROGRAMADOR.INI");

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

// What stands in the way of a save or of the start-up's creation of the file.
enum class Obstacle {
    ReadOnlyDirectory,  // no entry can be made in the directory
    ImmutableFile,      // the file is there but cannot be replaced
    NoRoomForAByte,     // the new file can be made but not written
    NameIsADirectory,   // "PROGRAMADOR.INI" is a directory
};

// Keeps the obstacle up while it lives; null with a reason when this machine cannot
// raise it.
struct RaisedObstacle {
    std::unique_ptr<testing::ReadOnlyDirectory> readOnly;
    std::unique_ptr<testing::ImmutableFile> immutable;
    std::unique_ptr<testing::NoRoomForAByte> noRoom;
};

// The obstacle is put up around the work only: a file-size limit would also stop the
// test's own output to a file.
QString raise(Obstacle obstacle, const QString& dir, RaisedObstacle& raised)
{
    switch (obstacle) {
    case Obstacle::ReadOnlyDirectory:
        raised.readOnly = std::make_unique<testing::ReadOnlyDirectory>(dir);
        return raised.readOnly->holds() ? QString() : QStringLiteral("cannot make a directory read-only here");
    case Obstacle::ImmutableFile:
        raised.immutable = std::make_unique<testing::ImmutableFile>(QDir(dir).filePath(kName));
        return raised.immutable->holds() ? QString() : QStringLiteral("no immutable attribute here");
    case Obstacle::NoRoomForAByte:
        raised.noRoom = std::make_unique<testing::NoRoomForAByte>();
        return raised.noRoom->holds() ? QString() : QStringLiteral("cannot limit the file size");
    case Obstacle::NameIsADirectory:
        return QDir(dir).mkdir(kName) ? QString() : QStringLiteral("cannot make the directory");
    }
    return QStringLiteral("unknown obstacle");
}

} // namespace

Q_DECLARE_METATYPE(Obstacle)

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    // Start-up reads the first byte only; a missing or empty file is written with port 1.
    void startUp_data()
    {
        QTest::addColumn<QString>("name");        // the file present before, empty for none
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("port");
        QTest::addColumn<Entries>("after");       // the whole directory afterwards

        const QByteArray one("1\r\n");
        QTest::newRow("missing") << QString() << QByteArray() << 1 << Entries{{kName, one}};
        QTest::newRow("empty") << kName << QByteArray() << 1 << Entries{{kName, one}};
        QTest::newRow("3 CR LF") << kName << QByteArray("3\r\n") << 3 << Entries{{kName, "3\r\n"}};
        QTest::newRow("4 then letters") << kName << QByteArray("4abc") << 4 << Entries{{kName, "4abc"}};
        QTest::newRow("space then 2") << kName << QByteArray(" 2") << 1 << Entries{{kName, " 2"}};
        QTest::newRow("12") << kName << QByteArray("12") << 1 << Entries{{kName, "12"}};
        QTest::newRow("byte 0") << kName << QByteArray("\0\r\n", 3) << 1
                                << Entries{{kName, QByteArray("\0\r\n", 3)}};
        QTest::newRow("digit 0") << kName << QByteArray("0\r\n") << 1 << Entries{{kName, "0\r\n"}};
        QTest::newRow("digit 5") << kName << QByteArray("5\r\n") << 1 << Entries{{kName, "5\r\n"}};
        QTest::newRow("1 CR LF") << kName << one << 1 << Entries{{kName, one}};
        QTest::newRow("2 alone") << kName << QByteArray("2") << 2 << Entries{{kName, "2"}};
        QTest::newRow("2 LF") << kName << QByteArray("2\n") << 2 << Entries{{kName, "2\n"}};
        QTest::newRow("lower case name") << QStringLiteral("programador.ini") << QByteArray("3\r\n") << 3
                                         << Entries{{QStringLiteral("programador.ini"), "3\r\n"}};
        QTest::newRow("writer's spelling") << QStringLiteral("PROGRAMADOR.ini") << QByteArray("4\r\n") << 4
                                           << Entries{{QStringLiteral("PROGRAMADOR.ini"), "4\r\n"}};
        QTest::newRow("mixed case name, empty")
            << QStringLiteral("Programador.Ini") << QByteArray() << 1 << Entries{{QStringLiteral("Programador.Ini"), one}};
    }
    void startUp()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(int, port);
        QFETCH(Entries, after);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (!name.isEmpty())
            writeFile(dir.filePath(name), content);

        RecordingMessages messages;
        PortSettings settings(messages, dir.path());
        QCOMPARE(settings.puerto, std::int16_t(0));
        settings.lee_puerto();

        QCOMPARE(settings.puerto, std::int16_t(port));
        QCOMPARE(testing::snapshot(dir.path()), after);
        QVERIFY(messages.shown.isEmpty());
    }

    // Where the file can be neither read nor written the program starts on port 1, says
    // nothing and leaves the directory as it was; a readable file is still read.
    void startUpWhereNothingCanBeWritten_data()
    {
        QTest::addColumn<Obstacle>("obstacle");
        QTest::addColumn<QByteArray>("content"); // of PROGRAMADOR.INI before; null for none
        QTest::addColumn<int>("port");

        QTest::newRow("read-only directory, no file") << Obstacle::ReadOnlyDirectory << QByteArray() << 1;
        QTest::newRow("read-only directory, empty file") << Obstacle::ReadOnlyDirectory << QByteArray("") << 1;
        QTest::newRow("read-only directory, 4") << Obstacle::ReadOnlyDirectory << QByteArray("4\r\n") << 4;
        QTest::newRow("immutable empty file") << Obstacle::ImmutableFile << QByteArray("") << 1;
        QTest::newRow("no room for a byte, no file") << Obstacle::NoRoomForAByte << QByteArray() << 1;
        QTest::newRow("no room for a byte, empty file") << Obstacle::NoRoomForAByte << QByteArray("") << 1;
        QTest::newRow("name is a directory") << Obstacle::NameIsADirectory << QByteArray() << 1;
    }
    void startUpWhereNothingCanBeWritten()
    {
        QFETCH(Obstacle, obstacle);
        QFETCH(QByteArray, content);
        QFETCH(int, port);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (!content.isNull())
            writeFile(dir.filePath(kName), content);
        RecordingMessages messages;
        PortSettings settings(messages, dir.path());

        Entries before;
        {
            RaisedObstacle raised;
            const QString why = raise(obstacle, dir.path(), raised);
            if (!why.isEmpty())
                QSKIP(qPrintable(why));
            before = testing::snapshot(dir.path());
            settings.lee_puerto();
        }

        QCOMPARE(settings.puerto, std::int16_t(port));
        QVERIFY(messages.shown.isEmpty());
        QCOMPARE(testing::snapshot(dir.path()), before);
    }

    // A working directory that is missing, or is not a directory at all.
    void startUpWithNoUsableDirectory_data()
    {
        QTest::addColumn<bool>("isAFile");
        QTest::newRow("missing") << false;
        QTest::newRow("a regular file") << true;
    }
    void startUpWithNoUsableDirectory()
    {
        QFETCH(bool, isAFile);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString work = dir.filePath(QStringLiteral("work"));
        if (isAFile)
            writeFile(work, "2\r\n");
        const Entries before = testing::snapshot(dir.path());

        RecordingMessages messages;
        PortSettings settings(messages, work);
        settings.lee_puerto();

        QCOMPARE(settings.puerto, std::int16_t(1));
        QVERIFY(messages.shown.isEmpty());
        QCOMPARE(testing::snapshot(dir.path()), before);
    }

    // A FIFO in the file's place must not hold up the start: it is neither read (a "4"
    // waits in it, which a plain read would take) nor written to, and the run starts on
    // port 1 without a message.
    void startUpNeverReadsAFifo()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray fifo = QFile::encodeName(dir.filePath(kName));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const int fd = ::open(fifo.constData(), O_RDWR | O_NONBLOCK); // a writer, so nothing blocks
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "4", 1), ssize_t(1));

        RecordingMessages messages;
        PortSettings settings(messages, dir.path());
        settings.lee_puerto();
        char left[8] = {};
        const ssize_t n = ::read(fd, left, sizeof left);
        ::close(fd);

        QCOMPARE(settings.puerto, std::int16_t(1));
        QVERIFY(messages.shown.isEmpty());
        QCOMPARE(QByteArray(left, int(n)), QByteArray("4"));
        QCOMPARE(testing::snapshot(dir.path()), (Entries{{kName, "<other>"}}));
    }

    // A save leaves exactly the digit, CR, LF in the one settings file, whatever it held
    // and whichever spelling it had; a file deleted meanwhile is created again.
    void save_data()
    {
        QTest::addColumn<QString>("name"); // present at start-up, empty for none
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("deletedMeanwhile");
        QTest::addColumn<int>("port");
        QTest::addColumn<Entries>("after");

        QTest::newRow("2 over 1") << kName << QByteArray("1\r\n") << false << 2 << Entries{{kName, "2\r\n"}};
        QTest::newRow("2 over a long line")
            << kName << QByteArray("4 and a good deal more text\r\nand a second line\r\n") << false << 2
            << Entries{{kName, "2\r\n"}};
        QTest::newRow("2 over 2 without line end") << kName << QByteArray("2") << false << 2
                                                   << Entries{{kName, "2\r\n"}};
        QTest::newRow("2 over an empty file") << kName << QByteArray() << false << 2 << Entries{{kName, "2\r\n"}};
        QTest::newRow("1") << kName << QByteArray("4\r\n") << false << 1 << Entries{{kName, "1\r\n"}};
        QTest::newRow("3") << kName << QByteArray("1\r\n") << false << 3 << Entries{{kName, "3\r\n"}};
        QTest::newRow("4") << kName << QByteArray("1\r\n") << false << 4 << Entries{{kName, "4\r\n"}};
        QTest::newRow("the same port again") << kName << QByteArray("3\r\n") << false << 3
                                             << Entries{{kName, "3\r\n"}};
        QTest::newRow("no file at start-up") << QString() << QByteArray() << false << 2 << Entries{{kName, "2\r\n"}};
        QTest::newRow("deleted meanwhile") << kName << QByteArray("3\r\n") << true << 2 << Entries{{kName, "2\r\n"}};
        QTest::newRow("lower case name replaced in place")
            << QStringLiteral("programador.ini") << QByteArray("3\r\n") << false << 2
            << Entries{{QStringLiteral("programador.ini"), "2\r\n"}};
        QTest::newRow("mixed case name replaced in place")
            << QStringLiteral("Programador.Ini") << QByteArray("1\r\n") << false << 4
            << Entries{{QStringLiteral("Programador.Ini"), "4\r\n"}};
        QTest::newRow("lower case name deleted meanwhile")
            << QStringLiteral("programador.ini") << QByteArray("3\r\n") << true << 2 << Entries{{kName, "2\r\n"}};
    }
    void save()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, deletedMeanwhile);
        QFETCH(int, port);
        QFETCH(Entries, after);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (!name.isEmpty())
            writeFile(dir.filePath(name), content);
        RecordingMessages messages;
        PortSettings settings(messages, dir.path());
        settings.lee_puerto();
        const std::int16_t puerto = settings.puerto;
        if (deletedMeanwhile)
            QVERIFY(QFile::remove(dir.filePath(name)));

        QVERIFY(settings.guarda_puerto(std::int16_t(port)));

        QCOMPARE(testing::snapshot(dir.path()), after);
        QVERIFY(messages.shown.isEmpty());
        QCOMPARE(settings.puerto, puerto); // the caller sets puerto, not the save

        PortSettings nextRun(messages, dir.path());
        nextRun.lee_puerto();
        QCOMPARE(nextRun.puerto, std::int16_t(port));
    }

    // With both spellings present the exact one is read and replaced, the other is left.
    void bothSpellingsPresent()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        writeFile(dir.filePath(kName), "3\r\n");
        writeFile(dir.filePath(QStringLiteral("programador.ini")), "4\r\n");
        RecordingMessages messages;
        PortSettings settings(messages, dir.path());
        settings.lee_puerto();
        QCOMPARE(settings.puerto, std::int16_t(3));

        QVERIFY(settings.guarda_puerto(2));
        QCOMPARE(testing::snapshot(dir.path()),
                 (Entries{{kName, "2\r\n"}, {QStringLiteral("programador.ini"), "4\r\n"}}));
    }

    // A save that cannot be completed says "Error de archivo" once and leaves the
    // directory exactly as it was, old bytes included; the next save can succeed.
    void failedSave_data()
    {
        QTest::addColumn<Obstacle>("obstacle");
        QTest::addColumn<int>("port");

        QTest::newRow("read-only directory") << Obstacle::ReadOnlyDirectory << 2;
        QTest::newRow("immutable file") << Obstacle::ImmutableFile << 2;
        QTest::newRow("no room for a byte") << Obstacle::NoRoomForAByte << 2;
    }
    void failedSave()
    {
        QFETCH(Obstacle, obstacle);
        QFETCH(int, port);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        writeFile(dir.filePath(kName), "3\r\n");
        RecordingMessages messages;
        PortSettings settings(messages, dir.path());
        settings.lee_puerto();
        const Entries before = testing::snapshot(dir.path());

        bool saved = true;
        {
            RaisedObstacle raised;
            const QString why = raise(obstacle, dir.path(), raised);
            if (!why.isEmpty())
                QSKIP(qPrintable(why));
            saved = settings.guarda_puerto(std::int16_t(port));
        }

        QVERIFY(!saved);
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].text, QStringLiteral("Error de archivo"));
        QCOMPARE(messages.shown[0].icon, MessageIcon::Error);
        QCOMPARE(messages.shown[0].buttons, MessageButtons::Ok);
        QCOMPARE(testing::snapshot(dir.path()), before);
        QCOMPARE(settings.puerto, std::int16_t(3));

        QVERIFY(settings.guarda_puerto(std::int16_t(port)));
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(testing::snapshot(dir.path()), (Entries{{kName, QByteArray::number(port) + "\r\n"}}));
    }

    // A directory or a FIFO in the file's place: the save fails with the message and
    // leaves it there (opening a FIFO to write would wait for a reader).
    void saveOverSomethingElse_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("directory") << false;
        QTest::newRow("FIFO") << true;
    }
    void saveOverSomethingElse()
    {
        QFETCH(bool, fifo);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(kName)).constData(), 0600), 0);
        else
            QVERIFY(QDir(dir.path()).mkdir(kName));
        const Entries before = testing::snapshot(dir.path());
        RecordingMessages messages;
        PortSettings settings(messages, dir.path());

        QVERIFY(!settings.guarda_puerto(2));
        QCOMPARE(messages.texts(), QStringList{QStringLiteral("Error de archivo")});
        QCOMPARE(messages.shown[0].icon, MessageIcon::Error);
        QCOMPARE(testing::snapshot(dir.path()), before);
    }

    // Only 1 to 4 can be saved: anything else is refused like a failed write and the
    // file keeps its digit (it would otherwise be left empty).
    void saveOutOfRange_data()
    {
        QTest::addColumn<int>("port");
        QTest::newRow("0") << 0;
        QTest::newRow("5") << 5;
        QTest::newRow("-1") << -1;
        QTest::newRow("10") << 10;
    }
    void saveOutOfRange()
    {
        QFETCH(int, port);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        writeFile(dir.filePath(kName), "3\r\n");
        RecordingMessages messages;
        PortSettings settings(messages, dir.path());

        QVERIFY(!settings.guarda_puerto(std::int16_t(port)));
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].text, QStringLiteral("Error de archivo"));
        QCOMPARE(messages.shown[0].icon, MessageIcon::Error);
        QCOMPARE(testing::snapshot(dir.path()), (Entries{{kName, "3\r\n"}}));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
