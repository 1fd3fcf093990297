#pragma once

#include "operator_messages.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace programador::testing {

// Records every message box instead of showing it; a Yes/No question is answered `answer`.
struct RecordingMessages : OperatorMessages {
    struct Shown {
        QString text;
        MessageIcon icon;
        MessageButtons buttons;
    };
    MessageAnswer show(const QString& text, MessageIcon icon, MessageButtons buttons) override
    {
        shown.append({text, icon, buttons});
        texts << text;
        if (onShow)
            onShow();
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : answer;
    }
    QList<Shown> shown;
    QStringList texts;
    MessageAnswer answer = MessageAnswer::No;
    std::function<void()> onShow;   // runs while the box would be up
};

} // namespace programador::testing
