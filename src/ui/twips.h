#pragma once

#include <QRect>
#include <QSize>

namespace programador {

// The windows are designed in twips (1/1440 inch): pixels = twips x logical DPI / 1440,
// so 15 twips are one pixel at 96 DPI. Every geometry goes through these helpers.
class Twips {
public:
    explicit Twips(double logicalDpi) : dpi_(logicalDpi) {}
    // The logical DPI of the primary screen (96 where there is none).
    static Twips forScreen();

    int toPixels(int twips) const;
    QRect rect(int left, int top, int width, int height) const;
    QSize size(int width, int height) const;
    double dpi() const { return dpi_; }

private:
    double dpi_;
};

} // namespace programador
