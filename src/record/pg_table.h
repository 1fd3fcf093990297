#pragma once

#include "destination.h"
#include "load_row.h"

#include <QString>

namespace programador {

// The table cargas of a PostgreSQL database, through QtSql's QPSQL driver, on a connection that
// belongs to the thread that opens it. The table is made when it is not there; a bench's role
// needs no more than INSERT on it once it is.
class PgTable {
public:
    // How an attempt to reach the server ended.
    enum class Reach { Open, Refused, Away };

    explicit PgTable(Destination destination);
    ~PgTable();
    PgTable(const PgTable&) = delete;
    PgTable& operator=(const PgTable&) = delete;

    // Connects, and makes the table when it is not there. Refused: the server answered no (the
    // role, the password, the database, a privilege): asking again will not help. Away: out of
    // reach for now. why: the server's (or libpq's) own words.
    Reach open(QString& why);
    bool isOpen() const;
    // The row in its own transaction; a row whose id is there already changes nothing. False,
    // with the server's words, when it did not go in (the connection is then closed).
    bool insert(const LoadRow& row, QString& why);
    void close();

    // Refused or Away, from what libpq said of a failed connection.
    static Reach judge(const QString& said);

private:
    const Destination destination_;
    const QString connection_;   // QtSql's name for this object's connection
};

} // namespace programador
