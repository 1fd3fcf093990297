// Board after board on the device harness, with a record in a CSV file.
#include "child.h"
#include "device_harness.h"
#include "runs.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace programador::bench {

using testing::DeviceHarness;

bool runSoak(const Options& options, const QTemporaryDir& dir)
{
    const QByteArray image = randomImage(options.soakBytes, 200);
    const QString imagePath = dir.filePath("soak.bin");
    const QString logPath = dir.filePath("registro.csv");
    if (!writeFile(imagePath, image))
        return false;
    const QByteArray expected = padded(image);
    DeviceHarness harness;
    if (!harness.ready())
        return false;
    Child child;
    child.show = options.showOutput;
    if (!child.start({PROGRAMADOR_EXECUTABLE, "--repeat", "--log", QFile::encodeName(logPath).toStdString(), "--device",
                      QFile::encodeName(harness.path()).toStdString(), QFile::encodeName(imagePath).toStdString()},
                     true))
        return false;
    int switched = 0, intact = 0, status = 0;
    double rxTail = 0;   // rx ends about a second after the EOT; the next board waits for that
    QString firstBad;
    long rss10 = -1, hwm10 = -1, rssEnd = -1, hwmEnd = -1;
    rusage usage{};
    Clock::time_point endedAt, lastProgress = Clock::now(), tenth;
    bool gone = false;
    for (;;) {
        child.hear(20);
        if (child.count("Alimente el equipo\n") > switched) {
            // The board before is loaded, and its row written, when the program waits again.
            if (switched > 0) {
                const Clock::time_point asked = Clock::now();
                const bool whole = harness.finished(10000) && harness.received() == expected;
                rxTail += seconds(Clock::now() - asked);
                intact += whole;
                if (!whole && firstBad.isEmpty())
                    firstBad = QStringLiteral("board %1: %2 bytes received").arg(switched).arg(harness.received().size());
            }
            if (switched == std::min(10, options.boards)) {
                rss10 = statusField(child.pid, "VmRSS");
                hwm10 = statusField(child.pid, "VmHWM");
                tenth = Clock::now();
            }
            if (switched == options.boards) {
                rssEnd = statusField(child.pid, "VmRSS");
                hwmEnd = statusField(child.pid, "VmHWM");
                break;
            }
            if (switched > 0)
                harness.nextBoard();
            harness.switchOn();
            ++switched;
            lastProgress = Clock::now();
        }
        if ((gone = child.ended(status, usage, endedAt)))
            break;
        if (Clock::now() - lastProgress > std::chrono::seconds(60)) {
            std::printf("\nsoak: no progress in 60 s at board %d\n", switched);
            break;
        }
    }
    const double wall = seconds(Clock::now() - child.started);
    const double sinceTenth = seconds(Clock::now() - tenth);
    QFile log(logPath);
    const QList<QByteArray> rows = log.open(QIODevice::ReadOnly) ? log.readAll().split('\n') : QList<QByteArray>();
    int records = 0, ready = 0;
    const bool header = !rows.isEmpty() && rows.first().startsWith("inicio,");
    for (qsizetype i = header ? 1 : 0; i < rows.size(); ++i) {
        if (rows[i].isEmpty())
            continue;
        ++records;
        ready += rows[i].split(',').value(9) == "Programa listo";
    }
    const std::optional<double> cpuBefore = processCpu(child.pid);
    child.interrupt(gone, status, usage, endedAt);
    const int bytes = static_cast<int>(image.size());
    std::printf("\nsoak: --repeat --log, %d boards of %d bytes (%d blocks) on the device harness (unpaced, lrzsz rx)\n",
                options.boards, bytes, blocksOf(bytes));
    std::printf("  boards switched on %d, received byte for byte %d%s%s\n", switched, intact,
                firstBad.isEmpty() ? "" : "; first not: ", qPrintable(firstBad));
    std::printf("  record: %s + %d rows, %d of them \"Programa listo\"\n", header ? "header" : "NO HEADER", records, ready);
    std::printf("  after board %d: VmRSS %ld kB, VmHWM %ld kB; after board %d: VmRSS %ld kB, VmHWM %ld kB\n",
                std::min(10, options.boards), rss10, hwm10, options.boards, rssEnd, hwmEnd);
    std::printf("  rx ended %.3f s on average after the program waited for the next board\n", switched > 0 ? rxTail / switched : 0.0);
    std::printf("  %.1f s wall (%.2f s a board%s), CPU %.3f s (%.2f ms a board) = %.3f %% of one core\n", wall,
                switched > 10 ? sinceTenth / (switched - 10) : wall / std::max(1, switched), switched > 10 ? " after board 10" : "",
                cpuBefore.value_or(-1),
                cpuBefore ? 1000.0 * *cpuBefore / std::max(1, switched) : 0.0, cpuBefore ? 100.0 * *cpuBefore / wall : 0.0);
    std::printf("  after SIGINT: %s, whole run %.3f s CPU, peak RSS %.1f MB; it said last: %s\n", qPrintable(exitText(status)),
                cpuSeconds(usage), static_cast<double>(usage.ru_maxrss) / 1024.0, qPrintable(lastLines(child.said, 4)));
    std::fflush(stdout);
    return intact == options.boards;
}

} // namespace programador::bench
