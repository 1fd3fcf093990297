// Writes the program's icon, the device picture at the size asked for, as a PNG:
//   programador_icon SIZE FILE
#include "device_picture.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const int size = argc == 3 ? QByteArray(argv[1]).toInt() : 0;
    if (size <= 0 || !programador::deviceIcon(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "usage: programador_icon SIZE FILE.png\n");
        return 1;
    }
    return 0;
}
