#pragma once

// The records of the view: how the picture is presented, and merging.

#include "platform/relaxed.h"

#include <cstdint>

namespace pavo {

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

// Merging the shown image with a neighbour into one picture.
struct MergeState {
    Relaxed<std::int32_t> mergeMode{0};  // 0 off, 1 with the next image, -1 with the previous
    Relaxed<bool> reverseMergeActive{false};
};

}  // namespace pavo
