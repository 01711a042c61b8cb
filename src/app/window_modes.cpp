#include "app/window_modes.h"

#include "browse/neighbour_cache.h"
#include "platform/clock.h"
#include "view/view.h"
#include "view/window_fit.h"
#include "viewer.h"

#include <algorithm>

namespace pavo {
namespace {

double idleMilliseconds(const Viewer& viewer) {
    return static_cast<double>(monotonicNanoseconds() - viewer.input.lastMouseMoveTime) /
           1'000'000.0;
}

void enterFullscreen(Viewer& viewer) {
    viewer.input.lastMouseMoveTime = monotonicNanoseconds();
    if (const auto placement = viewer.platform.windowPlacement())
        viewer.mode.savedPlacement = *placement;
    viewer.mode.fullscreenActive = true;
    viewer.platform.setWindowStyle(WindowStyle::Fullscreen);
    schedulePrescale(viewer);
}

void leaveFullscreen(Viewer& viewer) {
    viewer.mode.fullscreenActive = false;
    const int level = viewer.mode.chromeLevel;
    viewer.platform.setWindowStyle(static_cast<WindowStyle>(level));
    ImageBuffer& shown = viewer.shownImage;
    const Size size = windowSizeForImage(viewer, shown.image);
    if (shown.ready && size.width >= 1 && size.height >= 1) {
        applyWindowSize(viewer, size,
                        {.pinLeftEdge = true, .restoreSaved = true, .partner = shown.partner});
        if (level != 3) {
            applyWindowSize(viewer, windowSizeForImage(viewer, shown.image),
                            {.pinLeftEdge = true, .partner = shown.partner});
        }
    } else {
        viewer.platform.restorePlacement(viewer.mode.savedPlacement);
    }
    scrollBy(viewer, 0, 0);
    showCursor(viewer);
    schedulePrescale(viewer);
}

}  // namespace

void setChromeLevel(Viewer& viewer, int level) {
    if (viewer.mode.fullscreenActive || level == viewer.mode.chromeLevel) return;
    viewer.mode.chromeLevel = level;
    forgetNeighbourScaling(viewer);
    viewer.platform.setWindowStyle(static_cast<WindowStyle>(level));
    if (viewer.view.zoomPerMille != 1000) {
        requestRedraw(viewer);
    } else {
        refit(viewer, ScrollReset::WhenZoomed);
    }
    schedulePrescale(viewer);
}

void toggleFullscreen(Viewer& viewer) {
    forgetNeighbourScaling(viewer);
    if (viewer.mode.fullscreenActive) {
        leaveFullscreen(viewer);
    } else {
        enterFullscreen(viewer);
    }
}

void hideCursor(Viewer& viewer) {
    while (viewer.platform.changeCursorCounter(false) >= 0) {
    }
}

void showCursor(Viewer& viewer) {
    while (viewer.platform.changeCursorCounter(true) < 0) {
    }
}

void toggleCursor(Viewer& viewer) {
    if (viewer.platform.cursorShowing().value_or(false)) {
        hideCursor(viewer);
    } else {
        showCursor(viewer);
    }
}

void showCursorAgain(Viewer& viewer) {
    const auto showing = [&] { return viewer.platform.cursorShowing().value_or(false); };
    if (!showing() && !showing()) showCursor(viewer);
}

void cursorHideCheck(Viewer& viewer) {
    if (!viewer.platform.cursorShowing().value_or(false)) return;
    if (!viewer.platform.isActiveWindow() || !viewer.mode.fullscreenActive) return;
    if (idleMilliseconds(viewer) > 1400.0) hideCursor(viewer);
}

void cursorWatcherRound(Viewer& viewer) {
    if (!viewer.mode.fullscreenActive) return;
    const double idle = idleMilliseconds(viewer);
    if (idle > 1000.0)
        viewer.platform.armTimer(CursorHideTimer, std::max(0, static_cast<int>(1500.0 - idle)));
}

}  // namespace pavo
