#pragma once

#include "port_dialog.h"
#include "port_dialog_ui.h"
#include "serial_line.h"

#include <QPointer>

namespace programador {

// PUERTO_SERIE on screen: the dialog's logic sees it through PortDialogView. The window is
// built when the logic asks and destroyed when it closes; its buttons and close box go to
// the logic.
class PortDialogWindow : public PortDialogView {
public:
    PortDialogWindow() = default;
    ~PortDialogWindow() override;
    void setLogic(PortDialog& logic) { logic_ = &logic; }
    // The window the dialog stays in front of.
    void setTransientParent(QWidget* window) { transientParent_ = window; }

    bool isCreated() const override { return ui_ != nullptr; }
    void createHidden() override;
    void show() override;
    void hideAndDestroy() override;
    void selectOption(int n) override;
    bool isOptionSelected(int n) const override;
    void setOptionDetail(int n, const QString& text, const QString& tip) override;

    PortDialogUi* ui() const { return ui_; }

private:
    PortDialog* logic_ = nullptr;
    QWidget* transientParent_ = nullptr;
    QPointer<PortDialogUi> ui_;
};

// The port probe of "Aceptar": opens and closes the chosen port on the program's line.
class LinePortProbe : public PortProbe {
public:
    explicit LinePortProbe(SerialLine& line) : line_(line) {}
    bool probe(std::int16_t port, QString& reason) override;

private:
    SerialLine& line_;
};

} // namespace programador
