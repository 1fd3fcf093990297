#include "pty_link.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace programador::testing {

PtyLink::PtyLink(const QString& dir, const QString& loaderName, const QString& deviceName)
    : loaderPath_(QDir(dir).filePath(loaderName))
    , devicePath_(QDir(dir).filePath(deviceName))
{
    QFile::remove(loaderPath_);
    QFile::remove(devicePath_);
    socat_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    socat_.start(QStringLiteral("socat"),
                 {QStringLiteral("pty,raw,echo=0,link=%1").arg(loaderPath_),
                  QStringLiteral("pty,raw,echo=0,link=%1").arg(devicePath_)});
    if (!socat_.waitForStarted(5000))
        return;
    // socat makes the links once both terminals exist.
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (QFileInfo::exists(loaderPath_) && QFileInfo::exists(devicePath_)) {
            ready_ = true;
            return;
        }
        QThread::msleep(5);
    }
}

PtyLink::~PtyLink()
{
    kill();
}

void PtyLink::kill()
{
    if (socat_.state() != QProcess::NotRunning) {
        socat_.kill();
        socat_.waitForFinished(5000);
    }
}

namespace {

// The device: announce, wait for "*", then become rx on the same line.
const char* const kDeviceScript = R"(
exec 3<>"$1"
printf '%s' "$2" >&3
while IFS= read -r -N 1 -u 3 c; do
  [ "$c" = "*" ] && break
done
exec rx -b -q -y "$3" <&3 >&3 2>"$4"
)";

} // namespace

RxDevice::RxDevice(const QString& devicePath, const QString& workDir, const QByteArray& announcement)
    : outPath_(QDir(workDir).filePath(QStringLiteral("received.bin")))
    , logPath_(QDir(workDir).filePath(QStringLiteral("rx.log")))
{
    QFile::remove(outPath_);
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    // rx refuses absolute output paths (its restricted mode): it writes in its own directory.
    process_.setWorkingDirectory(workDir);
    process_.start(QStringLiteral("bash"),
                   {QStringLiteral("-c"), QString::fromLatin1(kDeviceScript), QStringLiteral("device"), devicePath,
                    QString::fromLatin1(announcement), QFileInfo(outPath_).fileName(), logPath_});
    started_ = process_.waitForStarted(5000);
}

RxDevice::~RxDevice()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool RxDevice::finished(int timeoutMs)
{
    if (!process_.waitForFinished(timeoutMs) && process_.state() != QProcess::NotRunning)
        return false;
    return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
}

QByteArray RxDevice::received() const
{
    QFile f(outPath_);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString RxDevice::log() const
{
    QFile f(logPath_);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll().right(600)) : QString();
}

} // namespace programador::testing
