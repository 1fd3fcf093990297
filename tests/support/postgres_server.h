#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace programador::testing {

// A PostgreSQL server of the test's own (Debian's postgresql package): a cluster in a temporary
// folder, listening only on a Unix socket in that folder, trusting every local role, run as
// nobody when the test runs as root (the server refuses root). Its statements are run with psql,
// a client nobody here wrote.
class PostgresServer {
public:
    PostgresServer();    // made and started
    ~PostgresServer();   // stopped
    bool ready() const { return ready_; }
    bool start();   // true when it runs, also when it ran already
    bool stop();
    // The URI of a database of the server's, as a role.
    QString uri(const QString& database, const QString& role = QStringLiteral("postgres")) const;
    QString socketFolder() const { return data_; }
    // Rows of a statement, each as its columns joined by "|"; "ERROR: ..." when it fails.
    QStringList run(const QString& sql, const QString& database = QStringLiteral("postgres")) const;

private:
    bool command(const QString& program, const QStringList& args) const;

    QTemporaryDir dir_;
    QString bin_, data_;
    bool ready_ = false;
    bool running_ = false;
};

} // namespace programador::testing
