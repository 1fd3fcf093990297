#pragma once

// The benchmark's runs, each made by main() unless --skip names it.
#include "paced_device.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

namespace programador::bench {

struct Options {
    qsizetype bytes = 32768;
    QList<int> devices = {1, 4, 16};
    int idleSeconds = 20;
    int boards = 200;
    int databaseBoards = 30;   // the database soak's boards a device, unless --boards is given
    qsizetype soakBytes = 8192;
    QStringList skip;
    bool showOutput = false;
};

// What report() found: each device's ratio to its line's limit (NaN for a device not loaded),
// their mean and the worst.
struct Ratios {
    bool intact = false;   // every device received the image byte for byte
    std::vector<double> each;
    double mean = 0, worst = 0;
};

struct Paced {
    bool ran = false;
    long maxRssKb = 0;
    bool intact = false;
    double cpu = 0;   // the program's, user and system
    Ratios ratios;
    QByteArray said;   // its standard error
};

// Each device's figures, a line each, then the ratios.
Ratios report(const std::vector<std::unique_ptr<PacedDevice>>& devices, int blocks);

// One program loading N paced devices at once; `extra` are more of its options (a record),
// `what` says them in the run's first line.
Paced runPaced(const Options& options, int n, bool quiet, const QByteArray& image, const QString& imagePath,
               const std::vector<std::string>& extra = {}, const char* what = "");

// lrzsz sx as the loader on one paced line.
bool runSx(const QByteArray& image, const QTemporaryDir& dir);

// The program with --repeat on N devices never switched on.
bool runIdle(const Options& options, int n, const QString& imagePath);

// Board after board on the device harness, with a CSV record.
bool runSoak(const Options& options, const QTemporaryDir& dir);

// 16 paced devices with a record in a CSV file and in a PostgreSQL table, beside `none`, the
// same run without one (made here when null).
bool runRecord(const Options& options, const QByteArray& image, const QString& imagePath, const QTemporaryDir& dir,
               const Paced* none);

// Two devices board after board with the record in PostgreSQL, the server away for a third.
bool runDatabaseSoak(const Options& options, const QTemporaryDir& dir);

// The files in the record's spool ($XDG_STATE_HOME/programador/pendientes), every folder of it.
int spoolFiles();

// The lines of what the program said about its record: those with "servidor" or "filas".
QStringList recordLines(const QByteArray& said);

} // namespace programador::bench
