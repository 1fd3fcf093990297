// The program with --repeat on devices never switched on: what waiting costs.
#include "child.h"
#include "runs.h"

#include <QFile>

#include <chrono>
#include <cstdio>
#include <optional>

#include <signal.h>
#include <sys/resource.h>

namespace programador::bench {

bool runIdle(const Options& options, int n, const QString& imagePath)
{
    std::vector<std::unique_ptr<PacedDevice>> devices;
    std::vector<std::string> args{PROGRAMADOR_EXECUTABLE, "--repeat"};
    for (int i = 0; i < n; ++i) {
        devices.push_back(std::make_unique<PacedDevice>(QByteArray(kData, '\0')));
        if (!devices.back()->ready())
            return false;
        args.insert(args.end(), {"--device", devices.back()->path()});
    }
    args.push_back(QFile::encodeName(imagePath).toStdString());
    Child child;
    child.show = options.showOutput;
    if (!child.start(args, true))
        return false;
    int status = 0;
    rusage usage{};
    Clock::time_point endedAt;
    bool gone = false;
    while (child.count("Alimente el equipo\n") < n && Clock::now() - child.started < std::chrono::seconds(30)
           && !(gone = child.ended(status, usage, endedAt)))
        child.hear(20);
    if (gone) {
        std::printf("\nidle, %d device%s: the program ended at once, %s: %s\n", n, n == 1 ? "" : "s", qPrintable(exitText(status)),
                    qPrintable(lastLines(child.said, 3)));
        return false;
    }
    const Clock::time_point ready = Clock::now();
    // A second to settle, then the watch.
    while (Clock::now() - ready < std::chrono::seconds(1))
        child.hear(100);
    const std::optional<double> cpu0 = processCpu(child.pid);
    const long sleeps0 = sleeps(child.pid);
    const Clock::time_point t0 = Clock::now();
    while (Clock::now() - t0 < std::chrono::seconds(options.idleSeconds))
        child.hear(200);
    const std::optional<double> cpu1 = processCpu(child.pid);
    const long sleeps1 = sleeps(child.pid);
    const double wall = seconds(Clock::now() - t0);
    const long threads = statusField(child.pid, "Threads");
    const long rss = statusField(child.pid, "VmRSS");
    ::kill(child.pid, SIGINT);
    while (!child.ended(status, usage, endedAt) && Clock::now() - t0 < std::chrono::seconds(options.idleSeconds + 20))
        child.hear(20);
    while (child.err >= 0)
        child.hear(100);
    for (const auto& d : devices)
        d->stop();
    const double cpu = cpu0 && cpu1 ? *cpu1 - *cpu0 : -1;
    std::printf("\nidle, --repeat on %d device%s never switched on: %.2f s watched, CPU %.4f s = %.4f %% of one core, "
                "%.0f wake-ups a second, %ld threads, VmRSS %.1f MB\n",
                n, n == 1 ? "" : "s", wall, cpu, 100.0 * cpu / wall, static_cast<double>(sleeps1 - sleeps0) / wall, threads,
                static_cast<double>(rss) / 1024.0);
    std::printf("  after SIGINT: %s; whole run %.3f s CPU; it said last: %s\n", qPrintable(exitText(status)), cpuSeconds(usage),
                qPrintable(lastLines(child.said, 2)));
    std::fflush(stdout);
    return true;
}

} // namespace programador::bench
