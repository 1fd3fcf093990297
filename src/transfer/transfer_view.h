#pragma once

#include <QString>

namespace programador {

// What the transfer touches in the main window. The app implements it on the real
// widgets; the tests record the calls.
class TransferView {
public:
    virtual ~TransferView() = default;

    virtual void setStatusText(const QString& text) = 0;   // caption of Label1
    virtual void setStatusVisible(bool visible) = 0;       // Label1
    virtual void setProgressValue(float value) = 0;        // ProgressBar1
    virtual void setProgressVisible(bool visible) = 0;
    virtual void setCancelEnabled(bool enabled) = 0;       // Command2
    // Disables, in this order, the menus salir, ayuda, configurar, Command1, File1, Drive1, Dir1.
    virtual void lockForTransfer() = 0;
    virtual void setNormalPointer() = 0;
    virtual void clearDrawing() = 0;                       // what was drawn on the window at run time
    virtual void habilita() = 0;                           // back to the idle state
};

} // namespace programador
