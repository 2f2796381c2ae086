#pragma once

class QAbstractButton;

namespace kanaroll {

// Enter and the keypad Enter press a focused button as Space does: drawn
// down while the key is held, clicked when it is let go.
void pressOnEnter(QAbstractButton *button);

} // namespace kanaroll
