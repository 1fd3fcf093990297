#pragma once

// The benchmark's parts, each run by main() unless --skip names it.
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
    qsizetype soakBytes = 8192;
    QStringList skip;
    bool showOutput = false;
};

struct Paced {
    bool ran = false;
    long maxRssKb = 0;
    bool intact = false;
};

// Each device's figures, a line each, then the ratios; true when every device received the
// image byte for byte.
bool report(const std::vector<std::unique_ptr<PacedDevice>>& devices, int blocks);

// One program loading N paced devices at once.
Paced runPaced(const Options& options, int n, bool quiet, const QByteArray& image, const QString& imagePath);

// lrzsz sx as the loader on one paced line.
bool runSx(const QByteArray& image, const QTemporaryDir& dir);

// The program with --repeat on N devices never switched on.
bool runIdle(const Options& options, int n, const QString& imagePath);

// Board after board on the device harness, with a CSV record.
bool runSoak(const Options& options, const QTemporaryDir& dir);

} // namespace programador::bench
