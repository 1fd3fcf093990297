#include "pg_table.h"

#include <QAtomicInt>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <vector>

#include <libpq-fe.h>
#include <poll.h>

namespace programador {

namespace {

QAtomicInt connections;

// The server's words, on one line, without the SQLSTATE that QPSQL adds to them.
QString wordsOf(const QSqlError& error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.simplified().remove(QRegularExpression(QStringLiteral("\\s*\\([0-9A-Z]{5}\\)$")));
}

// libpq's connection under QPSQL's, to ask it whether the connection is still there.
PGconn* handleOf(const QSqlDatabase& db)
{
    const QVariant handle = db.isOpen() && db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(handle.constData());
}

// What refused a connection, asked of libpq itself: QPSQL keeps no SQLSTATE of a failed
// connection, so the attempt is made once more with libpq told to give the code alone.
// "28P01", or empty when no server answered; needsPassword when the server asked for a
// password that libpq's means do not hold.
QString refusalOf(const Destination& destination, int timeoutMs, bool& needsPassword)
{
    std::vector<QByteArray> keys, values;
    for (const auto& [key, value] : destination.keywords)
        keys.push_back(key.toUtf8()), values.push_back(value.toUtf8());
    std::vector<const char*> k, v;
    for (std::size_t i = 0; i < keys.size(); ++i)
        k.push_back(keys[i].constData()), v.push_back(values[i].constData());
    k.push_back(nullptr), v.push_back(nullptr);
    PGconn* conn = PQconnectStartParams(k.data(), v.data(), 0);
    if (!conn)
        return {};
    PQsetErrorVerbosity(conn, PQERRORS_SQLSTATE);
    PostgresPollingStatusType status = PQstatus(conn) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    for (const QDeadlineTimer deadline(timeoutMs); status != PGRES_POLLING_OK && status != PGRES_POLLING_FAILED;) {
        pollfd fd{PQsocket(conn), short(status == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        if (fd.fd < 0 || ::poll(&fd, 1, int(deadline.remainingTime())) <= 0)
            break;
        status = PQconnectPoll(conn);
    }
    needsPassword = PQconnectionNeedsPassword(conn) != 0;
    // Of several servers tried, the last one's answer.
    QString code;
    const QString said = QString::fromUtf8(PQerrorMessage(conn));
    for (const QRegularExpressionMatch& m : QRegularExpression(QStringLiteral(":\\s+([0-9A-Z]{5})\\s*$"),
                                                               QRegularExpression::MultilineOption).globalMatch(said))
        code = m.captured(1);
    PQfinish(conn);
    return status == PGRES_POLLING_OK ? QString() : code;
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
                                     " recibido timestamptz NOT NULL DEFAULT clock_timestamp(),"
                                     " serie text, orden text, operador text, causa text)"));
}

// The columns of cargas that a row may fill, beyond those every table of this program has.
const QList<QByteArray> kTraceColumns{"serie", "orden", "operador", "causa"};

// Which of them the table lacks. A table made by an earlier version gets them when the role
// owns it; a role that may only insert has its rows go in without them. False when the server
// did not answer.
bool addColumns(QSqlQuery& query, QList<QByteArray>& missing)
{
    const auto read = [&] {
        missing = kTraceColumns;
        if (!query.exec(QStringLiteral("SELECT attname FROM pg_attribute WHERE attrelid = 'cargas'::regclass"
                                       " AND attnum > 0 AND NOT attisdropped")))
            return false;
        while (query.next())
            missing.removeAll(query.value(0).toString().toUtf8());
        return true;
    };
    if (!read())
        return false;
    if (missing.isEmpty())
        return true;
    if (!query.exec(QStringLiteral("SELECT pg_has_role(relowner, 'USAGE') FROM pg_class WHERE oid = 'cargas'::regclass"))
        || !query.next())
        return false;
    if (!query.value(0).toBool())
        return true;
    QStringList adds;
    for (const QByteArray& column : kTraceColumns)
        adds << QStringLiteral("ADD COLUMN IF NOT EXISTS %1 text").arg(QString::fromLatin1(column));
    // A lock another session holds ends the statement in lock_timeout; the rows wait as for any
    // server busy. Any other refusal leaves the table as it is.
    if (!query.exec(QStringLiteral("ALTER TABLE cargas ") + adds.join(QStringLiteral(", "))))
        return !query.lastError().nativeErrorCode().startsWith(QLatin1String("55"));
    return read();
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

PgTable::Answer PgTable::judge(Stage stage, const QString& sqlstate, const QString& words)
{
    const QString kind = sqlstate.left(2);
    const auto answer = [&](Reach reach, Cause cause) { return Answer{reach, cause, words, sqlstate}; };
    // No server's answer: none came (no connection, or it was lost), or libpq gave up on its own.
    // A server ending its connections (a shutdown, a crash) is going away: the next try finds
    // none, and one outage is said as one, whichever of the two the client saw first.
    if (sqlstate.isEmpty() || kind == QLatin1String("08") || sqlstate == QLatin1String("57P01")
        || sqlstate == QLatin1String("57P02"))
        return answer(Reach::Away, Cause::ServerAway);
    // It answered, and will take rows again soon: starting up, out of connections or of resources,
    // a lock or a statement out of time, a conflict between transactions, a standby.
    static const QStringList passing{"57", "53", "55", "40", "25", "58", "XX"};
    if (passing.contains(kind))
        return answer(Reach::Away, Cause::ServerBusy);
    if (stage == Stage::Insert) {
        // What this row holds: its data, a constraint or a trigger a DBA added.
        static const QStringList rowOwn{"22", "23", "27", "44", "P0", "2F", "39"};
        if (rowOwn.contains(kind))
            return answer(Reach::RowRefused, Cause::RowRefused);
        return answer(Reach::Refused, sqlstate == QLatin1String("42501") ? Cause::PrivilegeMissing : Cause::TableRefused);
    }
    if (sqlstate == QLatin1String("28P01"))
        return answer(Reach::Refused, Cause::PasswordRefused);
    if (kind == QLatin1String("28") || (stage == Stage::Connect && sqlstate == QLatin1String("42501")))
        return answer(Reach::Refused, Cause::RoleRefused);
    if (sqlstate == QLatin1String("3D000"))
        return answer(Reach::Refused, Cause::DatabaseMissing);
    if (sqlstate == QLatin1String("3F000"))
        return answer(Reach::Refused, Cause::SchemaMissing);
    return answer(Reach::Refused, stage == Stage::Make ? Cause::TableNotMade : Cause::ServerRefused);
}

QString PgTable::remedy(Cause cause, const Destination& destination)
{
    switch (cause) {
    case Cause::PrivilegeMissing:
        return QStringLiteral("el dueño de la tabla puede darlo: GRANT INSERT ON cargas TO %1").arg(destination.role);
    case Cause::TableNotMade:
        return QStringLiteral("el dueño de la base de datos puede crearla con fabrica.sql (véase el README)");
    case Cause::PasswordRefused:
        return QStringLiteral("revise la contraseña de %1 en ~/.pgpass o PGPASSWORD").arg(destination.role);
    case Cause::RoleRefused:
        return QStringLiteral("revise el rol %1 y las reglas de acceso del servidor (pg_hba.conf)").arg(destination.role);
    case Cause::DatabaseMissing:
    case Cause::SchemaMissing:
        return QStringLiteral("revise el destino");
    default:
        return {};
    }
}

PgTable::Answer PgTable::failed(Stage stage, const QString& sqlstate, const QString& words)
{
    close();
    return judge(stage, sqlstate, words);
}

PgTable::Answer PgTable::open()
{
    close();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
    db.setConnectOptions(destination_.connectOptions());
    QElapsedTimer clock;
    clock.start();
    if (!db.open()) {
        const QString words = wordsOf(db.lastError());
        db = QSqlDatabase();
        // An attempt that ran out of time had no answer to ask about.
        const int timeoutMs = destination_.value(QStringLiteral("connect_timeout")).toInt() * 1000;
        bool needsPassword = false;
        const QString code = clock.elapsed() * 10 >= timeoutMs * 9 ? QString() : refusalOf(destination_, timeoutMs, needsPassword);
        close();
        if (needsPassword)
            return {Reach::Refused, Cause::PasswordMissing, words, {}};
        return judge(Stage::Connect, code, words);
    }
    QSqlQuery query(db);
    if (!makeTable(query) || !addColumns(query, missing_)) {
        const QSqlError error = query.lastError();
        query = QSqlQuery();
        db = QSqlDatabase();
        // A connection that dropped right after it was made gives no SQLSTATE: away, not refused.
        return failed(Stage::Make, error.nativeErrorCode(), wordsOf(error));
    }
    return {};
}

bool PgTable::isOpen() const
{
    if (!QSqlDatabase::contains(connection_))
        return false;
    PGconn* conn = handleOf(QSqlDatabase::database(connection_, false));
    return conn && PQstatus(conn) == CONNECTION_OK;
}

PgTable::Answer PgTable::insert(const LoadRow& row)
{
    QSqlError error;
    {
        QSqlQuery query(QSqlDatabase::database(connection_, false));
        QStringList columns{QStringLiteral("id"), QStringLiteral("inicio"), QStringLiteral("estacion"), QStringLiteral("version"),
                            QStringLiteral("puerto"), QStringLiteral("dispositivo"), QStringLiteral("serie_adaptador"),
                            QStringLiteral("imagen"), QStringLiteral("bytes"), QStringLiteral("sha256"),
                            QStringLiteral("bloques_enviados"), QStringLiteral("bloques_total"), QStringLiteral("resultado"),
                            QStringLiteral("estado"), QStringLiteral("segundos")};
        const auto text = [](const QString& value) { return value.isEmpty() ? QVariant() : QVariant(value); };
        QVariantList values{QVariant(row.id.toString(QUuid::WithoutBraces)), QVariant(row.start), QVariant(row.station),
                            QVariant(row.version), row.number > 0 ? QVariant(QStringLiteral("COM%1").arg(row.number)) : QVariant(),
                            QVariant(row.storedDevice()), text(row.serialNumber), QVariant(row.storedImage()), QVariant(row.size),
                            QVariant(QString::fromLatin1(row.sha256)), QVariant(row.blocksSent), QVariant(row.blocks),
                            QVariant(row.result), QVariant(row.status), QVariant(row.seconds)};
        // The trace's columns that the table has.
        const QStringList trace{row.serial, row.order, row.operatorName, row.cause};
        for (qsizetype i = 0; i < kTraceColumns.size(); ++i) {
            if (missing_.contains(kTraceColumns[i]))
                continue;
            columns << QString::fromLatin1(kTraceColumns[i]);
            values << text(trace[i]);
        }
        QStringList marks(values.size(), QStringLiteral("?"));
        marks.first() = QStringLiteral("?::uuid");
        // Preparing is the first exchange with the server: a connection lost before it says so
        // there, and the statement's own error would only say that the handle is closed.
        const bool prepared = query.prepare(QStringLiteral("INSERT INTO cargas (%1) VALUES (%2) ON CONFLICT DO NOTHING")
                                                .arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));
        if (prepared) {
            for (const QVariant& value : values)
                query.addBindValue(value);
            // One statement is one transaction of its own. A row whose id is there already is a
            // conflict, and changes nothing; naming no conflict target keeps the role's need to
            // INSERT alone (a target would need SELECT on it too).
            if (query.exec())
                return {};
        }
        error = query.lastError();
    }
    // A connection lost under the statement leaves no SQLSTATE, whatever libpq's words.
    const QString code = isOpen() ? error.nativeErrorCode() : QString();
    return failed(Stage::Insert, code, wordsOf(error));
}

void PgTable::close()
{
    if (!QSqlDatabase::contains(connection_))
        return;
    QSqlDatabase::database(connection_, false).close();   // the handle is gone at the end of the line
    QSqlDatabase::removeDatabase(connection_);
}

} // namespace programador
