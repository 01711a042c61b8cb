#pragma once

// The records of browsing: the decodes under way and the neighbour cache's workers.

#include "image/image.h"
#include "platform/worker.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace pavo {

// The decode of the file a start opens, begun before the window exists so that the
// decode and the window system's work on the new window overlap.
struct EarlyDecode {
    QString path;  // absolute, as the command line makes it
    std::shared_ptr<std::optional<LoadedImage>> result =
        std::make_shared<std::optional<LoadedImage>>();
    Worker worker;
    // A rough first look at a large JPEG, decoded reduced before the real decode.
    std::shared_ptr<cv::Mat> preview = std::make_shared<cv::Mat>();
    std::shared_ptr<std::atomic<bool>> previewDone = std::make_shared<std::atomic<bool>>();
    // Set when nothing more is wanted of it; a JPEG decode stops within a few rows.
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>();
};

// Navigation state of the user-interface thread.
struct NavigationState {
    std::int64_t navigationStartTime = 0;    // monotonic nanoseconds of the last step's key
    bool swapInProgress = false;             // a prescaled neighbour is being brought on screen
    std::optional<EarlyDecode> earlyDecode;  // taken by the load of its path
    // A jump's decode runs in `earlyDecode` while the user-interface thread goes on:
    // further steps move its target, anything else first waits for it (`settleShownImage`).
    bool stepPending = false;
    std::uint64_t stepDecodeId = 0;  // of the jump whose decode is wanted
    // When two steps in a row find the image ahead still decoding, the keys are
    // outrunning the cache: the image beyond it starts decoding at once, and the worker
    // the step starts for that image takes the decode over. It lives only as long as
    // the step.
    bool lastStepOutran = false;
    std::optional<EarlyDecode> decodeBeyond;
};

// The neighbour workers and what they fill. Each worker decodes into a record of its
// own and, when done, hands it to the user-interface thread, which adopts it into its
// slot at once; a worker that outlives a wait never shares a record with anyone.
struct NeighbourWorkers {
    Worker next;
    Worker previous;
    std::shared_ptr<ImageBuffer> nextResult;  // filled by the running next worker
    std::shared_ptr<ImageBuffer> previousResult;
    Worker prescaleNext;
    Worker prescalePrevious;
    // Counts the times the neighbours' scaling went stale; a worker's picture scaled
    // under an older count was made for another window.
    std::uint32_t scalingEpoch = 0;
    std::uint32_t nextStartEpoch = 0;  // the count each side's running worker started under
    std::uint32_t previousStartEpoch = 0;
    // Set when a side's running worker is abandoned, so that it skips what is left.
    std::shared_ptr<std::atomic<bool>> nextAbandoned = std::make_shared<std::atomic<bool>>();
    std::shared_ptr<std::atomic<bool>> previousAbandoned = std::make_shared<std::atomic<bool>>();
    std::vector<Worker> abandoned;  // still running after they were abandoned
};

// The two neighbour slots of the cache.
enum class NeighbourSide { Next, Previous };

}  // namespace pavo
