#pragma once

#include "platform/geometry.h"
#include "platform/relaxed.h"

#include <cmath>
#include <cstdint>

namespace pavo {

struct Viewer;

// The presentation state of the user-interface thread. Workers read the Relaxed ones.
struct ViewState {
    Relaxed<std::int64_t> zoomPerMille{1000};  // 1000 = 100 %
    std::int32_t zoomStepCount = 0;
    Relaxed<bool> fitActive{true};    // fit to screen in force
    std::int32_t maxWindowWidth = 0;  // largest outer window on this monitor; 0 unknown
    std::int32_t maxWindowHeight = 0;
    std::int32_t stickyWidth = 0;  // displayed size of the previous image; 0 none
    std::int32_t stickyHeight = 0;
    Relaxed<bool> infoOverlayShown{false};
};

// Merging the shown image with a neighbour into one picture.
struct MergeState {
    Relaxed<std::int32_t> mergeMode{0};  // 0 off, 1 with the next image, -1 with the previous
    Relaxed<bool> reverseMergeActive{false};
};

// Whether an image is on screen.
bool imageShown(const Viewer& viewer);
// The window's geometry now (user-interface thread) or as last published (workers).
GeometrySnapshot windowGeometry(const Viewer& viewer);
// The client area as a rectangle at the origin.
Rect clientRect(const Viewer& viewer);

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

}  // namespace pavo
