#pragma once

// Ways to make the settings file's directory refuse a change, real also for root (who
// ignores permission bits): the immutable attribute, a file-size limit of zero, or a
// name that is taken by something that is not a regular file.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>

#include <csignal>
#include <utility>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace programador::testing {

// The immutable attribute of a file or directory. Needs CAP_LINUX_IMMUTABLE and a file
// system that has the attribute (ext4 does, tmpfs on older kernels does not).
inline bool setImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// Whether a new entry can be made in the directory right now.
inline bool canCreateIn(const QString& directory)
{
    const QByteArray probe = QFile::encodeName(QDir(directory).filePath(QStringLiteral(".probe")));
    const int fd = ::open(probe.constData(), O_CREAT | O_EXCL | O_WRONLY, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.constData());
    return true;
}

// A directory that takes no new entry and lets none be renamed or removed while this
// object lives: by its permission bits where they hold, else by the immutable attribute.
class ReadOnlyDirectory {
public:
    explicit ReadOnlyDirectory(QString path) : path_(std::move(path))
    {
        ::chmod(QFile::encodeName(path_).constData(), 0555);
        if (!canCreateIn(path_)) {
            holds_ = true;
            return;
        }
        immutable_ = setImmutable(path_, true);
        holds_ = immutable_ && !canCreateIn(path_);
    }
    ~ReadOnlyDirectory()
    {
        if (immutable_)
            setImmutable(path_, false);
        ::chmod(QFile::encodeName(path_).constData(), 0755);
    }
    ReadOnlyDirectory(const ReadOnlyDirectory&) = delete;
    ReadOnlyDirectory& operator=(const ReadOnlyDirectory&) = delete;

    bool holds() const { return holds_; }

private:
    QString path_;
    bool immutable_ = false;
    bool holds_ = false;
};

// A file that cannot be replaced, written or removed while this object lives.
class ImmutableFile {
public:
    explicit ImmutableFile(QString path) : path_(std::move(path)), holds_(setImmutable(path_, true)) {}
    ~ImmutableFile()
    {
        if (holds_)
            setImmutable(path_, false);
    }
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;

    bool holds() const { return holds_; }

private:
    QString path_;
    bool holds_;
};

// No regular file of this process may grow past zero bytes while this object lives:
// a write fails with EFBIG (SIGXFSZ is ignored meanwhile). Files can still be created,
// so it is a failure in the middle of a save, after its first step worked.
class NoRoomForAByte {
public:
    NoRoomForAByte()
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = old_;
        none.rlim_cur = 0;
        holds_ = ::setrlimit(RLIMIT_FSIZE, &none) == 0;
    }
    ~NoRoomForAByte()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    NoRoomForAByte(const NoRoomForAByte&) = delete;
    NoRoomForAByte& operator=(const NoRoomForAByte&) = delete;

    bool holds() const { return holds_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
    bool holds_ = false;
};

// Everything in a directory, name -> content ("<dir>" for a sub-directory, "<other>"
// for anything that is neither), to show that a failure changed nothing.
inline QMap<QString, QByteArray> snapshot(const QString& directory)
{
    QMap<QString, QByteArray> entries;
    const QDir dir(directory);
    const QFileInfoList infos =
        dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo& info : infos) {
        QByteArray content = "<other>";
        if (info.isDir()) {
            content = "<dir>";
        } else if (info.isFile()) {
            QFile file(info.filePath());
            content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
        }
        entries.insert(info.fileName(), content);
    }
    return entries;
}

} // namespace programador::testing
