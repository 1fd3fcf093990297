#include "recording_view.h"

namespace programador::testing {

void RecordingView::record(const QString& call)
{
    calls.append(call);
    if (journal)
        journal->append(QStringLiteral("view:") + call);
    if (onCall)
        onCall(call);
}

QStringList RecordingView::callsNamed(const QString& name) const
{
    QStringList out;
    for (const QString& c : calls) {
        if (c == name || c.startsWith(name + u' '))
            out.append(c);
    }
    return out;
}

void RecordingView::setStatusText(const QString& text)
{
    statusText = text;
    statusTexts.append(text);
    record(QStringLiteral("setStatusText ") + text);
}

void RecordingView::setStatusVisible(bool visible)
{
    statusVisible = visible;
    record(QStringLiteral("setStatusVisible %1").arg(visible ? 1 : 0));
}

void RecordingView::setProgressValue(float value)
{
    progressValue = value;
    progressValues.append(value);
    record(QStringLiteral("setProgressValue %1").arg(static_cast<double>(value)));
}

void RecordingView::setProgressVisible(bool visible)
{
    progressVisible = visible;
    record(QStringLiteral("setProgressVisible %1").arg(visible ? 1 : 0));
}

void RecordingView::setCancelEnabled(bool enabled)
{
    cancelEnabled = enabled;
    record(QStringLiteral("setCancelEnabled %1").arg(enabled ? 1 : 0));
}

void RecordingView::lockForTransfer()
{
    locked = true;
    record(QStringLiteral("lockForTransfer"));
}

void RecordingView::setNormalPointer()
{
    normalPointer = true;
    record(QStringLiteral("setNormalPointer"));
}

void RecordingView::clearDrawing()
{
    ++clearDrawingCount;
    record(QStringLiteral("clearDrawing"));
}

void RecordingView::habilita()
{
    // What habilita does to the window, as far as the transfer can see it.
    locked = false;
    statusVisible = false;
    cancelEnabled = false;
    progressVisible = false;
    ++habilitaCount;
    record(QStringLiteral("habilita"));
}

} // namespace programador::testing
