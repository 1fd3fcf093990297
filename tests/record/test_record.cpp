// The record of loads: a row as its CSV bytes, one row per case; then the file, one row per
// case: what stood in the file's place and what the disk took while each row went in -> the
// file's bytes after, what the record said, and what it could not write at the end.
#include "file_names.h"
#include "files.h"
#include "destination.h"
#include "pg_table.h"
#include "postgres_server.h"
#include "record.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>
#include <QRegularExpression>
#include <QUrl>

#include <atomic>
#include <csignal>
#include <optional>
#include <semaphore>

#include <tuple>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace programador;

namespace {

struct Cells {
    QByteArray device, serial, image;
    int number = 2;
    QByteArray csv;
    QStringList trace = {};   // the board's serial, the order, the operator, the cause
};

// The table cargas as an earlier version made it, without the trace's columns.
const QString kEarlierTable = QStringLiteral(
    "CREATE TABLE cargas (id uuid PRIMARY KEY, inicio timestamptz NOT NULL, estacion text NOT NULL, version text NOT NULL, "
    "puerto text, dispositivo text NOT NULL, serie_adaptador text, imagen text NOT NULL, bytes bigint NOT NULL, "
    "sha256 text NOT NULL, bloques_enviados integer NOT NULL, bloques_total integer NOT NULL, resultado text NOT NULL, "
    "estado integer NOT NULL, segundos numeric(9,1) NOT NULL, recibido timestamptz NOT NULL DEFAULT clock_timestamp())");

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
    QString steps;              // a name: a load's row appended ("a2": a's row again, its id the same); "stop",
                                // "start": the server; "next": this program ends and the next one starts ("next:URI"
                                // with another destination), or "end" and later "begin"; "grant": INSERT granted to the role; "check": a constraint
                                // that refuses b.bin; "litter": what a crash leaves in the spool
    QString role = "postgres";  // who the bench is; "banco" has INSERT on the table alone, "lector" not even that
    QString arrived = {};       // the rows in the table, by name, in the order they arrived
    QStringList said = {};      // DB for the URI, SPOOL for a spool's folder, (...) for the server's words
    QString why = {};           // the record refused at start; "URI" stands for one that is given as it is
    QString uri = {};           // "TWO": this server after one that is stopped; "RESPELLED": the same, written otherwise
    QString left = {};          // rows still in a spool at the end, by name
    QString aside = {};         // rows set aside in the spool, by name
    bool spoolBlocked = false;  // a file stands where the spool's folder would be
    bool oldTable = false;      // the table made by its owner as an earlier version made it
};

struct Case {
    QByteArray before = "-";   // the file before; "-": none
    QString steps = {};        // the rows appended, by name; "!" after one: the disk takes only 20 more
                               // bytes while it goes in; "!" first: the same while the file is opened
    QString after = {};        // the file after: "H" the header, "B" the file before, "~" the torn row that was there, a
                               // name its row
    QString why = {};          // the open refused, FILE naming the file; "fifo", "folder": what stands in its place
    QStringList said = {};
    QString unwritten = {};    // the rows left at the end, by name
    bool fullAtTheEnd = false; // the disk still takes only 20 bytes more when the record ends
    QList<QByteArray> columns = LoadRow::csvColumns();   // the rows' columns, as the file's header has them
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

// A store whose put is held where the test says: before the row's bytes are the store's (a
// lock another program holds), or after (a flush that has not returned).
struct HeldStore : RowStore {
    int put(const LoadRow& row, const Commit& commit) override
    {
        if (!afterCommit)
            reached.release(), go.acquire();
        const int error = commit([&] { return taken << row.image.section(QLatin1Char('/'), -1), 0; });
        if (afterCommit)
            reached.release(), go.acquire();
        tried = true;
        return error;
    }
    QString name() const override { return QStringLiteral("held"); }
    bool afterCommit = false;
    std::binary_semaphore reached{0}, go{0};
    QStringList taken;
    std::atomic<bool> tried = false;
};

} // namespace

Q_DECLARE_METATYPE(Cells)
Q_DECLARE_METATYPE(Flow)
Q_DECLARE_METATYPE(Case)

class TestRecord : public QObject {
    Q_OBJECT

    testing::PostgresServer server_;
    int databases_ = 0;

private slots:
    void initTestCase()
    {
        QVERIFY(server_.ready() && server_.run("CREATE ROLE banco LOGIN").isEmpty() && server_.run("CREATE ROLE lector LOGIN").isEmpty());
    }
    void database_data();
    void database();
    void qualityViews();

    // What an error means, by its code alone, and the cause of a failed write, by its errno. (The
    // codes this test's own server gives, for a role it does not know, an INSERT not granted and
    // a CHECK constraint, are judged in the database's flows.)
    void judgements_data()
    {
        QTest::addColumn<int>("stage");   // -1: a write's errno
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("meaning");
        const int connect = int(PgTable::Stage::Connect), make = int(PgTable::Stage::Make), insert = int(PgTable::Stage::Insert);
        QTest::newRow("no answer") << connect << "" << "away: el servidor no responde";
        QTest::newRow("a wrong password") << connect << "28P01" << "refused: el servidor rechaza la contrase\u00f1a";
        QTest::newRow("a database that does not exist") << connect << "3D000" << "refused: la base de datos no existe";
        QTest::newRow("starting up") << connect << "57P03" << "away: el servidor no atiende por ahora";
        QTest::newRow("too many clients") << connect << "53300" << "away: el servidor no atiende por ahora";
        QTest::newRow("lost right after connecting") << make << "" << "away: el servidor no responde";
        QTest::newRow("no right to make the table") << make << "42501" << "refused: no hay tabla cargas y el rol no puede crearla";
        QTest::newRow("no schema") << make << "3F000" << "refused: el esquema no existe";
        QTest::newRow("a column missing") << insert << "42703" << "refused: la tabla cargas no acepta las filas de este rol";
        QTest::newRow("a connection broken") << insert << "08006" << "away: el servidor no responde";
        QTest::newRow("a lock held") << insert << "55P03" << "away: el servidor no atiende por ahora";
        QTest::newRow("shutting down") << insert << "57P01" << "away: el servidor no responde";
        QTest::newRow("crashed") << insert << "57P02" << "away: el servidor no responde";
        QTest::newRow("a trigger's refusal") << insert << "P0001" << "row: el servidor rechaza esta fila";
        QTest::newRow("a read-only file system") << -1 << QString::number(EROFS) << "el sistema de archivos es de solo lectura";
        QTest::newRow("a full disk") << -1 << QString::number(ENOSPC) << "no queda lugar en el disco";
        QTest::newRow("over quota") << -1 << QString::number(EDQUOT) << "no queda lugar en el disco";
    }
    void judgements()
    {
        QFETCH(int, stage);
        QFETCH(QString, code);
        QFETCH(QString, meaning);
        if (stage < 0) {
            QCOMPARE(causeText(writeCause(code.toInt())), meaning);
            return;
        }
        const PgTable::Answer answer = PgTable::judge(PgTable::Stage(stage), code, "words");
        const char* reach[] = {"in", "away", "refused", "row"};
        QCOMPARE(QString(reach[int(answer.reach)]) + ": " + causeText(answer.cause), meaning);
    }

    // A destination as the server sees it, which keys its spool; or why it cannot be used, a
    // password never shown.
    void destinations_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("server");   // or the reason
        const QString db = "postgresql://banco@localhost:5432/produccion";
        QTest::newRow("plain") << "postgresql://banco@localhost/produccion" << db;
        QTest::newRow("the loopback's address, a port, the scheme in capitals, parameters") << "POSTGRES://banco@127.0.0.1:5432/produccion?sslmode=require&application_name=x" << db;
        QTest::newRow("IPv6 loopback") << "postgresql://banco@[::1]/produccion" << db;
        const QString socket = "postgresql://banco@/var/run/postgresql:5432/produccion";
        QTest::newRow("a socket folder, percent-encoded") << "postgresql://banco@%2Fvar%2Frun%2Fpostgresql/produccion" << socket;
        QTest::newRow("a socket folder as ?host=") << "postgresql://banco@/produccion?host=/var/run/postgresql/" << socket;
        QTest::newRow("several hosts, in any order") << "postgresql://banco@db2:5433,DB1/produccion"
                                                     << "postgresql://banco@db1:5432,db2:5433/produccion";
        QTest::newRow("a schema is another table") << "postgresql://banco@db/p?options=-csearch_path%3Dfabrica"
                                                   << "postgresql://banco@db:5432/p?options=-csearch_path=fabrica";
        QTest::newRow("a port that is no number") << "postgresql://banco@db/p?port=abc"
                                                  << "postgresql://banco@db/p?port=abc: no es una URI v\u00e1lida (el puerto abc)";
        QTest::newRow("a port with a sign") << "postgresql://banco@db:+5432/p" << "postgresql://banco@db:+5432/p: no es una URI v\u00e1lida (el puerto +5432)";
        // libpq would stop at the NUL: another port than the one shown.
        QTest::newRow("a NUL in the port") << QString::fromUtf8("postgresql://banco@db:543\0" "9/p", 29)
                                           << "postgresql://banco@db:543\ufffd9/p: no es una URI v\u00e1lida (un car\u00e1cter de control)";
        QTest::newRow("an unknown keyword") << "postgresql://banco@db/p?frobnicate=1" << "postgresql://banco@db/p?frobnicate=1: no es una URI v\u00e1lida (frobnicate)";
        QTest::newRow("an sslmode that is none") << "postgresql://banco@db/p?sslmode=maybe" << "postgresql://banco@db/p?sslmode=maybe: no es una URI v\u00e1lida (sslmode)";
        const QString noPassword = ": la contrase\u00f1a no va en la orden; p\u00f3ngala en ~/.pgpass o en PGPASSWORD";
        QTest::newRow("a password") << "postgresql://banco:secreto@db/p" << "postgresql://banco:***@db/p" + noPassword;
        QTest::newRow("a password as a parameter") << "postgresql://banco@db/p?sslmode=require&password=secreto"
                                                   << "postgresql://banco@db/p?sslmode=require&password=***" + noPassword;
    }
    void destinations()
    {
        QFETCH(QString, text);
        QFETCH(QString, server);
        QString why;
        const std::optional<Destination> d = Destination::parse(text, why);
        QCOMPARE(d ? d->server : why, server);
        if (!d)
            return;
        // Every statement bounded, the URI's own options after the bounds; of several servers, the one that writes.
        QVERIFY(d->value("options").startsWith("-c statement_timeout=5000 -c lock_timeout=3000"));
        QVERIFY(!text.contains("options") || d->value("options").endsWith(" -csearch_path=fabrica"));
        QCOMPARE(d->value("target_session_attrs"), text.contains(',') ? "read-write" : "");
    }

    // The end with a row's put held: before its bytes were the store's, the row is printed and never
    // written after; after, it is the store's and is not printed. The rows queued behind it are printed.
    void theEndWhileARowIsPut_data()
    {
        QTest::addColumn<bool>("afterCommit");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("before its bytes are written") << false << "ab" << "";
        QTest::newRow("before its flush has returned") << true << "b" << "a";
    }
    void theEndWhileARowIsPut()
    {
        QFETCH(bool, afterCommit);
        QFETCH(QString, printed);
        QFETCH(QString, stored);
        auto owned = std::make_unique<HeldStore>();
        HeldStore& store = *owned;
        store.afterCommit = afterCommit;
        std::unique_ptr<Record> record = Record::onStore(std::move(owned), {});
        record->append(row("/dev/ttyUSB0", "", "a"));
        record->append(row("/dev/ttyUSB0", "", "b"));
        store.reached.acquire();
        record->abandon();
        QString rows;
        for (const LoadRow& row : record->finish())
            rows += row.image.section('/', -1);
        QVERIFY(record->leftBehind());
        record.reset();   // the held thread is left to the process, with the store
        store.go.release();
        QTRY_VERIFY(store.tried);
        QCOMPARE(rows, printed);
        QCOMPARE(store.taken.join(QString()), stored);
    }

    void cells_data()
    {
        QTest::addColumn<Cells>("cells");
        // Every row's time, and its cells from the image's size to the seconds, around the
        // port, device, serial and image; then the trace.
        const auto csv = [](const QByteArray& cells, const QByteArray& trace = ",,,") {
            return "2026-12-09T06:39:49-03:00," + cells + ",1000,ab12,8,8,Programa listo,0,9.5," + trace + "\r\n";
        };
        QTest::newRow("plain") << Cells{"/dev/ttyUSB0", "A50285BI", "fw.stb", 2, csv("COM2,/dev/ttyUSB0,A50285BI,fw.stb")};
        // Who loaded which board, for which order, and why it failed: text cells as every other.
        QTest::newRow("the trace") << Cells{"/dev/ttyUSB0", "", "fw.stb", 2,
            csv("COM2,/dev/ttyUSB0,,fw.stb", "'=1+1,\"OT-7, lote 2\",Ana P\xc3\xa9rez,el equipo se anunci\xc3\xb3 y no pidi\xc3\xb3 la imagen"),
            {"=1+1", "OT-7, lote 2", QString::fromUtf8("Ana Pérez"), QString::fromUtf8("el equipo se anunció y no pidió la imagen")}};
        // No text cell starts as a formula; numbers and the time are as they are.
        QTest::newRow("formulas") << Cells{"=cmd|' /C calc'!A0", "+1", "-x.bin", 0, csv(",'=cmd|' /C calc'!A0,'+1,'-x.bin")};
        QTest::newRow("more formulas") << Cells{"@SUM(1)", "\tA", "=HYPERLINK(\"http:x\";\"y\").stb", 2,
                                                csv("COM2,'@SUM(1),'\tA,\"'=HYPERLINK(\"\"http:x\"\";\"\"y\"\").stb\"")};
        // RFC 4180: a comma, a quote or a line break makes a quoted cell, its quotes doubled.
        QTest::newRow("quotes and line breaks") << Cells{"/dev/a,b", "\r1", "fw \"1\".bin", 2, csv("COM2,\"/dev/a,b\",\"'\r1\",\"fw \"\"1\"\".bin\"")};
        // A name is its bytes, UTF-8 or not.
        QTest::newRow("names that are not UTF-8") << Cells{"/dev/serial/by-id/usb-\xf1", "", "versi\xf3n.bin", 2,
                                                           csv("COM2,/dev/serial/by-id/usb-\xf1,,versi\xf3n.bin")};
    }
    void cells()
    {
        QFETCH(Cells, cells);
        LoadRow load = row(cells.device, cells.serial, cells.image, cells.number);
        if (!cells.trace.isEmpty())
            std::tie(load.serial, load.order, load.operatorName, load.cause) = std::tuple(cells.trace[0], cells.trace[1], cells.trace[2], cells.trace[3]);
        QCOMPARE(load.csv(), cells.csv);
    }

    void file_data()
    {
        QTest::addColumn<Case>("c");
        const QString failed = "FILE: no se pudo escribir (" + QString::fromLocal8Bit(strerror(EFBIG))
            + "); las cargas siguen y sus filas quedan en la memoria hasta que el archivo las tome";
        const QByteArray torn = "2026-12-09T06:00:00-03:00,COM1,/dev/ttyUSB0,,a.bin,1000,ab";
        QTest::newRow("a new file") << Case{.steps = "ab", .after = "Hab"};
        QTest::newRow("an empty file") << Case{.before = "", .steps = "a", .after = "Ha"};
        // A row always starts on a line of its own.
        QTest::newRow("a row torn by another program") << Case{.before = LoadRow::csvHeader() + torn, .steps = "a", .after = "H~a"};
        // A file begun by an earlier version, or whose columns someone reordered, keeps its header:
        // the rows follow it, and what they lack is said once.
        const QByteArray old = "inicio,puerto,dispositivo,serie_adaptador,imagen,bytes,sha256,bloques_enviados,bloques_total,"
                               "resultado,estado,segundos\r\n";
        QTest::newRow("a file of an earlier version") << Case{.before = old, .steps = "ab", .after = "Bab",
            .said = {QString::fromUtf8("FILE: su encabezado no tiene serie, orden, operador y causa, que no se escriben en él; "
                                       "para tenerlas, cámbiele el nombre y el programa empieza un archivo nuevo")},
            .columns = old.trimmed().split(',')};
        QTest::newRow("columns of its own") << Case{.before = "imagen,resultado,nota,causa\r\n", .steps = "a", .after = "Ba",
            .said = {QString::fromUtf8("FILE: su encabezado no tiene inicio, puerto, dispositivo, serie_adaptador, bytes, sha256, "
                                       "bloques_enviados, bloques_total, estado, segundos, serie, orden y operador, que no se escriben "
                                       "en él; para tenerlas, cámbiele el nombre y el programa empieza un archivo nuevo")},
            .columns = {"imagen", "resultado", "nota", "causa"}};
        // A first line that is no header of this program's: the rows are today's.
        QTest::newRow("a file of no header") << Case{.before = "x,y\r\n", .steps = "a", .after = "Ba"};
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
        QVERIFY(c.before == "-" || testing::writeFile(path, c.before));
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
            record->said = [&said, &path](const RecordNews& news) { said << news.line().replace(path, "FILE"); };
            for (int i = 0; i < c.steps.size(); ++i) {
                bool handled = false;
                full(c.steps.mid(i + 1, 1) == "!", path, [&] {
                    record->append(row("/dev/ttyUSB0", "", c.steps.mid(i, 1).toLatin1() + ".bin"), nullptr, [&handled] { handled = true; });
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
            expected += name == 'H' ? LoadRow::csvHeader() : name == 'B' ? c.before
                : name == '~' ? c.before.mid(LoadRow::csvHeader().size()) + "\r\n"
                              : row("/dev/ttyUSB0", "", QByteArray(1, name.toLatin1()) + ".bin").csv(c.columns);
        QCOMPARE(obstacle.isEmpty() ? testing::fileBytes(path) : QByteArray(), expected);
        // What is left is told as CSV, to be copied into the file.
        QCOMPARE(left, c.unwritten.isEmpty() ? QByteArray()
                                             : "programador: " + path.toUtf8() + ": 1 fila no se pudo escribir; es esta:\n"
                                                   + row("/dev/ttyUSB0", "", "b.bin").csv());
    }
};

void TestRecord::database_data()
{
    QTest::addColumn<Flow>("flow");
    const QString away = "DB: el servidor no responde; las filas esperan en SPOOL";
    const QString back = "DB: las filas llegan de nuevo al servidor";
    const QString waits = "DB: 1 fila espera en SPOOL; las enviar\u00e1 el pr\u00f3ximo programa que se inicie con este destino";
    // Every column with its type; the rows of two devices whole, the image's SHA-256 among them.
    QTest::newRow("two devices") << Flow{"a b", "postgres", "ab"};
    // Loads go on while the server is away, their rows wait on this PC, and arrive once, in order.
    QTest::newRow("the server away for a while") << Flow{"a stop b c start d", "postgres", "abcd", {away, back}};
    // What one program could not send, the next one sends; a row sent twice goes in once.
    QTest::newRow("the next program sends them") << Flow{"stop a b next start", "postgres", "ab",
        {away, "DB: 2 filas esperan en SPOOL; las enviar\u00e1 el pr\u00f3ximo programa que se inicie con este destino", away, back}};
    QTest::newRow("a row sent twice") << Flow{"a a2 b", "postgres", "ab"};
    // The same server and database written otherwise keeps its spool: the socket folder
    // percent-encoded, the scheme in capitals, a parameter added.
    QTest::newRow("a destination written otherwise") << Flow{"stop a next:RESPELLED start", "postgres", "a", {away, waits, away, back}};
    // Of several servers, the rows go to the one that answers.
    QTest::newRow("two servers, the first stopped") << Flow{.steps = "a", .arrived = "a", .uri = "TWO"};
    // What a crash left is cleared away; a file that is no row is set aside and said.
    QTest::newRow("a crash's leftovers") << Flow{.steps = "stop a end litter begin start", .arrived = "a",
        .said = {away, waits, away, back, "SPOOL/roto.fila: no es una fila que el programa pueda leer; queda aparte en SPOOL/rechazadas"},
        .aside = "roto"};
    // No row waits unseen: rows for another destination are said when the program starts.
    QTest::newRow("rows of another destination") << Flow{.steps = "stop a next:OTHER start", .said = {away, waits,
        "SPOOL: 1 fila espera aqu\u00ed para DB, que no es el destino de este programa; las env\u00eda el pr\u00f3ximo programa que tenga ese destino"},
        .left = "a"};
    // A spool that cannot be written: the rows go to the server straight away.
    QTest::newRow("a spool that cannot be written") << Flow{.steps = "a b", .arrived = "ab",
        .said = {"SPOOL: una parte de la ruta no es una carpeta (...); las filas van directo al servidor y quedan en la memoria hasta que llegan"},
        .spoolBlocked = true};
    // The least a bench needs: INSERT on the table, once it is there; without it, the refusal is
    // said as such, with what to do, and the rows wait for the grant.
    QTest::newRow("a role that may only insert") << Flow{"a", "banco", "a"};
    // A table of an earlier version gets the trace's columns when the bench's role owns it; a
    // role that may only insert has its rows go in without them, said once, none refused.
    QTest::newRow("an earlier table, its owner") << Flow{.steps = "a b", .arrived = "ab", .oldTable = true};
    QTest::newRow("an earlier table, a role that may only insert") << Flow{.steps = "a b", .role = "banco", .arrived = "ab",
        .said = {QString::fromUtf8("DB: la tabla cargas no tiene las columnas serie, orden, operador y causa y el rol no puede "
                                   "agregarlas; las filas van sin ellas; el dueño de la tabla puede agregarlas con el ALTER TABLE "
                                   "del README")},
        .oldTable = true};
    QTest::newRow("a role that may not insert") << Flow{"a grant next", "lector", "a",
        {"DB: el rol no tiene permiso para agregar filas a la tabla cargas (...); el due\u00f1o de la tabla puede darlo: GRANT INSERT ON "
         "cargas TO lector; las filas esperan en SPOOL; se vuelve a intentar cada 30 segundos", waits}};
    // A row the server refuses for itself is set aside, with its words; the rows behind it flow.
    QTest::newRow("a row a constraint refuses") << Flow{.steps = "check a b c", .arrived = "ac",
        .said = {"DB: el servidor rechaza esta fila (...); queda aparte en SPOOL/rechazadas, con lo que dijo el servidor; las filas siguientes se env\u00edan"},
        .aside = "b"};
    QTest::newRow("a role the server refuses") << Flow{"a", "nadie", {}, {},
        "DB: el servidor no deja entrar a este rol (...); revise el rol nadie y las reglas de acceso del servidor (...)"};
    QTest::newRow("a password in the URI") << Flow{"a", {}, {}, {}, "postgresql://banco:***@/db: la contrase\u00f1a no va en la orden; "
                                                   "p\u00f3ngala en ~/.pgpass o en PGPASSWORD", "postgresql://banco:secreto@/db"};
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
    if (flow.spoolBlocked)
        QVERIFY(QFile(state.filePath("programador")).open(QIODevice::WriteOnly));
    std::optional<testing::PostgresServer> first;   // "TWO": stopped, before this server
    if (flow.uri == "TWO") {
        first.emplace();
        QVERIFY(first->ready() && first->stop());
    }
    const QString own = server_.uri(name, flow.role);
    const auto uriOf = [&](const QString& named) {
        if (named == "TWO")
            return QStringLiteral("postgresql://postgres@/%1?host=%2,%3").arg(name, first->socketFolder(), server_.socketFolder());
        if (named == "RESPELLED")
            return QStringLiteral("POSTGRESQL://postgres@%1/%2?sslmode=disable")
                .arg(QString::fromLatin1(QUrl::toPercentEncoding(server_.socketFolder() + "/")), name);
        if (named == "OTHER")
            return server_.uri("postgres");
        return named.isEmpty() ? own : named;
    };
    QString uri = uriOf(flow.uri);
    if (flow.oldTable) {
        QVERIFY(server_.run(kEarlierTable, name).isEmpty());
        QVERIFY(flow.role != "banco" || server_.run("GRANT INSERT ON cargas TO banco", name).isEmpty());
    } else if (flow.role == "banco" || flow.role == "lector" || flow.steps.startsWith("check")) {   // the table made by its owner
        QString why;
        QVERIFY(Record::open(server_.uri(name), {}, why));
        QVERIFY(flow.role != "banco" || server_.run("GRANT INSERT ON cargas TO banco", name).isEmpty());
    }

    QStringList said;
    QString why;
    std::unique_ptr<Record> record = Record::open(uri, "banco-3", why);
    const auto normal = [&](QString line) {
        return line.replace(uri, flow.uri.isEmpty() || flow.uri == "RESPELLED" ? "DB" : "URI").replace(own, "DB")
            .replace(QRegularExpression(" \\(.*?\\)(;|$)"), " (...)\\1")
            // An outage's words are what the lost connection left, which depends on the moment the
            // server went (its FATAL read, a closed socket, or no handle at all): not compared.
            .replace(QRegularExpression("no responde \\(\\.\\.\\.\\);"), "no responde;")
            .replace(QRegularExpression("/\\S*/programador/pendientes/[0-9a-f]{16}"), "SPOOL");
    };
    QVERIFY2(flow.role != "nadie" || why.contains("role \"nadie\" does not exist"), qPrintable(why));   // the server's own words
    QVERIFY(!why.contains("secreto"));
    QCOMPARE(normal(why), flow.why);
    if (!record)
        return;
    const auto listen = [&] { record->said = [&](const RecordNews& news) { said << normal(news.line()); }; };
    listen();
    QStringList rows;   // as the table should have them, by name
    QMap<QString, LoadRow> loads;
    const bool traced = !flow.oldTable || flow.role != "banco";   // the table has the trace's columns
    for (const QString& step : flow.steps.split(' ')) {
        if (step == "stop" || step == "start") {
            // What came before has arrived: a stop that met the sender connecting would first be
            // "no atiende por ahora" (the server shutting down), then "no responde".
            if (step == "stop" && !rows.isEmpty())
                QTRY_COMPARE_WITH_TIMEOUT(server_.run("SELECT count(*) FROM cargas", name).value(0), QString::number(rows.size()), 20000);
            QVERIFY(step == "stop" ? server_.stop() : server_.start());
        } else if (step.startsWith("next") || step == "end" || step == "begin") {
            if (step != "begin")
                record->finish(), record.reset();
            if (step.contains(':'))
                uri = uriOf(step.section(':', 1));
            if (step != "end") {
                record = Record::open(uri, "banco-3", why);
                QVERIFY2(record, qPrintable(why));
                listen();
            }
        } else if (step == "grant" || step == "check") {
            if (step == "grant")   // once the refusal is said
                QTRY_VERIFY_WITH_TIMEOUT(!said.isEmpty(), 20000);
            QVERIFY(server_.run(step == "grant" ? "GRANT INSERT ON cargas TO lector"
                                                : "ALTER TABLE cargas ADD CONSTRAINT sin_b CHECK (imagen <> 'b.bin')", name).isEmpty());
        } else if (step == "litter") {   // a row's file never renamed, two minutes old, and a file that is no row
            const QStringList folders = QDir(state.filePath("programador/pendientes")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            QCOMPARE(folders.size(), 1);
            const QString folder = state.filePath("programador/pendientes/" + folders[0]);
            QVERIFY(QFile(folder + "/.20261209T000000000Z-x").open(QIODevice::WriteOnly));
            const timespec old[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(folder + "/.20261209T000000000Z-x"), old, 0) == 0);
            QVERIFY(testing::writeFile(folder + "/roto.fila", "{"));
        } else {
            // Handled at once, whether the server is there or not.
            bool handled = false;
            const QString named = step.left(1);
            LoadRow load = row(named == "a" ? "/dev/ttyUSB0" : "/dev/serial/by-id/usb-" + named.toLatin1(), "A5", named.toLatin1() + ".bin",
                               named == "a" ? 3 : 0);
            load.start = load.start.addSecs(rows.size());
            load.blocksSent = int(rows.size());
            std::tie(load.serial, load.order, load.operatorName, load.cause) =
                std::tuple("S-" + named, QStringLiteral("OT-7"), QString::fromUtf8("Ana Pérez"), named == "b" ? QStringLiteral("el equipo no se anunció") : QString());
            if (step.endsWith('2'))
                load = loads[named];
            record->append(load, nullptr, [&handled] { handled = true; });
            QTRY_VERIFY_WITH_TIMEOUT(handled, 2000);
            loads[named] = load;
            if (!step.endsWith('2'))
                rows << QStringList{load.id.toString(QUuid::WithoutBraces), "2026-12-09 09:39:" + QString::number(49 + rows.size()) + "+00",
                                    "banco-3", "5.0", named == "a" ? "COM3" : "", printableName(load.device), "A5", named + ".bin", "1000",
                                    "ab12", QString::number(rows.size()), "8", "Programa listo", "0", "9.5"}.join('|')
                    + (traced ? "|S-" + named + QString::fromUtf8("|OT-7|Ana Pérez|") + load.cause : QString());
        }
    }
    QString columns = "id, inicio, estacion, version, puerto, dispositivo, serie_adaptador, imagen, bytes, sha256, "
                      "bloques_enviados, bloques_total, resultado, estado, segundos";
    if (traced)
        columns += ", serie, orden, operador, causa";
    QTRY_COMPARE_WITH_TIMEOUT(server_.run("SELECT count(*) FROM cargas", name).value(0), QString::number(flow.arrived.size()), 20000);
    QStringList expected;
    for (const QChar step : flow.arrived)
        expected << rows.filter(QRegularExpression("\\|" + QString(step) + "\\.bin\\|")).value(0);
    QCOMPARE(server_.run("SET TIME ZONE 'UTC'; SELECT " + columns + " FROM cargas ORDER BY recibido", name), expected);
    QCOMPARE(server_.run("SELECT string_agg(column_name || ' ' || data_type, ', ' ORDER BY ordinal_position) FROM "
                         "information_schema.columns WHERE table_name = 'cargas'", name).value(0),
             "id uuid, inicio timestamp with time zone, estacion text, version text, puerto text, dispositivo text, "
             "serie_adaptador text, imagen text, bytes bigint, sha256 text, bloques_enviados integer, bloques_total integer, "
             "resultado text, estado integer, segundos numeric, recibido timestamp with time zone"
                 + QString(traced ? ", serie text, orden text, operador text, causa text" : ""));
    record->finish();
    QVERIFY2(said == flow.said, qPrintable(said.join('\n')));
    // What the spools hold at the end: rows left, rows set aside (each with the server's words
    // beside it), and nothing else but the destination's name.
    QString left, aside;
    QStringList other;
    for (QDirIterator file(state.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); file.hasNext();) {
        const QString path = file.next();
        QString* named = path.endsWith(".fila") ? path.contains("/rechazadas/") ? &aside : &left : nullptr;
        if (named) {
            const QString image = QString::fromUtf8(testing::fileBytes(path)).section("\"imagen\":\"", 1).section(".bin", 0, 0);
            *named += image.isEmpty() ? QFileInfo(path).baseName() : image;
            QVERIFY(!path.contains("/rechazadas/") || QFile::exists(path.chopped(5) + ".motivo"));
        } else if (!path.endsWith("/destino") && !path.endsWith(".motivo") && !(flow.spoolBlocked && path == state.filePath("programador"))) {
            other << path;
        }
    }
    QCOMPARE(left, flow.left);
    QCOMPARE(aside, flow.aside);
    QCOMPARE(other, QStringList());
}

// The factory's SQL file, as the README shows it, on a table an earlier version made (run twice, as
// after an upgrade), then the views' figures on loads of known outcome.
void TestRecord::qualityViews()
{
    QVERIFY(server_.ready() && server_.start());
    const QString name = QStringLiteral("calidad%1").arg(++databases_);
    QVERIFY(server_.run("CREATE DATABASE " + name).isEmpty());
    const QString sql = QString::fromUtf8(testing::fileBytes(QStringLiteral(FABRICA_SQL)));
    QVERIFY(!sql.isEmpty());
    QVERIFY(server_.run(kEarlierTable, name).isEmpty());
    QCOMPARE(server_.run(sql, name), QStringList());
    QCOMPARE(server_.run(sql, name), QStringList());
    // Each load: day and hour, station, port, serial, image, result, cause. PL-1 fails, then
    // passes; PL-2 is interrupted, then passes at its first try; PL-5 stops at block 3; a load
    // without a serial and an earlier version's row (no cause) count among the failures alone.
    const QStringList loads{
        "01 08|A|COM1|PL-1|fw|Error de comunicacion|el equipo no se anunció",
        "01 09|A|COM1|PL-1|fw|Programa listo|",
        "01 08|A|COM2|PL-2|fw|Interrumpido|detenida por el operador",
        "01 08|A|COM2|PL-2|fw|Programa listo|",
        "01 10|A|COM3|PL-3|fw|Programa listo|",
        "01 10|A|COM3|PL-6|nuevo|Programa listo|",
        "01 11|B|COM1|PL-4|fw|Programa listo|",
        "02 07|B|COM1|PL-5|fw|Error de comunicacion|el equipo dejó de responder en el bloque 3 de 8",
        "01 12|A|COM1||fw|Error en puerto serie|el dispositivo se desconectó",
        "01 13|A|COM1||fw|Error de comunicacion|",
    };
    QStringList values;
    for (int i = 0; i < loads.size(); ++i) {
        const QStringList f = loads[i].split('|');
        // Two loads of PL-2 at the same hour: the interrupted one started first.
        const QString at = QStringLiteral("2026-12-%1:%2:00+00").arg(f[0]).arg(i, 2, 10, QLatin1Char('0'));
        const QString literal = [](const QString& text) { return text.isEmpty() ? QStringLiteral("NULL") : "'" + text + "'"; }(f[3]);
        values << QStringLiteral("(gen_random_uuid(), '%1', '%2', '5.0', '%3', '/dev/ttyUSB0', '%4.bin', 1024, '%5', 0, 8, '%6', 0, 1.0, %7, %8)")
                      .arg(at, f[1], f[2], f[4], f[4] == "fw" ? "aa" : "bb", f[5], literal, f[6].isEmpty() ? "NULL" : "'" + f[6] + "'");
    }
    QVERIFY(server_.run("INSERT INTO cargas (id, inicio, estacion, version, puerto, dispositivo, imagen, bytes, sha256, bloques_enviados, "
                        "bloques_total, resultado, estado, segundos, serie, causa) VALUES " + values.join(", "), name).isEmpty());
    const auto view = [&](const QString& select) { return server_.run("SET TIME ZONE 'UTC'; SET ROLE calidad; " + select, name); };
    // First-pass yield on the 1st at A with fw.bin: PL-1 failed first, PL-2 and PL-3 passed: 2 of 3.
    QCOMPARE(view("SELECT dia, estacion, imagen, placas, a_la_primera, rendimiento FROM primera_pasada ORDER BY 1, 2, 3"),
             (QStringList{"2026-12-01|A|fw.bin|3|2|66.7", "2026-12-01|A|nuevo.bin|1|1|100.0", "2026-12-01|B|fw.bin|1|1|100.0",
                          "2026-12-02|B|fw.bin|1|0|0.0"}));
    QCOMPARE(view("SELECT serie, cargas, listas, intentos FROM placas_repetidas ORDER BY serie"),
             (QStringList{QString::fromUtf8("PL-1|2|1|Error de comunicacion (el equipo no se anunció) → Programa listo"),
                          QString::fromUtf8("PL-2|2|1|Interrumpido (detenida por el operador) → Programa listo")}));
    QCOMPARE(view("SELECT estacion, puerto, causa, fallas, interrumpidas FROM fallas_por_causa ORDER BY estacion, puerto, causa COLLATE \"C\""),
             (QStringList{"A|COM1|Error de comunicacion|1|0", QString::fromUtf8("A|COM1|el dispositivo se desconectó|1|0"),
                          QString::fromUtf8("A|COM1|el equipo no se anunció|1|0"), "A|COM2|detenida por el operador|0|1",
                          QString::fromUtf8("B|COM1|el equipo dejó de responder en el bloque 3 de 8|1|0")}));
    QCOMPARE(view("SELECT inicio, estacion, puerto, resultado FROM historia_placa WHERE serie = 'PL-1' ORDER BY inicio"),
             (QStringList{"2026-12-01 08:00:00+00|A|COM1|Error de comunicacion", "2026-12-01 09:01:00+00|A|COM1|Programa listo"}));
}

QTEST_GUILESS_MAIN(TestRecord)
#include "test_record.moc"
