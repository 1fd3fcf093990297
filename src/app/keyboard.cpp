#include "keyboard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QShortcut>

namespace programador {

namespace {

class EnterPresses : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        static_cast<QAbstractButton*>(watched)->click();
        return true;
    }
};

} // namespace

void pressOnEnter(QAbstractButton* button)
{
    button->installEventFilter(new EnterPresses(button));
}

void menuOnF10(QMainWindow& window)
{
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), &window);
    QObject::connect(f10, &QShortcut::activated, &window, [&window] {
        // The menu bar takes the keyboard on a press and release of Alt alone; it gives the
        // focus back where it was when a command runs or Escape is pressed.
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : &window;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
        QApplication::sendEvent(focus, &press);
        QApplication::sendEvent(focus, &release);
    });
}

} // namespace programador
