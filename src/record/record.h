#pragma once

#include "csv_file.h"
#include "load_row.h"
#include "reasons.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace programador {

// A line the record tells its front end, in the operator's words.
struct RecordNews {
    QString what;                // what it is about: the destination, or a spool folder
    Cause cause = Cause::None;   // the trouble, from the reasons table; None for the news that ends it
    QString words;               // the server's or the system's own words
    QString then;                // what becomes of the rows
    bool trouble = false;        // something the operator should see, until the next news

    // "what: cause (words); then".
    QString line() const;
};

// The record of loads, used by both front ends: a CSV file, or a PostgreSQL table that a
// factory's benches share. A row is first made durable on this PC (the CSV file itself, or the
// spool of rows on their way to the database), in the order the rows come, in a thread of the
// record's own, so that no load, no window and no signal ever waits for the disk or the network.
// A row the disk does not take is kept in memory and tried again; a row the spool does not take
// goes to the server straight away. Rows in the spool go to the database from another thread as
// soon as the server answers, by this program or the next one. Each trouble is said once, and so
// is its end.
//
// Every row appended is, at any ending, in exactly one place: the file or the spool, or in what
// finish() gives back to be printed.
class Record {
public:
    // The record that --log or registro.ini names: a file's path or a postgresql:// URI. station
    // names the bench in the database's rows. Nothing, with the reason, when it cannot be used: a
    // file that cannot be opened, a URI that cannot be read, a server that refuses the role
    // (asked only with askServer, at most the connect time-out). A server out of reach is no
    // reason: its rows wait in the spool.
    static std::unique_ptr<Record> open(const QString& destination, const QString& station, QString& why,
                                        bool askServer = true);
    // A record on a store of the caller's making, such as a CSV file opened already.
    static std::unique_ptr<Record> onStore(std::unique_ptr<RowStore> store, const QString& station);
    ~Record();
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    // From the owner's thread, which the calls back reach through its event loop. The row is
    // given the station and the program's version, and is the record's from here on. handled
    // runs once the row is durable on this PC, or kept in memory because the disk took nothing,
    // and only while context (when given) lives: a bench or a window that is gone is never called.
    void append(LoadRow row, QObject* context = nullptr, std::function<void()> handled = {});
    std::function<void(const RecordNews&)> said;
    // Waits until every row appended so far is durable on this PC, or kept.
    void flush();
    // At the end: one last try for the rows kept, and about two seconds at most for the rows on
    // their way to the server; what has not reached it stays in the spool, and is said. Gives
    // back the rows that are nowhere but here, to be printed. abandon(), called from the owner's
    // event loop meanwhile (a signal), ends the wait at once; the process must then end.
    QList<LoadRow> finish();
    void abandon();
    // The lines that print what finish() gave back: one that says so, then each row as the
    // destination takes it (CSV for a file, SQL for a database).
    QByteArray unwritten(const QList<LoadRow>& rows) const;

    bool database() const;
    QString shown() const;         // the destination, as the operator reads it
    qsizetype inMemory() const;    // rows the disk did not take, kept only here
    qsizetype waiting() const;     // rows in the spool, on their way to the server
    // A thread of the record is held in a write or on the network: it was left to the process,
    // which must end without running the destructors of what such a thread may touch.
    bool leftBehind() const;

    struct Shared;

private:
    explicit Record(std::unique_ptr<Shared> shared);
    // Runs work in object's thread and waits for it here, in an event loop, at most limitMs
    // (-1: no limit); false when it did not end in time or the wait was abandoned.
    bool await(QObject* object, std::function<void()> work, int limitMs = -1);

    std::unique_ptr<Shared> d_;
};

} // namespace programador
