#pragma once

#include "bench_row_ui.h"
#include "twips.h"

#include <QGridLayout>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QScrollArea>
#include <QWidget>

namespace programador {

// "Banco de carga" as designed: a production order's line and figures when it runs one, the image (its name, size and the start of its SHA-256, and a
// button to choose another), the order, the operator and whether each board's serial number is
// asked for, one row per COM number (BenchRowUi), the record's line and the
// buttons. The rows scroll where the screen is too small for them; the image line, the record's
// line and the buttons stay in view. States and results are shown by their words and a colour
// together. Every button has its Alt letter, and the focus is drawn plainly. It holds no behaviour; the app connects to the members and paints
// the states.
class BenchWindowUi : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFewestRows = 4;   // COM1..COM4 always

    // How a state or a result is painted: its words on a colour that says the same.
    enum class Tone { Idle, Waiting, Working, Away, Ready, Failed };

    explicit BenchWindowUi(QWidget* parent = nullptr);

    // Rows for COM1 to COMcount: the ones missing are added, none taken away.
    void showRows(int count);
    // The size it asks for, within the screen's room: every row where they fit, else as many
    // as there is room for, the rest scrolled to.
    QSize fittedSize(const QRect& room) const;

    // The rows' column of serial numbers, shown while the bench asks for them.
    void showSerials(bool shown);

    // Sets the label's words and its colours for the tone.
    static void paint(QLabel* label, const QString& text, Tone tone);

    // Under a production order: the order (its name, image and count) and its figures in large
    // type, for the operator at arm's length; hidden without one.
    QLabel* OrderLine;
    QLabel* Figures;     // "120 listas · 3 con error · 97,6 % · 45 por hora · faltan 380"
    QLabel* Image;
    QPushButton* Choose;   // "Elegir imagen..."
    QLineEdit* Order;      // "Orden"
    QLineEdit* Operator;   // "Operador"
    QCheckBox* AskSerial;  // "Pedir número de serie"
    QList<BenchRowUi> rows;   // COM1 first
    QScrollArea* Rows;
    QLabel* RecordLine;   // the record's trouble, as the main window shows it: "Registro: ..."
    QPushButton* Start;   // "Iniciar"
    QPushButton* Stop;    // "Detener"
    QPushButton* Clear;   // "Borrar cuentas"
    QPushButton* SaveOrder;   // "Guardar orden..."
    QPushButton* Close;   // "Cerrar"

private:
    Twips twips_;
    QWidget* grid_;
    QGridLayout* gridLayout_;
    QLabel* serialHead_;
};

} // namespace programador
