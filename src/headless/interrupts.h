#pragma once

namespace programador {

// SIGINT and SIGTERM on the command line. Until listen() they end the program at once, by
// their default action, whatever it is doing (an open included); from then on the handler
// only writes the signal's number to a pipe, which the event loop reads. SIGWINCH (the
// terminal's size changed) goes to the same pipe. SIGPIPE and SIGXFSZ are ignored: a closed
// standard error or a full record file never ends a run.
bool catchSignals();
void listen();
// The pipe's read end: one byte, the signal's number, per signal.
int signalsReadEnd();
// Ends the process by the signal that interrupted it, so that a shell sees an interrupted
// command (and a loop around it stops).
[[noreturn]] void endBy(int signal);

} // namespace programador
