#include "port_dialog.h"

#include <QString>

namespace programador {

PortDialog::PortDialog(PortDialogView& view, PortDialogMainWindow& mainWindow, PortProbe& probe,
                       PortSettings& settings, OperatorMessages& messages, PortNumbering& numbering)
    : view_(view), mainWindow_(mainWindow), probe_(probe), settings_(settings), messages_(messages),
      numbering_(numbering)
{
}

PortDialog::~PortDialog()
{
    numbering_.devices().changed = nullptr;
}

void PortDialog::showDetails()
{
    numbering_.refresh();
    for (int n = 1; n <= 4; ++n) {
        const PortAssignment port = numbering_.assignment(n);
        view_.setOptionDetail(n, port.describe(), port.state == PortAssignment::State::Free ? QString() : port.path);
    }
}

void PortDialog::marca_puerto()
{
    if (!view_.isCreated())
        view_.createHidden();
    view_.selectOption(1);
    // Three separate tests: any value other than 2, 3 or 4 leaves COM1 selected.
    if (settings_.puerto == 2)
        view_.selectOption(2);
    if (settings_.puerto == 3)
        view_.selectOption(3);
    if (settings_.puerto == 4)
        view_.selectOption(4);
}

void PortDialog::configurar_Click()
{
    if (!view_.isCreated())
        view_.createHidden();
    showDetails();
    // Devices plugged in or pulled out while the dialog is open show at once.
    numbering_.devices().changed = [this] {
        if (view_.isCreated())
            showDetails();
    };
    view_.show();
    mainWindow_.setEnabled(false);
    marca_puerto();
}

std::int16_t PortDialog::chosenPort() const
{
    std::int16_t port = 1;
    if (view_.isOptionSelected(2))
        port = 2;
    if (view_.isOptionSelected(3))
        port = 3;
    if (view_.isOptionSelected(4))
        port = 4;
    return port;
}

void PortDialog::Command1_Click()
{
    const std::int16_t chosen = chosenPort();
    QString reason;
    if (!probe_.probe(chosen, reason)) {
        messages_.show(QStringLiteral("Error en puerto serie"), MessageIcon::Error, MessageButtons::Ok, reason);
        return;
    }
    settings_.puerto = chosen;
    if (!settings_.guarda_puerto(chosen))
        return;   // "Error de archivo" was shown; the dialog stays with the new port in force
    backToMainWindow();
}

void PortDialog::Command2_Click()
{
    backToMainWindow();
}

void PortDialog::closeRequested()
{
    Command2_Click();
}

void PortDialog::backToMainWindow()
{
    numbering_.devices().changed = nullptr;
    mainWindow_.setEnabled(true);
    mainWindow_.showAndRaise();
    if (view_.isCreated())
        view_.hideAndDestroy();
}

} // namespace programador
