#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace programador {

// Where the record goes, as --log or registro.ini names it: a CSV file, or a PostgreSQL table
// named by a URI (postgresql://bench@db.factory/produccion?sslmode=require). The scheme
// decides, in any letter case. The URI is read as libpq reads its own: user, a list of hosts
// (db1,db2:5433; a socket folder percent-encoded, %2Fvar%2Frun%2Fpostgresql), the database,
// and libpq's keywords in the query. A password never comes from here: libpq's own means apply
// (~/.pgpass or PGPASSFILE, PGPASSWORD, peer or certificate authentication).
struct Destination {
    QString text;          // as given: the file's path, or the URI
    bool database = false;
    QString shown;         // as the operator reads it; a password in it is never shown
    // A database's connection as libpq's keywords and their values: where the URI points, its
    // query, and the bounds the record needs (a connect time-out, statement and lock time-outs,
    // the read-write server of several).
    QList<std::pair<QString, QString>> keywords;
    // The server as it sees the destination: the scheme's alias, hosts in lower case and in
    // order, their ports (the default one too), the database and the role. Two texts that name
    // one table alike (localhost or 127.0.0.1, ?sslmode= added, another order) have one.
    QString server;
    QString role;          // the role it connects as: the URI's, else libpq's default

    // Nothing, with the reason, for a URI that cannot be used.
    static std::optional<Destination> parse(const QString& text, QString& why);
    // The keywords as QtSql's QPSQL driver takes them: key='value' separated by ";".
    QString connectOptions() const;
    QString value(const QString& keyword) const;
};

// The record's settings for this PC, in $XDG_CONFIG_HOME/programador/registro.ini (a person
// writes it):
//
//   [registro]
//   destino=postgresql://bench@db.factory/produccion
//   estacion=banco-3
//   sonido=no
//
// The window reads it at start and again at each "Iniciar" and "Cargar Firmware", the command
// line when --log is not given (--log wins).
struct RecordSettings {
    QString destination;   // empty: no record
    QString station;       // empty: the host's name
    bool sound = true;     // the bench window's alarms heard; sonido=no leaves only the task bar's

    // A file that cannot be read gives no record, with the reason in why.
    static RecordSettings read(const QString& path, QString& why);
    static QString defaultFile();
    // The station the rows name: the one configured, else the host's name.
    QString stationName() const;
    bool operator==(const RecordSettings&) const = default;
};

} // namespace programador
