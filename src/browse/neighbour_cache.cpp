#include "browse/neighbour_cache.h"

#include "browse/navigation.h"
#include "image/image.h"
#include "platform/pixel_memory.h"
#include "playlist/playlist.h"
#include "view/draw.h"
#include "view/scale.h"
#include "viewer.h"

#include <opencv2/core.hpp>

namespace pavo {
namespace {

struct Side {
    ImageBuffer& slot;
    Worker& worker;
    std::shared_ptr<ImageBuffer>& result;
    std::uint32_t& startEpoch;
    std::shared_ptr<std::atomic<bool>>& abandoned;
};

Side sideOf(Viewer& viewer, NeighbourSide which) {
    NeighbourWorkers& w = viewer.workers;
    return which == NeighbourSide::Next
               ? Side{viewer.nextImage, w.next, w.nextResult, w.nextStartEpoch, w.nextAbandoned}
               : Side{viewer.previousImage, w.previous, w.previousResult, w.previousStartEpoch,
                      w.previousAbandoned};
}

// Puts a finished record into its slot. A picture scaled before the neighbours'
// scaling last went stale fits another window: it is dropped.
void adopt(const Viewer& viewer, Side side) {
    side.slot = *side.result;
    side.result.reset();
    if (side.startEpoch != viewer.workers.scalingEpoch && side.slot.displayReady) {
        side.slot.display.release();
        side.slot.displayReady = false;
    }
}

// Takes over what a worker made, once it has ended, unless its hand-over already has;
// drops it when the worker outlived its wait.
void collect(const Viewer& viewer, Side side) {
    const bool ended = side.worker.waitFor(kWorkerWaitLimit);
    if (!side.result) return;
    if (!ended) {
        side.result.reset();
        return;
    }
    adopt(viewer, side);
}

void releaseMatrices(ImageBuffer& record) {
    record.image.release();
    record.partner.release();
    record.display.release();
    record.ready = false;
    record.displayReady = false;
}

// Scales a ready neighbour for the present window on a thread of its own; nothing
// when the record needs no scaling.
std::shared_ptr<cv::Mat> startPrescale(const Viewer& viewer, const ImageBuffer& slot,
                                       Worker& worker) {
    if (!slot.ready || slot.failed || slot.displayReady) return nullptr;
    auto display = std::make_shared<cv::Mat>();
    worker.start([&viewer, image = slot.image, partner = slot.partner, display] {
        *display = prescaleForScreen(viewer, image, partner);
    });
    return display;
}

void finishPrescale(ImageBuffer& slot, const Worker& worker,
                    const std::shared_ptr<cv::Mat>& display) {
    if (!display || !worker.waitFor(kWorkerWaitLimit)) return;
    slot.display = *display;
    slot.displayWidth = display->cols;
    slot.displayHeight = display->rows;
    slot.displayReady = true;
}

// What a decode begun on its own thread made, once it has ended.
std::optional<LoadedImage> takeDecoded(const EarlyDecode& decode) {
    if (!decode.worker.waitFor(kWorkerWaitLimit)) return std::nullopt;
    return std::move(*decode.result);
}

bool bothNeighboursReady(const Viewer& viewer) {
    return viewer.nextImage.ready && viewer.previousImage.ready;
}

// Read by the watcher thread too: `ready` and the activity time are atomic.
bool idleTimeoutPassed(const Viewer& viewer, std::int32_t now) {
    return now - viewer.input.lastActivityTime > viewer.settings.bufferTimeout;
}

}  // namespace

NeighbourJob neighbourJob(const Viewer& viewer, NeighbourSide side) {
    const auto& paths = viewer.playlist.paths;
    const auto count = static_cast<std::int32_t>(paths.size());
    NeighbourJob job;
    job.count = count;
    job.fullscreen = viewer.mode.fullscreenActive;
    job.chromeLevel = viewer.mode.chromeLevel;
    if (count <= 1) return job;
    const std::int32_t c = viewer.playlist.index;
    const std::int32_t merge = viewer.merge.mergeMode;
    const std::int32_t direction = side == NeighbourSide::Next ? 1 : -1;
    const auto at = [&](std::int32_t steps) {
        return paths[static_cast<std::size_t>(stepIndex(count, c, steps))];
    };
    if (merge == 0) {
        job.imagePath = at(direction);
        return job;
    }
    // Merged, each record holds the pair one double step brings on screen.
    job.imagePath = at(2 * direction);
    job.partnerPath = at(2 * direction + merge);
    return job;
}

void decodeNeighbour(const Viewer& viewer, const NeighbourJob& job, ImageBuffer& record) {
    resetForDecode(record);
    const auto fail = [&record] { record.failed = true; };
    if (job.count <= 1) return fail();
    try {
        // Missing, empty, undecodable or refused: the same failure whatever the cause.
        // An abandoned worker stops decoding a JPEG within a few rows.
        auto loaded = job.decodedBeyond
                          ? takeDecoded(*job.decodedBeyond)
                          : loadImageFile(job.imagePath, DecodeRole::Shown, job.abandoned.get());
        if (!loaded || (job.abandoned && *job.abandoned)) return fail();
        record.image = loaded->image;
        record.channels = loaded->channels;
        record.fileSize = loaded->fileSize;
        if (!job.partnerPath.isEmpty()) decodePartnerInto(record, job.partnerPath);
        record.width = record.image.cols;
        record.height = record.image.rows;
        if (viewer.settings.preScale && viewer.mode.fullscreenActive == job.fullscreen &&
            viewer.mode.chromeLevel == job.chromeLevel) {
            record.display = prescaleForScreen(viewer, record.image, record.partner);
            record.displayWidth = record.display.cols;
            record.displayHeight = record.display.rows;
            record.displayReady = true;
        }
        if (overlayDue(viewer)) viewer.platform.armTimer(OverlayTimer, 50);
    } catch (const std::exception&) {
        return fail();
    }
    record.failed = false;
    record.ready = true;
}

void handOverNeighbour(Viewer& viewer, NeighbourSide which,
                       const std::shared_ptr<ImageBuffer>& record) {
    Side side = sideOf(viewer, which);
    if (!record || side.result != record) return;  // collected, dropped or replaced
    adopt(viewer, side);
    schedulePrescale(viewer);
}

void waitForWorkers(Viewer& viewer) {
    collect(viewer, sideOf(viewer, NeighbourSide::Next));
    collect(viewer, sideOf(viewer, NeighbourSide::Previous));
}

void clearNeighbours(Viewer& viewer) {
    releaseMatrices(viewer.nextImage);
    releaseMatrices(viewer.previousImage);
}

void abandonNeighbourWorkers(Viewer& viewer) {
    std::vector<Worker>& abandoned = viewer.workers.abandoned;
    std::erase_if(abandoned, [](const Worker& worker) { return !worker.running(); });
    for (const NeighbourSide which : {NeighbourSide::Next, NeighbourSide::Previous}) {
        Side side = sideOf(viewer, which);
        *side.abandoned = true;
        side.abandoned = std::make_shared<std::atomic<bool>>();
        side.result.reset();
        if (side.worker.running()) abandoned.push_back(side.worker);
        side.worker = Worker{};  // the old thread keeps its own state and ends alone
        releaseMatrices(side.slot);
    }
}

bool neighbourDecoding(const Viewer& viewer, NeighbourSide side) {
    const NeighbourWorkers& w = viewer.workers;
    return side == NeighbourSide::Next ? w.nextResult && w.next.running()
                                       : w.previousResult && w.previous.running();
}

void waitForAbandonedWorkers(Viewer& viewer) {
    for (const Worker& worker : viewer.workers.abandoned) worker.waitFor(kWorkerWaitLimit);
    viewer.workers.abandoned.clear();
    if (viewer.navigation.earlyDecode)
        viewer.navigation.earlyDecode->worker.waitFor(kWorkerWaitLimit);
}

void startNeighbourWorkers(Viewer& viewer) {
    waitForWorkers(viewer);
    if (viewer.merge.mergeMode == 0) {
        for (ImageBuffer* record : {&viewer.shownImage, &viewer.nextImage, &viewer.previousImage}) {
            record->partner.release();
        }
    }
    startWorker(viewer, NeighbourSide::Next);
    startWorker(viewer, NeighbourSide::Previous);
}

void startWorker(Viewer& viewer, NeighbourSide which) {
    Side side = sideOf(viewer, which);
    resetForDecode(side.slot);
    if (side.worker.running()) return;  // an abandoned worker still owns its thread
    auto record = std::make_shared<ImageBuffer>();
    record->failed = side.slot.failed.load();
    side.result = record;
    side.startEpoch = viewer.workers.scalingEpoch;
    NeighbourJob job = neighbourJob(viewer, which);
    job.abandoned = side.abandoned;
    if (job.partnerPath.isEmpty()) job.decodedBeyond = takeDecodeBeyond(viewer, job.imagePath);
    Viewer& owner = viewer;
    side.worker.start([&owner, job, record, which] {
        decodeNeighbour(owner, job, *record);
        // The record is handed over the moment it is done, so the slot's flags say
        // what is there whatever the user does next.
        owner.platform.runOnUiThread(
            [&owner, record, which] { handOverNeighbour(owner, which, record); });
    });
}

void forgetNeighbourScaling(Viewer& viewer) {
    ++viewer.workers.scalingEpoch;
    for (ImageBuffer* neighbour : {&viewer.nextImage, &viewer.previousImage}) {
        neighbour->display.release();
        neighbour->displayReady = false;
    }
}

bool anyWorkerRunning(const Viewer& viewer) {
    const NeighbourWorkers& w = viewer.workers;
    return w.next.running() || w.previous.running() || w.prescaleNext.running() ||
           w.prescalePrevious.running() || viewer.navigation.stepPending;
}

void prescaleNeighbours(Viewer& viewer) {
    if (!viewer.settings.preScale) return;
    waitForWorkers(viewer);
    if (viewer.nextImage.displayReady && viewer.previousImage.displayReady) return;
    // One thread per record, so the two scale in parallel while this thread waits.
    NeighbourWorkers& w = viewer.workers;
    const auto next = startPrescale(viewer, viewer.nextImage, w.prescaleNext);
    const auto previous = startPrescale(viewer, viewer.previousImage, w.prescalePrevious);
    finishPrescale(viewer.nextImage, w.prescaleNext, next);
    finishPrescale(viewer.previousImage, w.prescalePrevious, previous);
}

void schedulePrescale(Viewer& viewer) {
    const ViewerSettings& s = viewer.settings;
    const bool anyReady = viewer.nextImage.ready || viewer.previousImage.ready;
    const bool bothScaled = viewer.nextImage.displayReady && viewer.previousImage.displayReady;
    if (s.preScale && (!s.stickyWindowSize || viewer.mode.fullscreenActive) && anyReady &&
        !bothScaled) {
        viewer.platform.armTimer(PrescaleTimer, 100);
    }
}

void idleWatcherRound(Viewer& viewer, std::int32_t now) {
    // A single image has no neighbours, but its own pixels can go.
    if (idleTimeoutPassed(viewer, now) && (bothNeighboursReady(viewer) || viewer.shownImage.ready))
        viewer.platform.runOnUiThread([&viewer, now] { clearIdleCache(viewer, now); });
}

void clearIdleCache(Viewer& viewer, std::int32_t now) {
    if (!idleTimeoutPassed(viewer, now) || anyWorkerRunning(viewer)) return;
    // A failed neighbour keeps the cache as it is.
    if (bothNeighboursReady(viewer)) clearNeighbours(viewer);
    releaseShownPixels(viewer);
    releaseCachedPixelMemory();
    viewer.input.lastActivityTime = now;  // the next release is a whole timeout away
    if (overlayDue(viewer)) viewer.platform.armTimer(OverlayTimer, 100);
}

}  // namespace pavo
