// The 16-device paced load with its record in a CSV file and in a PostgreSQL table, beside the
// same load with none: what each record costs the loads and the program.
#include "child.h"
#include "runs.h"
#include "postgres_server.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QList>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace programador::bench {

namespace {

constexpr int kDevices = 16;

// The rows of a CSV record, its header left out; -1 when it cannot be read.
int csvRows(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    int rows = 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        rows += !line.isEmpty() && !line.startsWith("inicio,");
    return rows;
}

// One cell of the comparison: a figure, or "-" for none.
std::string cell(double value, const char* format = "%.5f")
{
    char text[32] = "-";
    if (!std::isnan(value))
        std::snprintf(text, sizeof text, format, value);
    return text;
}

double ratioOf(const Paced& run, int device)
{
    return device < static_cast<int>(run.ratios.each.size()) ? run.ratios.each[static_cast<size_t>(device)]
                                                             : std::numeric_limits<double>::quiet_NaN();
}

} // namespace

int spoolFiles()
{
    int n = 0;
    QDirIterator files(qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/programador/pendientes"),
                       QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        files.next();
        ++n;
    }
    return n;
}

QStringList recordLines(const QByteArray& said)
{
    QStringList lines;
    for (const QByteArray& line : said.split('\n'))
        if (line.contains("servidor") || line.contains("filas"))
            lines << QString::fromUtf8(line);
    return lines;
}

bool runRecord(const Options& options, const QByteArray& image, const QString& imagePath, const QTemporaryDir& dir,
               const Paced* none)
{
    testing::PostgresServer server;
    const QString database = QStringLiteral("registro");
    if (!server.ready() || !server.run(QStringLiteral("CREATE DATABASE ") + database).isEmpty()) {
        std::printf("\nrecord: no PostgreSQL server of this program's own could be started\n");
        return false;
    }
    Paced made;
    if (!none) {
        made = runPaced(options, kDevices, false, image, imagePath);
        none = &made;
    }
    const QString csvPath = dir.filePath("registro-16.csv");
    const Paced csv = runPaced(options, kDevices, false, image, imagePath, {"--log", QFile::encodeName(csvPath).toStdString()},
                               ", --log to a CSV file");
    const Paced table = runPaced(options, kDevices, false, image, imagePath, {"--log", server.uri(database).toStdString()},
                                 ", --log to a PostgreSQL table");
    const int csvCount = csvRows(csvPath);
    const QStringList counted =
        server.run(QStringLiteral("SELECT count(*), count(*) FILTER (WHERE resultado = 'Programa listo') FROM cargas"), database);
    const QStringList columns = counted.value(0).split(QLatin1Char('|'));
    bool counts = false;
    const int tableCount = columns.value(0).toInt(&counts);

    std::printf("\nthe record, %d devices at once: each device's ratio to its line's limit, and the program's CPU\n", kDevices);
    std::printf("  %-10s %12s %12s %12s\n", "record", "none", "CSV file", "PostgreSQL");
    const Paced* runs[] = {none, &csv, &table};
    for (int i = 0; i < kDevices; ++i) {
        std::printf("  %-10s", ("device " + std::to_string(i + 1)).c_str());
        for (const Paced* run : runs)
            std::printf(" %12s", cell(ratioOf(*run, i)).c_str());
        std::printf("\n");
    }
    std::printf("  %-10s", "mean");
    for (const Paced* run : runs)
        std::printf(" %12s", cell(run->ran ? run->ratios.mean : std::nan("")).c_str());
    std::printf("\n  %-10s", "worst");
    for (const Paced* run : runs)
        std::printf(" %12s", cell(run->ran ? run->ratios.worst : std::nan("")).c_str());
    std::printf("\n  %-10s", "CPU s");
    for (const Paced* run : runs)
        std::printf(" %12s", cell(run->ran ? run->cpu : std::nan(""), "%.3f").c_str());
    std::printf("\n  rows: the CSV file %d (its header left out); the table cargas %s (%s of them \"Programa listo\")%s\n",
                csvCount, counts ? qPrintable(columns.value(0)) : qPrintable(counted.join(QLatin1Char(' '))),
                qPrintable(columns.value(1, QStringLiteral("?"))),
                counts && tableCount == kDevices ? "" : ", NOT ONE A LOAD");
    std::printf("  the record's spool: %d file(s) left\n", spoolFiles());
    const QStringList said = recordLines(table.said);
    if (!said.isEmpty())
        std::printf("  it said of the table: %s\n", qPrintable(said.join(QStringLiteral(" | "))));
    std::fflush(stdout);
    return (none != &made || (made.ran && made.intact)) && csv.ran && csv.intact && table.ran && table.intact
        && csvCount == kDevices && counts && tableCount == kDevices;
}

} // namespace programador::bench
