#include "port_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>

#include <utility>

namespace programador {

namespace {

// The settings file as it stands in the directory. Both spellings of the name reach
// one file: an existing file whose name matches regardless of letter case is the one
// read and replaced (the exact spelling wins if there are several); a new one gets
// the canonical name.
QString settingsPath(const QString& directory)
{
    const QDir dir(directory);
    const QStringList found =
        dir.entryList({QString::fromLatin1(PortSettings::kFileName)}, QDir::Files | QDir::Hidden | QDir::System,
                      QDir::Name);
    QString name = QString::fromLatin1(PortSettings::kFileName);
    if (!found.isEmpty() && !found.contains(name))
        name = found.first();
    return dir.filePath(name);
}

// Only a regular file (or a link to one) is the settings file. Opening a FIFO or a
// device by that name would block start-up or talk to hardware, and QSaveFile would
// write into it directly; a name taken by one is neither read nor replaced.
bool takenByOther(const QString& path)
{
    const QFileInfo info(path);
    return !info.isFile() && (info.exists() || info.isSymLink());
}

// The first byte of the file, or nothing when the file is missing, unreadable or empty.
std::optional<char> readFirstByte(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    char c = 0;
    if (file.read(&c, 1) != 1)
        return std::nullopt;
    return c;
}

// Writes the digit, CR, LF beside the file and renames it into place, so a failure
// never leaves the old file missing or cut short. Where nothing new can be made in the
// directory (a shared bench folder) but the file itself may be written, it is rewritten
// in place.
bool writePort(const QString& path, std::int16_t port)
{
    if (takenByOther(path))
        return false;
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray line = QByteArray::number(port) + "\r\n";
    // QSaveFile holds the bytes in its buffer, and its commit() does not notice when
    // they cannot be written out (disk full, file-size limit): it would put an empty
    // file in place and report success. Flushing first brings that failure out; the
    // unfinished copy is then thrown away and the old file stays.
    if (file.write(line) != line.size() || !file.flush())
        return false;
    return file.commit();
}

std::int16_t portFromByte(char c)
{
    std::int16_t port = 1;
    if (c == '2')
        port = 2;
    if (c == '3')
        port = 3;
    if (c == '4')
        port = 4;
    return port;
}

} // namespace

PortSettings::PortSettings(OperatorMessages& messages, QString directory)
    : messages_(messages), directory_(std::move(directory))
{
}

void PortSettings::lee_puerto()
{
    // Two passes at most: when the file cannot be read it is written with port 1 and
    // read once more. A directory where it can be neither read nor written (read-only,
    // say) starts on port 1 without a message.
    for (int pass = 0; pass < 2; ++pass) {
        const QString path = settingsPath(directory_);
        if (const std::optional<char> c = readFirstByte(path)) {
            puerto = portFromByte(*c);
            return;
        }
        if (pass > 0 || !writePort(path, 1))
            break;
    }
    puerto = 1;
}

bool PortSettings::guarda_puerto(std::int16_t port)
{
    if (port < 1 || port > 4 || !writePort(settingsPath(directory_), port)) {
        messages_.show(QStringLiteral("Error de archivo"), MessageIcon::Error, MessageButtons::Ok);
        return false;
    }
    return true;
}

} // namespace programador
