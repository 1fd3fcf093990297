#pragma once

#include "event_yield.h"
#include "firmware_image.h"
#include "main_window_ui.h"
#include "operator_messages.h"
#include "port_settings.h"
#include "serial_line.h"
#include "tick_counters.h"
#include "tick_timers.h"
#include "transfer_view.h"
#include "twips.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <utility>

namespace programador {

// The main window's behaviour: start-up (Form_Load), the idle state (habilita), the menu
// commands, closing, and the window as the transfer sees it.
//
// Owns the window, the port settings, the tick counters with their timers (ticking from
// construction until destruction) and the image buffer. The operator messages, the serial
// line and the event yield are the program's (or a test's) and outlive this object.
class MainWindow : public QObject, public TransferView {
    Q_OBJECT
public:
    // Ends the program; the program ends its event loop, the tests record the call.
    using EndProgram = std::function<void()>;

    // settingsDirectory holds PROGRAMADOR.INI: the working directory in the program.
    // endProgram defaults to leaving the application's event loop.
    MainWindow(OperatorMessages& messages, SerialLine& line, EventYield& events, const QString& settingsDirectory,
               EndProgram endProgram = {}, Twips twips = Twips::forScreen());
    ~MainWindow() override;

    // Shows the window in the centre of the screen; the program calls it after Form_Load.
    void show();

    // The window's start-up: reads the settings file into puerto, then sets the start state
    // ("Cargar Firmware" and "Cancelar" disabled, the progress bar hidden).
    void Form_Load();

    // The menu commands.
    void ayuda_Click();
    void configurar_Click();
    void salir_Click();

    // TransferView, on the real widgets.
    void setStatusText(const QString& text) override;
    void setStatusVisible(bool visible) override;
    void setProgressValue(float value) override;
    void setProgressVisible(bool visible) override;
    void setCancelEnabled(bool enabled) override;
    void lockForTransfer() override;
    void setNormalPointer() override;
    void clearDrawing() override;
    void habilita() override;

    // The progress maximum, set by the image load. The bar counts in whole steps: values
    // are rounded to the nearest whole number (the program only ever sets whole numbers).
    void setProgressMaximum(float maximum);
    // The hourglass, for the image load.
    void setBusyPointer();

    // Hooks for the pieces wired later. marca_puerto runs inside Form_Load right after
    // lee_puerto (the port dialog preselects puerto's option there); abandonTransfer runs
    // when the window closes, before the program ends (a transfer under way is told to
    // give up: port closed, no message). Both do nothing until set.
    void setMarcaPuerto(std::function<void()> hook) { marcaPuertoHook_ = std::move(hook); }
    void setAbandonTransfer(std::function<void()> hook) { abandonTransferHook_ = std::move(hook); }

    MainWindowUi& ui() { return ui_; }
    PortSettings& settings() { return settings_; }
    TickCounters& ticks() { return ticks_; }
    TickTimers& timers() { return timers_; }
    FirmwareImage& image() { return *image_; }
    OperatorMessages& messages() { return messages_; }
    SerialLine& line() { return line_; }
    EventYield& events() { return events_; }

    static const QString& helpText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // marca_puerto: the port dialog's preselection at start-up (creates the dialog hidden
    // with the option of puerto selected), through its hook.
    void marca_puerto();
    // Closing the window ends a transfer under way with it: the transfer's wait is told to
    // abandon, so the run closes the port and returns without a message.
    void abandonTransfer();
    // The window is closing, through "Salir" or the window system: the program ends.
    void windowClosing();

    OperatorMessages& messages_;
    SerialLine& line_;
    EventYield& events_;
    EndProgram endProgram_;
    std::function<void()> marcaPuertoHook_;
    std::function<void()> abandonTransferHook_;

    PortSettings settings_;
    TickCounters ticks_;
    TickTimers timers_;
    std::unique_ptr<FirmwareImage> image_;   // 250 KB: kept off the stack
    MainWindowUi ui_;
    bool ended_ = false;
};

} // namespace programador
