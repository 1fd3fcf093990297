#pragma once

#include "destination.h"
#include "load_row.h"
#include "reasons.h"

#include <QList>
#include <QString>

namespace programador {

// The table cargas of a PostgreSQL database, through QtSql's QPSQL driver, on a connection that
// belongs to the thread that opens it. The table is made when it is not there; a bench's role
// needs no more than INSERT on it once it is. What the server answers is judged by its SQLSTATE,
// never by its words, which may be in any language; the words are kept for the operator.
class PgTable {
public:
    // What an answer means for the rows: in (Open); out of reach or busy for now, ask again soon
    // (Away); the role, the database or the table is refused, asking soon will not help (Refused);
    // this one row is refused for itself, the rows behind it may go in (RowRefused).
    enum class Reach { Open, Away, Refused, RowRefused };
    // Where the answer came: at connecting, while making the table, at a row's insert.
    enum class Stage { Connect, Make, Insert };
    struct Answer {
        Reach reach = Reach::Open;
        Cause cause = Cause::None;
        QString words;   // the server's (or libpq's) own
        QString sqlstate;
    };

    explicit PgTable(Destination destination);
    ~PgTable();
    PgTable(const PgTable&) = delete;
    PgTable& operator=(const PgTable&) = delete;

    Answer open();
    bool isOpen() const;
    // Of the columns serie, orden, operador and causa, those the table opened lacks: made by an
    // earlier version, for a role that may not add them. Its rows go in without them.
    const QList<QByteArray>& missing() const { return missing_; }
    // The row in its own transaction; a row whose id is there already changes nothing. The
    // connection is closed after any failure.
    Answer insert(const LoadRow& row);
    void close();

    // The meaning of an error: its SQLSTATE (empty when none came: libpq's own, or the
    // connection lost), where it came, and the words to keep.
    static Answer judge(Stage stage, const QString& sqlstate, const QString& words);
    // What the operator can do about a refusal; empty where nothing is to be said.
    static QString remedy(Cause cause, const Destination& destination);

private:
    Answer failed(Stage stage, const QString& sqlstate, const QString& words);

    const Destination destination_;
    const QString connection_;   // QtSql's name for this object's connection
    QList<QByteArray> missing_;
};

} // namespace programador
