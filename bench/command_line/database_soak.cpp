// Two devices board after board with the record in a PostgreSQL table, and the server stopped
// for the middle third of the boards: whether every load's row reaches the table, once and in
// the order of the loads' start, and leaves the spool.
#include "child.h"
#include "device_harness.h"
#include "runs.h"
#include "postgres_server.h"

#include <QFile>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace programador::bench {

using testing::DeviceHarness;
using testing::PostgresServer;

namespace {

constexpr int kDevices = 2;

// One device of the soak and how far its boards are.
struct Board {
    std::unique_ptr<DeviceHarness> harness;
    QByteArray path;
    QByteArray cue;              // the program waits for this device's next board
    int switched = 0;            // boards switched on
    int loaded = 0;              // boards after which the program waited again
    int intact = 0;              // of them, received byte for byte
    bool waiting = false;        // the program waits; rx may still be ending
    bool done = false;           // every board loaded
    Clock::time_point since;     // when the program began to wait
};

// A query's one row, or what psql said instead.
QString one(const PostgresServer& server, const QString& sql, const QString& database)
{
    return server.run(sql, database).join(QStringLiteral("; "));
}

} // namespace

bool runDatabaseSoak(const Options& options, const QTemporaryDir& dir)
{
    const int boards = options.databaseBoards;
    const int stopAt = boards / 3 + 1;                         // switched on with the server stopped
    const int startAt = std::clamp(2 * boards / 3, stopAt, boards);   // loaded on both: started again
    PostgresServer server;
    const QString database = QStringLiteral("registro_soak");
    if (!server.ready() || !server.run(QStringLiteral("CREATE DATABASE ") + database).isEmpty()) {
        std::printf("\ndatabase: no PostgreSQL server of this program's own could be started\n");
        return false;
    }
    const QByteArray image = randomImage(options.soakBytes, 5432);
    const QString imagePath = dir.filePath("soak-database.bin");
    if (!writeFile(imagePath, image))
        return false;
    const QByteArray expected = padded(image);
    const int spoolBefore = spoolFiles();

    Board devices[kDevices];
    std::vector<std::string> args{PROGRAMADOR_EXECUTABLE, "--repeat", "--log", server.uri(database).toStdString()};
    for (Board& d : devices) {
        d.harness = std::make_unique<DeviceHarness>();
        if (!d.harness->ready())
            return false;
        d.path = QFile::encodeName(d.harness->path());
        d.cue = '\n' + d.path + ": Alimente el equipo\n";   // its own line: /dev/pts/1 is also the start of /dev/pts/12
        args.insert(args.end(), {"--device", d.path.toStdString()});
    }
    args.push_back(QFile::encodeName(imagePath).toStdString());
    Child child;
    child.show = options.showOutput;
    if (!child.start(args, true))
        return false;

    bool stopped = false, restarted = false, gone = false;
    Clock::time_point stoppedAt, restartedAt, lastProgress = Clock::now(), endedAt;
    std::optional<double> drained;   // from the restart until the spool held only what it held before
    int spoolPeak = 0, status = 0;
    QString firstBad;
    rusage usage{};
    for (;;) {
        child.hear(20);
        const QByteArray said = '\n' + child.said;
        for (Board& d : devices) {
            if (d.done)
                continue;
            if (!d.waiting && said.count(d.cue) > d.switched) {
                d.waiting = true;
                d.since = Clock::now();
            }
            if (!d.waiting)
                continue;
            // The board before is loaded, and its row in the spool, when the program waits
            // again; rx ends about a second after the EOT.
            if (d.switched > 0) {
                const bool whole = d.harness->finished(0) && d.harness->received() == expected;
                if (!whole && Clock::now() - d.since < std::chrono::seconds(10))
                    continue;
                ++d.loaded;
                d.intact += whole;
                if (!whole && firstBad.isEmpty())
                    firstBad = QStringLiteral("%1 board %2: %3 bytes received")
                                   .arg(QString::fromLocal8Bit(d.path))
                                   .arg(d.switched)
                                   .arg(d.harness->received().size());
            }
            d.waiting = false;
            if (d.switched == boards) {
                d.done = true;
                continue;
            }
            if (d.switched + 1 == stopAt && !stopped) {
                stopped = server.stop();
                stoppedAt = Clock::now();
            }
            if (d.switched > 0)
                d.harness->nextBoard();
            d.harness->switchOn();
            ++d.switched;
            lastProgress = Clock::now();
        }
        if (stopped && !restarted
            && std::all_of(std::begin(devices), std::end(devices), [&](const Board& d) { return d.loaded >= startAt; })) {
            restarted = server.start();
            restartedAt = Clock::now();
        }
        if (stopped && !drained) {
            const int spooled = spoolFiles() - spoolBefore;
            spoolPeak = std::max(spoolPeak, spooled);
            if (restarted && !drained && spooled <= 0)
                drained = seconds(Clock::now() - restartedAt);
        }
        if (std::all_of(std::begin(devices), std::end(devices), [](const Board& d) { return d.done; }))
            break;
        if ((gone = child.ended(status, usage, endedAt)))
            break;
        if (Clock::now() - lastProgress > std::chrono::seconds(60)) {
            std::printf("\ndatabase: no progress in 60 s\n");
            break;
        }
    }
    const double wall = seconds(Clock::now() - child.started);
    child.interrupt(gone, status, usage, endedAt);
    if (stopped && !restarted)
        restarted = server.start();

    const QStringList rows =
        one(server, QStringLiteral("SELECT count(*), count(DISTINCT id) FROM cargas"), database).split(QLatin1Char('|'));
    const QString twice = one(server, QStringLiteral("SELECT count(*) FROM (SELECT id FROM cargas GROUP BY id HAVING count(*) > 1) AS t"),
                              database);
    const QString listo = one(server, QStringLiteral("SELECT count(*) FROM cargas WHERE resultado = 'Programa listo'"), database);
    const QString inOrder = one(server,
                                QStringLiteral("SELECT string_agg(inicio::text, ',' ORDER BY recibido)"
                                               " = string_agg(inicio::text, ',' ORDER BY inicio) FROM cargas"),
                                database);
    const QString eachInOrder = one(server,
                                    QStringLiteral("SELECT dispositivo || CASE WHEN string_agg(inicio::text, ',' ORDER BY recibido)"
                                                   " = string_agg(inicio::text, ',' ORDER BY inicio) THEN ' yes' ELSE ' NO' END"
                                                   " FROM cargas GROUP BY dispositivo ORDER BY dispositivo"),
                                    database);
    // Rows that came after the row of a load that started later.
    const QString overtaken = one(server,
                                  QStringLiteral("SELECT count(*) FROM (SELECT inicio, max(inicio) OVER (ORDER BY recibido"
                                                 " ROWS BETWEEN UNBOUNDED PRECEDING AND 1 PRECEDING) AS later FROM cargas) AS t"
                                                 " WHERE inicio < later"),
                                  database);
    const int spoolLeft = spoolFiles() - spoolBefore;

    const int loads = kDevices * boards;
    int intact = 0;
    std::printf("\ndatabase: --repeat --log to a PostgreSQL table, %d devices of the device harness (unpaced, lrzsz rx), "
                "%d boards of %lld bytes each; the server stopped as board %d was switched on, started again once board %d "
                "was loaded on both\n",
                kDevices, boards, static_cast<long long>(image.size()), stopAt, startAt);
    std::printf("  loads:");
    for (const Board& d : devices) {
        intact += d.intact;
        std::printf(" %s %d boards switched on, %d received byte for byte;", d.path.constData(), d.switched, d.intact);
    }
    std::printf(" %d in all%s%s\n", devices[0].switched + devices[1].switched, firstBad.isEmpty() ? "" : "; first not: ",
                qPrintable(firstBad));
    std::printf("  server stopped %.1f s; the spool held at most %d row(s) meanwhile; it was empty %s after the server started again\n",
                stopped ? seconds((restarted ? restartedAt : Clock::now()) - stoppedAt) : 0.0, spoolPeak,
                drained ? qPrintable(QStringLiteral("%1 s").arg(*drained, 0, 'f', 2)) : "only after SIGINT, or never,");
    std::printf("  table cargas: %s rows, %s distinct ids, %s of them \"Programa listo\"; ids there twice: %s\n",
                qPrintable(rows.value(0)), qPrintable(rows.value(1, QStringLiteral("?"))), qPrintable(listo), qPrintable(twice));
    std::printf("  rows arrived in the order of their loads' start: %s (%s row(s) came after that of a load started later); "
                "each device's: %s\n",
                inOrder == QLatin1String("t") ? "yes" : inOrder == QLatin1String("f") ? "NO" : qPrintable(inOrder),
                qPrintable(overtaken), qPrintable(eachInOrder));
    std::printf("  files left in the spool after SIGINT: %d%s\n", spoolLeft,
                spoolBefore > 0 ? qPrintable(QStringLiteral(" (and %1 there before it started)").arg(spoolBefore)) : "");
    const QStringList said = recordLines(child.said);
    std::printf("  what it said about the record (%lld line(s)):\n", static_cast<long long>(said.size()));
    for (const QString& line : said)
        std::printf("    %s\n", qPrintable(line));
    std::printf("  %.1f s wall; after SIGINT: %s, whole run %.3f s CPU, peak RSS %.1f MB; it said last: %s\n", wall,
                qPrintable(exitText(status)), cpuSeconds(usage), static_cast<double>(usage.ru_maxrss) / 1024.0,
                qPrintable(lastLines(child.said, 4)));
    std::fflush(stdout);
    return intact == loads && rows.value(0).toInt() == loads && rows.value(1).toInt() == loads;
}

} // namespace programador::bench
