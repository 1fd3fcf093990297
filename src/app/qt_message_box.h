#pragma once

#include "operator_messages.h"

#include <QMessageBox>

#include <memory>

namespace programador {

// The operator's message boxes: modal QMessageBoxes titled "Telvarin". They have no parent
// window, so they stay usable while the main window is disabled (the port dialog's
// messages), and they block the whole application while shown.
class QtMessageBox : public OperatorMessages {
public:
    MessageAnswer show(const QString& text, MessageIcon icon, MessageButtons buttons,
                       const QString& reason = {}) override;

    // The box as shown: title, text, icon and buttons (Yes is the default of Yes/No), and the
    // reason, when there is one, as the line below the text.
    static std::unique_ptr<QMessageBox> build(const QString& text, MessageIcon icon, MessageButtons buttons,
                                              const QString& reason = {});
    // The answer for the button that closed the box. An OK box answers Ok however it was
    // closed; a Yes/No box answers Yes only for Yes.
    static MessageAnswer answerFor(int result, MessageButtons buttons);
};

} // namespace programador
