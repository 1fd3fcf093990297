#pragma once

#include <QString>
#include <QWidget>

#include <array>

class QButtonGroup;
class QCloseEvent;
class QLabel;
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
    PortDialogUi();

    // Option1..Option4; n is 1..4.
    QRadioButton* option(int n) const;
    // What stands behind option n, on the lines below it: elided to its column, the dialog
    // growing to the right for the right-hand column; tip shown on hovering.
    void setDetail(int n, const QString& text, const QString& tip);
    QLabel* detail(int n) const { return details_[static_cast<std::size_t>(n - 1)]; }

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

private:
    std::array<QLabel*, 4> details_{};
    std::array<QString, 4> detailTexts_;
};

} // namespace programador
