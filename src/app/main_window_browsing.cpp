#include "main_window.h"

#include "file_browser.h"
#include "file_names.h"
#include "firmware_file.h"

#include <QDir>
#include <QSignalBlocker>

#include <sys/stat.h>

namespace programador {

namespace {

bool isFolder(const QString& path)
{
    struct stat st {};
    return ::stat(nameToBytes(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

// The drive, directory and file lists: browsing for the image, as the disk is now.

void MainWindow::showDrives()
{
    driveRoots_ = drives_.roots();
    const QSignalBlocker quiet(ui_.Drive1);
    ui_.Drive1->clear();
    for (const QString& root : driveRoots_)
        ui_.Drive1->addItem(printableName(root));
    ui_.Drive1->setCurrentIndex(static_cast<int>(driveRoots_.indexOf(FileBrowser::driveOf(dirPath_, driveRoots_))));
}

void MainWindow::showDirectories()
{
    ui_.Dir1->clear();
    int current = 0;
    for (const FileBrowser::DirectoryEntry& entry : FileBrowser::directoryEntries(dirPath_)) {
        auto* item = new QListWidgetItem(QString(entry.depth * 2, QLatin1Char(' ')) + entry.label, ui_.Dir1);
        item->setData(Qt::UserRole, entry.path);
        if (entry.inChain)
            current = ui_.Dir1->count() - 1;
    }
    ui_.Dir1->setCurrentRow(current);
    // Only the folder on show is watched.
    if (!folderWatch_.directories().isEmpty())
        folderWatch_.removePaths(folderWatch_.directories());
    folderWatch_.addPath(dirPath_);
}

void MainWindow::showFiles(bool keepSelection)
{
    // Refilled as the folder changes: what was selected stays selected, without loading it again.
    const QListWidgetItem* selected = keepSelection ? ui_.File1->selectedItems().value(0) : nullptr;
    const QString chosen = selected ? selected->data(Qt::UserRole).toString() : QString();
    const QSignalBlocker quiet(ui_.File1);
    ui_.File1->clear();
    for (const QString& name : FileBrowser::matchingFiles(filePath_)) {
        auto* item = new QListWidgetItem(printableName(name), ui_.File1);
        item->setData(Qt::UserRole, name);
        if (name == chosen)
            ui_.File1->setCurrentItem(item);
    }
}

void MainWindow::followFolder()
{
    // A folder that went away: the nearest one above it that is still there.
    QString folder = dirPath_;
    while (folder != QLatin1String("/") && !isFolder(folder))
        folder = QDir::cleanPath(folder + QStringLiteral("/.."));
    if (folder != dirPath_) {
        openDirectory(folder);
        return;
    }
    showDirectories();
    showFiles(true);
}

void MainWindow::followDrives()
{
    const QString drive = FileBrowser::driveOf(dirPath_, driveRoots_);
    const QStringList roots = drives_.roots();
    if (roots.contains(drive)) {
        showDrives();
        return;
    }
    // The volume on show went away: the lists go to the root.
    dirPath_ = QStringLiteral("/");
    showDrives();
    showDirectories();
    Dir1_Change();
}

void MainWindow::Drive1_Change()
{
    const int index = ui_.Drive1->currentIndex();
    if (index >= 0 && index < driveRoots_.size())
        openDirectory(driveRoots_.at(index));
}

void MainWindow::openDirectory(const QString& path)
{
    dirPath_ = QDir::cleanPath(path);
    showDirectories();
    Dir1_Change();
}

void MainWindow::Dir1_Change()
{
    filePath_ = dirPath_;
    fileChosen_ = false;
    showFiles(false);
}

void MainWindow::File1_Click()
{
    const QListWidgetItem* item = ui_.File1->selectedItems().value(0);
    if (!item)
        return;
    fileChosen_ = true;
    loadImage(FirmwareFile::joinPath(filePath_, item->data(Qt::UserRole).toString()), item->text());
}

} // namespace programador
