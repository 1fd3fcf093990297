#pragma once

#include "operator_messages.h"

#include <QString>

#include <cstdint>

namespace programador {

// The remembered serial port: "PROGRAMADOR.INI" in the working directory, holding the
// port digit, CR, LF. Owns puerto, the port number in force for the run.
class PortSettings {
public:
    static constexpr const char* kFileName = "PROGRAMADOR.INI";

    // directory is where the file lives: the working directory in the program, a
    // temporary directory in the tests.
    PortSettings(OperatorMessages& messages, QString directory);

    // Reads the file into puerto (1..4), creating it with port 1 when it cannot be read.
    void lee_puerto();
    // Replaces the file with the port's digit, CR, LF. On failure shows "Error de archivo",
    // leaves the old file as it was and returns false.
    bool guarda_puerto(std::int16_t port);

    std::int16_t puerto = 0;   // 0 until lee_puerto has run, then 1..4

private:
    OperatorMessages& messages_;
    QString directory_;
};

} // namespace programador
