#pragma once

#include "destination.h"
#include "ledger.h"
#include "pg_table.h"
#include "record.h"
#include "spool.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>

namespace programador {

// Sends the rows to the database, oldest load first, each in its own transaction: the spool's,
// taken out of it only once the server has committed them, then those the spool could not take,
// kept in memory. Lives in a thread of its own: a server out of reach never holds up a load or
// the spool. While the server is out of reach or busy it tries again every two seconds; while it
// refuses the role, every thirty. A row the server refuses for itself is set aside, and the rows
// behind it go on. Each trouble is said once, and so is the first row that goes in again.
class SpoolSender : public QObject {
public:
    SpoolSender(Destination destination, RecordLedger& ledger, std::function<void(const RecordNews&)> tell);

    void send();   // every row the spool and the memory hold, until one does not go in
    void stop();   // the connection closed, in the sender's thread
    bool away() const { return away_; }
    bool busy() const { return busy_; }
    const Spool& spool() const { return spool_; }
    const Destination& destination() const { return destination_; }

private:
    bool sendSpool();
    bool sendMemory();
    // One row: in, or refused for itself, or not taken (an outage, said and tried again).
    PgTable::Answer deliver(const LoadRow& row);
    void outage(const PgTable::Answer& answer);
    // The spool's file of a row refused for itself, or that is no row, put aside and said.
    void setAside(const QString& file, const QString& why, const RecordNews& news);

    const Destination destination_;
    RecordLedger& ledger_;
    const std::function<void(const RecordNews&)> tell_;
    PgTable table_;
    Spool spool_;
    QTimer* const retry_;   // a child: it moves to the sender's thread with it
    Cause said_ = Cause::None;   // the trouble last said
    bool saidMissing_ = false;   // the table's missing columns
    std::atomic<bool> away_ = false, busy_ = false;
};

} // namespace programador
