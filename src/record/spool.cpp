#include "spool.h"

#include "file_names.h"
#include "user_names.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace programador {

namespace {

constexpr auto kSuffix = ".fila";

QString keyOf(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

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
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

// The folder's own entries on disk too (a rename into it, a removal).
int syncFolder(const QByteArray& folder)
{
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return errno;
    const int error = ::fsync(dir) == 0 ? 0 : errno;
    ::close(dir);
    return error;
}

// mkdir -p, with the real reason of a failure (a file in a folder's place is ENOTDIR, a
// read-only file system EROFS).
int makeFolders(const QByteArray& path)
{
    for (qsizetype slash = path.indexOf('/', 1); ; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
        struct stat st {};
        if (::stat(part.constData(), &st) != 0)
            return errno;
        if (!S_ISDIR(st.st_mode))
            return ENOTDIR;
        if (slash < 0)
            return 0;
    }
}

QStringList rowFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*") + QLatin1String(kSuffix)}, QDir::Files, QDir::Name);
}

} // namespace

QString Spool::root()
{
    return stateFolder() + QStringLiteral("/pendientes");
}

Spool::Spool(const Destination& destination)
    : folder_(root() + QLatin1Char('/') + keyOf(destination.server)), destination_(destination.shown)
{
}

QString Spool::setAsideFolder() const
{
    return folder_ + QStringLiteral("/rechazadas");
}

int Spool::make() const
{
    const QByteArray folder = nameToBytes(folder_);
    if (const int error = makeFolders(folder); error != 0)
        return error;
    const QByteArray named = folder + "/destino";
    if (::access(named.constData(), F_OK) == 0)
        return 0;
    const QByteArray writing = folder + "/.destino-" + QByteArray::number(::getpid());
    int error = writeNew(writing, destination_.toUtf8() + '\n');
    if (error == 0 && ::rename(writing.constData(), named.constData()) != 0)
        error = errno;
    ::unlink(writing.constData());
    return error;
}

int Spool::put(const LoadRow& row, const Commit& commit)
{
    if (const int error = make(); error != 0)
        return error;
    const QByteArray folder = nameToBytes(folder_) + '/';
    const QByteArray name = row.start.toUTC().toString(QStringLiteral("yyyyMMddTHHmmsszzz")).toLatin1() + "Z-"
        + row.id.toString(QUuid::WithoutBraces).toLatin1();
    // A name that starts with a dot is no row: the readers skip it until it is renamed.
    const QByteArray writing = folder + '.' + name;
    int error = writeNew(writing, row.json());
    if (error == 0)
        error = commit([&] { return ::rename(writing.constData(), (folder + name + kSuffix).constData()) == 0 ? 0 : errno; });
    if (error != 0) {
        ::unlink(writing.constData());
        return error;
    }
    // The rename is on disk too.
    return syncFolder(folder);
}

QStringList Spool::pending() const
{
    return rowFiles(folder_);
}

std::optional<LoadRow> Spool::read(const QString& file, bool& broken) const
{
    QByteArray bytes;
    const Cause cause = readRegularFile(folder_ + QLatin1Char('/') + file, bytes);
    std::optional<LoadRow> row = cause == Cause::None ? LoadRow::fromJson(bytes) : std::nullopt;
    broken = cause != Cause::NotFound && !row;
    return row;
}

void Spool::remove(const QString& file) const
{
    QFile::remove(folder_ + QLatin1Char('/') + file);
}

bool Spool::setAside(const QString& file, const QString& why) const
{
    const QByteArray aside = nameToBytes(setAsideFolder());
    const QByteArray name = nameToBytes(file);
    if (makeFolders(aside) != 0)
        return false;
    const QByteArray reason = aside + '/' + name.chopped(int(qstrlen(kSuffix))) + ".motivo";
    ::unlink(reason.constData());
    return writeNew(reason, why.toUtf8() + '\n') == 0
        && ::rename((nameToBytes(folder_) + '/' + name).constData(), (aside + '/' + name).constData()) == 0
        && syncFolder(aside) == 0;
}

void Spool::sweep() const
{
    const QDateTime minuteAgo = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QDir dir(folder_);
    for (const QFileInfo& file : dir.entryInfoList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden))
        if (file.lastModified() < minuteAgo)
            QFile::remove(file.filePath());
}

void Spool::adopt(const QString& text) const
{
    const QString earlier = root() + QLatin1Char('/') + keyOf(text);
    if (earlier == folder_ || !QFileInfo(earlier).isDir())
        return;
    const QStringList rows = rowFiles(earlier);
    if (!rows.isEmpty() && make() != 0)
        return;
    for (const QString& row : rows)
        QFile::rename(earlier + QLatin1Char('/') + row, folder_ + QLatin1Char('/') + row);
    QDir().rmdir(earlier);
}

QList<Spool::Other> Spool::others(const QString& except)
{
    QList<Other> found;
    const QDir all(root());
    for (const QString& name : all.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString folder = all.filePath(name);
        const qsizetype rows = rowFiles(folder).size();
        if (folder == except || rows == 0)
            continue;
        QByteArray destination;
        readRegularFile(folder + QStringLiteral("/destino"), destination);
        found.append({folder, QString::fromUtf8(destination).trimmed(), rows});
    }
    return found;
}

} // namespace programador
