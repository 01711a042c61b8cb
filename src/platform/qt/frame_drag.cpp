#include "platform/qt/frame_drag.h"

namespace pavo::qt {

std::optional<SizingEdge> draggedEdge(const QRect& before, const QRect& after) {
    const bool widthChanged = after.width() != before.width();
    const bool heightChanged = after.height() != before.height();
    if (!widthChanged && !heightChanged) return std::nullopt;
    const bool leftMoved = after.left() != before.left();
    const bool topMoved = after.top() != before.top();
    if (widthChanged && heightChanged) {
        if (topMoved) return leftMoved ? SizingEdge::TopLeft : SizingEdge::TopRight;
        return leftMoved ? SizingEdge::BottomLeft : SizingEdge::BottomRight;
    }
    if (widthChanged) return leftMoved ? SizingEdge::Left : SizingEdge::Right;
    return topMoved ? SizingEdge::Top : SizingEdge::Bottom;
}

}  // namespace pavo::qt
