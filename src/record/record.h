#pragma once

#include "csv_file.h"
#include "load_row.h"

#include <QList>
#include <QObject>
#include <QThread>

#include <functional>
#include <memory>
#include <mutex>

class QEventLoop;

namespace programador {

class SpoolSender;

// The record of loads, used by both front ends: a CSV file, or a PostgreSQL table that a
// factory's benches share. A row is first made durable on this PC (the CSV file itself, or the
// spool of rows on their way to the database), in the order the rows come, in a thread of the
// record's own, so that no load, no window and no signal ever waits for the disk or the network.
// A row the disk does not take is kept, and written before the next row and at the end; rows in
// the spool go to the database from another thread as soon as the server answers, by this
// program or the next one. Each outage is said once, and so is its end.
class Record {
public:
    // The record that --log or registro.ini names: a file's path or a postgresql:// URI. station
    // names the bench in the database's rows. Nothing, with the reason, when it cannot be used: a
    // file that cannot be opened, a URI that cannot be read, a server that refuses the role
    // (asked only with askServer). A server out of reach is no reason: its rows wait in the spool.
    static std::unique_ptr<Record> open(const QString& destination, const QString& station, QString& why,
                                        bool askServer = true);
    ~Record();
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    // From the owner's thread, which the calls back reach through its event loop. The row is
    // given the station and the program's version. handled runs once the row is durable on this
    // PC, or kept in memory because the disk took nothing.
    void append(LoadRow row, std::function<void()> handled = {});
    // A line about the record, and whether an outage begins (true) or ends (false).
    std::function<void(const QString&, bool)> said;
    // Waits until every row appended so far is durable on this PC, or kept.
    void flush();
    // At the end: one last try for the rows kept, and for the spool while the server answers;
    // then the rows the disk never took. abandon(), called from the owner's event loop meanwhile
    // (a signal), ends the wait at once; the process must then end.
    QList<LoadRow> finish();
    void abandon();
    // The lines that tell what finish() left: one that says so, then each row as CSV.
    QByteArray unwritten(const QList<LoadRow>& rows) const;

private:
    Record(QString station, std::unique_ptr<RowStore> store, std::unique_ptr<SpoolSender> sender);
    // In the record's thread.
    void write();
    void tell(const QString& line, bool trouble);
    // Runs work in that thread's object, and waits here, in an event loop, until it is done.
    void await(QObject* object, const std::function<void()>& work);

    const QString station_;
    std::unique_ptr<RowStore> store_;
    QObject owner_;                          // the owner's thread: what the threads say goes there
    std::unique_ptr<QThread> thread_;        // writes the rows
    std::unique_ptr<QObject> writer_;        // lives in thread_
    std::unique_ptr<QThread> senderThread_;  // sends the spool to the database
    std::unique_ptr<SpoolSender> sender_;    // lives in senderThread_
    mutable std::mutex mutex_;
    QList<LoadRow> kept_;                    // not yet written, oldest first
    bool failing_ = false;                   // touched only in the record's thread
    QEventLoop* waiting_ = nullptr;
    bool abandoned_ = false;
};

} // namespace programador
