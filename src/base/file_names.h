#pragma once

#include <QByteArray>
#include <QString>

namespace programador {

// A file name on Linux is bytes, and not every name is UTF-8: a Windows archive unpacked here
// gives Latin-1 names such as "versi\xf3n.stb". Names travel through the program as QStrings
// that keep every byte: the UTF-8 parts decoded, each byte that does not decode held as a lone
// surrogate U+DC80..U+DCFF (no valid text ever contains one), and turned back into the very
// same bytes for open(2).
QString nameFromBytes(const QByteArray& bytes);
QByteArray nameToBytes(const QString& name);
// The name as the operator reads it: a replacement character for each byte that does not decode.
QString printableName(const QString& name);

} // namespace programador
