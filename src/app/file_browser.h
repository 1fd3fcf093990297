#pragma once

#include <QList>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace programador {

// What the drive, directory and file lists show. The drives are the roots an operator
// browses: "/", the home directory and mounted removable media; the directory list is
// the chain from "/" to the current directory followed by its sub-directories. Names are
// read as bytes (nameFromBytes), so a name that is not UTF-8 is listed and opened too.
class FileBrowser {
public:
    struct DirectoryEntry {
        QString label;   // the name shown: "/" for the root, else the last path component
        QString path;    // the absolute path that opening the entry makes current
        int depth;       // indentation: 0 for "/", one more per level
        bool inChain;    // part of the chain from "/" to the current directory
    };

    // "/" first, then the home directory, then removable and mounted media
    // (/media, /run/media, /mnt), without pseudo file systems or duplicates.
    static QStringList driveRoots();
    // The drive root a path lies on: the longest root that contains it.
    static QString driveOf(const QString& path, const QStringList& roots);
    // The chain from "/" to directory, then its sub-directories sorted by name. A directory
    // that cannot be read shows its chain and no sub-directories.
    static QList<DirectoryEntry> directoryEntries(const QString& directory);
    // The names in the directory, not hidden and not directories, that match "*.stb;*.bin"
    // regardless of letter case, sorted; nothing when the directory cannot be read. Special
    // files (a FIFO named *.bin, say) are listed too: loading refuses them with a message
    // instead of hiding them from the operator.
    static QStringList matchingFiles(const QString& directory);
};

// Where the drive list's roots come from, and word when they change.
class DriveSource {
public:
    virtual ~DriveSource() = default;
    virtual QStringList roots() = 0;
    std::function<void()> changed;   // called when volumes were mounted or unmounted
};

// The machine's mounted volumes. The kernel marks /proc/self/mounts when the mount table
// changes, so nothing is polled while the operator is away.
class MountedDrives : public DriveSource {
public:
    MountedDrives();
    ~MountedDrives() override;
    QStringList roots() override { return FileBrowser::driveRoots(); }

private:
    int mounts_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace programador
