#pragma once

namespace pavo {

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

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// The normal (restored) outer rectangle of the main window and how it is shown:
// 1 normal, 2 minimised, 3 maximised.
struct WindowPlacement {
    Rect normal;
    int showCommand = 1;
    bool operator==(const WindowPlacement&) const = default;
};

// The monitor nearest to the main window: its whole rectangle and its work area
// (without panels and docks).
struct MonitorInfo {
    Rect monitor;
    Rect work;
};

// The window's geometry as the user-interface thread last saw it. Worker threads read
// this instead of asking the window; the user-interface thread gets it fresh.
struct GeometrySnapshot {
    Rect window;  // outer rectangle, frame and menu bar included
    Size client;  // the image view
    bool maximized = false;
    MonitorInfo monitor;
    Rect primaryScreen;
};

}  // namespace pavo
