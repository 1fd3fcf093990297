// A file's bytes, whole: written, or read.
#pragma once

#include <QFile>

namespace programador::testing {

// True when the file is there with these bytes and nothing else.
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// None when there is no such file, or it cannot be read.
inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace programador::testing
