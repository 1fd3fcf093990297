#include "file_browser.h"

#include "file_names.h"

#include <QDir>
#include <QStorageInfo>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace programador {

namespace {

bool isMediaMount(const QString& root)
{
    static const QStringList prefixes = {QStringLiteral("/media/"), QStringLiteral("/run/media/"),
                                         QStringLiteral("/mnt/")};
    for (const QString& p : prefixes)
        if (root.startsWith(p))
            return true;
    return root == QLatin1String("/home");
}

bool contains(const QString& root, const QString& path)
{
    if (root == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

// The names in a directory, as bytes read them, that are not hidden; whether each is a
// directory (following links). Nothing when the directory cannot be read.
QList<std::pair<QString, bool>> entries(const QString& directory)
{
    QList<std::pair<QString, bool>> found;
    DIR* dir = ::opendir(nameToBytes(directory).constData());
    if (!dir)
        return found;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat st {};
        const bool folder = ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        found.append({nameFromBytes(QByteArray(entry->d_name)), folder});
    }
    ::closedir(dir);
    return found;
}

void sortByName(QStringList& names)
{
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int order = printableName(a).compare(printableName(b), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
}

} // namespace

QStringList FileBrowser::driveRoots()
{
    QStringList roots{QStringLiteral("/")};
    const QString home = QDir::homePath();
    if (home != QLatin1String("/"))
        roots << home;
    QStringList media;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (volume.isValid() && volume.isReady() && isMediaMount(root) && !roots.contains(root)
            && !media.contains(root))
            media << root;
    }
    media.sort();
    return roots + media;
}

QString FileBrowser::driveOf(const QString& path, const QStringList& roots)
{
    QString best = QStringLiteral("/");
    for (const QString& root : roots)
        if (contains(root, path) && root.size() > best.size())
            best = root;
    return best;
}

QList<FileBrowser::DirectoryEntry> FileBrowser::directoryEntries(const QString& directory)
{
    const QString current = QDir::cleanPath(QDir(directory).absolutePath());
    QList<DirectoryEntry> chain;
    chain.append({QStringLiteral("/"), QStringLiteral("/"), 0, true});
    QString path;
    for (const QString& part : current.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        chain.append({printableName(part), path, static_cast<int>(chain.size()), true});
    }
    QStringList subdirs;
    for (const auto& [name, folder] : entries(current))
        if (folder)
            subdirs << name;
    sortByName(subdirs);
    const int depth = static_cast<int>(chain.size());
    for (const QString& name : subdirs)
        chain.append({printableName(name), QDir(current).filePath(name), depth, false});
    return chain;
}

QStringList FileBrowser::matchingFiles(const QString& directory)
{
    QStringList names;
    for (const auto& [name, folder] : entries(directory)) {
        if (!folder && (name.endsWith(QLatin1String(".stb"), Qt::CaseInsensitive)
                        || name.endsWith(QLatin1String(".bin"), Qt::CaseInsensitive)))
            names << name;
    }
    sortByName(names);
    return names;
}

MountedDrives::MountedDrives() : mounts_(::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC))
{
    if (mounts_ < 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(mounts_, QSocketNotifier::Exception);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        if (changed)
            changed();
    });
}

MountedDrives::~MountedDrives()
{
    notifier_.reset();
    if (mounts_ >= 0)
        ::close(mounts_);
}

} // namespace programador
