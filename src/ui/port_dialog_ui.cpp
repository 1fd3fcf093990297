#include "port_dialog_ui.h"

#include "twips.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QStyle>
#include <QGuiApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>

namespace programador {

namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    // Neither button answers Enter or Escape on its own.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

PortDialogUi::PortDialogUi()
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    const Twips twips = Twips::forScreen();
    setObjectName(QStringLiteral("PUERTO_SERIE"));
    setWindowTitle(QStringLiteral("CONFIGURACION PUERTO SERIE"));
    setFixedSize(twips.size(4350, 2775));

    struct Design {
        const char* name;
        int left;
        int top;
    };
    // COM1 and COM2 in the left column, COM3 and COM4 in the right one.
    const Design design[4] = {{"Option1", 765, 510}, {"Option2", 765, 1275}, {"Option3", 2805, 510}, {"Option4", 2805, 1275}};
    QRadioButton** members[4] = {&Option1, &Option2, &Option3, &Option4};

    options = new QButtonGroup(this);
    options->setExclusive(true);
    for (int i = 0; i < 4; ++i) {
        auto* button = new QRadioButton(QStringLiteral("COM%1").arg(i + 1), this);
        button->setObjectName(QString::fromLatin1(design[i].name));
        button->setGeometry(twips.rect(design[i].left, design[i].top, 1035, 270));
        options->addButton(button, i + 1);
        *members[i] = button;
        // What the number stands for, below the option where its caption starts.
        auto* detail = new QLabel(this);
        detail->setObjectName(QStringLiteral("Detail%1").arg(i + 1));
        detail->setTextFormat(Qt::PlainText);
        detail->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        detail->setWordWrap(false);
        const int indent = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth)
            + style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
        detail->setGeometry(twips.rect(design[i].left, design[i].top + 270, 2040, 465).adjusted(indent, 0, indent, 0));
        details_[static_cast<std::size_t>(i)] = detail;
    }

    Command1 = makeButton(this, "Command1", QStringLiteral("Aceptar"), twips.rect(1020, 2040, 780, 350));
    Command2 = makeButton(this, "Command2", QStringLiteral("Cancelar"), twips.rect(2550, 2040, 780, 350));

    setTabOrder(Option1, Option2);
    setTabOrder(Option2, Option3);
    setTabOrder(Option3, Option4);
    setTabOrder(Option4, Command1);
    setTabOrder(Command1, Command2);
}

void PortDialogUi::setDetail(int n, const QString& text, const QString& tip)
{
    QLabel* label = detail(n);
    label->setToolTip(tip);
    // A text too long for one line goes on two: the description, then the device. The left
    // column's lines end where the right column starts; the dialog grows to the right to hold
    // the right column's.
    const QFontMetrics metrics = label->fontMetrics();
    const int designedWidth = Twips::forScreen().toPixels(4350);
    const int margin = option(1)->x() / 2;
    const int room = (n <= 2 ? option(3)->x() : designedWidth - margin) - label->x();
    QStringList lines{text};
    if (metrics.horizontalAdvance(text) > room && text.contains(QLatin1String(", ")))
        lines = {text.section(QLatin1String(", "), 0, -2) + QLatin1Char(','), text.section(QLatin1String(", "), -1)};
    int widest = 0;
    for (QString& line : lines) {
        if (n <= 2)
            line = metrics.elidedText(line, Qt::ElideMiddle, room);
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    label->setText(lines.join(QLatin1Char('\n')));
    label->resize(std::max(widest, room), label->height());
    int width = designedWidth;
    for (int k = 3; k <= 4; ++k)
        width = std::max(width, detail(k)->x() + detail(k)->width() + margin);
    setFixedSize(width, height());
}

QRadioButton* PortDialogUi::option(int n) const
{
    switch (n) {
    case 1: return Option1;
    case 2: return Option2;
    case 3: return Option3;
    case 4: return Option4;
    default: return nullptr;
    }
}

void PortDialogUi::closeEvent(QCloseEvent* event)
{
    event->ignore();
    emit closeRequested();
}

// Each showing of a newly created dialog puts it in the middle of the screen.
void PortDialogUi::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace programador
