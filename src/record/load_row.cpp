#include "load_row.h"

#include "file_names.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

namespace programador {

namespace {

// A text cell. One that starts as a formula would (=, +, -, @, or a tab or carriage return
// that a spreadsheet skips before one) gets a leading apostrophe, the usual defence: the
// spreadsheet shows the text instead of evaluating it. Then RFC 4180: quoted when it holds a
// comma, a quote or a line break, its quotes doubled.
QByteArray text(QByteArray cell)
{
    if (!cell.isEmpty() && QByteArrayView("=+-@\t\r").contains(cell.front()))
        cell.prepend('\'');
    if (!cell.contains(',') && !cell.contains('"') && !cell.contains('\n') && !cell.contains('\r'))
        return cell;
    return '"' + cell.replace('"', "\"\"") + '"';
}

} // namespace

QList<QByteArray> LoadRow::csvColumns()
{
    return {"inicio", "puerto", "dispositivo", "serie_adaptador", "imagen", "bytes", "sha256", "bloques_enviados",
            "bloques_total", "resultado", "estado", "segundos", "serie", "orden", "operador", "causa"};
}

QByteArray LoadRow::csvHeader()
{
    return csvColumns().join(',') + "\r\n";
}

QByteArray LoadRow::csv(const QList<QByteArray>& columns) const
{
    // Numbers and the time as they are: the local time with its offset from UTC, as a
    // spreadsheet and a reader both take it.
    const QList<QByteArray> all{
        start.toOffsetFromUtc(start.offsetFromUtc()).toString(Qt::ISODate).toLatin1(),
        number > 0 ? text("COM" + QByteArray::number(number)) : QByteArray(),
        text(nameToBytes(device)),
        text(serialNumber.toUtf8()),
        text(nameToBytes(image).split('/').last()),
        QByteArray::number(size),
        sha256,
        QByteArray::number(blocksSent),
        QByteArray::number(blocks),
        text(result.toUtf8()),
        QByteArray::number(status),
        QByteArray::number(seconds, 'f', 1),
        text(serial.toUtf8()),
        text(order.toUtf8()),
        text(operatorName.toUtf8()),
        text(cause.toUtf8()),
    };
    const QList<QByteArray> names = csvColumns();
    QList<QByteArray> cells;
    for (const QByteArray& column : columns)
        cells << all.value(names.indexOf(column));
    return cells.join(',') + "\r\n";
}

QString LoadRow::storedDevice() const
{
    return printableName(device);
}

QString LoadRow::storedImage() const
{
    return printableName(image.section(QLatin1Char('/'), -1));
}

QByteArray LoadRow::sql() const
{
    const auto literal = [](const QString& value) {
        return QLatin1Char('\'') + QString(value).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
    };
    const auto nullable = [&literal](const QString& value) { return value.isEmpty() ? QStringLiteral("NULL") : literal(value); };
    const QStringList values{
        literal(id.toString(QUuid::WithoutBraces)),
        literal(start.toOffsetFromUtc(start.offsetFromUtc()).toString(Qt::ISODateWithMs)),
        literal(station),
        literal(version),
        nullable(number > 0 ? QStringLiteral("COM%1").arg(number) : QString()),
        literal(storedDevice()),
        nullable(serialNumber),
        literal(storedImage()),
        QString::number(size),
        literal(QString::fromLatin1(sha256)),
        QString::number(blocksSent),
        QString::number(blocks),
        literal(result),
        QString::number(status),
        QString::number(seconds, 'f', 1),
        nullable(serial),
        nullable(order),
        nullable(operatorName),
        nullable(cause),
    };
    return ("INSERT INTO cargas (id, inicio, estacion, version, puerto, dispositivo, serie_adaptador, imagen, bytes, sha256, "
            "bloques_enviados, bloques_total, resultado, estado, segundos, serie, orden, operador, causa) VALUES ("
            + values.join(QStringLiteral(", ")) + QStringLiteral(") ON CONFLICT DO NOTHING;\n"))
        .toUtf8();
}

QByteArray LoadRow::json() const
{
    // Names as the operator reads them: a database's text holds UTF-8 only.
    const QJsonObject object{
        {QStringLiteral("id"), id.toString(QUuid::WithoutBraces)},
        {QStringLiteral("estacion"), station},
        {QStringLiteral("version"), version},
        {QStringLiteral("inicio"), start.toOffsetFromUtc(start.offsetFromUtc()).toString(Qt::ISODateWithMs)},
        {QStringLiteral("puerto"), number},
        {QStringLiteral("dispositivo"), storedDevice()},
        {QStringLiteral("serie_adaptador"), serialNumber},
        {QStringLiteral("imagen"), storedImage()},
        {QStringLiteral("bytes"), size},
        {QStringLiteral("sha256"), QString::fromLatin1(sha256)},
        {QStringLiteral("bloques_enviados"), blocksSent},
        {QStringLiteral("bloques_total"), blocks},
        {QStringLiteral("resultado"), result},
        {QStringLiteral("estado"), status},
        {QStringLiteral("segundos"), seconds},
        {QStringLiteral("serie"), serial},
        {QStringLiteral("orden"), order},
        {QStringLiteral("operador"), operatorName},
        {QStringLiteral("causa"), cause},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<LoadRow> LoadRow::fromJson(const QByteArray& bytes)
{
    const QJsonObject o = QJsonDocument::fromJson(bytes).object();
    LoadRow row{QUuid::fromString(o.value(QStringLiteral("id")).toString()), o.value(QStringLiteral("estacion")).toString(),
                o.value(QStringLiteral("version")).toString(),
                QDateTime::fromString(o.value(QStringLiteral("inicio")).toString(), Qt::ISODateWithMs),
                o.value(QStringLiteral("puerto")).toInt(), o.value(QStringLiteral("dispositivo")).toString(),
                o.value(QStringLiteral("serie_adaptador")).toString(), o.value(QStringLiteral("imagen")).toString(),
                o.value(QStringLiteral("bytes")).toInteger(), o.value(QStringLiteral("sha256")).toString().toLatin1(),
                o.value(QStringLiteral("bloques_enviados")).toInt(), o.value(QStringLiteral("bloques_total")).toInt(),
                o.value(QStringLiteral("resultado")).toString(), o.value(QStringLiteral("estado")).toInt(),
                o.value(QStringLiteral("segundos")).toDouble(), o.value(QStringLiteral("serie")).toString(),
                o.value(QStringLiteral("orden")).toString(), o.value(QStringLiteral("operador")).toString(),
                o.value(QStringLiteral("causa")).toString()};
    if (row.id.isNull() || !row.start.isValid())
        return std::nullopt;
    return row;
}

} // namespace programador
