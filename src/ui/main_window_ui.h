#pragma once

#include "auto_size_label.h"
#include "twips.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>

namespace programador {

// The main window PROGRAMADOR as designed: "Telvarin V5.0", a fixed client area of
// 6870 x 5160 twips below a menu bar of four commands, and the controls at their designed
// places, fonts and colours. It holds no behaviour; the app connects to the members.
//
// As designed, Command1 and Command2 are enabled, ProgressBar1 is shown and Label1 hidden;
// the start-up handler then sets the start state.
class MainWindowUi : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindowUi(const Twips& twips, QWidget* parent = nullptr);

    // The designed fonts: "MS Sans Serif" where installed, else the desktop's sans-serif,
    // bold (weight 700), at the given point size.
    static QFont designFont(qreal pointSize);

    QComboBox* Drive1;
    QListWidget* Dir1;
    QListWidget* File1;
    AutoSizeLabel* Label2;
    AutoSizeLabel* Label1;
    QPushButton* Command1;
    QPushButton* Command2;
    QLabel* Image1;
    QProgressBar* ProgressBar1;
    // Below the progress bar, hidden while the record of loads works: the line that says why a
    // row could not be written.
    AutoSizeLabel* RecordLine;

    QAction* ayuda;
    QAction* configurar;
    QAction* banco;         // "Banco de carga": several boards at once, board after board
    QAction* salir;

private:
    const Twips twips_;
};

} // namespace programador
