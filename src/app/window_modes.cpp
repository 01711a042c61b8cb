#include "app/app.h"
#include "app/viewer.h"
#include "platform/clock.h"

#include <algorithm>
#include <cmath>

namespace pavo {
namespace {

// The neighbours were scaled for another window; drop their pictures.
void dropPrescaledNeighbours(Viewer& viewer) {
    for (ImageBuffer* neighbour : {&viewer.nextImage, &viewer.previousImage}) {
        neighbour->display.release();
        neighbour->displayReady = false;
    }
}

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
        applyWindowSize(viewer, size.width, size.height, true, shown.partner, false, true);
        if (level != 3) {
            const Size again = windowSizeForImage(viewer, shown.image);
            applyWindowSize(viewer, again.width, again.height, true, shown.partner, false, false);
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
        refit(viewer, false);
    }
    schedulePrescale(viewer);
}

void toggleFullscreen(Viewer& viewer) {
    dropPrescaledNeighbours(viewer);
    if (viewer.mode.fullscreenActive) {
        leaveFullscreen(viewer);
    } else {
        enterFullscreen(viewer);
    }
}

void requestRedraw(Viewer& viewer) {
    Platform& platform = viewer.platform;
    const Rect client = clientRect(viewer);
    if (viewer.settings.reduceFlicker) {
        // Erase only the bands beside and above the centred image; the image itself
        // is painted over without an erase, so it never flashes.
        const int displayWidth = viewer.shownImage.display.cols;
        const int displayHeight = viewer.shownImage.display.rows;
        if (client.width() > displayWidth) {
            const int band = static_cast<int>(std::ceil((client.width() - displayWidth) * 0.5));
            platform.invalidate({client.left, client.top, client.left + band, client.bottom}, true);
            platform.invalidate({client.right - band, client.top, client.right, client.bottom},
                                true);
        }
        if (client.height() > displayHeight) {
            const int band = static_cast<int>(std::ceil((client.height() - displayHeight) * 0.5));
            platform.invalidate({client.left, client.top, client.right, client.top + band}, true);
            platform.invalidate({client.left, client.bottom - band, client.right, client.bottom},
                                true);
        }
    } else {
        platform.invalidate(client, true);
    }
    platform.redrawNow(client);
    if (overlayDue(viewer)) platform.armTimer(OverlayTimer, 50);
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

void schedulePrescale(Viewer& viewer) {
    const ViewerSettings& s = viewer.settings;
    const bool anyReady = viewer.nextImage.ready || viewer.previousImage.ready;
    const bool bothScaled = viewer.nextImage.displayReady && viewer.previousImage.displayReady;
    if (s.preScale && (!s.stickyWindowSize || viewer.mode.fullscreenActive) && anyReady &&
        !bothScaled) {
        viewer.platform.armTimer(PrescaleTimer, 100);
    }
}

}  // namespace pavo
