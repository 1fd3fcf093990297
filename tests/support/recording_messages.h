#pragma once

#include "operator_messages.h"
#include "transfer_view.h"

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
        QString reason;
    };
    MessageAnswer show(const QString& text, MessageIcon icon, MessageButtons buttons, const QString& reason) override
    {
        shown.append({text, icon, buttons, reason});
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

// A main window that shows nothing of a transfer; it counts the returns to idle.
struct QuietView : TransferView {
    void setStatusText(const QString&) override {}
    void setStatusVisible(bool) override {}
    void setProgressValue(float) override {}
    void setProgressVisible(bool) override {}
    void setCancelEnabled(bool) override {}
    void lockForTransfer() override {}
    void setNormalPointer() override {}
    void clearDrawing() override {}
    void habilita() override { ++idle; }
    int idle = 0;
};

} // namespace programador::testing
