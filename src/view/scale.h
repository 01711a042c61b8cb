#pragma once

#include "platform/geometry.h"
#include "view/view_state.h"

#include <QString>
#include <opencv2/core/mat.hpp>

#include <cstdint>

namespace pavo {

struct Viewer;

// How fitInto settles the two cases its callers differ on.
struct FitRule {
    bool widthWinsTies = true;      // an image of the area's own ratio fills the width
    bool raiseShortHeight = false;  // a fitted height one pixel short of the area fills it
};
// An image's size fitted into an area, keeping its aspect ratio.
Size fitInto(Size image, Size area, FitRule rule);

enum class ScaleClass { LargeDownscale, Downscale, Upscale, LargeUpscale, ZoomIn, ZoomOut };

// "Nearest Neighbour", "Bilinear", "Bicubic", "Area", "Lanczos", or "None".
QString interpolationName(std::int32_t method);

// The class of a resize from a source to a target size.
ScaleClass scaleClassFor(const ScaleContext& context, Size source, Size target);

// The interpolation setting that holds the class's method.
std::int32_t methodForClass(const InterpolationChoice& choice, ScaleClass scaleClass);

// Resizes `source` into `destination` (8-bit BGRA, ready to draw) with the method of
// its class and returns the method's name; shares the decoded pixels when no resize is
// needed ("None").
QString scaleToSize(const ScaleContext& context, const cv::Mat& source, cv::Mat& destination,
                    int width, int height);

// The name scaleToSize gave when it made `display` from `decoded`.
QString scaleMethodName(const ScaleContext& context, Size decoded, Size display);

// Display size of a w x h image in the current client area, zoom applied.
Size fitSizeInClient(const ScaleContext& context, int width, int height, const cv::Mat& primary,
                     const cv::Mat& partner);

// The client area a window fitted to the screen has: the one the screen fit and a merged
// pair for the screen are laid out in.
Size screenFitArea(const ScaleContext& context);

// Display size of a w x h image for the client area the window will have once
// fitted to the screen.
Size fitSizeOnScreen(const ScaleContext& context, int width, int height, const cv::Mat& primary,
                     const cv::Mat& partner);

// A neighbour's display matrix for the screen (jobs call this with their own context).
cv::Mat prescaleForScreen(const ScaleContext& context, const cv::Mat& primary,
                          const cv::Mat& partner);

// The display matrix of one picture (not a merged pair) for the client area, zoom applied;
// scaled into `spare`'s pixels when they fit (a matrix nothing else holds).
cv::Mat displayForClient(const ScaleContext& context, const cv::Mat& image, cv::Mat spare = {});
// Whether a picture scaled for one context fits the other as well.
bool sameScaling(const ScaleContext& one, const ScaleContext& other);

// Makes the shown image's display matrix for the current client area.
void rescaleShownImage(Viewer& viewer);
// Whether the shown picture is the one the client area asks for: the fitted size of a
// single image; a merged pair, whose layout has its own rules, only has to fit.
bool shownPictureFits(const Viewer& viewer);

}  // namespace pavo
