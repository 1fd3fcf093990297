// The record of loads: a row as its CSV bytes, one row per case; then the file, one row per
// case: what stood in the file's place and what the disk took while each row went in -> the
// file's bytes after, what the record said, and what it could not write at the end.
#include "file_names.h"
#include "record.h"

#include <QTemporaryDir>
#include <QTest>
#include <QRegularExpression>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace programador;

namespace {

struct Cells {
    QByteArray device, serial, image;
    int number = 2;
    QByteArray csv;
};

// A load of image NAME.bin, as the rows name it.
LoadRow row(const QByteArray& device, const QByteArray& serial, const QByteArray& image, int number = 2)
{
    return {QDateTime(QDate(2026, 12, 9), QTime(6, 39, 49), Qt::OffsetFromUTC, -3 * 3600), number,
            nameFromBytes(device), QString::fromUtf8(serial), nameFromBytes("/home/ana/" + image), 1000, "ab12", 8, 8,
            QStringLiteral("Programa listo"), 0, 9.5};
}

struct Case {
    QByteArray before = "-";   // the file before; "-": none
    QString steps = {};        // the rows appended, by name; "!" after one: the disk takes only 20 more
                               // bytes while it goes in; "!" first: the same while the file is opened
    QString after = {};        // the file after: "H" the header, "~" the torn row that was there, a name its row
    QString why = {};          // the open refused, FILE naming the file; "fifo", "folder": what stands in its place
    QStringList said = {};
    QString unwritten = {};    // the rows left at the end, by name
    bool fullAtTheEnd = false; // the disk still takes only 20 bytes more when the record ends
};

// The disk as full: the file may grow by 20 bytes more while f runs.
template <typename F>
void full(bool limited, const QString& path, F f)
{
    rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limit{rlim_t(QFileInfo(path).size() + 20), old.rlim_max};
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    if (limited)
        ::setrlimit(RLIMIT_FSIZE, &limit);
    f();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
}

} // namespace

Q_DECLARE_METATYPE(Cells)
Q_DECLARE_METATYPE(Case)

class TestRecord : public QObject {
    Q_OBJECT

private slots:
    void cells_data()
    {
        QTest::addColumn<Cells>("cells");
        QTest::newRow("plain") << Cells{"/dev/ttyUSB0", "A50285BI", "fw.stb", 2,
                                        "2026-12-09T06:39:49-03:00,COM2,/dev/ttyUSB0,A50285BI,fw.stb,1000,ab12,8,8,Programa listo,0,9.5\r\n"};
        // No text cell starts as a formula; numbers and the time are as they are.
        QTest::newRow("formulas") << Cells{"=cmd|' /C calc'!A0", "+1", "-x.bin", 0,
                                           "2026-12-09T06:39:49-03:00,,'=cmd|' /C calc'!A0,'+1,'-x.bin,1000,ab12,8,8,Programa listo,0,9.5\r\n"};
        QTest::newRow("more formulas") << Cells{"@SUM(1)", "\tA", "=HYPERLINK(\"http:x\";\"y\").stb", 2,
                                                "2026-12-09T06:39:49-03:00,COM2,'@SUM(1),'\tA,\"'=HYPERLINK(\"\"http:x\"\";\"\"y\"\").stb\",1000,ab12,8,8,Programa listo,0,9.5\r\n"};
        // RFC 4180: a comma, a quote or a line break makes a quoted cell, its quotes doubled.
        QTest::newRow("quotes and line breaks") << Cells{"/dev/a,b", "\r1", "fw \"1\".bin", 2,
                                                         "2026-12-09T06:39:49-03:00,COM2,\"/dev/a,b\",\"'\r1\",\"fw \"\"1\"\".bin\",1000,ab12,8,8,Programa listo,0,9.5\r\n"};
        // A name is its bytes, UTF-8 or not.
        QTest::newRow("names that are not UTF-8") << Cells{"/dev/serial/by-id/usb-\xf1", "", "versi\xf3n.bin", 2,
                                                           "2026-12-09T06:39:49-03:00,COM2,/dev/serial/by-id/usb-\xf1,,versi\xf3n.bin,1000,ab12,8,8,Programa listo,0,9.5\r\n"};
    }
    void cells()
    {
        QFETCH(Cells, cells);
        QCOMPARE(row(cells.device, cells.serial, cells.image, cells.number).csv(), cells.csv);
    }

    void file_data()
    {
        QTest::addColumn<Case>("c");
        const QString failed = "FILE: no se pudo escribir (" + QString::fromLocal8Bit(strerror(EFBIG)) + "); las cargas siguen y sus filas esperan";
        const QByteArray torn = "2026-12-09T06:00:00-03:00,COM1,/dev/ttyUSB0,,a.bin,1000,ab";
        QTest::newRow("a new file") << Case{.steps = "ab", .after = "Hab"};
        QTest::newRow("an empty file") << Case{.before = "", .steps = "a", .after = "Ha"};
        // A row always starts on a line of its own.
        QTest::newRow("a row torn by another program") << Case{.before = LoadRow::csvHeader() + torn, .steps = "a", .after = "H~a"};
        // A row is all there or not there; one that could not go in waits, in order, for the next.
        QTest::newRow("a full disk for a while") << Case{.steps = "ab!c!d", .after = "Habcd", .said = {failed, "FILE: se escribe de nuevo"}};
        QTest::newRow("a full disk at the end") << Case{.steps = "ab!", .after = "Ha", .said = {failed}, .unwritten = "b", .fullAtTheEnd = true};
        // The header too.
        QTest::newRow("a full disk for the header") << Case{.before = "", .steps = "!", .after = "", .why = "FILE: no se pudo escribir (" + QString::fromLocal8Bit(strerror(EFBIG)) + ")"};
        // Nothing but a regular file, and never a wait for one.
        QTest::newRow("a FIFO") << Case{.why = QString::fromUtf8("fifo: FILE: no es un archivo común")};
        QTest::newRow("a folder") << Case{.why = "folder: FILE: es una carpeta"};
    }
    void file()
    {
        QFETCH(Case, c);
        QTemporaryDir dir;
        const QString path = dir.filePath("registro.csv");
        QFile before(path);
        QVERIFY(c.before == "-" || (before.open(QIODevice::WriteOnly) && before.write(c.before) == c.before.size()));
        before.close();
        const QString obstacle = c.why.section(": ", 0, 0);
        QVERIFY(obstacle != "fifo" || ::mkfifo(QFile::encodeName(path), 0600) == 0);
        QVERIFY(obstacle != "folder" || QDir().mkdir(path));

        QString why;
        std::unique_ptr<Record> record;
        full(c.steps.startsWith('!'), path, [&] { record = Record::open(path, why); });
        QCOMPARE(why.replace(path, "FILE"), QString(c.why).remove(QRegularExpression("^(fifo|folder): ")));
        QStringList said, unwritten;
        QByteArray left;
        if (record) {
            record->said = [&said, &path](const QString& line) { said << QString(line).replace(path, "FILE"); };
            for (int i = 0; i < c.steps.size(); ++i) {
                bool handled = false;
                full(c.steps.mid(i + 1, 1) == "!", path, [&] {
                    record->append(row("/dev/ttyUSB0", "", c.steps.mid(i, 1).toLatin1() + ".bin"), [&handled] { handled = true; });
                    QTRY_VERIFY(handled);
                });
                i += c.steps.mid(i + 1, 1) == "!";
            }
            QList<LoadRow> rows;
            full(c.fullAtTheEnd, path, [&] { rows = record->finish(); });
            for (const LoadRow& row : rows)
                unwritten << row.image.section('/', -1).section('.', 0, 0);
            left = record->unwritten(rows);
        }
        QCOMPARE(said, c.said);
        QCOMPARE(unwritten.join(QString()), c.unwritten);
        QByteArray expected;
        for (const QChar name : c.after)
            expected += name == 'H' ? LoadRow::csvHeader() : name == '~' ? c.before.mid(LoadRow::csvHeader().size()) + "\r\n"
                                                                         : row("/dev/ttyUSB0", "", QByteArray(1, name.toLatin1()) + ".bin").csv();
        QFile after(path);
        QCOMPARE(obstacle.isEmpty() && after.open(QIODevice::ReadOnly) ? after.readAll() : QByteArray(), expected);
        // What is left is told as CSV, to be copied into the file.
        QCOMPARE(left, c.unwritten.isEmpty() ? QByteArray()
                                             : "programador: " + path.toUtf8() + ": 1 fila no se pudo escribir; es esta:\n"
                                                   + row("/dev/ttyUSB0", "", "b.bin").csv());
    }
};

QTEST_GUILESS_MAIN(TestRecord)
#include "test_record.moc"
