#pragma once

#include "auto_size_label.h"
#include "load_row.h"

#include <memory>

namespace programador {

class Record;

// The window's record of loads: the destination set for this PC in registro.ini, read when the
// window starts, and a row for every load of "Cargar Firmware", as the command line makes it.
// The operator is never stopped by it: a record that cannot be used or written shows as one
// line of the window, never a message box, until rows go in again.
class WindowRecord {
public:
    explicit WindowRecord(AutoSizeLabel& line);
    ~WindowRecord();   // the rows kept go in, or to standard error

    // Reads registro.ini ($XDG_CONFIG_HOME/programador/) and opens what it names.
    void open();
    void append(const LoadRow& row);
    Record* record() const { return record_.get(); }

private:
    void show(const QString& text, bool trouble);

    AutoSizeLabel& line_;
    std::unique_ptr<Record> record_;
};

} // namespace programador
