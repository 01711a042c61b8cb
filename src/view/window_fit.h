#pragma once

#include "platform/geometry.h"
#include "platform/window.h"

#include <opencv2/core/mat.hpp>

namespace pavo {

struct Viewer;

// The smallest outer size a frame drag may leave.
inline constexpr Size kMinimumWindowSize{300, 200};

// How applyWindowSize treats the size and place it is given.
struct WindowSizing {
    bool pinLeftEdge = false;   // a window at x = 0 moves to x = -fixWindowPosition
    bool sticky = true;         // the sticky size replaces the size when that option is on
    bool restoreSaved = false;  // back to where fullscreen was entered from
    cv::Mat partner{};          // the merge partner, which widens the window while merged
};

// Whether a refit resets the scroll position always or only when zoomed.
enum class ScrollReset { WhenZoomed, Always };

// The largest outer window on the window's monitor.
void refreshWindowLimits(Viewer& viewer);
// The outer size of a window that shows `image` as fit and the limits allow.
Size windowSizeForImage(Viewer& viewer, const cv::Mat& image);
// The same for an image of that many columns and rows, whose pixels may not be at hand.
Size windowSizeForImage(Viewer& viewer, Size pixels);
// Gives the window an outer size, kept inside the work area.
void applyWindowSize(Viewer& viewer, Size outer, const WindowSizing& how = {});
void snapWindowToMonitor(Viewer& viewer);
// Fits the window and the image again, zoom reset.
void refit(Viewer& viewer, ScrollReset reset);
// Adjusts a proposed outer rectangle of a frame drag in place.
void constrainSizing(Viewer& viewer, SizingEdge edge, Rect& proposed);
bool imageOverflowsClient(const Viewer& viewer);

// Moves the view over an image larger than the client area and redraws; see the
// design notes for the meaning of the result.
bool scrollBy(Viewer& viewer, int dx, int dy);

}  // namespace pavo
