#include "spool.h"

#include "file_names.h"

#include <QCryptographicHash>
#include <QDir>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace programador {

namespace {

constexpr auto kSuffix = ".fila";

// Writes bytes whole to a new file at path, flushed to disk: 0 or the errno.
int writeNew(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return errno;
    int error = 0;
    for (qsizetype done = 0; done < bytes.size() && error == 0;) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n == 0 || errno != EINTR)
            error = n == 0 ? ENOSPC : errno;
    }
    if (error == 0 && ::fdatasync(fd) != 0)
        error = errno;
    ::close(fd);
    return error;
}

} // namespace

Spool::Spool(const QString& destination)
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    // One folder a destination, named by it without its characters that a path cannot hold.
    const QByteArray key = QCryptographicHash::hash(destination.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    folder_ = state + QStringLiteral("/programador/pendientes/") + QString::fromLatin1(key);
}

int Spool::put(const LoadRow& row)
{
    if (!QDir().mkpath(folder_))
        return EACCES;
    const QByteArray folder = nameToBytes(folder_) + '/';
    const QByteArray name = row.start.toUTC().toString(QStringLiteral("yyyyMMddTHHmmsszzz")).toLatin1() + "Z-"
        + row.id.toString(QUuid::WithoutBraces).toLatin1();
    // A name that starts with a dot is no row: the readers skip it until it is renamed.
    const QByteArray writing = folder + '.' + name;
    if (const int error = writeNew(writing, row.json()); error != 0) {
        ::unlink(writing.constData());
        return error;
    }
    if (::rename(writing.constData(), (folder + name + kSuffix).constData()) != 0) {
        const int error = errno;
        ::unlink(writing.constData());
        return error;
    }
    // The rename is on disk too.
    if (const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

QStringList Spool::pending() const
{
    return QDir(folder_).entryList({QStringLiteral("*") + QLatin1String(kSuffix)}, QDir::Files, QDir::Name);
}

std::optional<LoadRow> Spool::read(const QString& file) const
{
    QByteArray bytes;
    if (readRegularFile(folder_ + QLatin1Char('/') + file, bytes) != Cause::None)
        return std::nullopt;
    return LoadRow::fromJson(bytes);
}

void Spool::remove(const QString& file) const
{
    QFile::remove(folder_ + QLatin1Char('/') + file);
}

} // namespace programador
