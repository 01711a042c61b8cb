// The key, command and menu tables of the window procedure.
#include "app/app.h"
#include "app/info_dialogs.h"
#include "app/options_dialogs.h"
#include "app/window_modes.h"
#include "browse/animation.h"
#include "browse/load.h"
#include "browse/navigation.h"
#include "browse/neighbour_cache.h"
#include "browse/open.h"
#include "browse/transform.h"
#include "update/update.h"
#include "view/view.h"
#include "view/window_fit.h"
#include "view/zoom.h"
#include "viewer.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace pavo {
namespace {

void toggleFit(Viewer& viewer) {
    if (viewer.merge.mergeMode != 0) return;
    viewer.view.fitActive = !viewer.view.fitActive;
    forgetNeighbourScaling(viewer);
    refit(viewer, ScrollReset::Always);
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

// The arrow keys: scroll the view by the keyboard's step, else step.
void arrowKey(Viewer& viewer, bool forward, bool horizontal, int presses) {
    const ScrollAmounts amounts = scrollAmounts(viewer, keyboardScrollStep(viewer));
    const int distance = horizontal ? amounts.horizontal : amounts.vertical;
    if (forward) {
        moveForward(viewer, horizontal ? distance : 0, horizontal ? 0 : distance, presses);
    } else {
        moveBackward(viewer, horizontal ? -distance : 0, horizontal ? 0 : -distance, presses);
    }
}

// The Go-to dialog shows the cursor while fullscreen has hidden it.
void goTo(Viewer& viewer) {
    if (viewer.mode.fullscreenActive && !viewer.platform.cursorShowing().value_or(false))
        showCursor(viewer);
    showGoToDialog(viewer);
}

struct KeyAction {
    Key key;
    void (*action)(Viewer&);
};

// Keys that scroll or step: presses that queued up while a step was decoding move
// together, so a held key lands where it was let go without showing every image.
struct StepKeyAction {
    Key key;
    void (*action)(Viewer&, int presses);
};

constexpr StepKeyAction kStepKeyActions[] = {
    {Key::Space, [](Viewer& v, int n) { moveForward(v, 0, keyboardScrollStep(v), n); }},
    {Key::Left, [](Viewer& v, int n) { arrowKey(v, false, true, n); }},
    {Key::Up, [](Viewer& v, int n) { arrowKey(v, false, false, n); }},
    {Key::Right, [](Viewer& v, int n) { arrowKey(v, true, true, n); }},
    {Key::Down, [](Viewer& v, int n) { arrowKey(v, true, false, n); }},
};

// What each key does.
constexpr KeyAction kKeyActions[] = {
    {Key::Enter, toggleFullscreen},
    {Key::F11, toggleFullscreen},
    {Key::Shift, [](Viewer& v) { v.input.shiftHeld = true; }},
    {Key::Ctrl, [](Viewer& v) { v.input.ctrlHeld = true; }},
    {Key::Esc, escape},
    {Key::PageUp, [](Viewer& v) { scrollBy(v, 0, -v.shownImage.displayHeight); }},
    {Key::PageDown, [](Viewer& v) { scrollBy(v, 0, v.shownImage.displayHeight); }},
    {Key::End, goToLast},
    {Key::Home, goToFirst},
    {Key::Plus, [](Viewer& v) { zoomByStep(v, true, ZoomAnchor::Centre); }},
    {Key::Minus, [](Viewer& v) { zoomByStep(v, false, ZoomAnchor::Centre); }},
    {Key::Digit1, [](Viewer& v) { setChromeLevel(v, 1); }},
    {Key::Digit2, [](Viewer& v) { setChromeLevel(v, 2); }},
    {Key::Digit3, [](Viewer& v) { setChromeLevel(v, 3); }},
    {Key::F, toggleFit},
    {Key::I, toggleOverlay},
    {Key::Q, toggleCursor},
    {Key::R, [](Viewer& v) { refit(v, ScrollReset::WhenZoomed); }},
    {Key::Delete, deleteShownFile},
    {Key::G, goTo},
    {Key::L, toggleReverseMerge},
    {Key::T, rotateQuarter},
    {Key::Y, mirrorImage},
    {Key::F5, rescanDirectory},
    {Key::Comma, [](Viewer& v) { toggleMerge(v, -1); }},
    {Key::Period, [](Viewer& v) { toggleMerge(v, 1); }},
    {Key::P, togglePlayback},
    {Key::N, [](Viewer& v) { stepFrame(v, true); }},
    {Key::B, [](Viewer& v) { stepFrame(v, false); }},
};

struct CommandAction {
    Command command;
    void (*action)(Viewer&);
};

// What acts without the shown image's pixels: the pixels a step to a large photo left in
// its file are decoded first for everything else. Modifiers, jumps, the overlay, the
// cursor, deleting, playback and the dialogs need none, and act at once.
constexpr std::array kKeysWithoutPixels{Key::Shift, Key::Ctrl, Key::End,    Key::Home,
                                        Key::I,     Key::Q,    Key::Delete, Key::G,
                                        Key::F5,    Key::P,    Key::N,      Key::B};
constexpr std::array kCommandsWithoutPixels{
    Command::Open,           Command::GoTo,      Command::Exit, Command::FullReload,
    Command::CheckForUpdate, Command::Shortcuts, Command::About};

constexpr CommandAction kCommandActions[] = {
    {Command::Open, showOpenDialog},
    {Command::GoTo, goTo},
    {Command::Exit, [](Viewer& v) { v.platform.destroyWindow(); }},
    {Command::FitToggle, toggleFit},
    {Command::Rotate, rotateQuarter},
    {Command::Flip, mirrorImage},
    {Command::MergeForward, [](Viewer& v) { toggleMerge(v, 1); }},
    {Command::MergeBackward, [](Viewer& v) { toggleMerge(v, -1); }},
    {Command::ReverseMerge, toggleReverseMerge},
    {Command::Reload, [](Viewer& v) { refit(v, ScrollReset::WhenZoomed); }},
    {Command::FullReload, rescanDirectory},
    {Command::Options, runOptionsDialog},
    {Command::CheckForUpdate, [](Viewer& v) { startUpdateCheck(v, false); }},
    {Command::Shortcuts, showShortcuts},
    {Command::About, showAbout},
};

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

WindowSetup windowSetup() {
    return {menuEntries(), static_cast<int>(Command::Options), kMinimumWindowSize};
}

bool isStepKey(Key key) {
    return std::any_of(std::begin(kStepKeyActions), std::end(kStepKeyActions),
                       [key](const StepKeyAction& entry) { return entry.key == key; });
}

void onKeyDown(Viewer& viewer, Key key, int presses) {
    markActivity(viewer);
    for (const StepKeyAction& entry : kStepKeyActions) {
        if (entry.key == key) {
            entry.action(viewer, std::max(presses, 1));
            return;
        }
    }
    for (const KeyAction& entry : kKeyActions) {
        if (entry.key == key) {
            if (std::ranges::find(kKeysWithoutPixels, key) == kKeysWithoutPixels.end())
                restoreShownPixels(viewer);
            for (int i = 0; i < std::max(presses, 1); ++i) entry.action(viewer);
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
            if (std::ranges::find(kCommandsWithoutPixels, entry.command) ==
                kCommandsWithoutPixels.end())
                restoreShownPixels(viewer);
            entry.action(viewer);
            return;
        }
    }
}

}  // namespace pavo
