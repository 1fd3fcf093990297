#pragma once

// The program as a child process, and what /proc tells of it.
#include "line.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/types.h>

namespace programador::bench {

// The program as a child process; standard input and output are /dev/null, standard error a
// pipe of this program's or /dev/null.
struct Child {
    pid_t pid = -1;
    int err = -1;   // the read end of its standard error, or -1
    QByteArray said;
    Clock::time_point started;
    bool show = false;

    bool start(const std::vector<std::string>& args, bool capture);
    // What it has said since, waiting at most timeoutMs for something.
    void hear(int timeoutMs);
    int count(const char* line) const { return static_cast<int>(said.count(line)); }
    // Reaps it if it has ended.
    bool ended(int& status, rusage& usage, Clock::time_point& at);
    // Unless it has ended (gone): SIGINT, 20 s to end, then SIGKILL; then what it said last.
    void interrupt(bool gone, int& status, rusage& usage, Clock::time_point& at);
    void closeErr();
};

QString exitText(int status);

// The CPU time of another process, every thread of it, to the nanosecond.
std::optional<double> processCpu(pid_t pid);

// A field of /proc/PID/status as a number ("VmRSS", "VmHWM" in kB; "Threads").
long statusField(pid_t pid, const char* name);

// Voluntary context switches of every thread of a process: how often it went to sleep.
long sleeps(pid_t pid);

// How many of a process's descriptors are open on a path.
int opensOf(pid_t pid, const std::string& path);

// The last non-empty lines of what the program said, joined by " | ".
QString lastLines(const QByteArray& said, int n);

} // namespace programador::bench
