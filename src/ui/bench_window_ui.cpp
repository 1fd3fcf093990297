#include "bench_window_ui.h"

#include "main_window_ui.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace programador {

namespace {

// The state's and the result's words: large and bold, for an operator at arm's length.
constexpr qreal kStatePoints = 14;
constexpr qreal kTextPoints = 9.75;

QLabel* cell(QWidget* parent, qreal points, int minimumWidth = 0)
{
    auto* label = new QLabel(parent);
    label->setFont(MainWindowUi::designFont(points));
    label->setMinimumWidth(minimumWidth);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

BenchWindowUi::BenchWindowUi(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("BANCO"));
    setWindowTitle(QStringLiteral("Banco de carga"));
    auto* layout = new QVBoxLayout(this);

    auto* image = new QHBoxLayout;
    Image = cell(this, kTextPoints);
    Image->setObjectName(QStringLiteral("Image"));
    Choose = new QPushButton(QStringLiteral("Elegir imagen..."), this);
    Choose->setObjectName(QStringLiteral("Choose"));
    Choose->setFont(MainWindowUi::designFont(kTextPoints));
    image->addWidget(Image, 1);
    image->addWidget(Choose);
    layout->addLayout(image);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    const QStringList heads{QStringLiteral("Puerto"), QStringLiteral("Dispositivo"), QStringLiteral("Estado"),
                            QStringLiteral("Progreso"), QStringLiteral("Cargas"), QStringLiteral("Última carga")};
    for (int column = 0; column < heads.size(); ++column) {
        QLabel* head = cell(this, kTextPoints);
        head->setText(heads[column]);
        grid->addWidget(head, 0, column);
    }
    for (int n = 1; n <= kRows; ++n) {
        Row& row = rows[static_cast<std::size_t>(n - 1)];
        row.Use = new QCheckBox(QStringLiteral("COM%1").arg(n), this);
        row.Use->setObjectName(QStringLiteral("Use%1").arg(n));
        row.Use->setFont(MainWindowUi::designFont(kStatePoints));
        row.Device = cell(this, kTextPoints, 190);
        row.Device->setWordWrap(true);
        row.State = cell(this, kStatePoints, 290);
        row.State->setAlignment(Qt::AlignCenter);
        row.State->setMargin(6);
        row.Progress = new QProgressBar(this);
        row.Progress->setTextVisible(false);
        row.Progress->setMinimumWidth(110);
        row.Counts = cell(this, kTextPoints, 150);
        row.Last = cell(this, kTextPoints, 200);
        row.Last->setWordWrap(true);
        row.Last->setMargin(4);
        const QList<QWidget*> widgets{row.Use, row.Device, row.State, row.Progress, row.Counts, row.Last};
        for (int column = 0; column < widgets.size(); ++column)
            grid->addWidget(widgets[column], n, column);
    }
    layout->addLayout(grid);

    // The record's line, where the operator of the bench looks: its sentence whole, on as many
    // lines as it takes, the destination and the server's own words in its tooltip.
    RecordLine = cell(this, kTextPoints);
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
    Start = new QPushButton(QStringLiteral("Iniciar"), this);
    Stop = new QPushButton(QStringLiteral("Detener"), this);
    Close = new QPushButton(QStringLiteral("Cerrar"), this);
    buttons->addStretch(1);
    for (QPushButton* button : {Start, Stop, Close}) {
        button->setFont(MainWindowUi::designFont(13.5));
        button->setMinimumWidth(140);
        buttons->addWidget(button);
    }
    Start->setObjectName(QStringLiteral("Start"));
    Stop->setObjectName(QStringLiteral("Stop"));
    Close->setObjectName(QStringLiteral("Close"));
    layout->addLayout(buttons);
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
