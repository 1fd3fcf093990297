#include "twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace programador {

Twips Twips::forScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return Twips(screen ? screen->logicalDotsPerInch() : 96.0);
}

int Twips::toPixels(int twips) const
{
    return static_cast<int>(std::lround(twips * dpi_ / 1440.0));
}

QRect Twips::rect(int left, int top, int width, int height) const
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

QSize Twips::size(int width, int height) const
{
    return QSize(toPixels(width), toPixels(height));
}

} // namespace programador
