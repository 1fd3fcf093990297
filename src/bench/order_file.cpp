#include "order_file.h"

#include "file_names.h"
#include "numbering_file.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <cctype>

namespace programador {

namespace {

constexpr qsizetype kMaxBytes = 64 * 1024;
constexpr int kMaxCount = 1000000;
constexpr int kMaxFailures = 100;
const QList<QByteArray> kFields{"nombre", "imagen", "sha256", "cantidad", "serie", "puertos", "fallas_seguidas"};

// A whole number from lo to hi, written as a person writes it (no sign, no leading zero); 0
// for anything else.
int number(const QByteArray& text, int lo, int hi)
{
    if (text.isEmpty() || text.size() > 7 || text[0] == '0'
        || std::any_of(text.cbegin(), text.cend(), [](char c) { return c < '0' || c > '9'; }))
        return 0;
    const int n = text.toInt();
    return n >= lo && n <= hi ? n : 0;
}

bool isUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);   // decoded when it is made a QString
    return !decoder.hasError();
}

// A value as written: double quotes around it keep its blanks.
QByteArray quoted(const QString& value)
{
    QByteArray bytes = nameToBytes(value);
    bytes.replace('\n', ' ').replace('\r', ' ');
    const bool plain = bytes == bytes.trimmed() && !(bytes.startsWith('"') && bytes.endsWith('"'));
    return plain ? bytes : '"' + bytes + '"';
}

} // namespace

bool parseOrder(const QByteArray& bytes, const QString& shown, const QString& folder, Order& order, QString& refusal)
{
    const auto refuse = [&](qsizetype line, const QString& why) {
        refusal = line > 0 ? QStringLiteral("%1, línea %2: %3").arg(shown).arg(line).arg(why) : shown + QStringLiteral(": ") + why;
        return false;
    };
    if (bytes.size() > kMaxBytes)
        return refuse(0, QStringLiteral("mide más de 64 KiB; no es un archivo de orden"));
    const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;   // a BOM that an editor wrote
    const QList<QByteArray> lines = text.split('\n');
    Order read;
    QHash<QByteArray, qsizetype> given;
    qsizetype section = 0;   // the line of [orden]
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype n = i + 1;
        // A tab is a blank; the CR of a line written on Windows goes with the trimming.
        const QByteArray line = QByteArray(lines[i]).replace('\t', ' ').trimmed();
        if (line.contains('\0'))
            return refuse(n, QStringLiteral("tiene un byte nulo; una orden es texto"));
        // Any other control character is a slip of the editor, which neither the record, the
        // screen nor "Guardar orden..." could keep, and which a message must not print.
        if (std::any_of(line.cbegin(), line.cend(), [](char c) { return (c >= 0 && c < ' ') || c == 0x7f; }))
            return refuse(n, QStringLiteral("tiene un carácter de control"));
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            const QByteArray name = line.endsWith(']') ? line.mid(1, line.size() - 2).trimmed().toLower() : QByteArray();
            if (name != "orden")
                return refuse(n, QStringLiteral("%1 no es la sección de una orden: todo va en [orden]")
                                     .arg(printableName(nameFromBytes(line))));
            if (section > 0)
                return refuse(n, QStringLiteral("[orden] ya se abrió en la línea %1").arg(section));
            section = n;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            return refuse(n, QStringLiteral("no se entiende; cada línea de una orden es campo=valor"));
        const QByteArray key = line.left(equals).trimmed().toLower();
        QByteArray value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        const QString field = printableName(nameFromBytes(key));
        if (!kFields.contains(key))
            return refuse(n, QStringLiteral("%1 no es un campo de una orden (nombre, imagen, sha256, cantidad, serie, puertos,"
                                            " fallas_seguidas)").arg(field));
        if (section == 0)
            return refuse(n, QStringLiteral("%1= está antes de [orden]").arg(field));
        if (given.contains(key))
            return refuse(n, QStringLiteral("%1= ya se dio en la línea %2").arg(field).arg(given.value(key)));
        given.insert(key, n);
        // A path is bytes, as Linux names are; every other value is text.
        if (key != "imagen" && !isUtf8(value))
            return refuse(n, QStringLiteral("%1= no es texto UTF-8").arg(field));
        if (key == "nombre") {
            read.name = QString::fromUtf8(value);
            if (read.name.trimmed().isEmpty())
                return refuse(n, QStringLiteral("nombre= necesita el nombre de la orden"));
        } else if (key == "imagen") {
            if (value.isEmpty())
                return refuse(n, QStringLiteral("imagen= necesita la ruta de la imagen"));
            read.image = QDir::cleanPath(QDir(folder).absoluteFilePath(nameFromBytes(value)));
        } else if (key == "sha256") {
            if (value.size() != 64
                || !std::all_of(value.cbegin(), value.cend(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
                return refuse(n, QStringLiteral("sha256= debe tener los 64 dígitos hexadecimales del SHA-256 de la imagen"));
            read.sha256 = value.toLower();
        } else if (key == "cantidad") {
            read.count = value.isEmpty() ? 0 : number(value, 1, kMaxCount);
            if (!value.isEmpty() && read.count == 0)
                return refuse(n, QStringLiteral("cantidad= debe ser un número de placas, de 1 a %1").arg(kMaxCount));
        } else if (key == "serie") {
            const QString answer = QString::fromUtf8(value).toLower();
            if (answer != QLatin1String("si") && answer != QStringLiteral("sí") && answer != QLatin1String("no"))
                return refuse(n, QStringLiteral("serie= debe ser si o no"));
            read.asksSerial = answer != QLatin1String("no");
        } else if (key == "puertos") {
            for (const QByteArray& item : value.isEmpty() ? QList<QByteArray>() : value.split(',')) {
                const int com = number(item.trimmed(), 1, kComNumbers);
                if (com == 0)
                    return refuse(n, QStringLiteral("puertos= debe dar números de COM de 1 a %1, separados por comas (1,2,3,4)")
                                         .arg(kComNumbers));
                if (read.ports.contains(com))
                    return refuse(n, QStringLiteral("puertos= da COM%1 dos veces").arg(com));
                read.ports << com;
            }
        } else {
            read.failuresInRow = number(value, 1, kMaxFailures);
            if (read.failuresInRow == 0)
                return refuse(n, QStringLiteral("fallas_seguidas= debe ser un número de 1 a %1").arg(kMaxFailures));
        }
    }
    if (section == 0)
        return refuse(0, QStringLiteral("no tiene la sección [orden]"));
    for (const auto& [key, what] : {std::pair{"nombre", "el nombre de la orden"}, std::pair{"imagen", "la ruta de la imagen"},
                                    std::pair{"sha256", "el SHA-256 de la imagen aprobada"}}) {
        if (!given.contains(key))
            return refuse(0, QStringLiteral("falta %1= (%2)").arg(QLatin1String(key), QString::fromUtf8(what)));
    }
    order = read;
    return true;
}

bool readOrder(const QString& path, Order& order, QString& refusal)
{
    const QString shown = printableName(path);
    QByteArray bytes;
    if (const Cause cause = readRegularFile(path, bytes); cause != Cause::None) {
        refusal = reasonLine(shown, cause);
        return false;
    }
    return parseOrder(bytes, shown, QFileInfo(path).absolutePath(), order, refusal);
}

QString imageRefusal(const Order& order, const QString& shown, const QByteArray& sha256)
{
    if (sha256.toLower() == order.sha256)
        return {};
    return QStringLiteral("%1: su SHA-256 es %2..., la orden %3 aprobó %4...")
        .arg(shown, QString::fromLatin1(sha256.left(12).toLower()), order.name, QString::fromLatin1(order.sha256.left(12)));
}

QByteArray orderText(const Order& order)
{
    QByteArray text = "[orden]\n";
    text += "nombre=" + quoted(order.name) + '\n';
    text += "imagen=" + quoted(order.image) + '\n';
    text += "sha256=" + order.sha256 + '\n';
    if (order.count > 0)
        text += "cantidad=" + QByteArray::number(order.count) + '\n';
    else   // for the engineer who gives it a count by hand
        text += "; cantidad=500 termina la orden con 500 placas \"Programa listo\"; sin ella no tiene límite\n";
    text += order.asksSerial ? "serie=si\n" : "serie=no\n";
    if (!order.ports.isEmpty()) {
        QList<QByteArray> ports;
        for (const int com : order.ports)
            ports << QByteArray::number(com);
        text += "puertos=" + ports.join(',') + '\n';
    }
    text += "fallas_seguidas=" + QByteArray::number(order.failuresInRow) + '\n';
    return text;
}

} // namespace programador
