#include "bench_window_ui.h"

#include "main_window_ui.h"

#include <QHBoxLayout>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace programador {

namespace {

constexpr qreal kTextPoints = 9.75;
constexpr qreal kButtonPoints = 12;
constexpr qreal kFiguresPoints = 15;
// The width the window asks for where the screen has it: every column with room to spare.
constexpr int kPreferredWidth = 19500;

// The focus in plain sight: a thick blue frame on the button that Return presses, a frame on
// the box that Space ticks; every button drawn the same way focused or not, so that only the
// frame changes.
const char* const kFocusStyle =
    "QPushButton { border: 2px solid #808080; border-radius: 4px; background: #e8e8e8; padding: 4px 10px; }"
    "QPushButton:focus { border: 4px solid #0000ff; background: #dde4ff; padding: 2px 8px; }"
    "QPushButton:pressed { background: #c0c0c0; }"
    "QPushButton:disabled { color: #808080; background: #f0f0f0; }"
    "QCheckBox { border: 2px solid transparent; padding: 1px; }"
    "QCheckBox:focus { border: 2px solid #0000ff; background: #dde4ff; }";

QLabel* text(QWidget* parent, const QString& words = {})
{
    auto* label = new QLabel(words, parent);
    label->setFont(MainWindowUi::designFont(kTextPoints));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* button(QWidget* parent, const QString& caption, const char* name)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFont(MainWindowUi::designFont(kButtonPoints));
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

} // namespace

BenchWindowUi::BenchWindowUi(QWidget* parent) : QWidget(parent, Qt::Window), twips_(Twips::forScreen())
{
    setObjectName(QStringLiteral("BANCO"));
    setWindowTitle(QStringLiteral("Banco de carga"));
    setStyleSheet(QString::fromLatin1(kFocusStyle));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(twips_.toPixels(90), twips_.toPixels(90), twips_.toPixels(90), twips_.toPixels(90));

    // The order and its figures share a line, so that sixteen rows still fit a screen 768
    // pixels high under an order.
    auto* order = new QHBoxLayout;
    OrderLine = text(this);
    OrderLine->setObjectName(QStringLiteral("OrderLine"));
    OrderLine->setWordWrap(true);
    OrderLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    OrderLine->hide();
    Figures = text(this);
    Figures->setObjectName(QStringLiteral("Figures"));
    Figures->setFont(MainWindowUi::designFont(kFiguresPoints));
    Figures->setWordWrap(true);
    Figures->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Figures->hide();
    order->addWidget(OrderLine, 2);
    order->addWidget(Figures, 5);
    layout->addLayout(order);

    auto* image = new QHBoxLayout;
    Image = text(this);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setWordWrap(true);
    Image->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Choose = button(this, QStringLiteral("&Elegir imagen..."), "Choose");
    SaveOrder = button(this, QStringLiteral("&Guardar orden..."), "SaveOrder");
    image->addWidget(Image, 1);
    image->addWidget(Choose);
    image->addWidget(SaveOrder);
    layout->addLayout(image);

    // Who loads, for which order, and whether each board is scanned first.
    auto* trace = new QHBoxLayout;
    const auto field = [this, trace](const QString& caption, const char* name, int characters) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setFont(MainWindowUi::designFont(kTextPoints));
        edit->setMaxLength(80);
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * characters);
        QLabel* label = text(this, caption);
        label->setTextFormat(Qt::AutoText);   // its Alt letter
        label->setBuddy(edit);
        trace->addWidget(label);
        trace->addWidget(edit, 1);
        return edit;
    };
    Order = field(QStringLiteral("&Orden:"), "Order", 6);
    Operator = field(QStringLiteral("O&perador:"), "Operator", 6);
    AskSerial = new QCheckBox(QString::fromUtf8("Pedir número de &serie"), this);
    AskSerial->setObjectName(QStringLiteral("AskSerial"));
    AskSerial->setFont(MainWindowUi::designFont(kTextPoints));
    trace->addWidget(AskSerial);
    layout->addLayout(trace);

    // The rows, under their heads, in a frame that scrolls where the screen has no room.
    grid_ = new QWidget;
    gridLayout_ = new QGridLayout(grid_);
    gridLayout_->setHorizontalSpacing(twips_.toPixels(75));
    gridLayout_->setVerticalSpacing(twips_.toPixels(30));
    gridLayout_->setContentsMargins(0, 0, 0, 0);
    const QStringList heads{QStringLiteral("Puerto"), QStringLiteral("Dispositivo"), QStringLiteral("Serie"), QStringLiteral("Estado"),
                            QStringLiteral("Progreso"), QStringLiteral("Cargas"), QStringLiteral("Última carga")};
    for (int column = 0; column < heads.size(); ++column)
        gridLayout_->addWidget(text(grid_, heads[column]), 0, column);
    serialHead_ = static_cast<QLabel*>(gridLayout_->itemAtPosition(0, 2)->widget());
    serialHead_->hide();
    // The room a wider window gives goes to the words, not to the progress bar.
    for (const auto& [column, stretch] : {std::pair{1, 3}, std::pair{3, 2}, std::pair{4, 1}, std::pair{5, 2}, std::pair{6, 4}})
        gridLayout_->setColumnStretch(column, stretch);
    Rows = new QScrollArea(this);
    Rows->setObjectName(QStringLiteral("Rows"));
    Rows->setWidget(grid_);
    Rows->setWidgetResizable(true);
    Rows->setFrameShape(QFrame::NoFrame);
    layout->addWidget(Rows, 1);
    showRows(kFewestRows);

    // The record's line, where the operator of the bench looks: its sentence whole, on as many
    // lines as it takes, the destination and the server's own words in its tooltip.
    RecordLine = text(this);
    RecordLine->setObjectName(QStringLiteral("RecordLine"));
    RecordLine->setWordWrap(true);
    {
        QPalette pal = RecordLine->palette();
        pal.setColor(QPalette::WindowText, QColor(160, 0, 0));
        RecordLine->setPalette(pal);
    }
    RecordLine->hide();
    layout->addWidget(RecordLine);

    auto* buttons = new QHBoxLayout;
    Clear = button(this, QStringLiteral("&Borrar cuentas"), "Clear");
    Start = button(this, QStringLiteral("&Iniciar"), "Start");
    Stop = button(this, QStringLiteral("&Detener"), "Stop");
    Close = button(this, QStringLiteral("&Cerrar"), "Close");
    buttons->addWidget(Clear);
    buttons->addStretch(1);
    for (QPushButton* each : {Start, Stop, Close})
        buttons->addWidget(each);
    layout->addLayout(buttons);
}

void BenchWindowUi::showRows(int count)
{
    for (int n = int(rows.size()) + 1; n <= count; ++n) {
        rows.append(BenchRowUi(grid_, n, twips_));
        rows.last().place(gridLayout_, n);
        rows.last().Serial->setVisible(!serialHead_->isHidden());
    }
    // What is below the last row stays empty.
    gridLayout_->setRowStretch(gridLayout_->rowCount(), 1);
}

void BenchWindowUi::showSerials(bool shown)
{
    serialHead_->setVisible(shown);
    for (const BenchRowUi& row : rows)
        row.Serial->setVisible(shown);
}

QSize BenchWindowUi::fittedSize(const QRect& room) const
{
    // Every row at its height, under the image and above the buttons; the width the columns
    // ask for with room to spare; then no more than the screen's room.
    const int rowsHeight = grid_->minimumSizeHint().height() + 2 * Rows->frameWidth();
    const int around = sizeHint().height() - Rows->sizeHint().height();
    const int width = std::max(grid_->minimumSizeHint().width() + Rows->verticalScrollBar()->sizeHint().width()
                                   + layout()->contentsMargins().left() + layout()->contentsMargins().right(),
                               twips_.toPixels(kPreferredWidth));
    return QSize(width, around + rowsHeight).boundedTo(room.size());
}

void BenchWindowUi::paint(QLabel* label, const QString& text, Tone tone)
{
    // Background and text: each tone's colour differs, and so do its words.
    static const std::pair<QColor, QColor> tones[] = {
        {QColor(220, 220, 220), Qt::black},        // Idle: grey
        {QColor(255, 200, 0), Qt::black},          // Waiting: amber, the operator's turn
        {QColor(0, 0, 255), Qt::white},            // Working: the window's blue
        {QColor(96, 96, 96), Qt::white},           // Away: dark grey, no adapter
        {QColor(0, 140, 0), Qt::white},            // Ready: green
        {QColor(255, 0, 0), Qt::white},            // Failed: the window's red
    };
    const auto& [background, foreground] = tones[static_cast<int>(tone)];
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, background);
    pal.setColor(QPalette::WindowText, foreground);
    label->setPalette(pal);
    label->setAutoFillBackground(true);
    label->setText(text);
}

} // namespace programador
