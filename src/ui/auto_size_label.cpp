#include "auto_size_label.h"

#include <QEvent>

namespace programador {

AutoSizeLabel::AutoSizeLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignCenter);
    setIndent(0);
    setMargin(0);
    setFocusPolicy(Qt::NoFocus);
    fitToCaption();
}

void AutoSizeLabel::setText(const QString& text)
{
    QLabel::setText(text);
    fitToCaption();
}

void AutoSizeLabel::fitToCaption()
{
    // The size hint is the text on one line plus the border; resize() keeps the top-left
    // corner where it is.
    resize(sizeHint());
}

void AutoSizeLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitToCaption();
}

} // namespace programador
