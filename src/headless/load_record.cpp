#include "load_record.h"

#include "file_names.h"
#include "reasons.h"

#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace programador {

namespace {

// A field as RFC 4180 wants it: quoted when it holds a comma, a quote or a line break, its
// quotes doubled.
QString field(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

bool writeWhole(int fd, const QByteArray& bytes)
{
    // One write: a row is never split, so another program's row never lands inside it.
    ssize_t n;
    do {
        n = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    } while (n < 0 && errno == EINTR);
    if (n >= 0 && n != bytes.size())
        errno = ENOSPC;   // the disk took part of it
    return n == bytes.size();
}

} // namespace

LoadRecord::~LoadRecord()
{
    if (fd_ >= 0)
        ::close(fd_);
}

QByteArray LoadRecord::header()
{
    return "inicio,puerto,dispositivo,serie_adaptador,imagen,bytes,sha256,bloques_enviados,bloques_total,"
           "resultado,estado,segundos\r\n";
}

QByteArray LoadRecord::csv(const LoadRow& row)
{
    const QStringList fields{
        // The local time with its offset from UTC, as a spreadsheet and a reader both take it.
        row.start.toOffsetFromUtc(row.start.offsetFromUtc()).toString(Qt::ISODate),
        row.number > 0 ? QStringLiteral("COM%1").arg(row.number) : QString(),
        field(printableName(row.device)),
        field(row.serialNumber),
        field(printableName(row.image.section(QLatin1Char('/'), -1))),
        QString::number(row.size),
        QString::fromLatin1(row.sha256),
        QString::number(row.blocksSent),
        QString::number(row.blocks),
        field(row.result),
        QString::number(row.status),
        QString::number(row.seconds, 'f', 1),
    };
    return fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

bool LoadRecord::open(const QString& path, QString& why)
{
    path_ = path;
    fd_ = ::open(nameToBytes(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = fd_ < 0 ? errno : EISDIR;
        why = reasonLine(printableName(path), fd_ >= 0 ? Cause::NotRegularFile : writeCause(error), systemText(error));
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        return false;
    }
    // Two programs starting at once must not both write the header.
    ::flock(fd_, LOCK_EX);
    const bool empty = ::fstat(fd_, &st) == 0 && st.st_size == 0;
    const bool ok = !empty || (writeWhole(fd_, header()) && ::fdatasync(fd_) == 0);
    const int error = errno;
    ::flock(fd_, LOCK_UN);
    if (!ok) {
        why = reasonLine(printableName(path), writeCause(error), systemText(error));
        ::close(fd_);
        fd_ = -1;
    }
    return ok;
}

void LoadRecord::append(const LoadRow& row)
{
    if (fd_ < 0)
        return;
    if (writeWhole(fd_, csv(row)) && ::fdatasync(fd_) == 0)
        return;
    if (!failed_)
        std::fprintf(stderr, "programador: %s; las cargas siguen\n",
                     reasonLine(printableName(path_), writeCause(errno), systemText(errno)).toUtf8().constData());
    failed_ = true;
}

} // namespace programador
