#pragma once

#include "load_row.h"

#include <QList>

#include <mutex>

namespace programador {

// The rows the record holds that are in no store yet, shared under one lock by the owner's
// thread, the thread that writes the rows and the one that sends them to a database. A row
// leaves it only in the same lock as the step that puts it where it stays, so that at the end
// every row is either in a store or here, to be printed, and never both.
struct RecordLedger {
    mutable std::mutex mutex;
    struct Queued {
        LoadRow row;
        quint64 number = 0;   // in the order appended, from 1
    };
    QList<Queued> queued;     // appended, not yet durable on this PC: oldest first
    QList<LoadRow> memory;    // for a database: rows the spool did not take, sent from here
    QList<LoadRow> refused;   // rows from memory the server refused for themselves
    quint64 appended = 0;
    bool ended = false;       // nothing goes into a store any more: what is here is printed
};

} // namespace programador
