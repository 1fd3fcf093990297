#pragma once

namespace programador {

// The command-line front end: programador [--port N | --device PATH] IMAGE, --help,
// --version. Runs the very load sequence of "Cargar Firmware" without a window (QtCore
// only), says on standard error what the window would show, and returns the exit status.
int runHeadless(int argc, char** argv);

} // namespace programador
