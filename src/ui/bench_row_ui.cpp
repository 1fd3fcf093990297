#include "bench_row_ui.h"

#include "main_window_ui.h"

#include <algorithm>

namespace programador {

namespace {

// The COM number and the state large and bold, for an operator at arm's length; the rest
// smaller and plain, so that sixteen rows of two lines fit a screen 768 pixels high and six
// columns one 1024 pixels wide.
constexpr qreal kStatePoints = 12;
constexpr qreal kTextPoints = 9;

QFont detailFont()
{
    QFont font = MainWindowUi::designFont(kTextPoints);
    font.setWeight(QFont::Normal);
    return font;
}
// The widest of the load's states, which the state's column always has room for on one line.
const char* const kWidestState = "Iniciando protocolo XMODEM...";

// A cell's words, wrapped onto a second line where the column is narrow.
QLabel* cell(QWidget* parent, qreal points, int minimumWidth)
{
    auto* label = new QLabel(parent);
    label->setFont(points == kTextPoints ? detailFont() : MainWindowUi::designFont(points));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setMinimumWidth(minimumWidth);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

// Two lines of the label's font, and its margins: the row's height whatever it shows.
int twoLines(const QLabel* label)
{
    return 2 * label->fontMetrics().lineSpacing() + 2 * label->margin() + 2;
}

} // namespace

BenchRowUi::BenchRowUi(QWidget* parent, int number, const Twips& twips)
{
    const QString com = QStringLiteral("COM%1").arg(number);
    Use = new QCheckBox(com, parent);
    Use->setObjectName(QStringLiteral("Use%1").arg(number));
    Use->setFont(MainWindowUi::designFont(kStatePoints));
    // The COM number is the operator's landmark: as dark while the bench runs as before.
    QPalette dark = Use->palette();
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, dark.color(QPalette::Active, role));
    Use->setPalette(dark);

    // Two lines for a device's name and node, or for an adapter changed in its slot.
    Device = cell(parent, kTextPoints, 0);
    Device->setMinimumWidth(Device->fontMetrics().horizontalAdvance(QStringLiteral("A50285BI, ahora FT9ZK3A1")) + 8);
    // A scanner types as a keyboard and ends with Return; room for a serial of a dozen characters.
    Serial = new QLineEdit(parent);
    Serial->setObjectName(QStringLiteral("Serial%1").arg(number));
    Serial->setFont(MainWindowUi::designFont(kStatePoints));
    Serial->setMaxLength(64);
    Serial->setMinimumWidth(Serial->fontMetrics().horizontalAdvance(QStringLiteral("PL-000000000")) + 12);
    Serial->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    Serial->hide();
        State = cell(parent, kStatePoints, 0);
    State->setAlignment(Qt::AlignCenter);
    State->setMargin(2);
    State->setWordWrap(false);
    State->setMinimumWidth(State->fontMetrics().horizontalAdvance(QString::fromUtf8(kWidestState)) + twips.toPixels(120));
    Progress = new QProgressBar(parent);
    QFont small = detailFont();
    small.setPointSizeF(8);
    Progress->setFont(small);
    Progress->setMinimumWidth(Progress->fontMetrics().horizontalAdvance(QStringLiteral("bloque 1953 de 1953")) + twips.toPixels(150));
    Progress->setFormat(QStringLiteral("bloque %v de %m"));
    Progress->setAlignment(Qt::AlignCenter);
    Restart = new QPushButton(QStringLiteral("Reanudar"), parent);
    Restart->setObjectName(QStringLiteral("Restart%1").arg(number));
    Restart->setFont(MainWindowUi::designFont(kTextPoints));
    Restart->setFocusPolicy(Qt::StrongFocus);
    Restart->hide();
    Counts = cell(parent, kTextPoints, 0);
    // Room for four digits of each count on the first line.
    Counts->setMinimumWidth(Counts->fontMetrics().horizontalAdvance(QStringLiteral("0000 listas, 000 con error,")) + 4);
    Last = cell(parent, kTextPoints, 0);
    // A result and a cause of the usual lengths on their two lines.
    Last->setMinimumWidth(std::max(Last->fontMetrics().horizontalAdvance(QStringLiteral("Error de comunicacion")),
                                   Last->fontMetrics().horizontalAdvance(QString::fromUtf8("el equipo no respondió"))) + 10);
    Last->setMargin(2);
    Last->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int height = std::max(State->fontMetrics().lineSpacing() + 2 * State->margin() + 2, twoLines(Last));
    for (QWidget* widget : {static_cast<QWidget*>(Device), static_cast<QWidget*>(State), static_cast<QWidget*>(Counts),
                            static_cast<QWidget*>(Last)})
        widget->setFixedHeight(height);
}

void BenchRowUi::place(QGridLayout* grid, int line) const
{
    const QList<QWidget*> widgets{Use, Device, Serial, State, Progress, Counts, Last};
    for (int column = 0; column < widgets.size(); ++column)
        grid->addWidget(widgets[column], line, column);
    grid->addWidget(Restart, line, 4);   // shown only in the progress bar's stead
}

} // namespace programador
