// Mouse buttons, moves and the wheel: window drags, panning, anchor scrolling, steps.
#include "app/app.h"
#include "app/window_modes.h"
#include "browse/load.h"
#include "browse/navigation.h"
#include "browse/open.h"
#include "platform/clock.h"
#include "view/view.h"
#include "view/window_fit.h"
#include "view/zoom.h"
#include "viewer.h"

namespace pavo {
namespace {

void leftButton(Viewer& viewer, MouseAction action) {
    InputState& input = viewer.input;
    Platform& platform = viewer.platform;
    if (action == MouseAction::DoubleClick) {
        markActivity(viewer);
        if (viewer.playlist.paths.empty()) {
            showOpenDialog(viewer);
        } else {
            toggleFullscreen(viewer);
        }
        return;
    }
    if (action == MouseAction::Press) {
        if (input.mouseCaptured) return;
        input.mouseCaptured = true;
        platform.captureMouse();
        input.windowDragActive = true;
        const Point cursor = platform.cursorPosition();
        const Rect window = windowGeometry(viewer).window;
        input.dragOrigin = {cursor.x - window.left, cursor.y - window.top};
        return;
    }
    input.windowDragActive = false;
    if (input.mouseCaptured && !input.panDragActive && !input.anchorScrollActive) {
        snapWindowToMonitor(viewer);
        platform.releaseMouse();
        input.mouseCaptured = false;
    }
}

void rightButton(Viewer& viewer, MouseAction action) {
    InputState& input = viewer.input;
    if (action == MouseAction::Press) {
        if (input.mouseCaptured) return;
        input.mouseCaptured = true;
        viewer.platform.captureMouse();
        input.panDragActive = true;
        input.dragOrigin = viewer.platform.cursorPosition();
    } else if (action == MouseAction::Release) {
        input.panDragActive = false;
        if (input.mouseCaptured && !input.windowDragActive && !input.anchorScrollActive) {
            viewer.platform.releaseMouse();
            input.mouseCaptured = false;
        }
    }
}

void middleAction(Viewer& viewer) {
    if (viewer.input.anchorScrollActive) {
        stopAnchorScroll(viewer);
    } else if (!viewer.settings.useMouseAnchor) {
        toggleFullscreen(viewer);
    } else if (imageOverflowsClient(viewer)) {
        startAnchorScroll(viewer);
    }
}

// A press that arrives as the second click of a double click is not handled; its
// release then acts in its place.
void middleButton(Viewer& viewer, MouseAction action) {
    if (action == MouseAction::DoubleClick) return;
    markActivity(viewer);
    if (action == MouseAction::Press) {
        viewer.input.middleDownSeen = true;
        middleAction(viewer);
    } else if (viewer.input.middleDownSeen) {
        viewer.input.middleDownSeen = false;
    } else {
        middleAction(viewer);
    }
}

void extraButton(Viewer& viewer, bool forward, MouseAction action) {
    if (action == MouseAction::DoubleClick) return;
    markActivity(viewer);
    if (action == MouseAction::Release && viewer.input.xButtonDownSeen) {
        viewer.input.xButtonDownSeen = false;
        return;
    }
    if (action == MouseAction::Press) viewer.input.xButtonDownSeen = true;
    forward ? moveForward(viewer, 0, 0) : moveBackward(viewer, 0, 0);
}

}  // namespace

void onMouseMove(Viewer& viewer, int x, int y) {
    InputState& input = viewer.input;
    Platform& platform = viewer.platform;
    if (x != input.lastMouseX || y != input.lastMouseY) {
        input.lastMouseX = x;
        input.lastMouseY = y;
        input.lastMouseMoveTime = monotonicNanoseconds();
        showCursorAgain(viewer);
    }
    const bool active = platform.isActiveWindow();
    if (platform.leftButtonHeld() && active && !windowGeometry(viewer).maximized &&
        input.windowDragActive && !input.panDragActive) {
        const Point cursor = platform.cursorPosition();
        platform.dragWindowTo(cursor.x - input.dragOrigin.x, cursor.y - input.dragOrigin.y);
        requestRedraw(viewer);
    } else if (platform.rightButtonHeld() && active && input.panDragActive) {
        panMove(viewer);
    }
}

void onMouseButton(Viewer& viewer, MouseButton button, MouseAction action) {
    // The extra buttons step, as keys do; the others act on the image the index names.
    if (button != MouseButton::Back && button != MouseButton::Forward) restoreShownPixels(viewer);
    switch (button) {
        case MouseButton::Left:
            leftButton(viewer, action);
            return;
        case MouseButton::Right:
            rightButton(viewer, action);
            return;
        case MouseButton::Middle:
            middleButton(viewer, action);
            return;
        case MouseButton::Back:
        case MouseButton::Forward:
            extraButton(viewer, button == MouseButton::Forward, action);
            return;
    }
}

void onWheel(Viewer& viewer, int delta, bool ctrl, bool shift) {
    markActivity(viewer);
    viewer.input.ctrlHeld = ctrl;
    viewer.input.shiftHeld = shift;
    const ViewerSettings& s = viewer.settings;
    const ScrollAmounts amounts = scrollAmounts(viewer, ctrl ? s.ctrlScrollSpeed : s.scrollSpeed);
    const bool away = delta > 0;  // the wheel turned away from the user
    if (shift) {
        away ? moveBackward(viewer, -amounts.horizontal, 0)
             : moveForward(viewer, amounts.horizontal, 0);
    } else if (ctrl) {
        restoreShownPixels(viewer);
        zoomByStep(viewer, away, ZoomAnchor::Cursor);
    } else {
        away ? moveBackward(viewer, 0, -amounts.vertical)
             : moveForward(viewer, 0, amounts.vertical);
    }
}

void onDrop(Viewer& viewer, const QStringList& items) {
    markActivity(viewer);
    viewer.platform.bringToFront();
    openPaths(viewer, items, OpenOrigin::Drop);
}

}  // namespace pavo
