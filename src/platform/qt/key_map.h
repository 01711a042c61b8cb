#pragma once

#include "platform/window.h"

#include <Qt>

class QKeyEvent;

namespace pavo::qt {

// Maps a key of the main keyboard block to the viewer's key; Key::Other for keys the
// viewer does not handle (keypad keys, Alt combinations).
Key virtualKeyFor(int qtKey, Qt::KeyboardModifiers modifiers);

// The key a key event stands for. The digit keys 1 to 3 and the minus and plus keys are
// told by their place on the keyboard (the X key code), as virtual-key codes name
// physical keys: on a French layout the unshifted 1 key types "&" and still is 1, and
// Shift with minus still zooms out. Other keys, and events without a key code, go by
// the key they type.
Key keyFor(const QKeyEvent& event);

}  // namespace pavo::qt
