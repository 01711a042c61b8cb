#pragma once

#include "platform/geometry.h"

#include <cstdint>

namespace pavo {

struct Viewer;

// The point a zoom step keeps in place: the view's centre, or the point under the cursor.
enum class ZoomAnchor { Centre, Cursor };

// The zoom factor that zoomStepCount steps of the zoom settings reach.
float zoomFactorForSteps(const Viewer& viewer);
// Zooms one step in or out (the caller has counted it in zoomStepCount) about the anchor;
// a step that cannot change the factor is undone with a beep.
void applyZoom(Viewer& viewer, bool zoomIn, ZoomAnchor anchor);
// One step in or out, as + and - or Ctrl and the wheel ask for it.
void zoomByStep(Viewer& viewer, bool zoomIn, ZoomAnchor anchor);

// A scroll step, and the horizontal and vertical distances it makes (a share of the
// client area when relative scrolling is on).
struct ScrollAmounts {
    std::int32_t step;
    std::int32_t horizontal;
    std::int32_t vertical;
};
ScrollAmounts scrollAmounts(const Viewer& viewer, std::int32_t step);
// The keyboard's step: Ctrl slow, Shift fast.
std::int32_t keyboardScrollStep(const Viewer& viewer);

void panMove(Viewer& viewer);
void startAnchorScroll(Viewer& viewer);
void anchorScrollTick(Viewer& viewer);
void stopAnchorScroll(Viewer& viewer);

}  // namespace pavo
