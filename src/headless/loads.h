#pragma once

#include "command_line.h"

namespace programador {

// The command line's loads: the image, read and checked once, into every device named, each on
// a line of its own and all at once, with what happens on standard error, a record of every
// load when asked, and a summary at the end when there are several devices or boards. Returns
// the exit status; a run ended by a signal ends the process by that signal instead.
int runLoads(const CommandLine& command);

} // namespace programador
