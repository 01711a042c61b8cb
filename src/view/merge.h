#pragma once

#include "platform/geometry.h"
#include "view/view_state.h"

#include <opencv2/core/mat.hpp>

namespace pavo {

// Two images of a merged pair side by side at one common height, fitted to an area.

// Joins the two scaled images edge to edge: the earlier image of the pair on the left,
// or the other way round with reverse merge. Of two pictures of unequal height, the
// lower is centred on black: the arithmetic of a layout never ends the program. `output`
// stays as it is when either has fewer than two pixels.
void joinSideBySide(const ScaleContext& context, const cv::Mat& first, const cv::Mat& second,
                    cv::Mat& output);

// The pair scaled for the window it will have on the screen.
cv::Mat scaleMergedForScreen(const ScaleContext& context, const cv::Mat& primary,
                             const cv::Mat& partner);
// The pair scaled for the client area, zoom applied.
cv::Mat scaleMergedForClient(const ScaleContext& context, Size client, const cv::Mat& primary,
                             const cv::Mat& partner);
// The size the pair is shown at in `area`, zoom applied (for the sticky size).
Size mergedFitSize(const ScaleContext& context, Size area, const cv::Mat& primary,
                   const cv::Mat& partner);

}  // namespace pavo
