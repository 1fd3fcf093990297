#include "child.h"

#include <QFile>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace programador::bench {

bool Child::start(const std::vector<std::string>& args, bool capture)
{
    int pipeFds[2] = {-1, -1};
    if (capture && ::pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (capture)
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    started = Clock::now();
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (capture) {
        ::close(pipeFds[1]);
        err = pipeFds[0];
        ::fcntl(err, F_SETFL, O_NONBLOCK);
    }
    return failed == 0;
}

void Child::hear(int timeoutMs)
{
    if (err < 0) {
        ::usleep(static_cast<useconds_t>(timeoutMs) * 1000);
        return;
    }
    pollfd p{err, POLLIN, 0};
    ::poll(&p, 1, timeoutMs);
    char buf[4096];
    ssize_t n;
    while ((n = ::read(err, buf, sizeof buf)) > 0) {
        said.append(buf, n);
        if (show)
            (void)!::write(2, buf, static_cast<size_t>(n));
    }
    if (n == 0) {
        ::close(err);
        err = -1;
    }
}

bool Child::ended(int& status, rusage& usage, Clock::time_point& at)
{
    const pid_t r = ::wait4(pid, &status, WNOHANG, &usage);
    if (r == pid)
        at = Clock::now();
    return r == pid;
}

void Child::closeErr()
{
    if (err >= 0)
        ::close(err);
    err = -1;
}

QString exitText(int status)
{
    if (WIFEXITED(status))
        return QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return QStringLiteral("ended by signal %1 (%2)").arg(WTERMSIG(status)).arg(QString::fromLocal8Bit(strsignal(WTERMSIG(status))));
    return QStringLiteral("status 0x%1").arg(status, 0, 16);
}

std::optional<double> processCpu(pid_t pid)
{
    clockid_t clock;
    timespec t{};
    if (::clock_getcpuclockid(pid, &clock) != 0 || ::clock_gettime(clock, &t) != 0)
        return std::nullopt;
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long statusField(pid_t pid, const char* name)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray wanted = QByteArray(name) + ':';
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(wanted))
            return line.mid(wanted.size()).trimmed().split(' ').first().toLong();
    return -1;
}

long sleeps(pid_t pid)
{
    long total = 0;
    DIR* dir = ::opendir(QStringLiteral("/proc/%1/task").arg(pid).toLocal8Bit().constData());
    if (!dir)
        return -1;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        QFile file(QStringLiteral("/proc/%1/task/%2/status").arg(pid).arg(QString::fromLatin1(e->d_name)));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                total += line.mid(24).trimmed().toLong();
    }
    ::closedir(dir);
    return total;
}

int opensOf(pid_t pid, const std::string& path)
{
    const std::string dirName = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(dirName.c_str());
    if (!dir)
        return 0;
    int n = 0;
    char target[256];
    while (const dirent* e = ::readdir(dir)) {
        const ssize_t len = ::readlinkat(::dirfd(dir), e->d_name, target, sizeof target - 1);
        n += len > 0 && std::string(target, static_cast<size_t>(len)) == path;
    }
    ::closedir(dir);
    return n;
}

QString lastLines(const QByteArray& said, int n)
{
    QList<QByteArray> lines = said.trimmed().split('\n');
    QStringList out;
    for (qsizetype i = std::max<qsizetype>(0, lines.size() - n); i < lines.size(); ++i)
        out << QString::fromUtf8(lines[i]);
    return out.join(QStringLiteral(" | "));
}

void Child::interrupt(bool gone, int& status, rusage& usage, Clock::time_point& at)
{
    if (!gone) {
        ::kill(pid, SIGINT);
        const Clock::time_point t0 = Clock::now();
        while (!(gone = ended(status, usage, at)) && Clock::now() - t0 < std::chrono::seconds(20))
            hear(20);
        if (!gone) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
        }
    }
    while (err >= 0)
        hear(100);
}

} // namespace programador::bench
