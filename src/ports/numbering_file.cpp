#include "numbering_file.h"

#include "file_names.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <string_view>


namespace programador {

namespace {

const char* const kSections[] = {"puertos", "vistos", "adaptadores"};
constexpr NumberingFile::Section kCounted[] = {NumberingFile::Numbers, NumberingFile::Seen, NumberingFile::Adapters};

// COM1..COM16 in any letter case -> 1..16; 0 for any other key ("COM01", "COM17", "COM 1").
int comNumber(const QByteArray& key)
{
    const QByteArray digits = key.mid(3);
    if (key.left(3).toLower() != "com" || digits.isEmpty() || digits.size() > 2 || digits[0] == '0'
        || std::any_of(digits.cbegin(), digits.cend(), [](char c) { return c < '0' || c > '9'; }))
        return 0;
    const int n = digits.toInt();
    return n <= kComNumbers ? n : 0;
}

// A value as QSettings reads what it writes for a name or a time: quoted parts, \" and \\,
// a comment after ";". Any other backslash is the name's own (udev puts \x20 in link names).
QString decode(const QByteArray& text)
{
    QByteArray value;
    qsizetype kept = 0;   // blanks outside quotes before a comment or the end are not the value's
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c == ';' && !quoted)
            break;
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\'))
            c = text[++i];
        value += c;
        if (quoted || (c != ' ' && c != '\t'))
            kept = value.size();
    }
    value.truncate(kept);
    return nameFromBytes(value);
}

// A value as it is where it reads back the same, by this program and by QSettings; else in quotes.
QByteArray encode(const QString& value)
{
    QByteArray bytes = nameToBytes(value);
    const bool plain = bytes == bytes.trimmed() && std::none_of(bytes.cbegin(), bytes.cend(), [](char c) {
                           return std::string_view(";,\"\\").find(c) != std::string_view::npos;
                       });
    if (plain)
        return bytes;
    return '"' + bytes.replace("\\", "\\\\").replace("\"", "\\\"") + '"';
}

} // namespace

bool NumberingFile::read(Cause& cause)
{
    QByteArray bytes;
    cause = readRegularFile(path_, bytes);
    if (cause == Cause::NotFound)
        cause = Cause::None;   // missing: no number given yet
    if (cause != Cause::None)
        return false;
    parse(bytes);
    return true;
}

void NumberingFile::parse(const QByteArray& bytes)
{
    lines_.clear();
    ignored_.clear();
    garbled_ = false;
    by_.clear();
    QList<QByteArray> texts = bytes.split('\n');
    if (bytes.isEmpty() || bytes.endsWith('\n'))
        texts.removeLast();   // nothing follows the last line end
    Section section = Other;   // keys above every section count for none
    bool given[Other][kComNumbers + 1] = {};
    for (const QByteArray& text : std::as_const(texts)) {
        Line line;
        line.text = text;
        const QByteArray trimmed = text.trimmed();   // the CR of a line written on Windows too
        const qsizetype equals = trimmed.indexOf('=');
        if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('#')) {
            // blank or a comment
        } else if (trimmed.startsWith('[') && trimmed.contains(']')) {
            const QByteArray name = trimmed.mid(1, trimmed.indexOf(']') - 1).trimmed().toLower();
            section = Other;
            for (const Section counted : kCounted)
                section = name == kSections[counted] ? counted : section;
            line.section = section;
        } else if (equals > 0) {
            line.section = section;
            const QByteArray key = trimmed.left(equals).trimmed();
            const int n = comNumber(key);
            if (section == Numbers && key.toLower() == "por") {
                by_ = decode(trimmed.mid(equals + 1).trimmed()).toLower();
            } else if (section != Other && (n == 0 || given[section][n])) {
                const QLatin1String sectionName(kSections[section]);
                ignored_ << QStringLiteral("\"%1\" en [%2]").arg(QString::fromUtf8(key), sectionName);
            } else if (section != Other) {
                line.number = n;
                line.value = decode(trimmed.mid(equals + 1).trimmed());
                given[section][n] = true;
            }
        } else {
            garbled_ = true;
        }
        lines_.append(line);
    }
}

QMap<int, QString> NumberingFile::values(Section section) const
{
    QMap<int, QString> values;
    for (const Line& line : lines_) {
        if (line.section == section && line.number != 0 && !line.value.isEmpty())
            values[line.number] = line.value;
    }
    return values;
}

bool NumberingFile::write(const Values& wanted, Cause& cause, QString& detail)
{
    // A section ends at its last "[section]" or "key=value" line: a comment just above the
    // next section is about that one.
    qsizetype end[] = {-1, -1, -1};
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        if (lines_[i].section != Other)
            end[lines_[i].section] = i;
    }
    QList<QByteArray> added[Other];
    for (const Section s : kCounted) {
        for (const int n : wanted[s].keys()) {
            const auto has = [&](const Line& line) { return line.section == s && line.number == n; };
            if (std::none_of(lines_.cbegin(), lines_.cend(), has))
                added[s] << "COM" + QByteArray::number(n) + '=' + encode(wanted[s].value(n));
        }
    }

    QList<QByteArray> out;
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.number == 0) {
            out << line.text;
        } else if (const auto value = wanted[line.section].constFind(line.number);
                   value != wanted[line.section].cend()) {
            // The key as written, and the CR of a line written on Windows.
            const QByteArray cr = line.text.endsWith('\r') ? "\r" : "";
            const QByteArray replaced = line.text.left(line.text.indexOf('=') + 1) + encode(*value) + cr;
            out << (*value == line.value ? line.text : replaced);
        } else if (line.value.isEmpty()) {
            out << line.text;   // a key with no value gave no number to remove
        }
        for (const Section s : kCounted) {
            if (i == end[s])
                out << added[s];
        }
    }
    for (const Section s : kCounted) {
        if (end[s] >= 0 || added[s].isEmpty())
            continue;
        if (!out.isEmpty() && !out.last().trimmed().isEmpty())
            out << QByteArray();
        out << '[' + QByteArray(kSections[s]) + ']' << added[s];
    }
    const QByteArray bytes = out.join('\n') + '\n';

    // Written beside the file and renamed into place, so a failure leaves the old file whole.
    // QSaveFile holds the bytes in its buffer, and its commit() does not notice when they
    // cannot be written out (a full disk); flushing first brings that out. It calls every
    // failed open an OpenError: errno, left by the call that failed, says why.
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile file(path_);
    errno = 0;
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush()
        && file.commit();
    const int error = errno;
    cause = written ? Cause::None : writeCause(error);
    detail = written ? QString() : systemText(error);
    return written;
}

} // namespace programador
