#pragma once

#include "platform/window.h"

#include <QRect>

#include <optional>

namespace pavo::qt {

// X11 tells of a frame drag only after the fact: the dragged edge or corner is read
// from which sides of the outer rectangle moved. Nothing when the size is unchanged.
std::optional<SizingEdge> draggedEdge(const QRect& before, const QRect& after);

}  // namespace pavo::qt
