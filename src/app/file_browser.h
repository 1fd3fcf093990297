#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace programador {

// What the drive, directory and file lists show. The drives are the roots an operator
// browses: "/", the home directory and mounted removable media; the directory list is
// the chain from "/" to the current directory followed by its sub-directories.
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
    // Regular and special files of the directory whose names match "*.stb;*.bin"
    // regardless of letter case, sorted; nothing when the directory cannot be read.
    static QStringList matchingFiles(const QString& directory);
};

} // namespace programador
