#include "bench_window_soak.h"

#include "child.h"
#include "line.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <cstdio>

#include <unistd.h>

namespace programador::bench {

namespace {

// The loads a row has counted: "12 listas, 1 con error" and its interrupted ones.
int loadsShown(const BenchRowUi& row)
{
    static const QRegularExpression counts(QStringLiteral("^(\\d+) listas?, (\\d+) con error(?:,\\n(\\d+) interrumpidas?)?$"));
    const QRegularExpressionMatch m = counts.match(row.Counts->text());
    return m.hasMatch() ? m.captured(1).toInt() + m.captured(2).toInt() + m.captured(3).toInt() : -1;
}

int openDescriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

} // namespace

bool soakInWindow(MainWindow& window, std::vector<std::unique_ptr<testing::DeviceHarness>>& devices, const QByteArray& expected,
                  int boards, const QString& recordPath)
{
    BenchWindowUi* bench = window.benchWindow().ui();
    const auto rows = static_cast<int>(devices.size());
    const auto waits = [bench](int i) { return bench->rows[i].State->text() == QStringLiteral("Alimente el equipo"); };
    QTest::mouseClick(bench->Start, Qt::LeftButton);
    std::vector<int> switched(devices.size()), checked(devices.size());
    int total = 0, intact = 0;
    long rss10 = -1, rssEnd = -1;
    int fds10 = -1, fdsEnd = -1, board10 = 0;
    QElapsedTimer clock, quiet;
    clock.start();
    quiet.start();
    QTimer look;   // the loop looks again every 20 ms
    look.start(20);
    for (;;) {
        bool allDone = total == boards;
        for (int i = 0; i < rows; ++i) {
            testing::DeviceHarness& device = *devices[std::size_t(i)];
            // The row counted its board and waits for the next: the board before is checked.
            if (loadsShown(bench->rows[i]) < switched[std::size_t(i)] || !waits(i)) {
                allDone = false;
                continue;
            }
            if (checked[std::size_t(i)] < switched[std::size_t(i)]) {
                intact += device.finished(10000) && device.received() == expected;
                ++checked[std::size_t(i)];
                quiet.restart();
            }
            // From board 10 the rows pause once, until all of them wait, for the first figures.
            if (total == boards || (total >= 10 && rss10 < 0))
                continue;
            device.nextBoard();
            device.switchOn();
            ++switched[std::size_t(i)];
            ++total;
            allDone = false;
        }
        // Figures where every row waits with its boards checked, so that no load's descriptors
        // (its rx, its pipes) are counted: after board 10, and at the end.
        bool idle = true;
        for (int i = 0; i < rows; ++i)
            idle = idle && checked[std::size_t(i)] == switched[std::size_t(i)] && waits(i);
        if (idle && total >= 10 && rss10 < 0)
            rss10 = statusField(::getpid(), "VmRSS"), fds10 = openDescriptors(), board10 = total;
        if (allDone)
            break;
        if (quiet.elapsed() > 60000) {
            std::printf("no board ended for a minute after %d boards\n", total);
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    rssEnd = statusField(::getpid(), "VmRSS"), fdsEnd = openDescriptors();
    const double seconds = clock.elapsed() / 1000.0;
    QTest::mouseClick(bench->Stop, Qt::LeftButton);
    while (!bench->Start->isEnabled())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (Record* record = window.record().record())
        record->flush();
    QFile csv(recordPath);
    const qsizetype recorded = csv.open(QIODevice::ReadOnly) ? csv.readAll().count('\n') - 1 : -1;   // less the header
    std::printf("%d boards over %d rows of \"Banco de carga\" in %.0f s: %d received byte for byte, %lld rows in the record\n",
                boards, rows, seconds, intact, static_cast<long long>(recorded));
    std::printf("  every row waiting, after board %d: VmRSS %ld kB, %d open descriptors; after board %d: VmRSS %ld kB, %d open descriptors\n",
                board10, rss10, fds10, boards, rssEnd, fdsEnd);
    return intact == boards && recorded == boards;
}

} // namespace programador::bench
