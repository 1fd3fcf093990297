#include "pg_table.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace programador {

namespace {

QAtomicInt connections;

// The server's words, on one line.
QString wordsOf(const QSqlError& error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.simplified();
}

// Made when absent, in the first schema of the role's search_path. Looked for first, so that a
// role with INSERT alone never needs the right to create.
bool makeTable(QSqlQuery& query)
{
    if (!query.exec(QStringLiteral("SELECT to_regclass('cargas') IS NULL")) || !query.next())
        return false;
    return !query.value(0).toBool()
        || query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS cargas ("
                                     " id uuid PRIMARY KEY,"
                                     " inicio timestamptz NOT NULL,"
                                     " estacion text NOT NULL,"
                                     " version text NOT NULL,"
                                     " puerto text,"
                                     " dispositivo text NOT NULL,"
                                     " serie_adaptador text,"
                                     " imagen text NOT NULL,"
                                     " bytes bigint NOT NULL,"
                                     " sha256 text NOT NULL,"
                                     " bloques_enviados integer NOT NULL,"
                                     " bloques_total integer NOT NULL,"
                                     " resultado text NOT NULL,"
                                     " estado integer NOT NULL,"
                                     " segundos numeric(9,1) NOT NULL,"
                                     " recibido timestamptz NOT NULL DEFAULT clock_timestamp())"));
}

} // namespace

PgTable::PgTable(Destination destination)
    : destination_(std::move(destination)), connection_(QStringLiteral("programador-%1").arg(connections.fetchAndAddRelaxed(1)))
{
}

PgTable::~PgTable()
{
    close();
}

PgTable::Reach PgTable::judge(const QString& said)
{
    // A server that is starting, stopping or full answers with FATAL too, and will take rows
    // again soon.
    static const char* const passing[] = {"starting up", "shutting down", "in recovery mode", "not yet accepting",
                                          "too many clients", "too many connections", "remaining connection slots"};
    for (const char* words : passing) {
        if (said.contains(QLatin1String(words)))
            return Reach::Away;
    }
    // The server answered, and said no; or libpq refused what it was given.
    static const char* const refusals[] = {"FATAL:", "fe_sendauth", "invalid connection option", "invalid sslmode",
                                           "invalid integer value", "server does not support SSL",
                                           "permission denied", "must be owner"};
    for (const char* words : refusals) {
        if (said.contains(QLatin1String(words)))
            return Reach::Refused;
    }
    return Reach::Away;
}

PgTable::Reach PgTable::open(QString& why)
{
    close();
    Reach reach = Reach::Open;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
        db.setHostName(destination_.host);
        db.setPort(destination_.port);
        db.setDatabaseName(destination_.name);
        db.setUserName(destination_.user);
        db.setConnectOptions(destination_.options);
        if (!db.open()) {
            why = wordsOf(db.lastError());
            reach = judge(why);
        } else if (QSqlQuery query(db); !makeTable(query)) {
            why = wordsOf(query.lastError());
            reach = db.isOpen() ? Reach::Refused : Reach::Away;
        }
    }
    if (reach != Reach::Open)
        close();
    return reach;
}

bool PgTable::isOpen() const
{
    return QSqlDatabase::contains(connection_) && QSqlDatabase::database(connection_, false).isOpen();
}

bool PgTable::insert(const LoadRow& row, QString& why)
{
    bool inserted = false;
    {
        QSqlQuery query(QSqlDatabase::database(connection_, false));
        query.prepare(QStringLiteral(
            "INSERT INTO cargas (id, inicio, estacion, version, puerto, dispositivo, serie_adaptador, imagen, bytes,"
            " sha256, bloques_enviados, bloques_total, resultado, estado, segundos)"
            " VALUES (?::uuid, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING"));
        const auto text = [](const QString& value) { return value.isEmpty() ? QVariant() : QVariant(value); };
        for (const QVariant& value :
             {QVariant(row.id.toString(QUuid::WithoutBraces)), QVariant(row.start), QVariant(row.station),
              QVariant(row.version), row.number > 0 ? QVariant(QStringLiteral("COM%1").arg(row.number)) : QVariant(),
              QVariant(row.device), text(row.serialNumber), QVariant(row.image), QVariant(row.size),
              QVariant(QString::fromLatin1(row.sha256)), QVariant(row.blocksSent), QVariant(row.blocks),
              QVariant(row.result), QVariant(row.status), QVariant(row.seconds)})
            query.addBindValue(value);
        // One statement is one transaction of its own. A row whose id is there already is a
        // conflict, and changes nothing; naming no conflict target keeps the role's need to
        // INSERT alone (a target would need SELECT on it too).
        inserted = query.exec();
        if (!inserted)
            why = wordsOf(query.lastError());
    }
    if (!inserted)
        close();
    return inserted;
}

void PgTable::close()
{
    if (!QSqlDatabase::contains(connection_))
        return;
    QSqlDatabase::database(connection_, false).close();   // the handle is gone at the end of the line
    QSqlDatabase::removeDatabase(connection_);
}

} // namespace programador
