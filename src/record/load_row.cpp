#include "load_row.h"

#include "file_names.h"

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

QByteArray LoadRow::csvHeader()
{
    return "inicio,puerto,dispositivo,serie_adaptador,imagen,bytes,sha256,bloques_enviados,bloques_total,"
           "resultado,estado,segundos\r\n";
}

QByteArray LoadRow::csv() const
{
    // Numbers and the time as they are: the local time with its offset from UTC, as a
    // spreadsheet and a reader both take it.
    const QList<QByteArray> cells{
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
    };
    return cells.join(',') + "\r\n";
}

} // namespace programador
