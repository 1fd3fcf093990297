#pragma once

#include <QString>

#include <optional>

namespace programador {

// Where the record goes, as --log or registro.ini names it: a CSV file, or a PostgreSQL table
// named by a URI (postgresql://bench@db.factory/produccion?sslmode=require). The scheme
// decides. A password never comes from here: libpq's own means apply (~/.pgpass or PGPASSFILE,
// PGPASSWORD, peer or certificate authentication).
struct Destination {
    QString text;          // as given: the file's path, or the URI
    bool database = false;
    // A database's connection, as QtSql's QPSQL driver takes it.
    QString host, name, user;
    int port = -1;
    QString options;       // libpq's keywords from the URI's query, "key='value'" separated by ";"

    // Nothing, with the reason, for a URI that cannot be used.
    static std::optional<Destination> parse(const QString& text, QString& why);
};

// The record's settings for this PC, in $XDG_CONFIG_HOME/programador/registro.ini (a person
// writes it):
//
//   [registro]
//   destino=postgresql://bench@db.factory/produccion
//   estacion=banco-3
//
// The window reads it at start, the command line when --log is not given (--log wins).
struct RecordSettings {
    QString destination;   // empty: no record
    QString station;       // empty: the host's name

    // A file that cannot be read gives no record, with the reason in why.
    static RecordSettings read(const QString& path, QString& why);
    static QString defaultFile();
    // The station the rows name: the one configured, else the host's name.
    QString stationName() const;
};

} // namespace programador
