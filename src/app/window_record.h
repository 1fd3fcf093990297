#pragma once

#include "auto_size_label.h"
#include "destination.h"
#include "load_row.h"
#include "record.h"

#include <QLabel>
#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

namespace programador {

// The window's record of loads: the destination set for this PC in registro.ini, read when the
// window starts and again before each "Cargar Firmware" and "Iniciar", and a row for every load,
// as the command line makes it. The operator is never stopped by it and the window never waits
// on its server: a record that cannot be used or written shows as one line of the main window,
// and of the bench window while it is open ("Registro: el servidor no responde; 4 filas
// esperan"), never a message box, until rows go in again; the line's tooltip names the
// destination and has the server's or the system's own words.
class WindowRecord {
public:
    explicit WindowRecord(AutoSizeLabel& line);
    ~WindowRecord();   // finish(), when it has not run

    // Reads registro.ini ($XDG_CONFIG_HOME/programador/) and, when it names another destination
    // than the record open, opens that one. The one before goes on sending what it holds until
    // the window ends.
    void open();
    void append(const LoadRow& row);
    Record* record() const { return record_.get(); }
    // registro.ini's sonido= as open() last read it: the bench window's alarms heard (also when
    // the file was refused: a bench is not silenced by a slip).
    bool sound() const { return settings_.sound; }
    // Rows that only this program's memory holds, in every record it has had open.
    qsizetype inMemory() const;
    // At the end: the last tries, then the rows nowhere else go to standard error as their
    // destination takes them. True when the process must end without its destructors.
    bool finish();
    // The bench window's line too, while it is open (none: only the main window's).
    void showAlso(QLabel* line);

private:
    void hear(const RecordNews& news);
    void show();

    AutoSizeLabel& line_;
    QPointer<QLabel> benchLine_;
    QObject context_;   // the calls back of this object's rows
    RecordSettings settings_;
    bool opened_ = false;
    std::unique_ptr<Record> record_;
    std::vector<std::unique_ptr<Record>> retired_;   // earlier destinations, still sending
    RecordNews news_;   // what the line says
    bool finished_ = false;
};

} // namespace programador
