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
class AutoSizeLabel : public QLabel {
public:
    explicit AutoSizeLabel(const QString& text, QWidget* parent = nullptr);

    void setText(const QString& text);
    void fitToCaption();

protected:
    void changeEvent(QEvent* event) override;
};

} // namespace programador
