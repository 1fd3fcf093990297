#include "postgres_server.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace programador::testing {

namespace {

constexpr uid_t kNobody = 65534;

} // namespace

PostgresServer::PostgresServer()
{
    const QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (versions.isEmpty() || !dir_.isValid())
        return;
    // pg_ctl leaves the server to its parent's parent: make that this test, so that ctest, ending a
    // test that ran out of time with everything under it, ends the server with it.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    bin_ = QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(versions.last());
    data_ = dir_.filePath(QStringLiteral("cluster"));
    // The server's own user owns the cluster, and reaches it through the temporary folder.
    if (!QDir().mkdir(data_) || ::chmod(QFile::encodeName(dir_.path()), 0755) != 0
        || (::geteuid() == 0 && ::chown(QFile::encodeName(data_), kNobody, kNobody) != 0))
        return;
    ready_ = command(bin_ + QStringLiteral("initdb"), {QStringLiteral("-D"), data_, QStringLiteral("-A"), QStringLiteral("trust"),
                                                        QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-E"),
                                                        QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"),
                                                        QStringLiteral("--no-sync")})
        && start();
}

PostgresServer::~PostgresServer()
{
    stop();
}

bool PostgresServer::command(const QString& program, const QStringList& args) const
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setChildProcessModifier([] {
        if (::geteuid() == 0)
            (void)!(::setgroups(0, nullptr) + ::setgid(kNobody) + ::setuid(kNobody));
    });
    process.start();
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool PostgresServer::start()
{
    if (running_)
        return true;
    return running_ = command(bin_ + QStringLiteral("pg_ctl"),
                   {QStringLiteral("-D"), data_, QStringLiteral("-l"), data_ + QStringLiteral("/log"), QStringLiteral("-w"),
                    QStringLiteral("-o"), QStringLiteral("-k %1 -c listen_addresses='' -c fsync=off").arg(data_),
                    QStringLiteral("start")});
}

bool PostgresServer::stop()
{
    running_ = running_
        && !command(bin_ + QStringLiteral("pg_ctl"), {QStringLiteral("-D"), data_, QStringLiteral("-m"), QStringLiteral("fast"),
                                                      QStringLiteral("-w"), QStringLiteral("stop")});
    return !running_;
}

QString PostgresServer::uri(const QString& database, const QString& role) const
{
    return QStringLiteral("postgresql://%1@/%2?host=%3").arg(role, database, data_);
}

QStringList PostgresServer::run(const QString& sql, const QString& database) const
{
    QProcess psql;
    psql.start(QStringLiteral("psql"), {QStringLiteral("-XAtq"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                                         QStringLiteral("-c"), sql, uri(database)});
    if (!psql.waitForFinished(-1) || psql.exitCode() != 0)
        return {QStringLiteral("ERROR: ") + QString::fromUtf8(psql.readAllStandardError()).simplified()};
    QStringList rows = QString::fromUtf8(psql.readAllStandardOutput()).split(QLatin1Char('\n'));
    rows.removeAll(QString());
    return rows;
}

} // namespace programador::testing
