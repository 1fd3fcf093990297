#pragma once

#include "destination.h"
#include "pg_table.h"
#include "reasons.h"
#include "spool.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>

namespace programador {

// Sends the spool's rows to the database, oldest load first, each in its own transaction, and
// takes a row out of the spool only once the server has committed it. Lives in a thread of its
// own: a server out of reach never holds up a load or the spool. While the server is out of
// reach it tries again every two seconds; the first failure of an outage is said once, and so is
// the first row that goes in again.
class SpoolSender : public QObject {
public:
    // tell: a line about the database, and whether an outage begins (true) or ends.
    SpoolSender(Destination destination, std::function<void(const QString&, bool)> tell);

    void send();                      // every row the spool holds, until one does not go in
    void stop();                      // the connection closed, in the sender's thread
    bool away() const { return away_; }
    const Spool& spool() const { return spool_; }
    const QString& destination() const { return destination_.text; }

private:
    // The rows wait: said once an outage, tried again in two seconds. A server that refuses the
    // bench (the window does not ask it at start) is said as such, and asked again all the same.
    void outage(Cause cause, const QString& why);

    const Destination destination_;
    const std::function<void(const QString&, bool)> tell_;
    PgTable table_;
    Spool spool_;
    QTimer* const retry_;   // a child: it moves to the sender's thread with it
    std::atomic<bool> away_ = false;
};

} // namespace programador
