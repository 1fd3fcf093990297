#pragma once

namespace programador {

// SIGINT, SIGTERM and SIGHUP (a terminal closed, a logout), for the command line and the window.
// Until listen() they end the program at once, by
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
// Ends the process now with status, its output flushed, running no destructor: a thread of the
// record held in a write or on the network must not wake into what they would free.
[[noreturn]] void leaveNow(int status);

} // namespace programador
