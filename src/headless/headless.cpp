#include "headless.h"

#include "loads.h"
#include "command_line.h"
#include "file_names.h"
#include "interrupts.h"
#include "port_numbering.h"
#include "system_devices.h"

#include <QCoreApplication>

#include <cstdio>

namespace programador {

int runHeadless(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!catchSignals())
        return 2;
    // The arguments as bytes: a file name need not be UTF-8.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << nameFromBytes(QByteArray(argv[i]));
    QString wrong;
    const std::optional<CommandLine> command = parseCommandLine(args, wrong);
    if (!command) {
        std::fprintf(stderr, "%s\n%s", wrong.toUtf8().constData(), kUsage);
        return 64;
    }
    switch (command->action) {
    case CommandLine::Action::Help:
        std::printf("%s%s", kUsage, kHelp);
        return 0;
    case CommandLine::Action::Version:
        std::printf("Telvarin V5.0 (programador %s)\n", PROGRAMADOR_VERSION);
        return 0;
    case CommandLine::Action::List: {
        // As the port dialog sees them; new devices get their numbers here too.
        SystemDevices devices;
        PortNumbering numbering(devices);
        numbering.refresh();
        for (const QString& line : numbering.listing())
            std::printf("%s\n", line.toUtf8().constData());
        return 0;
    }
    case CommandLine::Action::Load:
        break;
    }
    return runLoads(*command);
}

} // namespace programador
