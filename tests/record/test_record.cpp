// The record of loads: a row as its CSV bytes, one row per case; then the file, one row per
// case: what stood in the file's place and what the disk took while each row went in -> the
// file's bytes after, what the record said, and what it could not write at the end.
#include "file_names.h"
#include "postgres_server.h"
#include "record.h"

#include <QDirIterator>
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
    return {QUuid::createUuid(), {}, {}, QDateTime(QDate(2026, 12, 9), QTime(6, 39, 49), Qt::OffsetFromUTC, -3 * 3600), number,
            nameFromBytes(device), QString::fromUtf8(serial), nameFromBytes("/home/ana/" + image), 1000, "ab12", 8, 8,
            QStringLiteral("Programa listo"), 0, 9.5};
}

// The database: what the bench does, one step a word -> the table's rows, by name, as they
// arrived, and what the record said.
struct Flow {
    QString steps;              // a name: a load's row appended; "stop", "start": the server; "next":
                                // this program ends and the next one starts
    QString role = "postgres";  // who the bench is; "banco" has INSERT on the table alone
    QString arrived = {};       // the rows in the table, by name, in the order they arrived
    QStringList said = {};      // DB for the URI, SPOOL for the spool's folder, (...) for the server's words
    QString why = {};           // the record refused at start; "URI" stands for one that is given as it is
    QString uri = {};
};

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
Q_DECLARE_METATYPE(Flow)
Q_DECLARE_METATYPE(Case)

class TestRecord : public QObject {
    Q_OBJECT

    testing::PostgresServer server_;
    int databases_ = 0;

private slots:
    void initTestCase() { QVERIFY(server_.ready() && server_.run("CREATE ROLE banco LOGIN").isEmpty()); }
    void database_data();
    void database();

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
        full(c.steps.startsWith('!'), path, [&] { record = Record::open(path, {}, why); });
        QCOMPARE(why.replace(path, "FILE"), QString(c.why).remove(QRegularExpression("^(fifo|folder): ")));
        QStringList said, unwritten;
        QByteArray left;
        if (record) {
            record->said = [&said, &path](const QString& line, bool) { said << QString(line).replace(path, "FILE"); };
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

void TestRecord::database_data()
{
    QTest::addColumn<Flow>("flow");
    const QString away = "DB: el servidor no responde (...); las filas esperan en SPOOL";
    // Every column with its type; the rows of two devices whole, the image's SHA-256 among them.
    QTest::newRow("two devices") << Flow{"a b", "postgres", "ab"};
    // Loads go on while the server is away, their rows wait on this PC, and arrive once, in order.
    QTest::newRow("the server away for a while") << Flow{"a stop b c start d", "postgres", "abcd",
                                                         {away, "DB: las filas llegan de nuevo al servidor"}};
    // What one program could not send, the next one sends.
    QTest::newRow("the next program sends them") << Flow{"stop a b next start", "postgres", "ab",
        {away, "DB: 2 filas esperan en SPOOL; las enviar\u00e1 este programa o el pr\u00f3ximo que se inicie, cuando el servidor responda",
         away, "DB: las filas llegan de nuevo al servidor"}};
    // The least a bench needs: INSERT on the table, once it is there.
    QTest::newRow("a role that may only insert") << Flow{"a", "banco", "a"};
    QTest::newRow("a role the server refuses") << Flow{"a", "nadie", {}, {}, "DB: el servidor no acepta la conexi\u00f3n (...)"};
    QTest::newRow("a password in the URI") << Flow{"a", {}, {}, {}, "URI: la contrase\u00f1a no va en la orden; p\u00f3ngala en ~/.pgpass o en PGPASSWORD",
                                                   "postgresql://banco:secreto@/db"};
    QTest::newRow("a URI that cannot be read") << Flow{"a", {}, {}, {}, "URI: no es una URI v\u00e1lida (...)",
                                                       "postgresql://banco@x:puerto/db"};
}

void TestRecord::database()
{
    QFETCH(Flow, flow);
    QVERIFY(server_.ready() && server_.start());
    const QString name = QStringLiteral("caso%1").arg(++databases_);
    QVERIFY(server_.run("CREATE DATABASE " + name).isEmpty());
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    const QString uri = flow.uri.isEmpty() ? server_.uri(name, flow.role) : flow.uri;
    if (flow.role == "banco") {   // the table made by its owner, and INSERT granted
        QString why;
        QVERIFY(Record::open(server_.uri(name), {}, why));
        QVERIFY(server_.run("GRANT INSERT ON cargas TO banco", name).isEmpty());
    }

    QStringList said;
    QString why;
    std::unique_ptr<Record> record = Record::open(uri, "banco-3", why);
    const auto normal = [&](QString line) {
        return line.replace(uri, flow.uri.isEmpty() ? "DB" : "URI").replace(QRegularExpression(" \\(.*\\)"), " (...)")
            .replace(QRegularExpression("en /\\S*/programador/pendientes/[0-9a-f]{16}"), "en SPOOL");
    };
    QVERIFY2(flow.role != "nadie" || why.contains("role \"nadie\" does not exist"), qPrintable(why));   // the server's own words
    QCOMPARE(normal(why), flow.why);
    if (!record)
        return;
    const auto listen = [&] { record->said = [&](const QString& line, bool) { said << normal(line); }; };
    listen();
    QStringList rows;   // as the table should have them, by name
    for (const QString& step : flow.steps.split(' ')) {
        if (step == "stop" || step == "start") {
            QVERIFY(step == "stop" ? server_.stop() : server_.start());
        } else if (step == "next") {
            record->finish();
            record = Record::open(uri, "banco-3", why);
            QVERIFY(record);
            listen();
        } else {
            // Handled at once, whether the server is there or not.
            bool handled = false;
            LoadRow load = row(step == "a" ? "/dev/ttyUSB0" : "/dev/serial/by-id/usb-" + step.toLatin1(), "A5", step.toLatin1() + ".bin",
                               step == "a" ? 3 : 0);
            load.start = load.start.addSecs(rows.size());
            load.blocksSent = rows.size();
            record->append(load, [&handled] { handled = true; });
            QTRY_VERIFY_WITH_TIMEOUT(handled, 2000);
            rows << QStringList{load.id.toString(QUuid::WithoutBraces), "2026-12-09 09:39:" + QString::number(49 + rows.size()) + "+00",
                                "banco-3", "5.0", step == "a" ? "COM3" : "", printableName(load.device), "A5", step + ".bin", "1000",
                                "ab12", QString::number(rows.size()), "8", "Programa listo", "0", "9.5"}.join('|');
        }
    }
    const QString columns = "id, inicio, estacion, version, puerto, dispositivo, serie_adaptador, imagen, bytes, sha256, "
                            "bloques_enviados, bloques_total, resultado, estado, segundos";
    QTRY_COMPARE_WITH_TIMEOUT(server_.run("SELECT count(*) FROM cargas", name).value(0), QString::number(flow.arrived.size()), 20000);
    QStringList expected;
    for (const QChar step : flow.arrived)
        expected << rows.filter(QRegularExpression("\\|" + QString(step) + "\\.bin\\|")).value(0);
    QCOMPARE(server_.run("SET TIME ZONE 'UTC'; SELECT " + columns + " FROM cargas ORDER BY recibido", name), expected);
    QCOMPARE(server_.run("SELECT string_agg(column_name || ' ' || data_type, ', ' ORDER BY ordinal_position) FROM "
                         "information_schema.columns WHERE table_name = 'cargas'", name).value(0),
             "id uuid, inicio timestamp with time zone, estacion text, version text, puerto text, dispositivo text, "
             "serie_adaptador text, imagen text, bytes bigint, sha256 text, bloques_enviados integer, bloques_total integer, "
             "resultado text, estado integer, segundos numeric, recibido timestamp with time zone");
    record->finish();
    QCOMPARE(said, flow.said);
    QDirIterator left(state.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    QVERIFY2(!left.hasNext(), qPrintable(left.hasNext() ? left.next() : QString()));   // the spool is empty
}

QTEST_GUILESS_MAIN(TestRecord)
#include "test_record.moc"
