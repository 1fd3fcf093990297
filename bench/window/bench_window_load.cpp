// The bench window as an operator uses it: the real main window and "Banco de carga", in this
// process, loading paced pseudo-terminal devices (9600 baud, 8N1, as the command line's
// benchmark paces them) that PROGRAMADOR_COM1.. name. "Iniciar" is pressed once every row
// waits for its board; each device is switched on then, and on its next board once it is done.
//  - Each device's ratio to its line's limit (board 1), as bench_command_line reports it.
//  - The program's CPU: this process's, less the paced devices' own threads.
//  - The longest the window's event loop was held while they loaded: a 5 ms timer in it, and
//    the longest gap between two of its ticks, less 5 ms.
// With --boards N, a soak instead: N boards over four rows, each on a device harness with rx
// behind it, the record in a CSV file (bench_window_soak.cpp).
// With --screenshots DIR (a display and a window manager: xvfb-run and openbox), the last
// device's first board stops answering after its block 3 (so it ends "Error de comunicacion"),
// every device loads a second board, and the screen is taken with ImageMagick's import while
// they load, after the first boards and after the second.
//
//   build/bench/bench_window [--bytes N] [--devices N] [--screenshots DIR] [--boards N]
#include "bench_window_soak.h"
#include "main_window.h"
#include "paced_device.h"
#include "qt_spanish.h"
#include "recording_messages.h"
#include "runs.h"
#include "event_loop_yield.h"
#include "qserial_port_line.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <sys/resource.h>

using namespace programador;
using namespace programador::bench;

namespace {

// No serial device of the machine's: the COM numbers are PROGRAMADOR_COMn's.
struct NoDevices : DeviceList {
    QList<SerialDevice> present() override { return {}; }
};

// Runs the event loop until done() holds, or the time is out: it sleeps in the loop as the
// program does, and looks again at each event and every 50 ms.
template <typename F>
bool until(F done, int seconds)
{
    QElapsedTimer clock;
    clock.start();
    QTimer look;
    look.start(50);
    while (!done()) {
        if (clock.elapsed() > seconds * 1000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void screenshot(const QString& dir, const QString& name)
{
    QCoreApplication::processEvents();
    QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), dir + QLatin1Char('/') + name});
    std::printf("  screenshot %s/%s\n", qPrintable(dir), qPrintable(name));
}

} // namespace

int main(int argc, char** argv)
{
    qsizetype bytes = 32768;
    int count = 4, boards = 0;
    bool bytesGiven = false;
    QString shots;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QString option = QString::fromLocal8Bit(argv[i]), value = QString::fromLocal8Bit(argv[i + 1]);
        if (option == QLatin1String("--bytes"))
            bytes = value.toLongLong(), bytesGiven = true;
        else if (option == QLatin1String("--devices"))
            count = value.toInt();
        else if (option == QLatin1String("--screenshots"))
            shots = value;
        else if (option == QLatin1String("--boards"))
            boards = value.toInt();
    }
    if (boards > 0 && !bytesGiven)
        bytes = 128;   // a block a board: the soak counts boards, not bytes
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installQtSpanish(app);
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
    const QByteArray image = randomImage(bytes, 9600);
    const QString imagePath = dir.filePath(QStringLiteral("fw.bin"));
    if (!writeFile(imagePath, image) || count < 1 || count > kComNumbers)
        return 64;

    std::vector<std::unique_ptr<PacedDevice>> devices;
    std::vector<std::unique_ptr<testing::DeviceHarness>> harnesses;
    const QString recordPath = dir.filePath(QStringLiteral("registro.csv"));
    if (boards > 0) {   // the soak: four harnesses, and a record
        QDir().mkpath(dir.filePath(QStringLiteral("config/programador")));
        writeFile(dir.filePath(QStringLiteral("config/programador/registro.ini")), "[registro]\ndestino=" + QFile::encodeName(recordPath) + "\n");
        for (int n = 1; n <= 4; ++n) {
            harnesses.push_back(std::make_unique<testing::DeviceHarness>());
            qputenv(QByteArray("PROGRAMADOR_COM") + QByteArray::number(n), QFile::encodeName(harnesses.back()->path()));
        }
        count = 0;
    }
    for (int n = 1; n <= count; ++n) {
        devices.push_back(std::make_unique<PacedDevice>(padded(image)));
        qputenv(QByteArray("PROGRAMADOR_COM") + QByteArray::number(n), QByteArray::fromStdString(devices.back()->path()));
    }
    if (!shots.isEmpty())
        devices.back()->silentAfter(3);

    testing::RecordingMessages messages;
    NoDevices none;
    PortNumbering numbering(none, dir.filePath(QStringLiteral("puertos.ini")));
    QSerialPortLine line([&numbering](int n) { return numbering.resolve(n); });
    EventLoopYield events;
    MainWindow window(messages, line, events, numbering, dir.path());
    window.Form_Load();
    window.show();
    window.openDirectory(dir.path());
    window.ui().File1->setCurrentRow(0);   // fw.bin: loaded as a click loads it
    window.banco_Click();
    if (boards > 0)
        return soakInWindow(window, harnesses, padded(image), boards, recordPath) ? 0 : 1;
    BenchWindowUi* bench = window.benchWindow().ui();
    const auto rowSays = [bench](int n, const QString& text) { return bench->rows[std::size_t(n - 1)].State->text() == text; };
    const auto allSay = [&](const QString& text) {
        for (int n = 1; n <= count; ++n)
            if (!rowSays(n, text))
                return false;
        return true;
    };

    // The event loop's pulse: the longest gap between two ticks of a 5 ms timer.
    QElapsedTimer pulse;
    qint64 last = 0, longest = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = pulse.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });

    QTest::mouseClick(bench->Start, Qt::LeftButton);
    if (!until([&] { return allSay(QStringLiteral("Alimente el equipo")); }, 30)) {
        std::printf("the rows never waited for their boards\n");
        return 1;
    }
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    double devicesBefore = 0;
    for (const auto& d : devices)
        devicesBefore += d->cpuSeconds();
    const auto started = Clock::now();
    pulse.start();
    beat.start(5);
    for (const auto& d : devices)
        d->switchOn();
    if (!shots.isEmpty()) {
        until([&] { return bench->rows[0].Progress->value() > bench->rows[0].Progress->maximum() / 2; }, 120);
        screenshot(shots, QStringLiteral("1-loading.png"));
    }
    const bool loaded = until([&] {
        for (int n = 1; n <= count; ++n)
            if (bench->rows[std::size_t(n - 1)].Last->text().isEmpty())
                return false;
        return true;
    }, 600);
    beat.stop();
    const double wall = seconds(Clock::now() - started);
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    double devicesCpu = -devicesBefore;
    for (const auto& d : devices)
        devicesCpu += d->cpuSeconds();
    if (!shots.isEmpty()) {
        screenshot(shots, QStringLiteral("2-first-boards.png"));
        for (const auto& d : devices) {
            d->nextBoard();
            d->switchOn();
        }
        until([&] {
            for (int n = 1; n <= count; ++n)
                if (!bench->rows[std::size_t(n - 1)].Counts->text().startsWith(n == count ? "1 lista, 1" : "2 listas"))
                    return false;
            return true;
        }, 600);
        screenshot(shots, QStringLiteral("3-second-boards.png"));
    }
    QTest::mouseClick(bench->Stop, Qt::LeftButton);
    until([&] { return bench->Start->isEnabled(); }, 60);
    // The last EOT crosses its line a moment after the row shows its result.
    until([&] { return std::all_of(devices.begin(), devices.end(), [](const auto& d) { return d->done(); }); }, 10);
    for (const auto& d : devices)
        d->stop();

    std::printf("%d paced devices loaded from \"Banco de carga\", %lld bytes (%d blocks): %s\n", count,
                static_cast<long long>(bytes), blocksOf(bytes), loaded ? "every row ended its first board" : "NOT EVERY ROW ENDED");
    const Ratios ratios = report(devices, blocksOf(bytes));
    const double cpu = cpuSeconds(after) - cpuSeconds(before) - devicesCpu;
    std::printf("  the program's CPU while they loaded: %.3f s in %.2f s = %.3f %% of one core (the paced devices' own %.3f s left out)\n",
                cpu, wall, 100.0 * cpu / wall, devicesCpu);
    std::printf("  the window's event loop held at most %.1f ms (a 5 ms timer's longest gap, less 5 ms)%s\n",
                static_cast<double>(longest) / 1e6 - 5.0, shots.isEmpty() ? "" : ", screenshots taken meanwhile");
    return loaded && (ratios.intact || !shots.isEmpty()) ? 0 : 1;
}
