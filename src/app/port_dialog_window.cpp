#include "port_dialog_window.h"

#include "keyboard.h"

#include <QPushButton>
#include <QWindow>
#include <QRadioButton>

namespace programador {

PortDialogWindow::~PortDialogWindow()
{
    // The dialog goes with the program, hidden or not.
    delete ui_.data();
}

void PortDialogWindow::createHidden()
{
    ui_ = new PortDialogUi();
    QObject::connect(ui_, &PortDialogUi::closeRequested, [this] { logic_->closeRequested(); });
    QObject::connect(ui_->Command1, &QPushButton::clicked, [this] { logic_->Command1_Click(); });
    QObject::connect(ui_->Command2, &QPushButton::clicked, [this] { logic_->Command2_Click(); });
    pressOnEnter(ui_->Command1);
    pressOnEnter(ui_->Command2);
}

void PortDialogWindow::show()
{
    // A dialog transient for the main window: the window manager keeps it in front, also when
    // the operator clicks the disabled main window. It has no parent widget, so it stays
    // usable while the main window is disabled.
    ui_->winId();
    if (transientParent_ && transientParent_->windowHandle())
        ui_->windowHandle()->setTransientParent(transientParent_->windowHandle());
    ui_->show();
    ui_->raise();
    ui_->activateWindow();
}

void PortDialogWindow::hideAndDestroy()
{
    ui_->hide();
    // Called from inside one of the dialog's own signals: it goes when they have returned.
    ui_->deleteLater();
    ui_ = nullptr;
}

void PortDialogWindow::selectOption(int n)
{
    ui_->option(n)->setChecked(true);
}

bool PortDialogWindow::isOptionSelected(int n) const
{
    return ui_->option(n)->isChecked();
}

void PortDialogWindow::setOptionDetail(int n, const QString& text, const QString& tip)
{
    ui_->setDetail(n, text, tip);
}

bool LinePortProbe::probe(std::int16_t port, QString& reason)
{
    try {
        line_.setPortNumber(port);
        line_.open();
        line_.close();
        return true;
    } catch (const SerialError& failure) {
        reason = failure.reason;
        return false;
    }
}

} // namespace programador
