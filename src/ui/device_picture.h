#pragma once

#include <QPixmap>

namespace programador {

// The picture of Image1: the device with its RS232 connector and cable, 96 x 70 pixels.
QPixmap devicePicture();

} // namespace programador
