#include "app/app.h"
#include "app/viewer.h"
#include "platform/clock.h"

#include <ctime>
#include <functional>

namespace pavo {
namespace {

void toggleFit(Viewer& viewer) {
    if (viewer.mergeMode != 0) return;
    viewer.view.fitActive = !viewer.view.fitActive;
    forgetNeighbourScaling(viewer);
    refit(viewer, true);
    schedulePrescale(viewer);
}

void toggleOverlay(Viewer& viewer) {
    viewer.view.infoOverlayShown = !viewer.view.infoOverlayShown;
    requestRedraw(viewer);
}

void escape(Viewer& viewer) {
    if (viewer.mode.fullscreenActive) {
        toggleFullscreen(viewer);
        return;
    }
    saveWindowPlacement(viewer);
    viewer.platform.postQuit(0);
}

void reread(Viewer& viewer) {
    viewer.input.ctrlHeld = viewer.platform.modifierHeld(Modifier::Ctrl);
    viewer.input.shiftHeld = viewer.platform.modifierHeld(Modifier::Shift);
}

// The arrow keys and Space: scroll the view by the keyboard's step, else step.
void arrowKey(Viewer& viewer, bool forward, bool horizontal) {
    const ScrollAmounts amounts = scrollAmounts(viewer, keyboardScrollStep(viewer));
    const int distance = horizontal ? amounts.horizontal : amounts.vertical;
    if (forward) {
        moveForward(viewer, horizontal ? distance : 0, horizontal ? 0 : distance);
    } else {
        moveBackward(viewer, horizontal ? -distance : 0, horizontal ? 0 : -distance);
    }
}

void zoomStep(Viewer& viewer, bool zoomIn, bool atCursor) {
    viewer.view.zoomStepCount += zoomIn ? 1 : -1;
    applyZoom(viewer,
              zoomIn ? viewer.settings.zoomInStep.load() : -viewer.settings.zoomOutStep.load(),
              atCursor);
}

struct KeyAction {
    Key key;
    void (*action)(Viewer&);
};

// What each key does. Keys of the merge, transform, dialog, reload and deletion
// commands join this table as those commands are built.
constexpr KeyAction kKeyActions[] = {
    {Key::Enter, toggleFullscreen},
    {Key::F11, toggleFullscreen},
    {Key::Shift, [](Viewer& v) { v.input.shiftHeld = true; }},
    {Key::Ctrl, [](Viewer& v) { v.input.ctrlHeld = true; }},
    {Key::Esc, escape},
    {Key::Space, [](Viewer& v) { moveForward(v, 0, keyboardScrollStep(v)); }},
    {Key::PageUp, [](Viewer& v) { scrollBy(v, 0, -v.shownImage.displayHeight); }},
    {Key::PageDown, [](Viewer& v) { scrollBy(v, 0, v.shownImage.displayHeight); }},
    {Key::End, goToLast},
    {Key::Home, goToFirst},
    {Key::Left, [](Viewer& v) { arrowKey(v, false, true); }},
    {Key::Up, [](Viewer& v) { arrowKey(v, false, false); }},
    {Key::Right, [](Viewer& v) { arrowKey(v, true, true); }},
    {Key::Down, [](Viewer& v) { arrowKey(v, true, false); }},
    {Key::Plus, [](Viewer& v) { zoomStep(v, true, false); }},
    {Key::Minus, [](Viewer& v) { zoomStep(v, false, false); }},
    {Key::Digit1, [](Viewer& v) { setChromeLevel(v, 1); }},
    {Key::Digit2, [](Viewer& v) { setChromeLevel(v, 2); }},
    {Key::Digit3, [](Viewer& v) { setChromeLevel(v, 3); }},
    {Key::F, toggleFit},
    {Key::I, toggleOverlay},
    {Key::Q, toggleCursor},
    {Key::R, [](Viewer& v) { refit(v, false); }},
};

struct CommandAction {
    Command command;
    void (*action)(Viewer&);
};

constexpr CommandAction kCommandActions[] = {
    {Command::Exit, [](Viewer& v) { v.platform.destroyWindow(); }},
    {Command::FitToggle, toggleFit},
    {Command::Reload, [](Viewer& v) { refit(v, false); }},
};

void leftButton(Viewer& viewer, MouseAction action) {
    InputState& input = viewer.input;
    Platform& platform = viewer.platform;
    if (action == MouseAction::DoubleClick) {
        markActivity(viewer);
        // With no playlist the open dialog comes with opening files; until then nothing.
        if (!viewer.playlist.paths.empty()) toggleFullscreen(viewer);
        return;
    }
    if (action == MouseAction::Press) {
        if (input.mouseCaptured) return;
        input.mouseCaptured = true;
        platform.captureMouse();
        input.windowDragActive = true;
        const Point cursor = platform.cursorPosition();
        const Rect window = platform.windowRect();
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

const std::array<MenuEntry, 17>& menuEntries() {
    static const std::array<MenuEntry, 17> entries{{
        {u"&File", u"O&pen file(s)", static_cast<int>(Command::Open)},
        {u"&File", u"&Go to file\tG", static_cast<int>(Command::GoTo)},
        {u"&File", u"&Options\tCtrl +O", static_cast<int>(Command::Options)},
        {u"&File", nullptr, 0},
        {u"&File", u"E&xit\tEsc", static_cast<int>(Command::Exit)},
        {u"&Image", u"Fit to screen toggle\tF", static_cast<int>(Command::FitToggle)},
        {u"&Image", u"Rotate\tT", static_cast<int>(Command::Rotate)},
        {u"&Image", u"Flip\tY", static_cast<int>(Command::Flip)},
        {u"&Image", u"Merge forward\t.", static_cast<int>(Command::MergeForward)},
        {u"&Image", u"Merge backward\t,", static_cast<int>(Command::MergeBackward)},
        {u"&Image", u"Reverse merge\tL", static_cast<int>(Command::ReverseMerge)},
        {u"&Image", u"Reload\tR", static_cast<int>(Command::Reload)},
        {u"&Image", u"Full reload\tF5", static_cast<int>(Command::FullReload)},
        {u"&Help", u"&Check for update", static_cast<int>(Command::CheckForUpdate)},
        {u"&Help", u"&Shortcuts", static_cast<int>(Command::Shortcuts)},
        {u"&Help", nullptr, 0},
        {u"&Help", u"&About", static_cast<int>(Command::About)},
    }};
    return entries;
}

void markActivity(Viewer& viewer) {
    viewer.input.lastActivityTime =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(std::time(nullptr)));
}

void onKeyDown(Viewer& viewer, Key key) {
    markActivity(viewer);
    for (const KeyAction& entry : kKeyActions) {
        if (entry.key == key) {
            entry.action(viewer);
            return;
        }
    }
}

void onKeyUp(Viewer& viewer, Key key) {
    markActivity(viewer);
    if (key == Key::Shift) viewer.input.shiftHeld = false;
    if (key == Key::Ctrl) viewer.input.ctrlHeld = false;
}

void onCommand(Viewer& viewer, int command) {
    for (const CommandAction& entry : kCommandActions) {
        if (static_cast<int>(entry.command) == command) {
            entry.action(viewer);
            return;
        }
    }
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
        default:
            return;
    }
}

void onSize(Viewer& viewer) {
    const bool maximized = viewer.platform.isMaximized();
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
    if (viewer.shownImage.ready) viewer.platform.redrawNow(clientRect(viewer));
}

void onPaint(Viewer& viewer, Painter& painter) {
    if (viewer.shownImage.ready || viewer.shownImage.display.cols > 1) drawImage(viewer, painter);
}

void onFocusChange(Viewer& viewer, bool gained) {
    if (!gained) showCursorAgain(viewer);
    reread(viewer);
    if (!gained && viewer.input.mouseCaptured) {
        if (viewer.input.windowDragActive) snapWindowToMonitor(viewer);
        viewer.platform.releaseMouse();
        viewer.input.mouseCaptured = false;
        viewer.input.anchorScrollActive = false;
        viewer.input.windowDragActive = false;
        viewer.input.panDragActive = false;
    }
}

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
    if (platform.leftButtonHeld() && active && !platform.isMaximized() && input.windowDragActive &&
        !input.panDragActive) {
        const Point cursor = platform.cursorPosition();
        platform.dragWindowTo(cursor.x - input.dragOrigin.x, cursor.y - input.dragOrigin.y);
        requestRedraw(viewer);
    } else if (platform.rightButtonHeld() && active && input.panDragActive) {
        panMove(viewer);
    }
}

void onMouseButton(Viewer& viewer, MouseButton button, MouseAction action) {
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
        zoomStep(viewer, away, true);
    } else {
        away ? moveBackward(viewer, 0, -amounts.vertical)
             : moveForward(viewer, 0, amounts.vertical);
    }
}

void onDisplayChange(Viewer& viewer) {
    measureRefreshRate(viewer);
    refit(viewer, false);
}

void onDestroy(Viewer& viewer) {
    saveWindowPlacement(viewer);
    viewer.platform.postQuit(0);
}

void onSizing(Viewer& viewer, SizingEdge edge, Rect& proposed) {
    viewer.input.ctrlHeld = viewer.platform.modifierHeld(Modifier::Ctrl);
    constrainSizing(viewer, edge, proposed);
}

void measureRefreshRate(Viewer& viewer) {
    const double hertz = viewer.platform.refreshRate();
    viewer.refreshRate = hertz > 1.0 ? static_cast<float>(hertz) : 60.0F;
}

}  // namespace pavo
