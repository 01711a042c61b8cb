#pragma once

#include "platform/geometry.h"

#include <QString>
#include <QStringList>
#include <opencv2/core/mat.hpp>

#include <optional>
#include <span>

namespace pavo {

// Keys the viewer handles, valued as the virtual-key codes they stand for. The window
// reports every other key as Other.
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
    B = 66,
    F = 70,
    G = 71,
    I = 73,
    L = 76,
    N = 78,
    P = 80,
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

// The mouse buttons the window procedure tells apart.
enum class MouseButton { Left, Right, Middle, Back, Forward };
enum class MouseAction { Press, Release, DoubleClick };

// Modifier keys whose state can be asked of the keyboard at any time.
enum class Modifier { Shift, Ctrl };

// The look of the main window: three chrome levels and fullscreen.
enum class WindowStyle {
    ImageOnly = 1,  // no caption, no menu, a thin sizing border
    NoMenu = 2,     // caption and borders
    Normal = 3,     // caption, borders and menu
    Fullscreen = 4,
};

// The sizing edge of a frame drag, numbered as the window system numbers them.
enum class SizingEdge {
    Left = 1,
    Right = 2,
    Top = 3,
    TopLeft = 4,
    TopRight = 5,
    Bottom = 6,
    BottomLeft = 7,
    BottomRight = 8
};

// One entry of the menu bar: the popup it sits in, its text, and its command
// (0 for a separator).
struct MenuEntry {
    const char16_t* popup;
    const char16_t* text;
    int command;
};

// What the window is built with: its menu in order, the command of its one
// accelerator (Ctrl+O), and the smallest outer size a frame drag may leave.
struct WindowSetup {
    std::span<const MenuEntry> menu;
    int acceleratorCommand = 0;
    Size minimumSize;
};

// Where a drawing goes: the image view while it paints.
class Painter {
  public:
    virtual ~Painter() = default;

    // Copies the BGRA or BGR pixels of `image` starting at (sourceX, sourceY) to the client
    // area at (x, y), as far as the client and the image reach; nothing is scaled.
    virtual void blit(const cv::Mat& image, int x, int y, int sourceX, int sourceY) = 0;
    // Black text on a white box at the client's top-left corner, line breaks kept.
    virtual void drawText(const QString& text) = 0;
};

// What the main window reports, in the order it happens; the viewer's window
// procedure implements it.
class WindowEvents {
  public:
    virtual ~WindowEvents() = default;

    // `presses` counts the presses of this key that arrived one after another while the
    // viewer was busy (a held key's repeats); usually 1.
    virtual void keyDown(Key key, int presses) = 0;
    virtual void keyUp(Key key) = 0;
    virtual void command(int id) = 0;
    virtual void timer(int id) = 0;
    virtual void resized() = 0;
    virtual void moved() = 0;
    virtual void paint(Painter& painter) = 0;
    virtual void focusChanged(bool gained) = 0;
    virtual void mouseMoved(int x, int y) = 0;
    // A button went down, up, or down as the second click of a double click.
    virtual void mouseButton(MouseButton button, MouseAction action) = 0;
    // One wheel notch: only the sign of `delta` counts; ctrl and shift as the event had them.
    virtual void wheel(int delta, bool ctrl, bool shift) = 0;
    virtual void displayChanged() = 0;
    // A monitor's colour profile was set, changed or removed (X11's _ICC_PROFILE atoms).
    virtual void displayProfileChanged() = 0;
    virtual void destroyed() = 0;
    // A frame drag proposes a new outer rectangle; the handler may change it.
    virtual void sizing(SizingEdge edge, Rect& proposed) = 0;
    // Items dropped on the window, in drop order: full paths of local files and
    // folders, or the address of anything that is not a local file.
    virtual void filesDropped(const QStringList& items) = 0;
};

// The main window as the logic drives it. User-interface thread only.
class Window {
  public:
    virtual ~Window() = default;

    // Connects the window to its event handler and builds its menu.
    virtual void attach(WindowEvents& events, const WindowSetup& setup) = 0;
    // Shows the window for the first time with this outer rectangle, maximised or not,
    // and returns once the window system has put it on screen (or after a short bound),
    // so that the first image is scaled for the client size the window really has.
    virtual void showInitial(const Rect& outer, bool maximized) = 0;

    // Reads the window's geometry again from the window system, which may have moved the
    // window without saying so while it framed it.
    virtual void refreshGeometry() = 0;
    // The main window's placement, or nothing when there is no window to ask.
    [[nodiscard]] virtual std::optional<WindowPlacement> windowPlacement() const = 0;
    // Puts the window back where a placement says, maximised when it says so.
    virtual void restorePlacement(const WindowPlacement& placement) = 0;
    // Hertz of the window's monitor; 0 when unknown.
    [[nodiscard]] virtual double refreshRate() const = 0;

    // Moves and sizes the outer window and shows it.
    virtual void setWindowRect(const Rect& outer) = 0;
    // Moves the window without resizing or repainting it.
    virtual void moveWindow(int left, int top) = 0;
    // Moves the window without resizing it and raises it (a window drag).
    virtual void dragWindowTo(int left, int top) = 0;
    // Switches the chrome level or fullscreen, and shows the window again
    // (fullscreen covers the monitor).
    virtual void setWindowStyle(WindowStyle style) = 0;
    virtual void setTitle(const QString& title) = 0;

    // Marks part of the client area for repainting; `erase` fills it with the
    // background first.
    virtual void invalidate(const Rect& area, bool erase) = 0;
    // Repaints what is marked (and `area` without erasing) before returning.
    virtual void redrawNow(const Rect& area) = 0;
    // One-shot or periodic timer of the main window; re-arming restarts the period.
    virtual void armTimer(int id, int milliseconds) = 0;
    virtual void killTimer(int id) = 0;
    // The window's geometry now: outer and client rectangles, monitor, state.
    [[nodiscard]] virtual GeometrySnapshot geometrySnapshot() const = 0;

    // Ends the event loop with this exit code once the current event is handled.
    virtual void postQuit(int code) = 0;
    // Closes the main window; its destruction handler runs as for the close box.
    virtual void destroyWindow() = 0;
    // Raises the window and gives it the focus (after a drop from another program).
    virtual void bringToFront() = 0;
};

// The pointer and the keyboard as the window sees them. User-interface thread only.
class WindowInput {
  public:
    virtual ~WindowInput() = default;

    // The cursor's display counter: the cursor is visible while it is 0 or more.
    // Returns the new count.
    virtual int changeCursorCounter(bool show) = 0;
    // Whether the cursor is showing; nothing when that cannot be read.
    [[nodiscard]] virtual std::optional<bool> cursorShowing() const = 0;
    // The cursor in screen coordinates, and in the client area's coordinates.
    [[nodiscard]] virtual Point cursorPosition() const = 0;
    [[nodiscard]] virtual Point cursorInClient() const = 0;
    // Keeps the mouse's events coming to the window while a drag lasts.
    virtual void captureMouse() = 0;
    virtual void releaseMouse() = 0;
    [[nodiscard]] virtual bool leftButtonHeld() const = 0;
    [[nodiscard]] virtual bool rightButtonHeld() const = 0;
    [[nodiscard]] virtual bool modifierHeld(Modifier key) const = 0;
    [[nodiscard]] virtual bool isActiveWindow() const = 0;
};

}  // namespace pavo
