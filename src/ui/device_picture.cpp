#include "device_picture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace programador {

namespace {

constexpr int kWidth = 96;
constexpr int kHeight = 70;

// A DB9 shell (trapezoid, wide side up) with its five and four pins, centred on (cx, cy).
void drawConnector(QPainter& p, qreal cx, qreal cy)
{
    const QPolygonF shell({QPointF(cx - 13, cy - 5), QPointF(cx + 13, cy - 5), QPointF(cx + 10, cy + 5),
                           QPointF(cx - 10, cy + 5)});
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(QColor(190, 195, 200));
    p.drawPolygon(shell);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPointF(cx - 8 + 4 * i, cy - 2), 1.1, 1.1);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(cx - 6 + 4 * i, cy + 2), 1.1, 1.1);
    // The two screw posts beside the shell.
    p.setBrush(QColor(150, 150, 150));
    p.drawEllipse(QPointF(cx - 17, cy), 2, 2);
    p.drawEllipse(QPointF(cx + 17, cy), 2, 2);
}

void paintDevice(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);

    // The device: a dark enclosure seen from the front.
    const QRectF body(4, 8, 88, 44);
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0, QColor(70, 80, 110));
    shade.setColorAt(1, QColor(30, 35, 55));
    p.setPen(QPen(QColor(15, 15, 25), 1));
    p.setBrush(shade);
    p.drawRoundedRect(body, 5, 5);

    // Its display and the power LED.
    p.setPen(QPen(QColor(10, 40, 10), 1));
    p.setBrush(QColor(120, 200, 120));
    p.drawRect(QRectF(10, 14, 40, 14));
    p.setPen(QPen(QColor(20, 90, 20), 1));
    for (int i = 0; i < 5; ++i)
        p.drawLine(QPointF(13 + 7 * i, 18), QPointF(17 + 7 * i, 18));
    p.drawLine(QPointF(13, 23), QPointF(35, 23));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 60, 40));
    p.drawEllipse(QPointF(80, 18), 3, 3);
    p.setBrush(QColor(255, 200, 190));
    p.drawEllipse(QPointF(79, 17), 1, 1);

    drawConnector(p, 30, 42);

    // The cable leaving the connector towards the PC.
    QPainterPath cable(QPointF(30, 47));
    cable.cubicTo(QPointF(30, 64), QPointF(60, 56), QPointF(66, 66));
    cable.lineTo(QPointF(70, 70));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(40, 40, 40), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cable);
    p.setPen(QPen(QColor(110, 110, 110), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cable);

    // "RS232" beside the connector.
    QFont font = p.font();
    font.setPixelSize(8);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(230, 230, 240));
    p.drawText(QRectF(50, 36, 40, 12), Qt::AlignCenter, QStringLiteral("RS232"));
}

} // namespace

QPixmap devicePicture()
{
    QPixmap picture(kWidth, kHeight);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    paintDevice(p);
    return picture;
}

QImage deviceIcon(int size)
{
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    // The whole picture across the square, drawn at that size, centred from top to bottom.
    const qreal scale = qreal(size) / kWidth;
    p.translate(0, (size - kHeight * scale) / 2);
    p.scale(scale, scale);
    paintDevice(p);
    return icon;
}

} // namespace programador
