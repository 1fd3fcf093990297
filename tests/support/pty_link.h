#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace programador::testing {

// Two pseudo-terminals joined by socat, like a null-modem cable: what the loader writes
// on loaderPath() comes out on devicePath() and the other way round. Raw, no echo.
// kill() pulls the cable: both ends hang up.
class PtyLink {
public:
    // The links are made in dir (a temporary directory of the test) under the names given.
    explicit PtyLink(const QString& dir, const QString& loaderName = QStringLiteral("loader"),
                     const QString& deviceName = QStringLiteral("device"));
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    bool ready() const { return ready_; }
    QString loaderPath() const { return loaderPath_; }
    QString devicePath() const { return devicePath_; }
    void kill();

private:
    QString loaderPath_;
    QString devicePath_;
    QProcess socat_;
    bool ready_ = false;
};

// The device side of a firmware load, as a separate process on devicePath: it sends its
// start-up text (by default "+" "+" "T" "A"), waits for the loader's "*", then hands the
// line to lrzsz rx in XMODEM checksum mode, binary, which writes what it receives to
// received(). finished() waits for rx to end and tells whether it ended well.
class RxDevice {
public:
    RxDevice(const QString& devicePath, const QString& workDir,
             const QByteArray& announcement = QByteArrayLiteral("++TA"));
    ~RxDevice();
    RxDevice(const RxDevice&) = delete;
    RxDevice& operator=(const RxDevice&) = delete;

    bool started() const { return started_; }
    // Waits up to timeoutMs for rx to end; true when it exited 0.
    bool finished(int timeoutMs = 30000);
    QByteArray received() const;
    QString log() const;

private:
    QString outPath_;
    QString logPath_;
    QProcess process_;
    bool started_ = false;
};

} // namespace programador::testing
