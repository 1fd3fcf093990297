// Paced devices for a run of the real program that a person or a script drives (xdotool under
// Xvfb): N devices at 9600 baud, each checking every block against IMAGE, whose paths it
// prints as PROGRAMADOR_COMn=PATH lines (give them to the program's environment). Then one
// command a line on standard input, each answered with one line:
//   on N      device N's board is switched on
//   next N    device N's board is swapped for the next one, still off
//   mute N K  device N's board answers no block after block K (its loader's wait runs out)
//   wait N    waits (60 s at most) for device N's board to end: "COMn: K de M bloques" and
//             what was wrong, if anything
//   quit
//
//   build/bench/bench_devices IMAGE N
#include "paced_device.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace programador::bench;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QFile file(argc == 3 ? QString::fromLocal8Bit(argv[1]) : QString());
    const int n = argc == 3 ? std::atoi(argv[2]) : 0;
    if (n < 1 || n > 16 || !file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "uso: bench_devices IMAGEN N (1 a 16)\n");
        return 64;
    }
    const QByteArray expected = padded(file.readAll());
    std::vector<std::unique_ptr<PacedDevice>> devices;
    for (int i = 1; i <= n; ++i) {
        devices.push_back(std::make_unique<PacedDevice>(expected));
        if (!devices.back()->ready())
            return 1;
        std::printf("PROGRAMADOR_COM%d=%s\n", i, devices.back()->path().c_str());
    }
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        int k = 0;
        words >> command >> k;
        if (command == "quit")
            break;
        if (k < 1 || k > n) {
            std::printf("?\n");
        } else if (PacedDevice& device = *devices[static_cast<std::size_t>(k - 1)]; command == "on") {
            device.switchOn();
            std::printf("COM%d: encendido\n", k);
        } else if (command == "mute") {
            int after = 0;
            words >> after;
            device.silentAfter(after);
            std::printf("COM%d: calla tras el bloque %d\n", k, after);
        } else if (command == "next") {
            device.nextBoard();
            std::printf("COM%d: otra placa\n", k);
        } else if (command == "wait") {
            for (int tenth = 0; tenth < 600 && !device.done(); ++tenth)
                QThread::msleep(100);
            // Once the board is done its blocks and its fault no longer change.
            const PacedDevice::Figures& f = device.figures();
            std::printf("COM%d: %d de %d bloques%s%s\n", k, f.blocks, device.expectedBlocks(),
                        f.fault.isEmpty() ? "" : ", ", qPrintable(f.fault));
        } else {
            std::printf("?\n");
        }
        std::fflush(stdout);
    }
    for (auto& device : devices)
        device->stop();
    return 0;
}
