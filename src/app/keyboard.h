#pragma once

class QAbstractButton;
class QMainWindow;

namespace programador {

// Keys as the operators know them from the system they come from.

// Enter (or the keypad's Enter) on the focused button presses it, as Space does.
void pressOnEnter(QAbstractButton* button);
// F10 gives the keyboard to the window's menu bar, as Alt does: the arrows move along its
// commands, Enter runs one, Escape goes back.
void menuOnF10(QMainWindow& window);

} // namespace programador
