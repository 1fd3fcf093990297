#pragma once

#include <QImage>
#include <QPixmap>

namespace programador {

// The picture of Image1: the device with its RS232 connector and cable, 96 x 70 pixels.
QPixmap devicePicture();
// The same picture as the program's icon: size x size pixels, transparent around it.
QImage deviceIcon(int size);

} // namespace programador
