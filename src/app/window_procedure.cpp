#include "app/app.h"
#include "app/viewer.h"
#include "platform/clock.h"

#include <ctime>
#include <functional>

namespace pavo {
namespace {

Rect clientRect(const Viewer& viewer) {
    const Size client = viewer.platform.clientSize();
    return {0, 0, client.width, client.height};
}

void toggleFit(Viewer& viewer) {
    if (viewer.mergeMode != 0) return;
    viewer.view.fitActive = !viewer.view.fitActive;
    viewer.nextImage.displayReady = false;
    viewer.previousImage.displayReady = false;
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

struct KeyAction {
    Key key;
    void (*action)(Viewer&);
};

// What each key does. Keys of the navigation, zoom, merge, transform, dialog and
// deletion commands join this table as those commands are built.
constexpr KeyAction kKeyActions[] = {
    {Key::Enter, toggleFullscreen},
    {Key::F11, toggleFullscreen},
    {Key::Shift, [](Viewer& v) { v.input.shiftHeld = true; }},
    {Key::Ctrl, [](Viewer& v) { v.input.ctrlHeld = true; }},
    {Key::Esc, escape},
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

bool overlayDue(const Viewer& viewer) {
    const ImageBuffer& shown = viewer.shownImage;
    return viewer.view.infoOverlayShown && shown.ready && shown.displayWidth >= 1 && shown.displayHeight >= 1;
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
    viewer.input.lastActivityTime = static_cast<std::int32_t>(static_cast<std::uint32_t>(std::time(nullptr)));
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
        viewer.nextImage.displayReady = false;
        viewer.previousImage.displayReady = false;
    }
    markActivity(viewer);
    viewer.input.ctrlHeld = viewer.platform.modifierHeld(Modifier::Ctrl);
    if (viewer.shownImage.ready) {
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
        viewer.input.mouseCaptured = false;
        viewer.input.anchorScrollActive = false;
        viewer.input.windowDragActive = false;
        viewer.input.panDragActive = false;
    }
}

void onMouseMove(Viewer& viewer, int x, int y) {
    if (x != viewer.input.lastMouseX || y != viewer.input.lastMouseY) {
        viewer.input.lastMouseX = x;
        viewer.input.lastMouseY = y;
        viewer.input.lastMouseMoveTime = monotonicNanoseconds();
        showCursorAgain(viewer);
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
