#include "file_browser.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

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
    QList<DirectoryEntry> entries;
    entries.append({QStringLiteral("/"), QStringLiteral("/"), 0, true});
    QString path;
    const QStringList parts = current.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        path += QLatin1Char('/') + part;
        entries.append({part, path, static_cast<int>(entries.size()), true});
    }
    const int depth = static_cast<int>(entries.size());
    const QDir dir(current);
    const QStringList subdirs =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString& name : subdirs)
        entries.append({name, dir.filePath(name), depth, false});
    return entries;
}

QStringList FileBrowser::matchingFiles(const QString& directory)
{
    // Special files (a FIFO named *.bin, say) are listed too: loading refuses them with a
    // message instead of hiding them from the operator.
    QDir dir(directory);
    dir.setNameFilters({QStringLiteral("*.stb"), QStringLiteral("*.bin")});
    dir.setFilter(QDir::Files | QDir::System);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    return dir.entryList();
}

} // namespace programador
