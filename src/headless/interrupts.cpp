#include "interrupts.h"

#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#ifdef PROGRAMADOR_COVERAGE
extern "C" void __gcov_dump();
#endif

namespace programador {

namespace {

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t listening = 0;

void onSignal(int signal)
{
    if (!listening && signal != SIGWINCH) {
        // Nothing hears the pipe yet: the signal does what it does to any program.
        ::signal(signal, SIG_DFL);
        ::kill(::getpid(), signal);
        return;
    }
    const char number = static_cast<char>(signal);
    (void)!::write(signalPipe[1], &number, 1);
}

} // namespace

bool catchSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    ::sigaction(SIGWINCH, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
    return true;
}

void listen()
{
    listening = 1;
}

int signalsReadEnd()
{
    return signalPipe[0];
}

namespace {

void flushAll()
{
    std::fflush(stdout);
    std::fflush(stderr);
#ifdef PROGRAMADOR_COVERAGE
    __gcov_dump();   // a coverage build's counts: ending without exit() skips what writes them
#endif
}

} // namespace

void leaveNow(int status)
{
    flushAll();
    ::_exit(status);
}

void endBy(int signal)
{
    flushAll();
    ::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

} // namespace programador
