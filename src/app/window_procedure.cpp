// The window procedure's handlers for everything but keys, commands and the mouse.
#include "app/app.h"
#include "app/window_modes.h"
#include "browse/animation.h"
#include "browse/colour.h"
#include "browse/load.h"
#include "browse/navigation.h"
#include "browse/neighbour_cache.h"
#include "view/draw.h"
#include "view/scale.h"
#include "view/view.h"
#include "view/window_fit.h"
#include "view/zoom.h"
#include "viewer.h"

#include <ctime>

namespace pavo {

void markActivity(Viewer& viewer) {
    viewer.input.lastActivityTime =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(std::time(nullptr)));
}

void onTimer(Viewer& viewer, int id) {
    switch (id) {
        case PrescaleTimer:
            viewer.platform.killTimer(PrescaleTimer);
            prescaleNeighbours(viewer);
            if (overlayDue(viewer)) viewer.platform.armTimer(OverlayTimer, 10);
            return;
        case CursorHideTimer:
            viewer.platform.killTimer(CursorHideTimer);
            cursorHideCheck(viewer);
            return;
        case OverlayTimer:
            viewer.platform.killTimer(OverlayTimer);
            if (overlayDue(viewer)) viewer.platform.redrawNow(clientRect(viewer));
            return;
        case AnchorScrollTimer:
            anchorScrollTick(viewer);
            return;
        case IdleReleaseTimer:
            clearIdleCache(
                viewer, static_cast<std::int32_t>(static_cast<std::uint32_t>(std::time(nullptr))));
            return;
        case CursorWatchTimer:
            cursorWatcherRound(viewer);
            return;
        case JumpRestTimer:
            decodeRestingTarget(viewer);
            return;
        case AnimationTimer:
            animationTimeUp(viewer);
            return;
        default:
            return;
    }
}

void onSize(Viewer& viewer) {
    // A picture kept without its pixels (a step to a large photo) is decoded again only
    // when the window asks for another picture.
    if (!viewer.view.fitActive || viewer.view.zoomPerMille != 1000 || !shownPictureFits(viewer))
        restoreShownPixels(viewer);
    const bool maximized = windowGeometry(viewer).maximized;
    const bool maximizedChanged = maximized != viewer.input.wasMaximized;
    if (maximizedChanged) {
        viewer.input.wasMaximized = maximized;
        scrollBy(viewer, 0, 0);
        forgetNeighbourScaling(viewer);
    }
    markActivity(viewer);
    viewer.input.ctrlHeld = viewer.platform.modifierHeld(Modifier::Ctrl);
    // While a prescaled neighbour is brought on screen its display already fits.
    if (viewer.shownImage.ready && !viewer.navigation.swapInProgress) {
        scrollBy(viewer, 0, 0);
        rescaleShownImage(viewer);
        scrollBy(viewer, 0, 0);
        requestRedraw(viewer);
    }
    if (maximizedChanged) schedulePrescale(viewer);
}

void onMove(Viewer& viewer) {
    markActivity(viewer);
    followDisplayProfile(viewer, false);
    if (viewer.shownImage.ready) viewer.platform.redrawNow(clientRect(viewer));
}

void onPaint(Viewer& viewer, Painter& painter) {
    if (viewer.shownImage.ready || viewer.shownImage.display.cols > 1) drawImage(viewer, painter);
}

void onFocusChange(Viewer& viewer, bool gained) {
    if (!gained) showCursorAgain(viewer);
    viewer.input.ctrlHeld = viewer.platform.modifierHeld(Modifier::Ctrl);
    viewer.input.shiftHeld = viewer.platform.modifierHeld(Modifier::Shift);
    if (!gained && viewer.input.mouseCaptured) {
        if (viewer.input.windowDragActive) snapWindowToMonitor(viewer);
        viewer.platform.releaseMouse();
        viewer.input.mouseCaptured = false;
        viewer.input.anchorScrollActive = false;
        viewer.input.windowDragActive = false;
        viewer.input.panDragActive = false;
    }
}

void onDisplayChange(Viewer& viewer) {
    restoreShownPixels(viewer);
    measureRefreshRate(viewer);
    refit(viewer, ScrollReset::WhenZoomed);
    // Monitors added or removed renumber their profiles.
    followDisplayProfile(viewer, true);
}

void onDisplayProfileChange(Viewer& viewer) {
    followDisplayProfile(viewer, true);
}

void onDestroy(Viewer& viewer) {
    saveWindowPlacement(viewer);
    viewer.platform.postQuit(0);
}

void onSizing(Viewer& viewer, SizingEdge edge, Rect& proposed) {
    restoreShownPixels(viewer);
    viewer.input.ctrlHeld = viewer.platform.modifierHeld(Modifier::Ctrl);
    constrainSizing(viewer, edge, proposed);
}

void measureRefreshRate(Viewer& viewer) {
    const double hertz = viewer.platform.refreshRate();
    viewer.refreshRate = hertz > 1.0 ? static_cast<float>(hertz) : 60.0F;
}

}  // namespace pavo
