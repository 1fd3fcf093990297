#include "child.h"
#include "runs.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace programador::bench {

Ratios report(const std::vector<std::unique_ptr<PacedDevice>>& devices, int blocks)
{
    Ratios out;
    std::printf("  %-12s %9s %8s %8s %10s %9s %8s  %s\n", "device", "A->EOT s", "A->* s", "NAK->1 s", "limit s", "rest s",
                "ratio", "image");
    out.intact = true;
    double sum = 0;
    std::string worstName;
    for (const auto& d : devices) {
        const PacedDevice::Figures& f = d->figures();
        const bool whole = f.fault.isEmpty() && f.eotIn && f.blocks == d->expectedBlocks();
        out.intact = out.intact && whole;
        if (!(f.aSent && f.starIn && f.nakSent && f.block1Start && f.eotIn)) {
            out.each.push_back(std::numeric_limits<double>::quiet_NaN());
            std::printf("  %-12s not loaded (%d of %d blocks) %s\n", d->path().c_str(), f.blocks, d->expectedBlocks(),
                        f.fault.isEmpty() ? "" : qPrintable(f.fault));
            continue;
        }
        const double total = seconds(*f.eotIn - *f.aSent);
        const double pauseA = seconds(*f.starIn - *f.aSent);
        const double pauseNak = seconds(*f.block1Start - *f.nakSent);
        const double physical = seconds(lineTime(f.lineBytes));
        const double rest = total - pauseA - pauseNak;
        const double ratio = rest / physical;
        out.each.push_back(ratio);
        sum += ratio;
        if (ratio > out.worst) {
            out.worst = ratio;
            worstName = d->path();
        }
        std::printf("  %-12s %9.3f %8.3f %8.3f %10.3f %9.3f %8.5f  %s%s\n", d->path().c_str(), total, pauseA, pauseNak, physical,
                    rest, ratio, whole ? "received byte for byte" : "NOT RECEIVED: ", whole ? "" : qPrintable(f.fault));
        if (f.stray > 0)
            std::printf("  %-12s %lld stray byte(s) from the loader\n", d->path().c_str(), static_cast<long long>(f.stray));
    }
    out.mean = devices.empty() ? 0.0 : sum / static_cast<double>(devices.size());
    std::printf("  ratio = (A->EOT - pauses) / limit; limit = bytes on the line from the NAK to the EOT (%lld) x 10 / 9600; "
                "mean %.5f, worst %.5f (%s)\n",
                static_cast<long long>(1 + std::int64_t(blocks) * (kBlock + 1) + 1), out.mean, out.worst, worstName.c_str());
    return out;
}

Paced runPaced(const Options& options, int n, bool quiet, const QByteArray& image, const QString& imagePath,
               const std::vector<std::string>& extra, const char* what)
{
    Paced out;
    const QByteArray expected = padded(image);
    std::vector<std::unique_ptr<PacedDevice>> devices;
    std::vector<std::string> args{PROGRAMADOR_EXECUTABLE};
    for (int i = 0; i < n; ++i) {
        devices.push_back(std::make_unique<PacedDevice>(expected));
        if (!devices.back()->ready()) {
            std::printf("cannot make pseudo-terminal %d\n", i + 1);
            return out;
        }
        args.insert(args.end(), {"--device", devices.back()->path()});
    }
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(QFile::encodeName(imagePath).toStdString());

    Child child;
    child.show = options.showOutput;
    if (!child.start(args, !quiet)) {
        std::printf("cannot start %s\n", PROGRAMADOR_EXECUTABLE);
        return out;
    }
    // Every device is switched on at once once the program waits for all of them: it says so,
    // or, when what it says goes to /dev/null, it has every port open (and a moment more, for
    // the input flush that follows the open).
    const int blocks = blocksOf(image.size());
    const auto limit = std::chrono::seconds(60) + 3 * lineTime(std::int64_t(blocks) * (kBlock + 1));
    bool switched = false, killed = false;
    int status = 0;
    rusage usage{};
    Clock::time_point endedAt;
    for (;;) {
        child.hear(20);
        if (!switched) {
            bool waiting = !quiet && child.count("Alimente el equipo\n") >= n;
            if (quiet) {
                waiting = true;
                for (const auto& d : devices)
                    waiting = waiting && opensOf(child.pid, d->path()) >= 2;
                if (waiting)
                    ::usleep(200'000);
            }
            if (waiting) {
                for (const auto& d : devices)
                    d->switchOn();
                switched = true;
            }
        }
        if (child.ended(status, usage, endedAt))
            break;
        if (!killed && Clock::now() - child.started > limit) {
            killed = true;
            std::printf("the program has not ended after %.0f s: killed\n", seconds(limit));
            ::kill(child.pid, SIGKILL);
        }
    }
    while (child.err >= 0)
        child.hear(100);
    for (const auto& d : devices)
        d->stop();

    const double wall = seconds(endedAt - child.started);
    const double cpu = cpuSeconds(usage);
    out.ran = true;
    out.maxRssKb = usage.ru_maxrss;
    out.cpu = cpu;
    out.said = child.said;
    std::printf("\n%d device%s at once, standard error %s%s: %s, %.2f s wall, CPU %.3f s (user %.3f, sys %.3f) = %.3f %% of one core, "
                "peak RSS %.1f MB\n",
                n, n == 1 ? "" : "s", quiet ? "to /dev/null" : "to a pipe", what, qPrintable(exitText(status)), wall, cpu,
                static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6,
                static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6,
                100.0 * cpu / wall, static_cast<double>(usage.ru_maxrss) / 1024.0);
    out.ratios = report(devices, blocks);
    out.intact = out.ratios.intact && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!quiet)
        std::printf("  it said last: %s\n", qPrintable(lastLines(child.said, n > 1 ? 2 : 1)));
    if (!out.intact)
        std::printf("  NOT EVERY DEVICE RECEIVED THE IMAGE, or the exit status is not 0\n");
    std::fflush(stdout);
    return out;
}

// For comparison: what the line and this device take with a sender that answers at once. sx
// knows no start-up: the device is switched on first, then the shell that becomes sx sends the
// "*". sx waits for an ACK of its EOT, which the device never sends: it is killed once the EOT
// has come.
bool runSx(const QByteArray& image, const QTemporaryDir& dir)
{
    const QByteArray expected = padded(image);   // sx pads the last block with 0x1A, not 0x00
    const QString path = dir.filePath("image-padded.bin");
    if (!writeFile(path, expected))
        return false;
    std::vector<std::unique_ptr<PacedDevice>> devices;
    devices.push_back(std::make_unique<PacedDevice>(expected));
    PacedDevice& device = *devices.front();
    if (!device.ready())
        return false;
    device.switchOn();
    ::usleep(100'000);   // the start-up is on the line
    const std::string port = device.path();
    Child sx;
    if (!sx.start({"/bin/sh", "-c", "exec < '" + port + "' > '" + port + "' 2>/dev/null; printf '*'; exec sx -b -q '"
                                         + QFile::encodeName(path).toStdString() + "'"},
                  false))
        return false;
    const auto limit = std::chrono::seconds(60) + 3 * lineTime(std::int64_t(blocksOf(image.size())) * (kBlock + 1));
    while (!device.done() && Clock::now() - sx.started < limit)
        ::usleep(20'000);
    ::kill(sx.pid, SIGKILL);
    int status = 0;
    rusage usage{};
    ::wait4(sx.pid, &status, 0, &usage);
    device.stop();
    std::printf("\nlrzsz sx on one paced line, for comparison (killed after its EOT): CPU %.3f s\n", cpuSeconds(usage));
    const bool intact = report(devices, blocksOf(image.size())).intact;
    std::fflush(stdout);
    return intact;
}

} // namespace programador::bench
