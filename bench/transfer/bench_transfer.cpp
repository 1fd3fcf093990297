// Sends a 249984-byte image through the transfer core over a real pseudo-terminal to the
// device harness, which plays the start-up and relays the transfer to lrzsz rx (checksum
// mode); then the same image with lrzsz sx through another harness to another rx; then
// measures the CPU the loader uses while it waits for a device that never answers, and when
// a device hangs up during the pause before the loader's answer.
// Prints figures; asserts nothing.
//
//   build/bench/bench_transfer [--quick]     (--quick skips the 20-second idle wait)
#include "cooperative_wait.h"
#include "device_harness.h"
#include "event_loop_yield.h"
#include "firmware_image.h"
#include "handshake.h"
#include "qserial_port_line.h"
#include "recording_messages.h"
#include "tick_timers.h"
#include "transfer_view.h"
#include "xmodem_sender.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

using namespace programador;
using namespace programador::testing;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds(const rusage& r)
{
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec)
        + static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// The loader's CPU: it runs on this thread; the device harness has a thread of its own.
double loaderCpu()
{
    rusage r{};
    getrusage(RUSAGE_THREAD, &r);
    return cpuSeconds(r);
}

double since(Clock::time_point t0, Clock::time_point t1)
{
    return std::chrono::duration<double>(t1 - t0).count();
}

// The line, timing when an answer is first seen waiting and when a block has been written.
class TimedLine : public SerialLine {
public:
    explicit TimedLine(SerialLine& inner) : inner_(inner) {}
    void setPortNumber(std::int16_t p) override { inner_.setPortNumber(p); }
    void setSettings(const QString& s) override { inner_.setSettings(s); }
    void setInputLength(std::int16_t n) override { inner_.setInputLength(n); }
    void open() override { inner_.open(); }
    void close() override { inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }
    void checkAlive() override { inner_.checkAlive(); }
    QString name() const override { return inner_.name(); }
    qsizetype writeSome(const QByteArray& bytes) override
    {
        const qsizetype written = inner_.writeSome(bytes);
        if (bytes.size() == 132) {
            const auto now = Clock::now();
            if (answerSeen_)
                latencies.push_back(since(*answerSeen_, now));
            answerSeen_.reset();
        }
        return written;
    }
    int bytesWaiting() override
    {
        const int n = inner_.bytesWaiting();
        if (n > 0 && !answerSeen_)
            answerSeen_ = Clock::now();
        return n;
    }
    QByteArray read() override { return inner_.read(); }
    // Forgets what was seen so far: the handshake and the NAK are not ACKs.
    void startTiming() { answerSeen_.reset(); }
    std::vector<double> latencies;

private:
    SerialLine& inner_;
    std::optional<Clock::time_point> answerSeen_;
};

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

// A harness device on COM1 and the loader's line opened on it, with the waits the window uses;
// the line's own destructor lets the port go.
struct OpenedLine {
    OpenedLine() { qputenv("PROGRAMADOR_COM1", QFile::encodeName(device.path())); line.open(); }
    DeviceHarness device;
    QSerialPortLine line{PortAssignment::fromVariable};
    TickCounters ticks;
    TickTimers timers{ticks};
    EventLoopYield events;
    CooperativeWait wait{ticks, events, line};
    QuietView view;
};

struct SxResult {
    double wall = 0;
    double cpu = 0;
    int status = -1;
};

// lrzsz sx on the loader's end of a harness, rx behind it. sx knows no start-up: the
// device is switched on without one, and the shell that becomes sx sends the "*".
SxResult runSx(const QString& image, QByteArray& received)
{
    DeviceHarness device;
    SxResult out;
    if (!device.ready())
        return out;
    const QByteArray port = QFile::encodeName(device.path());
    const QByteArray sxCmd = "exec < '" + port + "' > '" + port + "' 2>/dev/null; printf '*'; exec sx -b -q '"
        + QFile::encodeName(image) + "'";
    pid_t sx = -1;
    const char* argv[] = {"/bin/sh", "-c", sxCmd.constData(), nullptr};
    device.switchOn(QByteArray());
    const auto t0 = Clock::now();
    if (posix_spawn(&sx, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return out;
    int status = 0;
    rusage usage{};
    wait4(sx, &status, 0, &usage);
    out.wall = since(t0, Clock::now());
    out.cpu = cpuSeconds(usage);
    out.status = status;
    if (device.finished())
        received = device.received();
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains("--quick");
    QTemporaryDir dir;

    auto image = std::make_unique<FirmwareImage>();
    QRandomGenerator random(1953);
    for (int i = 0; i < FirmwareImage::kMaxSendable; ++i)
        image->buffer[static_cast<size_t>(i)] = static_cast<std::uint8_t>(random.bounded(256));
    image->largo_archivo = FirmwareImage::kMaxSendable;
    const QString imagePath = dir.filePath("image.bin");
    {
        QFile f(imagePath);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char*>(image->buffer.data()), FirmwareImage::kMaxSendable);
    }

    // The loader's run: handshake, NAK, 1953 blocks, EOT.
    double ourWall = 0;
    double ourCpu = 0;
    std::vector<double> latencies;
    bool intact = false;
    {
        DeviceHarness device;
        qputenv("PROGRAMADOR_COM1", QFile::encodeName(device.path()));
        QSerialPortLine real(PortAssignment::fromVariable);
        TimedLine line(real);
        line.setPortNumber(1);
        line.setSettings("9600,N,8,1");
        line.setInputLength(1);
        line.open();
        device.switchOn();
        TickCounters ticks;
        TickTimers timers(ticks);
        EventLoopYield events;
        CooperativeWait wait(ticks, events, line);
        QuietView view;
        XmodemSender sender(wait, *image, view);
        if (espera_ath0(wait, view) != 0 || sender.espera_nak() != 0) {
            std::fprintf(stderr, "bench_transfer: no handshake or no NAK from rx\n");
            return 1;
        }
        const auto t0 = Clock::now();
        const double cpu0 = loaderCpu();
        wait.ret3();
        line.startTiming();
        sender.bloque = 1;
        sender.nro_bloque = 1;
        sender.indice = 0;
        std::int16_t result;
        while ((result = sender.envia_paquete()) == 0) {
            ++sender.bloque;
            sender.nro_bloque = static_cast<std::uint8_t>(sender.nro_bloque + 1);
        }
        wait.write(QByteArray(1, '\x04'));
        ourWall = since(t0, Clock::now());
        ourCpu = loaderCpu() - cpu0;
        line.close();
        latencies = line.latencies;
        if (result != 1)
            std::fprintf(stderr, "bench_transfer: block %d was not acknowledged\n", sender.bloque);
        intact = result == 1 && device.finished()
            && device.received() == QByteArray(reinterpret_cast<const char*>(image->buffer.data()), FirmwareImage::kMaxSendable);
    }

    QByteArray sxReceived;
    const SxResult sx = runSx(imagePath, sxReceived);

    std::printf("image: %d bytes, 1953 blocks, received intact by rx: %s\n", FirmwareImage::kMaxSendable,
                intact ? "yes" : "NO");
    std::printf("programador: first NAK to EOT %.3f s wall (incl. the 100-200 ms pause before block 1), "
                "%.3f s CPU of its thread (user+sys)\n", ourWall, ourCpu);
    std::printf("ACK seen -> next block written: median %.1f us, p99 %.1f us, max %.1f us (%zu blocks)\n",
                percentile(latencies, 0.5) * 1e6, percentile(latencies, 0.99) * 1e6,
                percentile(latencies, 1.0) * 1e6, latencies.size());
    std::printf("lrzsz sx:    start to exit   %.3f s wall, %.3f s CPU (user+sys), exit status %d, received intact: %s\n",
                sx.wall, sx.cpu, WIFEXITED(sx.status) ? WEXITSTATUS(sx.status) : -1,
                sxReceived == QByteArray(reinterpret_cast<const char*>(image->buffer.data()), FirmwareImage::kMaxSendable) ? "yes" : "NO");
    if (sx.wall > 0)
        std::printf("ratio programador/sx: wall %.2f, CPU %.2f\n", ourWall / sx.wall,
                    sx.cpu > 0 ? ourCpu / sx.cpu : 0.0);

    if (!quick) {
        // A device that never answers: the handshake's full 20-tick wait.
        OpenedLine rig;   // the device never switched on
        const auto t0 = Clock::now();
        const double cpu0 = loaderCpu();
        const std::int16_t result = espera_ath0(rig.wait, rig.view);
        const double wall = since(t0, Clock::now());
        const double cpu = loaderCpu() - cpu0;
        std::printf("idle wait for the device: result %d after %.2f s wall, %.4f s CPU = %.3f %% of one core\n",
                    result, wall, cpu, 100.0 * cpu / wall);
    }

    {
        // A device that hangs up right after its start-up, while the loader pauses before its
        // answer: the pause sees it, without spinning on the hung-up line.
        OpenedLine rig;
        rig.device.switchOn();
        while (rig.line.bytesWaiting() < 4)
            rig.events.yield(false);
        rig.device.pullCable();
        const auto t0 = Clock::now();
        const double cpu0 = loaderCpu();
        QString ended = QStringLiteral("the answer was sent");
        try {
            espera_ath0(rig.wait, rig.view);
        } catch (const SerialError& failure) {
            ended = failure.reason;
        }
        const double wall = since(t0, Clock::now());
        std::printf("device gone after its start-up: %s, after %.3f s wall, %.4f s CPU of the loader's thread\n",
                    qPrintable(ended), wall, loaderCpu() - cpu0);
    }
    return intact ? 0 : 1;
}
