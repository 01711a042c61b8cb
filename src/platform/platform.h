#pragma once

#include <QString>
#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <functional>
#include <optional>

namespace pavo {

// The sound that precedes a message: a failure, or a piece of information.
enum class BeepKind { Failure = 0x30, Information = 0x40 };

// Whether a message box belongs to the main window or stands alone (before the
// window exists, or when the store cannot be read at start).
enum class BoxOwner { None, MainWindow };

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    [[nodiscard]] int width() const { return right - left; }
    [[nodiscard]] int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

// The normal (restored) outer rectangle of the main window and how it is shown:
// 1 normal, 2 minimised, 3 maximised.
struct WindowPlacement {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int showCommand = 1;
    bool operator==(const WindowPlacement&) const = default;
};

// The monitor nearest to the main window: its whole rectangle and its work area
// (without panels and docks).
struct MonitorInfo {
    Rect monitor;
    Rect work;
};

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// The window's geometry as the user-interface thread last saw it. Worker threads read
// this instead of asking the window.
struct GeometrySnapshot {
    Rect window;  // outer rectangle
    Size client;
    bool maximized = false;
    MonitorInfo monitor;
    Rect primaryScreen;
};

// The mouse buttons the window procedure tells apart.
enum class MouseButton { Left, Right, Middle, Back, Forward };
enum class MouseAction { Press, Release, DoubleClick };

// The look of the main window: three chrome levels and fullscreen.
enum class WindowStyle {
    ImageOnly = 1,  // no caption, no menu, a thin sizing border
    NoMenu = 2,     // caption and borders
    Normal = 3,     // caption, borders and menu
    Fullscreen = 4,
};

// Modifier keys whose state can be asked of the keyboard at any time.
enum class Modifier { Shift, Ctrl };

// Where a drawing goes: the image view while it paints.
class Painter {
  public:
    Painter() = default;
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;
    virtual ~Painter() = default;

    // Copies the BGRA pixels of `image` starting at (sourceX, sourceY) to the client
    // area at (x, y), as far as the client and the image reach; nothing is scaled.
    virtual void blit(const cv::Mat& image, int x, int y, int sourceX, int sourceY) = 0;
    // Black text on a white box at the client's top-left corner, line breaks kept.
    virtual void drawText(const QString& text) = 0;

  protected:
    Painter(Painter&&) = default;
    Painter& operator=(Painter&&) = default;
};

// What the main window reports, in the order it happens; the viewer's window
// procedure implements it. Keys come as virtual-key codes.
class WindowEvents {
  public:
    WindowEvents() = default;
    WindowEvents(const WindowEvents&) = delete;
    WindowEvents& operator=(const WindowEvents&) = delete;
    virtual ~WindowEvents() = default;

    virtual void keyDown(int virtualKey) = 0;
    virtual void keyUp(int virtualKey) = 0;
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
    virtual void destroyed() = 0;
    // A frame drag proposes a new outer rectangle; `edge` is the dragged edge or corner
    // (1 left, 2 right, 3 top, 4 top-left, 5 top-right, 6 bottom, 7 bottom-left,
    // 8 bottom-right). The handler may change the rectangle.
    virtual void sizing(int edge, Rect& proposed) = 0;

  protected:
    WindowEvents(WindowEvents&&) = default;
    WindowEvents& operator=(WindowEvents&&) = default;
};

// Everything the logic asks of the desktop. The real implementation lives in
// platform/qt, the test fake in tests/support; logic never includes a widget header.
// All of it is for the user-interface thread, except armTimer.
class Platform {
  public:
    Platform() = default;
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;
    virtual ~Platform() = default;

    // A modal box with one OK button, no icon, the given text and caption.
    virtual void showMessageBox(BoxOwner owner, const QString& text, const QString& caption) = 0;
    virtual void beep(BeepKind kind) = 0;

    // The main window's placement, or nothing when there is no window to ask.
    [[nodiscard]] virtual std::optional<WindowPlacement> windowPlacement() const = 0;
    // Puts the window back where a placement says, maximised when it says so.
    virtual void restorePlacement(const WindowPlacement& placement) = 0;

    // Outer rectangle of the main window (frame and menu included), screen coordinates.
    [[nodiscard]] virtual Rect windowRect() const = 0;
    // Size of the image view, the client area.
    [[nodiscard]] virtual Size clientSize() const = 0;
    [[nodiscard]] virtual bool isMaximized() const = 0;
    [[nodiscard]] virtual MonitorInfo monitorInfo() const = 0;
    [[nodiscard]] virtual Rect primaryScreenRect() const = 0;
    // Hertz of the window's monitor; 0 when unknown.
    [[nodiscard]] virtual double refreshRate() const = 0;

    // Moves and sizes the outer window and shows it.
    virtual void setWindowRect(const Rect& outer) = 0;
    // Moves the window without resizing or repainting it.
    virtual void moveWindow(int left, int top) = 0;
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
    // May be called from any thread.
    virtual void armTimer(int id, int milliseconds) = 0;
    virtual void killTimer(int id) = 0;

    // The cursor's display counter, as ShowCursor keeps it: the cursor is visible
    // while it is 0 or more. Returns the new count.
    virtual int changeCursorCounter(bool show) = 0;
    // Whether the cursor is showing; nothing when that cannot be read.
    [[nodiscard]] virtual std::optional<bool> cursorShowing() const = 0;
    [[nodiscard]] virtual bool isActiveWindow() const = 0;
    [[nodiscard]] virtual bool modifierHeld(Modifier key) const = 0;

    // Geometry for worker threads; any thread may call it.
    [[nodiscard]] virtual GeometrySnapshot geometrySnapshot() const = 0;
    // Runs `task` on the user-interface thread soon; any thread may call it.
    virtual void runOnUiThread(std::function<void()> task) = 0;

    // The cursor in screen coordinates, and in the client area's coordinates.
    [[nodiscard]] virtual Point cursorPosition() const = 0;
    [[nodiscard]] virtual Point cursorInClient() const = 0;
    // Keeps the mouse's events coming to the window while a drag lasts.
    virtual void captureMouse() = 0;
    virtual void releaseMouse() = 0;
    // Moves the window without resizing it and raises it (a window drag).
    virtual void dragWindowTo(int left, int top) = 0;
    [[nodiscard]] virtual bool leftButtonHeld() const = 0;
    [[nodiscard]] virtual bool rightButtonHeld() const = 0;

    // Ends the event loop with this exit code once the current event is handled.
    virtual void postQuit(int code) = 0;
    // Closes the main window; its destruction handler runs as for the close box.
    virtual void destroyWindow() = 0;
    // The folder of the running program, ending in "/".
    [[nodiscard]] virtual QString executableDirectory() const = 0;

  protected:
    Platform(Platform&&) = default;
    Platform& operator=(Platform&&) = default;
};

}  // namespace pavo
