#pragma once

#include "twips.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace programador {

// One row of "Banco de carga", a COM number's: a box to use the port, the device behind it, a
// field for the board's serial number (shown when the bench asks for them), the load's state, a progress bar ("bloque k de n"), its counts and the last load's result with its
// cause. Its texts wrap rather than being cut, and a row keeps its height whatever it shows, so
// that sixteen of them stand still while they load. Widgets only: the app fills them.
struct BenchRowUi {
    BenchRowUi(QWidget* parent, int number, const Twips& twips);
    // Its cells in grid's line.
    void place(QGridLayout* grid, int line) const;

    QCheckBox* Use;          // "COMn"
    QLabel* Device;          // "FT232R USB UART, /dev/ttyUSB0", "desconectado", "libre"
    QLineEdit* Serial;       // the board's serial number, scanned, when the bench asks for it
    QLabel* State;           // the window's words for the load under way
    QProgressBar* Progress;  // "bloque 12 de 1953"
    QPushButton* Restart;    // "Reanudar", in the progress bar's place, on a row stopped for its fixture
    QLabel* Counts;          // "12 listas, 1 con error"
    QLabel* Last;            // the last load's result, and its cause below
};

} // namespace programador
