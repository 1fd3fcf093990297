#pragma once

#include "auto_size_label.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <array>

namespace programador {

// "Banco de carga" as designed: the image (its name, size and the start of its SHA-256, and a
// button to choose another), one row per COM number, and the buttons. A row: a box to use the
// port, the device behind it, the load's state, a progress bar, its counts and the last load's
// result with its reason. States and results are shown by their words and a colour together,
// in a size read from an arm's length away. It holds no behaviour; the app connects to the
// members and paints the states.
class BenchWindowUi : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRows = 4;

    // How a state or a result is painted: its words on a colour that says the same.
    enum class Tone { Idle, Waiting, Working, Away, Ready, Failed };

    explicit BenchWindowUi(QWidget* parent = nullptr);

    // Sets the label's words and its colours for the tone.
    static void paint(QLabel* label, const QString& text, Tone tone);

    QLabel* Image;
    QPushButton* Choose;
    struct Row {
        QCheckBox* Use;         // "COMn"
        QLabel* Device;         // "FT232R USB UART, /dev/ttyUSB0", "desconectado", "libre"
        QLabel* State;          // the window's words for the load under way
        QProgressBar* Progress;
        QLabel* Counts;         // "12 listas, 1 con error"
        QLabel* Last;           // the last load's result, and its reason below
    };
    std::array<Row, kRows> rows;
    QLabel* RecordLine;   // the record's trouble, as the main window shows it: "Registro: ..."
    QPushButton* Start;   // "Iniciar"
    QPushButton* Stop;    // "Detener"
    QPushButton* Close;   // "Cerrar"
};

} // namespace programador
