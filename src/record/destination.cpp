#include "destination.h"

#include "file_names.h"
#include "reasons.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>

namespace programador {

namespace {

// A value in a libpq connection string: quoted, its quotes and backslashes escaped.
QString quoted(QString value)
{
    return QLatin1Char('\'') + value.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"))
        + QLatin1Char('\'');
}

} // namespace

std::optional<Destination> Destination::parse(const QString& text, QString& why)
{
    Destination destination;
    destination.text = text;
    if (!text.startsWith(QLatin1String("postgresql://")) && !text.startsWith(QLatin1String("postgres://")))
        return destination;
    destination.database = true;
    const auto refuse = [&why, &text](const QString& cause) -> std::optional<Destination> {
        why = printableName(text) + QStringLiteral(": ") + cause;
        return std::nullopt;
    };
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return refuse(QStringLiteral("no es una URI válida (%1)").arg(url.errorString()));
    if (!url.password().isEmpty())
        return refuse(QStringLiteral("la contraseña no va en la orden; póngala en ~/.pgpass o en PGPASSWORD"));
    destination.host = url.host();
    destination.port = url.port(-1);
    destination.user = url.userName();
    destination.name = url.path().mid(1);
    if (destination.name.contains(QLatin1Char('/')))
        return refuse(QStringLiteral("no es una URI válida (la base de datos es un solo nombre)"));
    // Whoever sets none: a server out of reach is given up on within seconds, never minutes, and
    // the server's list of clients names the program.
    QStringList options{QStringLiteral("connect_timeout='5'"), QStringLiteral("tcp_user_timeout='10000'"),
                        QStringLiteral("keepalives_idle='10'"), QStringLiteral("application_name='programador'")};
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host"))
            destination.host = value;
        else if (key == QLatin1String("port"))
            destination.port = value.toInt();
        else if (key == QLatin1String("user"))
            destination.user = value;
        else if (key == QLatin1String("dbname"))
            destination.name = value;
        else if (key == QLatin1String("password"))
            return refuse(QStringLiteral("la contraseña no va en la orden; póngala en ~/.pgpass o en PGPASSWORD"));
        else if (!key.contains(QRegularExpression(QStringLiteral("^[a-z_]+$"))) || value.contains(QLatin1Char(';')))
            return refuse(QStringLiteral("no es una URI válida (%1)").arg(key));
        else {
            options.removeIf([&key](const QString& option) { return option.startsWith(key + QLatin1Char('=')); });
            options << key + QLatin1Char('=') + quoted(value);
        }
    }
    destination.options = options.join(QLatin1Char(';'));
    return destination;
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
    for (QByteArray line : bytes.split('\n')) {
        line = line.trimmed();
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
    }
    return settings;
}

QString RecordSettings::stationName() const
{
    return station.isEmpty() ? QSysInfo::machineHostName() : station;
}

} // namespace programador
