#pragma once

#include "platform/geometry.h"
#include "view/view_state.h"

#include <cmath>
#include <cstdint>

namespace pavo {

struct Viewer;

// Whether an image is on screen.
bool imageShown(const Viewer& viewer);
// The window's geometry now (user-interface thread) or as last published (workers).
GeometrySnapshot windowGeometry(const Viewer& viewer);
// The client area as a rectangle at the origin.
Rect clientRect(const Viewer& viewer);
// What scaling for the window reads now, copied from the viewer.
ScaleContext scaleContext(const Viewer& viewer);

// A size derived from a ratio: rounded half away from zero.
inline int roundedSide(float value) {
    return static_cast<int>(std::roundf(value));
}

// A side times the zoom: an integer product divided by 1000 in double precision,
// truncated.
inline int zoomedSide(int side, std::int64_t zoomPerMille) {
    return static_cast<int>(static_cast<double>(side * zoomPerMille) / 1000.0);
}

// Repaints the client area with as little flicker as the options allow, and has the
// overlay drawn again on top.
void requestRedraw(Viewer& viewer);
// Draws a new frame of the shown animation; `before` is the size of the frame it replaces.
void redrawFrame(Viewer& viewer, Size before);

}  // namespace pavo
