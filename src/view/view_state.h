#pragma once

// The records of the view: how the picture is presented, and merging.

#include "platform/geometry.h"

#include <cstdint>

namespace pavo {

// The presentation state of the user-interface thread.
struct ViewState {
    std::int64_t zoomPerMille = 1000;  // 1000 = 100 %
    std::int32_t zoomStepCount = 0;
    bool fitActive = true;            // fit to screen in force
    std::int32_t maxWindowWidth = 0;  // largest outer window on this monitor; 0 unknown
    std::int32_t maxWindowHeight = 0;
    std::int32_t stickyWidth = 0;  // displayed size of the previous image; 0 none
    std::int32_t stickyHeight = 0;
    bool infoOverlayShown = false;
};

// Merging the shown image with a neighbour into one picture.
struct MergeState {
    std::int32_t mergeMode = 0;  // 0 off, 1 with the next image, -1 with the previous
    bool reverseMergeActive = false;
};

// The interpolation options every resize chooses its method from.
struct InterpolationChoice {
    std::int32_t largeDownscale = 3;  // method numbers as OpenCV counts them
    std::int32_t downscale = 2;
    std::int32_t upscale = 2;
    std::int32_t largeUpscale = 2;
    std::int32_t zoomIn = 3;
    std::int32_t zoomOut = 3;
    std::int32_t largeDownscaleThreshold = 3;  // pixel ratios that make a resize large
    std::int32_t largeUpscaleThreshold = 3;
    bool operator==(const InterpolationChoice&) const = default;
};

// Everything scaling a picture for the window reads, copied out of the viewer: the
// user-interface thread makes one for each scale it does, and a job that scales takes its
// own copy when it starts, so the pixel maths never look at the live viewer.
struct ScaleContext {
    GeometrySnapshot geometry;
    InterpolationChoice interpolation;
    std::int32_t fixWindowPosition = 0;
    std::int64_t zoomPerMille = 1000;
    bool fitActive = true;
    bool fullscreen = false;
    std::int32_t mergeMode = 0;
    bool reverseMerge = false;
};

}  // namespace pavo
