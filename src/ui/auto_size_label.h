#pragma once

#include <QLabel>

namespace programador {

// A label that sizes itself to its caption, on one line: its left and top edges stay where
// they are, its width and height follow the text and its border, so a longer caption
// extends it to the right.
//
// setText hides QLabel::setText: set the caption through this type (as the window's
// members are declared) so that the label re-fits. A font or style change re-fits too;
// after changing the border, call fitToCaption.
//
// With a right edge set, a caption too long to end before it is shown elided (in the middle,
// unless told otherwise), the whole caption in the label's tooltip, or the detail when one is set.
class AutoSizeLabel : public QLabel {
public:
    explicit AutoSizeLabel(const QString& text, QWidget* parent = nullptr);

    void setText(const QString& text);
    void fitToCaption();
    // The x, in the parent, that the label never passes; 0: none.
    void setRightEdge(int x);
    void setElideMode(Qt::TextElideMode mode);
    // What the tooltip says, elided or not; empty: the caption, when elided.
    void setDetail(const QString& detail);
    QString caption() const { return caption_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    QString caption_, detail_;
    int rightEdge_ = 0;
    Qt::TextElideMode elide_ = Qt::ElideMiddle;
};

} // namespace programador
