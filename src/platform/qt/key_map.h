#pragma once

#include "platform/window.h"

class QKeyEvent;

namespace pavo::qt {

// The key a key event stands for. The digit keys 1 to 3 and the minus and plus keys are
// told by their place on the keyboard (the X key code), as virtual-key codes name
// physical keys: on a French layout the unshifted 1 key types "&" and still is 1, and
// Shift with minus still zooms out. Other keys, and events without a key code, go by
// the key they type; a keypad key is the main block's key it types. Key::Other for keys
// the viewer does not handle, keypad + and - and Alt combinations among them.
Key keyFor(const QKeyEvent& event);

}  // namespace pavo::qt
