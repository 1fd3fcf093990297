#pragma once

#include "operator_messages.h"
#include "port_numbering.h"
#include "port_settings.h"

#include <cstdint>

namespace programador {

// The port dialog window as its logic sees it. The app implements it over the
// PUERTO_SERIE widget; the tests fake it.
class PortDialogView {
public:
    virtual ~PortDialogView() = default;
    virtual bool isCreated() const = 0;
    // Builds the window, hidden, with no option selected. Only called when not created.
    virtual void createHidden() = 0;
    // Shows the (created) window modeless and centred.
    virtual void show() = 0;
    // Hides the window, then destroys it and its controls.
    virtual void hideAndDestroy() = 0;
    // Selects option n (1..4); the group clears the other three.
    virtual void selectOption(int n) = 0;
    virtual bool isOptionSelected(int n) const = 0;
    // What stands behind option n, shown beside it; tip: the same at length, on hovering.
    virtual void setOptionDetail(int n, const QString& text, const QString& tip) = 0;
};

// What the dialog does to the main window.
class PortDialogMainWindow {
public:
    virtual ~PortDialogMainWindow() = default;
    virtual void setEnabled(bool enabled) = 0;   // the window as a whole
    virtual void showAndRaise() = 0;             // visible, in front and active
};

// Tries a port by opening and closing it: the app sets the serial line's port number,
// opens and closes it, and answers false when any of that raises SerialError, with the
// failure's reason line.
class PortProbe {
public:
    virtual ~PortProbe() = default;
    virtual bool probe(std::int16_t port, QString& reason) = 0;
};

// The logic of PUERTO_SERIE: preselecting the option for puerto, opening the dialog
// from the menu "Configurar puerto serie", "Aceptar" and "Cancelar".
class PortDialog {
public:
    PortDialog(PortDialogView& view, PortDialogMainWindow& mainWindow, PortProbe& probe, PortSettings& settings,
               OperatorMessages& messages, PortNumbering& numbering);
    ~PortDialog();

    // Makes the options show settings.puerto; creates the dialog hidden first when it
    // does not exist. Called by Form_Load right after lee_puerto.
    void marca_puerto();
    // Menu "Configurar puerto serie": shows the dialog (created anew when needed),
    // disables the main window and preselects puerto. Beside each option it says what the
    // number stands for, as the devices are now and as they come and go while it is open.
    void configurar_Click();
    // "Aceptar": probes the chosen port; on success takes it into puerto, saves it and
    // closes the dialog. A failed probe shows "Error en puerto serie" and changes nothing;
    // a failed save (its message shown by the settings) keeps the dialog open with the
    // new puerto in force.
    void Command1_Click();
    // "Cancelar": back to the main window, nothing changed.
    void Command2_Click();
    // The window system's close of the dialog does what "Cancelar" does, so the main
    // window is never left disabled with no dialog on screen.
    void closeRequested();

private:
    std::int16_t chosenPort() const;
    void backToMainWindow();
    void showDetails();

    PortDialogView& view_;
    PortDialogMainWindow& mainWindow_;
    PortProbe& probe_;
    PortSettings& settings_;
    OperatorMessages& messages_;
    PortNumbering& numbering_;
};

} // namespace programador
