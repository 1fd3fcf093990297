#pragma once

#include "transfer_view.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace programador::testing {

// Records every call the transfer makes on the main window, in order, and keeps the
// state those calls leave.
class RecordingView : public TransferView {
public:
    // Each call as "name" or "name arg": "setStatusText Alimente el equipo",
    // "setStatusVisible 1", "setProgressValue 3", "habilita".
    QStringList calls;
    QStringList* journal = nullptr;        // when set: "view:..." entries shared with other fakes
    std::function<void(const QString& call)> onCall;

    QString statusText;
    bool statusVisible = false;
    float progressValue = 0;
    bool progressVisible = false;
    bool cancelEnabled = false;
    bool locked = false;                   // lockForTransfer without habilita since
    bool normalPointer = true;
    int habilitaCount = 0;
    int clearDrawingCount = 0;
    QStringList statusTexts;               // every text given to setStatusText
    QList<float> progressValues;           // every value given to setProgressValue

    QStringList callsNamed(const QString& name) const;

    void setStatusText(const QString& text) override;
    void setStatusVisible(bool visible) override;
    void setProgressValue(float value) override;
    void setProgressVisible(bool visible) override;
    void setCancelEnabled(bool enabled) override;
    void lockForTransfer() override;
    void setNormalPointer() override;
    void clearDrawing() override;
    void habilita() override;

private:
    void record(const QString& call);
};

} // namespace programador::testing
