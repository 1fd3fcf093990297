#pragma once

#include <QByteArray>
#include <QString>

#include "reasons.h"

namespace programador {

// A file name on Linux is bytes, and not every name is UTF-8: a Windows archive unpacked here
// gives Latin-1 names such as "versi\xf3n.stb". Names travel through the program as QStrings
// that keep every byte: the UTF-8 parts decoded, each byte that does not decode held as a lone
// surrogate U+DC80..U+DCFF (no valid text ever contains one), and turned back into the very
// same bytes for open(2).
QString nameFromBytes(const QByteArray& bytes);
QByteArray nameToBytes(const QString& name);
// The name as the operator reads it, on one line: a replacement character for each byte that
// does not decode and for each control character (a newline, a tab, an escape) it holds.
QString printableName(const QString& name);
// A control character (C0, DEL, C1: a newline, a tab, an escape, a NUL) anywhere in text.
bool hasControlCharacter(QStringView text);

// The whole of a small file a person may edit (a settings file), never blocking: anything that
// is not a regular file (a FIFO, a device) is refused at once with its cause, and what is read
// is what was checked. Cause::None when read, Cause::NotFound when missing.
Cause readRegularFile(const QString& path, QByteArray& bytes);

} // namespace programador
