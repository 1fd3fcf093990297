#pragma once

#include "operator_messages.h"

#include <QList>
#include <QString>

#include <deque>
#include <functional>

namespace programador::testing {

// Records every message box instead of showing it, and answers Yes/No questions from a
// script (No when the script is empty). OK boxes are answered Ok.
class RecordingMessages : public OperatorMessages {
public:
    struct Shown {
        QString text;
        MessageIcon icon;
        MessageButtons buttons;
    };

    MessageAnswer show(const QString& text, MessageIcon icon, MessageButtons buttons) override
    {
        shown.append({text, icon, buttons});
        if (onShow)
            onShow();
        if (buttons == MessageButtons::Ok)
            return MessageAnswer::Ok;
        if (answers.empty())
            return MessageAnswer::No;
        const MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }

    QStringList texts() const
    {
        QStringList out;
        for (const Shown& s : shown)
            out << s.text;
        return out;
    }

    QList<Shown> shown;
    std::deque<MessageAnswer> answers;
    std::function<void()> onShow; // runs while the "box" is up, e.g. to inspect the window
};

} // namespace programador::testing
