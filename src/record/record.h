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

// The record of loads, used by both front ends. Rows are written in the order they come, in a
// thread of the record's own, so that no load, no window and no signal ever waits for the disk.
// A row that cannot be written (a full disk) is kept, and written before the next row and at
// the end; the first failure of an outage is said once, and so is the first row that goes in
// again.
class Record {
public:
    // The record in the CSV file at path. Nothing, with the reason, when it cannot be used.
    static std::unique_ptr<Record> open(const QString& path, QString& why);
    ~Record();
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    // From the owner's thread, which the calls back reach through its event loop. handled runs
    // once the row is on disk, or kept because the file took nothing.
    void append(const LoadRow& row, std::function<void()> handled = {});
    // A line about the record: an outage begins, or ends.
    std::function<void(const QString&)> said;
    // At the end: one last try for the rows kept, then those still not written. abandon(),
    // called from the owner's event loop meanwhile (a signal), ends the wait at once.
    QList<LoadRow> finish();
    void abandon();
    // The lines that tell what finish() left: one that says so, then each row as CSV.
    QByteArray unwritten(const QList<LoadRow>& rows) const;

private:
    explicit Record(std::unique_ptr<CsvFile> file);
    // In the record's thread.
    void write();
    void tell(const QString& line);

    std::unique_ptr<CsvFile> file_;
    QObject owner_;                     // the owner's thread: what the record's thread says goes there
    std::unique_ptr<QThread> thread_;
    std::unique_ptr<QObject> writer_;   // lives in the record's thread
    mutable std::mutex mutex_;
    QList<LoadRow> kept_;               // not yet written, oldest first
    bool failing_ = false;              // touched only in the record's thread
    QEventLoop* finishing_ = nullptr;
    bool abandoned_ = false;
};

} // namespace programador
