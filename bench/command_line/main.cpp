// The command line's bench mode as a production bench runs it: the real programador as a
// child process.
//  - Paced devices: one image into 1, 4 and 16 devices at once, each a pseudo-terminal that
//    this program paces like a 9600-baud 8N1 line (960 bytes a second each way) and on whose
//    far end it plays the device: start-up "++TA", NAK after the "*", every block checked and
//    answered ACK, EOT. For each device: the time from its "A" to its EOT, the pauses the
//    loader makes on its line, the line's physical limit and the ratio of the two; for the
//    program: its CPU (wait4, its own process only) and peak RSS.
//  - Record: the 16-device load twice more, with --log to a CSV file and to a PostgreSQL
//    server of this program's own (tests/support/postgres_server.h): each device's ratio and
//    the program's CPU with no record, the CSV and the table side by side, and the rows each
//    record holds.
//  - sx: lrzsz sx on one paced line, for comparison: what a sender that answers at once gets
//    from the line and device.
//  - Idle: --repeat on devices that are never switched on, and the CPU it takes to wait.
//  - Soak: --repeat --log through many boards on the device harness (unpaced, lrzsz rx behind
//    it): every board's image, the record's rows, the memory after board 10 and at the end,
//    and the exit by SIGINT.
//  - Database: --repeat on two devices of the device harness, board after board, with the
//    record in PostgreSQL and the server stopped for the middle third of the boards: the
//    loads, the table's rows (each once, in the order of their loads' start), the spool left
//    after SIGINT and what the program said about the record.
// Prints figures; asserts nothing. Exits non-zero only when it cannot run, a device did not
// receive its image or a record lacks rows. The whole takes about twenty minutes.
//
//   build/bench/bench_command_line [--bytes N] [--devices 1,4,16] [--idle SECONDS] [--boards N]
//                                  [--soak-bytes N] [--skip paced,quiet,record,sx,idle,soak,database]
//                                  [--show-output]
//
// --bytes: the paced image (32768, 256 blocks: about 36 s a load); --devices: the paced runs;
// --idle: how long each idle run is watched (20); --boards and --soak-bytes: the soaks (200
// boards of 8192 bytes; the database soak 30 boards a device unless --boards is given); --skip:
// parts left out (quiet is the 16-device run with standard error to /dev/null, record the
// 16-device runs with a record); --show-output: the program's standard error, copied to this
// one's.
#include "child.h"
#include "runs.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include <sys/resource.h>
#include <unistd.h>

using namespace programador::bench;

namespace {

QList<int> numbers(const QString& list)
{
    QList<int> out;
    for (const QString& s : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
        out << s.toInt();
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        const QString value = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
        if (a == QLatin1String("--show-output")) {
            options.showOutput = true;
            continue;
        }
        if (value.isEmpty()) {
            std::fprintf(stderr, "bench_command_line: %s needs a value\n", argv[i]);
            return 64;
        }
        ++i;
        if (a == QLatin1String("--bytes"))
            options.bytes = value.toLongLong();
        else if (a == QLatin1String("--devices"))
            options.devices = numbers(value);
        else if (a == QLatin1String("--idle"))
            options.idleSeconds = value.toInt();
        else if (a == QLatin1String("--boards"))
            options.boards = options.databaseBoards = value.toInt();
        else if (a == QLatin1String("--soak-bytes"))
            options.soakBytes = value.toLongLong();
        else if (a == QLatin1String("--skip"))
            options.skip = value.split(QLatin1Char(','));
        else {
            std::fprintf(stderr, "bench_command_line: unknown option %s\n", argv[i - 1]);
            return 64;
        }
    }
    if (options.bytes < 1 || options.bytes > 249984 || options.soakBytes < 1 || options.soakBytes > 249984 || options.boards < 1
        || options.idleSeconds < 1) {
        std::fprintf(stderr, "bench_command_line: an image is 1 to 249984 bytes, and there is at least one board and one second\n");
        return 64;
    }

    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    // The numbering's own file and the record's spool go to the temporary folder, never the
    // user's.
    ::setenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")).constData(), 1);
    ::setenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")).constData(), 1);
    const QByteArray image = randomImage(options.bytes, 9600);
    const QString imagePath = dir.filePath("image.bin");
    if (!writeFile(imagePath, image))
        return 2;
    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    const int blocks = blocksOf(image.size());
    std::printf("%s\nload average at start %.2f %.2f %.2f; %ld cores\n", PROGRAMADOR_EXECUTABLE, load[0], load[1], load[2],
                ::sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("paced image: %lld bytes, %d blocks; a 9600-baud 8N1 line carries 960 bytes a second each way; "
                "from the NAK to the EOT %lld bytes cross it: %.3f s\n",
                static_cast<long long>(image.size()), blocks, static_cast<long long>(2 + std::int64_t(blocks) * (kBlock + 1)),
                seconds(lineTime(2 + std::int64_t(blocks) * (kBlock + 1))));
    std::fflush(stdout);

    bool ok = true;
    const rusage zero{};
    rusage self0 = zero, self1 = zero;
    ::getrusage(RUSAGE_SELF, &self0);
    std::optional<Paced> none;   // the 16-device run, for the record's comparison
    if (!options.skip.contains(QLatin1String("paced"))) {
        long single = 0, sixteen = 0;
        for (const int n : options.devices) {
            Paced p = runPaced(options, n, false, image, imagePath);
            ok = ok && p.ran && p.intact;
            if (n == 1)
                single = p.maxRssKb;
            if (n == 16) {
                sixteen = p.maxRssKb;
                none = std::move(p);
            }
        }
        if (!options.skip.contains(QLatin1String("quiet"))) {
            const Paced p = runPaced(options, 16, true, image, imagePath);
            ok = ok && p.ran && p.intact;
        }
        if (single > 0 && sixteen > 0)
            std::printf("\npeak RSS: 16 devices in one program %.1f MB; one device %.1f MB, 16 single-device runs 16 x %.1f = %.1f MB "
                        "(one program is %.1f %% of that)\n",
                        static_cast<double>(sixteen) / 1024.0, static_cast<double>(single) / 1024.0,
                        static_cast<double>(single) / 1024.0, 16.0 * static_cast<double>(single) / 1024.0,
                        100.0 * static_cast<double>(sixteen) / (16.0 * static_cast<double>(single)));
    }
    ::getrusage(RUSAGE_SELF, &self1);
    if (!options.skip.contains(QLatin1String("paced")))
        std::printf("(the paced devices themselves, in this program: %.3f s CPU)\n", cpuSeconds(self1) - cpuSeconds(self0));
    if (!options.skip.contains(QLatin1String("record")))
        ok = runRecord(options, image, imagePath, dir, none && none->ran ? &*none : nullptr) && ok;
    if (!options.skip.contains(QLatin1String("sx")))
        ok = runSx(image, dir) && ok;
    if (!options.skip.contains(QLatin1String("idle"))) {
        ok = runIdle(options, 1, imagePath) && ok;
        ok = runIdle(options, 16, imagePath) && ok;
    }
    if (!options.skip.contains(QLatin1String("soak")))
        ok = runSoak(options, dir) && ok;
    if (!options.skip.contains(QLatin1String("database")))
        ok = runDatabaseSoak(options, dir) && ok;
    return ok ? 0 : 1;
}
