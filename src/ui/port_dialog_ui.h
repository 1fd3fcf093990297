#pragma once

#include <QString>
#include <QWidget>

#include <array>

class QButtonGroup;
class QCloseEvent;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace programador {

// The port dialog PUERTO_SERIE as designed: four option buttons COM1..COM4 in one
// group and the buttons "Aceptar" and "Cancelar", laid out in twips on a fixed client
// area. It is a top-level window with no parent, so it stays usable while the main
// window is disabled. It holds no behaviour: the app connects the buttons' clicked()
// and closeRequested() to the dialog's logic.
class PortDialogUi : public QWidget {
    Q_OBJECT

public:
    // devices[n] is the device behind COM(n+1), shown as that option's tooltip.
    explicit PortDialogUi(const std::array<QString, 4>& devices);

    // Option1..Option4; n is 1..4.
    QRadioButton* option(int n) const;

    QRadioButton* Option1;
    QRadioButton* Option2;
    QRadioButton* Option3;
    QRadioButton* Option4;
    QPushButton* Command1;   // "Aceptar"
    QPushButton* Command2;   // "Cancelar"
    QButtonGroup* options;   // exclusive; ids 1..4

signals:
    // The window system asked to close the window (close box, Alt+F4). The window
    // stays as it is; whoever listens decides.
    void closeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

} // namespace programador
