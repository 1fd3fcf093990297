#include "auto_size_label.h"

#include <QEvent>

namespace programador {

AutoSizeLabel::AutoSizeLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent), caption_(text)
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
    caption_ = text;
    fitToCaption();
}

void AutoSizeLabel::setRightEdge(int x)
{
    rightEdge_ = x;
    fitToCaption();
}

void AutoSizeLabel::setElideMode(Qt::TextElideMode mode)
{
    elide_ = mode;
    fitToCaption();
}

void AutoSizeLabel::setDetail(const QString& detail)
{
    detail_ = detail;
    fitToCaption();
}

void AutoSizeLabel::fitToCaption()
{
    // The size hint is the text on one line plus the border; resize() keeps the top-left
    // corner where it is.
    QLabel::setText(caption_);
    const int room = rightEdge_ - x() - (sizeHint().width() - fontMetrics().horizontalAdvance(caption_));
    const bool elided = rightEdge_ > 0 && x() + sizeHint().width() > rightEdge_;
    if (elided)
        QLabel::setText(fontMetrics().elidedText(caption_, elide_, room));
    setToolTip(!detail_.isEmpty() ? detail_ : elided ? caption_ : QString());
    resize(sizeHint());
}

void AutoSizeLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitToCaption();
}

} // namespace programador
