#include "qt_message_box.h"

#include <QLabel>

#include <cstdio>

namespace programador {

namespace {

QMessageBox::Icon toQt(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

std::unique_ptr<QMessageBox> QtMessageBox::build(const QString& text, MessageIcon icon, MessageButtons buttons,
                                                 const QString& reason)
{
    const bool yesNo = buttons != MessageButtons::Ok;
    auto box = std::make_unique<QMessageBox>(toQt(icon), QStringLiteral("Telvarin"), text,
                                             yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok);
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(reason);
    // A file name is the operator's, not markup: the reason line is shown as plain text too.
    if (auto* line = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        line->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::ApplicationModal);
    box->setDefaultButton(buttons == MessageButtons::YesNo ? QMessageBox::Yes
                          : yesNo                            ? QMessageBox::No
                                                             : QMessageBox::Ok);
    return box;
}

MessageAnswer QtMessageBox::answerFor(int result, MessageButtons buttons)
{
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return result == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

MessageAnswer QtMessageBox::show(const QString& text, MessageIcon icon, MessageButtons buttons, const QString& reason)
{
    // The reason goes to standard error too, for a technician who started the program there.
    if (!reason.isEmpty())
        std::fprintf(stderr, "programador: %s\n", reason.toUtf8().constData());
    const std::unique_ptr<QMessageBox> box = build(text, icon, buttons, reason);
    return answerFor(box->exec(), buttons);
}

} // namespace programador
