#include "destination.h"

#include "file_names.h"
#include "reasons.h"
#include "user_names.h"

#include <QByteArray>
#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QSysInfo>
#include <QUrl>

#include <algorithm>

#include <unistd.h>

namespace programador {

namespace {

// libpq's keywords (PostgreSQL 15); a password is among them only to be refused.
const QStringList kKeywords{
    "host", "hostaddr", "port", "dbname", "user", "password", "passfile", "channel_binding", "connect_timeout",
    "client_encoding", "options", "application_name", "fallback_application_name", "keepalives", "keepalives_idle",
    "keepalives_interval", "keepalives_count", "tcp_user_timeout", "sslmode", "requiressl", "sslcompression", "sslcert",
    "sslkey", "sslpassword", "sslrootcert", "sslcrl", "sslcrldir", "sslsni", "requirepeer", "ssl_min_protocol_version",
    "ssl_max_protocol_version", "gssencmode", "krbsrvname", "gsslib", "service", "target_session_attrs"};
const QStringList kNumbers{"connect_timeout", "keepalives", "keepalives_idle", "keepalives_interval", "keepalives_count",
                           "tcp_user_timeout", "requiressl", "sslcompression", "sslsni"};
const std::pair<const char*, QStringList> kChoices[] = {
    {"sslmode", {"disable", "allow", "prefer", "require", "verify-ca", "verify-full"}},
    {"gssencmode", {"disable", "prefer", "require"}},
    {"channel_binding", {"disable", "prefer", "require"}},
    {"target_session_attrs", {"any", "read-write", "read-only", "primary", "standby", "prefer-standby"}},
};
// Every statement on the record's connection has a bound, so that a lock held on cargas, a
// hung backend or a long migration costs a row a few seconds and the record's end none.
constexpr auto kBounds = "-c statement_timeout=5000 -c lock_timeout=3000";

// A value in a libpq connection string: quoted, its quotes and backslashes escaped.
QString quoted(QString value)
{
    return QLatin1Char('\'') + value.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"))
        + QLatin1Char('\'');
}

// %XX decoded, as libpq decodes every part of a URI; false for a broken escape.
bool decode(const QString& part, QString& out)
{
    const QByteArray bytes = part.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '%')
            continue;
        if (i + 2 >= bytes.size() || !std::isxdigit(static_cast<unsigned char>(bytes[i + 1]))
            || !std::isxdigit(static_cast<unsigned char>(bytes[i + 2])))
            return false;
    }
    out = QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
    return !out.contains(QChar(0));
}

// A host as the server's key names it: in lower case, a socket folder without its last slash,
// the loopback by one name.
QString hostKey(QString host)
{
    if (host.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(host);
    host = host.toLower();
    if (host == QLatin1String("127.0.0.1") || host == QLatin1String("::1") || host == QLatin1String("localhost"))
        return QStringLiteral("localhost");
    return host;
}

} // namespace

std::optional<Destination> Destination::parse(const QString& text, QString& why)
{
    Destination d;
    d.text = text;
    d.shown = printableName(text);
    const QRegularExpressionMatch scheme =
        QRegularExpression(QStringLiteral("^postgres(ql)?://"), QRegularExpression::CaseInsensitiveOption).match(text);
    if (!scheme.hasMatch())
        return d;
    d.database = true;
    QString rest = text.mid(scheme.capturedLength());
    const auto refuse = [&why, &d](const QString& cause) -> std::optional<Destination> {
        why = d.shown + QStringLiteral(": ") + cause;
        return std::nullopt;
    };
    const auto unreadable = [&refuse](const QString& what) {
        return refuse(QStringLiteral("no es una URI válida (%1)").arg(what));
    };
    // A URI holds no control character (it would be percent-encoded); libpq would read a
    // value only up to a NUL, and another server than the one shown.
    if (hasControlCharacter(text))
        return unreadable(QStringLiteral("un carácter de control"));
    const QString noPassword = QStringLiteral("la contraseña no va en la orden; póngala en ~/.pgpass o en PGPASSWORD");

    // The user, before an "@" that comes before the first "/".
    QString user, password;
    const qsizetype at = rest.indexOf(QLatin1Char('@')), slash = rest.indexOf(QLatin1Char('/'));
    if (at >= 0 && (slash < 0 || at < slash)) {
        const QString userInfo = rest.left(at);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        if (!decode(userInfo.left(colon), user))
            return unreadable(QStringLiteral("el usuario"));
        password = colon >= 0 ? userInfo.mid(colon + 1) : QString();
        // Never shown, not even in the message that refuses it.
        if (colon >= 0)
            d.shown = printableName(text.left(scheme.capturedLength()) + userInfo.left(colon) + QStringLiteral(":***")
                                    + text.mid(scheme.capturedLength() + at));
        rest = rest.mid(at + 1);
    }

    // The hosts: host[:port] separated by commas, an IPv6 address in brackets.
    QStringList hosts, ports;
    const qsizetype end = [&rest] {
        for (qsizetype i = 0; i < rest.size(); ++i)
            if (rest[i] == QLatin1Char('/') || rest[i] == QLatin1Char('?'))
                return i;
        return rest.size();
    }();
    for (const QString& item : rest.left(end).split(QLatin1Char(','))) {
        QString host = item, port;
        if (item.startsWith(QLatin1Char('['))) {
            const qsizetype close = item.indexOf(QLatin1Char(']'));
            if (close < 0 || (close + 1 < item.size() && item[close + 1] != QLatin1Char(':')))
                return unreadable(QStringLiteral("la dirección IPv6"));
            host = item.mid(1, close - 1);
            port = item.mid(close + 2);
        } else if (const qsizetype colon = item.indexOf(QLatin1Char(':')); colon >= 0) {
            host = item.left(colon);
            port = item.mid(colon + 1);
        }
        QString decoded;
        if (!decode(host, decoded))
            return unreadable(QStringLiteral("el servidor"));
        hosts << decoded;
        ports << port;
    }
    rest = rest.mid(end);
    QString dbname;
    if (rest.startsWith(QLatin1Char('/'))) {
        const qsizetype query = rest.indexOf(QLatin1Char('?'));
        if (!decode(rest.mid(1, query < 0 ? -1 : query - 1), dbname))
            return unreadable(QStringLiteral("la base de datos"));
        rest = query < 0 ? QString() : rest.mid(query);
    }

    QList<std::pair<QString, QString>> query;
    if (rest.startsWith(QLatin1Char('?'))) {
        for (const QString& item : rest.mid(1).split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
            const qsizetype equals = item.indexOf(QLatin1Char('='));
            QString key, value;
            if (equals < 0 || !decode(item.left(equals), key) || !decode(item.mid(equals + 1), value))
                return unreadable(item.section(QLatin1Char('='), 0, 0));
            if (key == QLatin1String("ssl") && value == QLatin1String("true"))   // as libpq takes it from JDBC
                key = QStringLiteral("sslmode"), value = QStringLiteral("require");
            if (key == QLatin1String("password") || key == QLatin1String("sslpassword")) {
                d.shown.replace(QRegularExpression(QStringLiteral("([?&]%1=)[^&]*").arg(key)), QStringLiteral("\\1***"));
                password = value;
                continue;
            }
            if (!kKeywords.contains(key))
                return unreadable(key);
            // QPSQL turns every ";" of its options into a space.
            if (value.contains(QLatin1Char(';')))
                return unreadable(key);
            query.removeIf([&key](const auto& kv) { return kv.first == key; });
            query.append({key, value});
        }
    }
    if (!password.isEmpty())
        return refuse(noPassword);

    const auto given = [&query](const char* key) -> std::optional<QString> {
        for (const auto& [k, v] : query)
            if (k == QLatin1String(key))
                return v;
        return std::nullopt;
    };
    if (const auto h = given("host"))
        hosts = h->split(QLatin1Char(','));
    if (const auto p = given("port"))
        ports = p->split(QLatin1Char(','));
    if (const auto u = given("user"))
        user = *u;
    if (const auto n = given("dbname"))
        dbname = *n;
    for (const QString& port : ports) {
        const bool digits = std::all_of(port.cbegin(), port.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        if (!port.isEmpty() && (!digits || port.size() > 5 || port.toInt() < 1 || port.toInt() > 65535))
            return unreadable(QStringLiteral("el puerto %1").arg(port));
    }
    if (ports.size() != 1 && ports.size() != hosts.size())
        return unreadable(QStringLiteral("%1 puertos para %2 servidores").arg(ports.size()).arg(hosts.size()));
    for (const QString& key : kNumbers) {
        bool number = true;
        if (const auto v = given(key.toLatin1().constData()))
            v->toInt(&number);
        if (!number)
            return unreadable(key);
    }
    for (const auto& [key, choices] : kChoices) {
        if (const auto v = given(key); v && !choices.contains(*v))
            return unreadable(QLatin1String(key));
    }

    // The connection: where the URI points, then its query, then what the record needs.
    const auto keep = [&d](const QString& key, const QString& value) {
        if (!value.isEmpty())
            d.keywords.append({key, value});
    };
    keep(QStringLiteral("host"), hosts.join(QLatin1Char(',')).remove(QRegularExpression(QStringLiteral("^,+$"))));
    keep(QStringLiteral("port"), ports.join(QLatin1Char(',')).remove(QRegularExpression(QStringLiteral("^,+$"))));
    keep(QStringLiteral("dbname"), dbname);
    keep(QStringLiteral("user"), user);
    // Whoever sets none: a server out of reach is given up on within seconds, never minutes,
    // and the server's list of clients names the program.
    const std::pair<const char*, const char*> defaults[] = {
        {"connect_timeout", "5"}, {"tcp_user_timeout", "10000"}, {"keepalives_idle", "10"}, {"application_name", "programador"}};
    for (const auto& [key, value] : defaults)
        keep(QLatin1String(key), given(key).value_or(QLatin1String(value)));
    // Of several servers (one with a standby), rows go to the one that takes writes.
    if (hosts.size() > 1 && !given("target_session_attrs"))
        keep(QStringLiteral("target_session_attrs"), QStringLiteral("read-write"));
    // The bounds first: the URI's own options may set them otherwise.
    keep(QStringLiteral("options"), (QLatin1String(kBounds) + QLatin1Char(' ') + given("options").value_or(QString())).trimmed());
    const QStringList placed{"host", "port", "dbname", "user", "options", "connect_timeout", "tcp_user_timeout",
                             "keepalives_idle", "application_name"};
    for (const auto& [key, value] : query) {
        if (!placed.contains(key))
            keep(key, value);
    }

    // The server's key, with libpq's defaults where the URI names none.
    if (user.isEmpty())
        user = qEnvironmentVariable("PGUSER", loginName());
    if (dbname.isEmpty())
        dbname = qEnvironmentVariable("PGDATABASE", user);
    const QString defaultHost = qEnvironmentVariable("PGHOST", QStringLiteral("/var/run/postgresql"));
    const QString defaultPort = qEnvironmentVariable("PGPORT", QStringLiteral("5432"));
    QStringList servers;
    for (qsizetype i = 0; i < hosts.size(); ++i) {
        const QString port = ports.value(ports.size() == 1 ? 0 : i);
        servers << hostKey(hosts[i].isEmpty() ? defaultHost : hosts[i]) + QLatin1Char(':') + (port.isEmpty() ? defaultPort : port);
    }
    servers.sort();
    d.role = user;
    d.server = QStringLiteral("postgresql://%1@%2/%3").arg(user, servers.join(QLatin1Char(',')), dbname);
    for (const char* key : {"hostaddr", "options", "service"}) {
        if (const auto v = given(key))
            d.server += QStringLiteral("?%1=%2").arg(QLatin1String(key), *v);
    }
    return d;
}

QString Destination::connectOptions() const
{
    QStringList options;
    for (const auto& [key, value] : keywords)
        options << key + QLatin1Char('=') + quoted(value);
    return options.join(QLatin1Char(';'));
}

QString Destination::value(const QString& keyword) const
{
    for (const auto& [key, value] : keywords)
        if (key == keyword)
            return value;
    return {};
}

QString RecordSettings::defaultFile()
{
    // QStandardPaths follows XDG_CONFIG_HOME, and ~/.config without it.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/programador/registro.ini");
}

RecordSettings RecordSettings::read(const QString& path, QString& why)
{
    RecordSettings settings;
    QByteArray bytes;
    const Cause cause = readRegularFile(path, bytes);
    if (cause != Cause::None) {
        if (cause != Cause::NotFound)
            why = reasonLine(printableName(path), cause);
        return settings;
    }
    bool inSection = false;
    int number = 0;
    const auto refuse = [&](const QString& reason) {
        why = QStringLiteral("%1, línea %2: %3").arg(printableName(path)).arg(number).arg(reason);
        return RecordSettings{};
    };
    for (QByteArray line : bytes.split('\n')) {
        ++number;
        line = line.trimmed();
        // A path or a server read otherwise than written would send the rows elsewhere: a line
        // that is not UTF-8 text, or holds a control character, is refused with its number.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8(line);
        const char* fault = utf8.hasError() ? "no es texto UTF-8"
            : hasControlCharacter(text)
            ? "tiene un carácter de control" : nullptr;
        if (fault)
            return refuse(QString::fromUtf8(fault));
        if (line.startsWith('[')) {
            inSection = line.toLower() == "[registro]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inSection || equals < 0 || line.startsWith(';') || line.startsWith('#'))
            continue;
        const QByteArray key = line.left(equals).trimmed().toLower();
        const QString value = QString::fromUtf8(line.mid(equals + 1).trimmed());
        if (key == "destino")
            settings.destination = value;
        else if (key == "estacion")
            settings.station = value;
        else if (key == "sonido")
            // Only "no" silences the bench: a word misread leaves it heard, and never costs the
            // PC its record.
            settings.sound = value.toLower() != QLatin1String("no");
    }
    return settings;
}

QString RecordSettings::stationName() const
{
    return station.isEmpty() ? QSysInfo::machineHostName() : station;
}

} // namespace programador
