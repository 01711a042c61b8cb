#pragma once

#include "platform/window.h"

#include <Qt>

namespace pavo::qt {

// Maps a key of the main keyboard block to the viewer's key; Key::Other for keys the
// viewer does not handle (keypad keys, Alt combinations).
Key virtualKeyFor(int qtKey, Qt::KeyboardModifiers modifiers);

}  // namespace pavo::qt
