#pragma once

#include "platform/platform.h"
#include "platform/relaxed.h"
#include "view/view.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace pavo {

struct Viewer;

// Keys the viewer handles, valued as the virtual-key codes they stand for.
enum class Key : int {
    Enter = 13,
    Shift = 16,
    Ctrl = 17,
    Esc = 27,
    Space = 32,
    PageUp = 33,
    PageDown = 34,
    End = 35,
    Home = 36,
    Left = 37,
    Up = 38,
    Right = 39,
    Down = 40,
    Delete = 46,
    Digit1 = 49,
    Digit2 = 50,
    Digit3 = 51,
    F = 70,
    G = 71,
    I = 73,
    L = 76,
    Q = 81,
    R = 82,
    T = 84,
    Y = 89,
    F5 = 116,
    F11 = 122,
    Plus = 187,
    Comma = 188,
    Minus = 189,
    Period = 190,
    Other = 0,
};

// Menu commands and the Ctrl+O accelerator, by their identifiers.
enum class Command : int {
    Open = 32775,
    GoTo = 32774,
    Options = 32773,
    Exit = 105,
    FitToggle = 32789,
    Rotate = 32781,
    Flip = 32782,
    MergeForward = 32783,
    MergeBackward = 32786,
    ReverseMerge = 32785,
    Reload = 32787,
    FullReload = 32788,
    CheckForUpdate = 32792,
    Shortcuts = 32771,
    About = 104,
};

// Timers of the main window.
enum TimerId : int {
    PrescaleTimer = 7000,
    CursorHideTimer = 7001,
    OverlayTimer = 7002,
    AnchorScrollTimer = 7003
};

// One entry of the menu bar: the popup it sits in, its text, and its command
// (0 for a separator).
struct MenuEntry {
    const char16_t* popup;
    const char16_t* text;
    int command;
};
// The three popups in order, "&File", "&Image", "&Help", and their items.
const std::array<MenuEntry, 17>& menuEntries();

// Input state of the window procedure.
struct InputState {
    Relaxed<std::int32_t> lastActivityTime{0};  // seconds since 1970, low 32 bits
    bool ctrlHeld = false;
    bool shiftHeld = false;
    int lastMouseX = 0;  // client coordinates of the last real move
    int lastMouseY = 0;
    Relaxed<std::int64_t> lastMouseMoveTime{0};  // monotonic nanoseconds
    bool mouseCaptured = false;
    bool windowDragActive = false;
    bool panDragActive = false;
    bool anchorScrollActive = false;
    Point dragOrigin;   // window drag: cursor minus the window's corner; pan: last cursor
    Point anchorPoint;  // where anchor scrolling started (screen)
    bool middleDownSeen = false;
    bool xButtonDownSeen = false;
    bool wasMaximized = false;
};

// Chrome level and fullscreen.
struct WindowModeState {
    Relaxed<std::int32_t> chromeLevel{3};
    Relaxed<bool> fullscreenActive{false};
    WindowPlacement savedPlacement;  // taken when fullscreen is entered
};

// ---- Start-up ----------------------------------------------------------------------

// Settings first, then the window's first place: where the user left it, or the
// default corner. Returns the rectangle and whether to show it maximised.
struct InitialWindow {
    Rect outer;
    bool maximized = false;
};
InitialWindow initialWindow(const Viewer& viewer);

// Turns the command-line arguments (without the program name) into the playlist
// and the first shown image, reporting failures.
void openCommandLine(Viewer& viewer, const QStringList& arguments);

// ---- Window modes ---------------------------------------------------------------

void setChromeLevel(Viewer& viewer, int level);
void toggleFullscreen(Viewer& viewer);
void requestRedraw(Viewer& viewer);
void hideCursor(Viewer& viewer);
void showCursor(Viewer& viewer);
void toggleCursor(Viewer& viewer);
void showCursorAgain(Viewer& viewer);
void cursorHideCheck(Viewer& viewer);
// One round of the cursor watcher: arms the hide check when the mouse rests in
// fullscreen. The watcher thread calls it every 500 ms.
void cursorWatcherRound(Viewer& viewer);

// One round of the idle watcher at calendar time `now` (seconds): asks the
// user-interface thread to empty the neighbour cache when the viewer has been idle
// for longer than `bufferTimeout`. The watcher thread calls it every minute.
void idleWatcherRound(Viewer& viewer, std::int32_t now);
// The clearing itself, on the user-interface thread; it checks again, and never clears
// while a worker runs or a neighbour has failed.
void clearIdleCache(Viewer& viewer, std::int32_t now);

// ---- The window procedure -------------------------------------------------------

void onKeyDown(Viewer& viewer, Key key);
void onKeyUp(Viewer& viewer, Key key);
void onCommand(Viewer& viewer, int command);
void onTimer(Viewer& viewer, int id);
void onSize(Viewer& viewer);
void onMove(Viewer& viewer);
void onPaint(Viewer& viewer, Painter& painter);
void onFocusChange(Viewer& viewer, bool gained);
void onMouseMove(Viewer& viewer, int x, int y);
void onMouseButton(Viewer& viewer, MouseButton button, MouseAction action);
void onWheel(Viewer& viewer, int delta, bool ctrl, bool shift);
void onDisplayChange(Viewer& viewer);
void onDestroy(Viewer& viewer);
void onSizing(Viewer& viewer, SizingEdge edge, Rect& proposed);

// The smallest outer size a frame drag may leave.
inline constexpr Size kMinimumWindowSize{300, 200};

void schedulePrescale(Viewer& viewer);
void markActivity(Viewer& viewer);
// Reads the refresh rate of the window's monitor; 60 Hz when it is not known.
void measureRefreshRate(Viewer& viewer);

}  // namespace pavo
