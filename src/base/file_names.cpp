#include "file_names.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace programador {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(const QString& name, qsizetype i)
{
    const char16_t c = name.at(i).unicode();
    return c >= 0xDC80 && c <= 0xDCFF && (i == 0 || !name.at(i - 1).isHighSurrogate());
}

// The length of the well-formed UTF-8 sequence at bytes[i], or 0 when there is none there.
int sequenceLength(const QByteArray& bytes, qsizetype i)
{
    const auto byte = [&](qsizetype k) { return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u; };
    const unsigned first = byte(i);
    const auto continuation = [&](qsizetype k) { return (byte(k) & 0xC0) == 0x80; };
    if (first < 0x80)
        return 1;
    if (first >= 0xC2 && first <= 0xDF)
        return continuation(i + 1) ? 2 : 0;
    if (first >= 0xE0 && first <= 0xEF) {
        // No overlong forms (E0 80..9F) and no surrogates (ED A0..BF).
        const unsigned second = byte(i + 1);
        const bool valid = continuation(i + 1) && continuation(i + 2) && !(first == 0xE0 && second < 0xA0)
            && !(first == 0xED && second >= 0xA0);
        return valid ? 3 : 0;
    }
    if (first >= 0xF0 && first <= 0xF4) {
        // Nothing overlong (F0 80..8F) and nothing past U+10FFFF (F4 90..).
        const unsigned second = byte(i + 1);
        const bool valid = continuation(i + 1) && continuation(i + 2) && continuation(i + 3)
            && !(first == 0xF0 && second < 0x90) && !(first == 0xF4 && second >= 0x90);
        return valid ? 4 : 0;
    }
    return 0;
}

} // namespace

QString nameFromBytes(const QByteArray& bytes)
{
    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = sequenceLength(bytes, i);
        if (length == 0) {
            name += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[i])));
            ++i;
        } else {
            name += QString::fromUtf8(bytes.constData() + i, length);
            i += length;
        }
    }
    return name;
}

QByteArray nameToBytes(const QString& name)
{
    QByteArray bytes;
    qsizetype run = 0;   // the start of the text not yet encoded
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isEscape(name, i))
            continue;
        bytes += QStringView(name).mid(run, i - run).toUtf8();
        bytes += char(name.at(i).unicode() - kEscapeBase);
        run = i + 1;
    }
    return bytes + QStringView(name).mid(run).toUtf8();
}

bool hasControlCharacter(QStringView text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

QString printableName(const QString& name)
{
    QString shown = name;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (isEscape(name, i) || name.at(i).category() == QChar::Other_Control)
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

Cause readRegularFile(const QString& path, QByteArray& bytes)
{
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer. The type is checked on
    // the open descriptor.
    const int fd = ::open(nameToBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fileCause(errno);
    struct stat st {};
    Cause cause = Cause::None;
    if (::fstat(fd, &st) != 0)
        cause = fileCause(errno);
    else if (S_ISDIR(st.st_mode))
        cause = Cause::IsFolder;
    else if (!S_ISREG(st.st_mode))
        cause = Cause::NotRegularFile;
    char buffer[4096];
    for (ssize_t n = 1; cause == Cause::None && n != 0;) {
        n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, n);
        else if (n < 0 && errno != EINTR)
            cause = fileCause(errno);
    }
    ::close(fd);
    return cause;
}

} // namespace programador
