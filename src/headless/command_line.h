#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace programador {

// What the command line asks for, as QCommandLineParser reads it.
struct CommandLine {
    enum class Action { Load, Help, Version, List };
    Action action = Action::Load;
    QList<int> ports;        // --port N, COM1..COM16, as often as given
    QStringList devices;     // --device PATH, as often as given
    bool repeat = false;     // --repeat: board after board, until a signal
    QString log;             // --log FILE: a record of every load
    QString order;           // --orden TEXT: the work order or lot, in every row
    QString orderFile;       // --orden FILE: an order file (its name, image, ports and count)
    QString operatorName;    // --operador TEXT: who loads; the login name when not given
    QString serial;          // --serie TEXT: the board's serial number, for one load of one device
    QString image;
};

// The usage lines, and the whole help.
extern const char* const kUsage;
extern const char* const kHelp;

// Reads args (the program's name first, then its arguments as nameFromBytes keeps them).
// A wrong command line gives nothing, with the reason in `wrong` ("programador: ...").
std::optional<CommandLine> parseCommandLine(const QStringList& args, QString& wrong);

} // namespace programador
