#pragma once

#include "platform/platform.h"
#include "platform/relaxed.h"

#include <QString>
#include <opencv2/core/mat.hpp>

#include <cstdint>

namespace pavo {

struct Viewer;
struct ImageBuffer;

// The presentation state of the user-interface thread. Workers read the Relaxed ones.
struct ViewState {
    Relaxed<std::int64_t> zoomPerMille{1000};  // 1000 = 100 %
    std::int32_t zoomStepCount = 0;
    Relaxed<bool> fitActive{true};    // fit to screen in force
    std::int32_t maxWindowWidth = 0;  // largest outer window on this monitor; 0 unknown
    std::int32_t maxWindowHeight = 0;
    std::int32_t stickyWidth = 0;  // displayed size of the previous image; 0 none
    std::int32_t stickyHeight = 0;
    Relaxed<bool> infoOverlayShown{false};
};

// Whether an image is on screen.
bool imageShown(const Viewer& viewer);
// The client area as a rectangle at the origin.
Rect clientRect(const Viewer& viewer);

// ---- Scale classes and interpolation -------------------------------------------

enum class ScaleClass { LargeDownscale, Downscale, Upscale, LargeUpscale, ZoomIn, ZoomOut };

// "Nearest Neighbour", "Bilinear", "Bicubic", "Area", "Lanczos", or "None".
QString interpolationName(std::int32_t method);

// The class of a resize from a source to a target size.
ScaleClass scaleClassFor(const Viewer& viewer, Size source, Size target);

// The interpolation setting that holds the class's method.
std::int32_t methodForClass(const Viewer& viewer, ScaleClass scaleClass);

// Resizes `source` into `destination` with the method of its class and returns the
// method's name; shares the pixels when no resize is needed ("None").
QString scaleToSize(const Viewer& viewer, const cv::Mat& source, cv::Mat& destination, int width,
                    int height);

// The name scaleToSize gave when it made `display` from `decoded`.
QString scaleMethodName(const Viewer& viewer, const cv::Mat& decoded, const cv::Mat& display);

// Display size of a w x h image in the current client area, zoom applied.
Size fitSizeInClient(const Viewer& viewer, int width, int height, const cv::Mat& primary,
                     const cv::Mat& partner);

// Display size of a w x h image for the client area the window will have once
// fitted to the screen.
Size fitSizeOnScreen(const Viewer& viewer, int width, int height, const cv::Mat& primary,
                     const cv::Mat& partner);

// A neighbour's display matrix for the screen (worker threads).
cv::Mat prescaleForScreen(const Viewer& viewer, const cv::Mat& primary, const cv::Mat& partner);

// Makes the shown image's display matrix for the current client area.
void rescaleShownImage(Viewer& viewer);

// A tall image opened directly starts at its own size.
void applyAutoShowOriginal(Viewer& viewer, bool openedDirectly);

// ---- Window geometry --------------------------------------------------------------

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

void refreshWindowLimits(Viewer& viewer);
Size windowSizeForImage(Viewer& viewer, const cv::Mat& image);
void applyWindowSize(Viewer& viewer, int width, int height, bool pinLeftEdge,
                     const cv::Mat& partner, bool noSticky, bool restoreSaved);
void snapWindowToMonitor(Viewer& viewer);
void refit(Viewer& viewer, bool forceScrollReset);
// Adjusts a proposed outer rectangle of a frame drag in place.
void constrainSizing(Viewer& viewer, SizingEdge edge, Rect& proposed);
Size maxClientSize(const Viewer& viewer);
bool imageOverflowsClient(const Viewer& viewer);

// ---- Scrolling ----------------------------------------------------------------------

// Moves the view over an image larger than the client area and redraws; see the
// design notes for the meaning of the result.
bool scrollBy(Viewer& viewer, int dx, int dy);

// ---- Zoom, pan and anchor scrolling --------------------------------------------------

// The zoom factor that zoomStepCount steps of the zoom settings reach.
float zoomFactorForSteps(const Viewer& viewer);
// Zooms one step (the caller has counted it in zoomStepCount) about the view's centre,
// or about the cursor; a step that cannot change the factor is undone with a beep.
void applyZoom(Viewer& viewer, int direction, bool anchorAtCursor);

// A scroll step, and the horizontal and vertical distances it makes (a share of the
// client area when relative scrolling is on).
struct ScrollAmounts {
    std::int32_t step;
    std::int32_t horizontal;
    std::int32_t vertical;
};
ScrollAmounts scrollAmounts(const Viewer& viewer, std::int32_t step);
// The keyboard's step: Ctrl slow, Shift fast.
std::int32_t keyboardScrollStep(const Viewer& viewer);

void panMove(Viewer& viewer);
void startAnchorScroll(Viewer& viewer);
void anchorScrollTick(Viewer& viewer);
void stopAnchorScroll(Viewer& viewer);

// ---- Drawing and overlay ------------------------------------------------------------

// Where the display matrix's top-left pixel goes in the client area.
struct ImagePlacement {
    int x = 0;
    int y = 0;
    int sourceX = 0;
    int sourceY = 0;
};
ImagePlacement placeImage(Size client, Size display, int scrollX, int scrollY);

void drawImage(const Viewer& viewer, Painter& painter);
// Whether the overlay is on and there is an image under it to draw it over.
bool overlayDue(const Viewer& viewer);
QString overlayText(const Viewer& viewer);
QString formatCount(std::int64_t value);

struct ByteSizeText {
    QString number;
    QString unit;
};
ByteSizeText formatByteSize(float bytes);

}  // namespace pavo
