#include "browse/neighbour_cache.h"

#include "browse/colour.h"
#include "browse/load.h"
#include "browse/navigation.h"
#include "platform/pixel_memory.h"
#include "playlist/playlist.h"
#include "view/draw.h"
#include "view/scale.h"
#include "view/view.h"
#include "viewer.h"

#include <opencv2/core.hpp>

namespace pavo {
namespace {

struct Side {
    ImageBuffer& slot;
    JobSlot& job;
    JobSlot& prescale;
};

NeighbourSide otherSide(NeighbourSide which) {
    return which == NeighbourSide::Next ? NeighbourSide::Previous : NeighbourSide::Next;
}

Side sideOf(Viewer& viewer, NeighbourSide which) {
    NeighbourJobs& jobs = viewer.neighbours;
    return which == NeighbourSide::Next
               ? Side{viewer.nextImage, jobs.next, jobs.prescaleNext}
               : Side{viewer.previousImage, jobs.previous, jobs.prescalePrevious};
}

void releaseMatrices(ImageBuffer& record) {
    record.image.release();
    record.partner.release();
    record.display.release();
    record.ready = false;
    record.displayReady = false;
}

// Puts a finished record into its slot. A picture scaled before the neighbours' scaling
// last went stale fits another window: it is dropped.
void adopt(Viewer& viewer, ImageBuffer& slot, ImageBuffer record, std::uint32_t epoch) {
    slot = std::move(record);
    if (epoch != viewer.neighbours.scalingEpoch && slot.displayReady) {
        slot.display.release();
        slot.displayReady = false;
    }
    if (overlayDue(viewer)) viewer.platform.armTimer(OverlayTimer, 50);
}

void startNeighbourJob(Viewer& viewer, JobSlot& slot, NeighbourJob job) {
    const JobSlot::Ticket ticket = slot.begin(nextJobId(viewer));
    const std::uint32_t epoch = viewer.neighbours.scalingEpoch;
    startJob<ImageBuffer>(
        viewer.platform, viewer.platform, ticket.token,
        [job = std::move(job)](const CancelToken& token) -> std::optional<ImageBuffer> {
            return decodeNeighbour(job, token);
        },
        [&viewer, id = ticket.id, epoch](std::optional<ImageBuffer> record) {
            handOverNeighbour(viewer, id, epoch, std::move(record));
        });
}

// The job that decodes playlist entry `index` (and its partner while merged).
NeighbourJob jobForEntry(const Viewer& viewer, std::int32_t index) {
    const auto& paths = viewer.playlist.paths;
    const auto count = static_cast<std::int32_t>(paths.size());
    NeighbourJob job;
    job.count = count;
    job.prescale = viewer.settings.preScale;
    job.context = scaleContext(viewer);
    job.colour = viewer.colour.target;
    if (count <= 1) return job;
    const std::int32_t merge = viewer.merge.mergeMode;
    job.imagePath = paths[static_cast<std::size_t>(stepIndex(count, index, 0))];
    if (merge != 0)
        job.partnerPath = paths[static_cast<std::size_t>(stepIndex(count, index, merge))];
    return job;
}

// The step's own job takes over the decode beyond the image ahead when it is of the same
// image: once done its record goes straight into the slot, still under way the job is
// handed over, so the image is decoded once.
bool takeOverBeyond(Viewer& viewer, Side side, const NeighbourJob& job) {
    NeighbourJobs& jobs = viewer.neighbours;
    if (job.imagePath.isEmpty() || !job.partnerPath.isEmpty() || job.imagePath != jobs.beyondPath)
        return false;
    jobs.takenOverPath = job.imagePath;
    if (jobs.beyondRecord) {
        adopt(viewer, side.slot, std::move(*jobs.beyondRecord), jobs.beyondEpoch);
        dropDecodeBeyond(viewer);
        schedulePrescale(viewer);
        return true;
    }
    if (!jobs.beyond.busy()) {
        jobs.takenOverPath.clear();
        return false;
    }
    jobs.beyond.handOverTo(side.job);
    jobs.beyondPath.clear();
    return true;
}

void finishPrescale(Viewer& viewer, NeighbourSide which, std::uint64_t id, std::uint32_t epoch,
                    std::optional<cv::Mat> display) {
    Side side = sideOf(viewer, which);
    if (!side.prescale.wants(id)) return;  // the record changed since
    side.prescale.done();
    if (!display || epoch != viewer.neighbours.scalingEpoch || !side.slot.ready) return;
    side.slot.display = *display;
    side.slot.displayWidth = display->cols;
    side.slot.displayHeight = display->rows;
    side.slot.displayReady = true;
}

void startPrescale(Viewer& viewer, NeighbourSide which) {
    Side side = sideOf(viewer, which);
    const ImageBuffer& slot = side.slot;
    if (!slot.ready || slot.failed || slot.displayReady || side.job.busy() || side.prescale.busy())
        return;
    // A record that kept only its picture has nothing to scale for the new window: its
    // file is decoded again.
    if (shownPixelsReleased(slot)) {
        startWorker(viewer, which);
        return;
    }
    const JobSlot::Ticket ticket = side.prescale.begin(nextJobId(viewer));
    const std::uint32_t epoch = viewer.neighbours.scalingEpoch;
    startJob<cv::Mat>(
        viewer.platform, viewer.platform, ticket.token,
        [context = scaleContext(viewer), image = slot.image,
         partner = slot.partner](const CancelToken&) -> std::optional<cv::Mat> {
            return prescaleForScreen(context, image, partner);
        },
        [&viewer, which, id = ticket.id, epoch](std::optional<cv::Mat> display) {
            finishPrescale(viewer, which, id, epoch, std::move(display));
        });
}

bool bothNeighboursReady(const Viewer& viewer) {
    return viewer.nextImage.ready && viewer.previousImage.ready;
}

bool idleTimeoutPassed(const Viewer& viewer, std::int32_t now) {
    return now - viewer.input.lastActivityTime > viewer.settings.bufferTimeout;
}

}  // namespace

std::uint64_t nextJobId(Viewer& viewer) {
    return ++viewer.neighbours.lastJobId;
}

bool keepsOnlyItsPicture(const ImageBuffer& record) {
    const auto pixels = static_cast<std::int64_t>(record.image.cols) * record.image.rows;
    const auto shownPixels = static_cast<std::int64_t>(record.display.cols) * record.display.rows;
    return record.partnerPath.isEmpty() && !record.animated && !record.display.empty() &&
           record.display.datastart != record.image.datastart &&
           shownPixels * kPicturePixelsPerPixel <= pixels;
}

bool holdsEntry(const Viewer& viewer, const ImageBuffer& record, std::int32_t index) {
    const auto& paths = viewer.playlist.paths;
    const auto count = static_cast<std::int32_t>(paths.size());
    if (index < 0 || index >= count || record.path != paths[static_cast<std::size_t>(index)])
        return false;
    const std::int32_t merge = viewer.merge.mergeMode;
    if (merge == 0) return record.partnerPath.isEmpty();
    return record.partnerPath == paths[static_cast<std::size_t>(stepIndex(count, index, merge))];
}

NeighbourJob neighbourJob(const Viewer& viewer, NeighbourSide side) {
    const auto count = static_cast<std::int32_t>(viewer.playlist.paths.size());
    const std::int32_t direction = side == NeighbourSide::Next ? 1 : -1;
    // Merged, each record holds the pair one double step brings on screen.
    const std::int32_t steps = viewer.merge.mergeMode != 0 ? 2 * direction : direction;
    return jobForEntry(viewer, stepIndex(count, viewer.playlist.index, steps));
}

namespace {

// A JPEG or PNG of 64 megapixels and more, seen fitted to the screen, is decoded
// reduced and scaled from there: its full decode (576 MB for a 192 MP photo) would more
// than double what the image on screen holds, for a picture of two megapixels. Its record
// keeps that picture only; a step to it shows it, and the full decode comes when the
// user zooms or turns it.
bool hugePictureInto(ImageBuffer& record, const NeighbourJob& job, const CancelToken& token) {
    const ScaleContext& context = job.context;
    if (!job.prescale || !job.partnerPath.isEmpty() || !context.fitActive || context.mergeMode != 0)
        return false;
    const Size area = screenFitArea(context);
    auto reduced = loadReducedPicture(job.imagePath, area.width, area.height, token.flag(),
                                      job.colour, job.reducedFromPixels);
    if (!reduced || token.cancelled()) return false;
    const LoadedImage& loaded = reduced->loaded;
    record.channels = loaded.channels;
    record.fileSize = loaded.fileSize;
    record.profileName = loaded.profileName;
    record.colourId = loaded.colourId;
    record.width = reduced->fullWidth;
    record.height = reduced->fullHeight;
    const Size fit = fitSizeOnScreen(context, record.width, record.height, {}, {});
    scaleToSize(context, loaded.image, record.display, fit.width, fit.height);
    record.displayWidth = record.display.cols;
    record.displayHeight = record.display.rows;
    record.displayReady = true;
    record.failed = false;
    record.ready = true;
    return true;
}

}  // namespace

ImageBuffer decodeNeighbour(const NeighbourJob& job, const CancelToken& token) {
    ImageBuffer record;
    record.path = job.imagePath;
    record.partnerPath = job.partnerPath;
    record.failed = true;
    if (job.count <= 1) return record;
    try {
        if (hugePictureInto(record, job, token)) return record;
        // Missing, empty, undecodable or refused: the same failure whatever the cause.
        // A cancelled job stops decoding a JPEG within a few rows.
        const auto loaded =
            loadImageFile(job.imagePath, DecodeRole::Shown, token.flag(), job.colour);
        if (!loaded || token.cancelled()) return record;
        record.image = loaded->image;
        record.channels = loaded->channels;
        record.animated = loaded->animated;
        record.fileSize = loaded->fileSize;
        record.profileName = loaded->profileName;
        record.colourId = loaded->colourId;
        if (!job.partnerPath.isEmpty()) decodePartnerInto(record, job.partnerPath, job.colour);
        record.width = record.image.cols;
        record.height = record.image.rows;
        if (job.prescale) {
            record.display = prescaleForScreen(job.context, record.image, record.partner);
            record.displayWidth = record.display.cols;
            record.displayHeight = record.display.rows;
            record.displayReady = true;
            if (keepsOnlyItsPicture(record)) record.image.release();
        }
    } catch (const std::exception&) {
        releaseMatrices(record);
        return record;
    }
    record.failed = false;
    record.ready = true;
    return record;
}

namespace {

// A neighbour job's record goes into the slot that still wants it.
void adoptNeighbour(Viewer& viewer, std::uint64_t id, std::uint32_t epoch,
                    std::optional<ImageBuffer> record) {
    NeighbourJobs& jobs = viewer.neighbours;
    ImageBuffer received;
    if (record) {
        received = std::move(*record);
    } else {
        received.failed = true;
    }
    if (jobs.beyond.wants(id)) {
        jobs.beyond.done();
        jobs.beyondRecord = std::make_shared<ImageBuffer>(std::move(received));
        jobs.beyondEpoch = epoch;
        return;
    }
    for (const NeighbourSide which : {NeighbourSide::Next, NeighbourSide::Previous}) {
        Side side = sideOf(viewer, which);
        if (!side.job.wants(id)) continue;
        side.job.done();
        adopt(viewer, side.slot, std::move(received), epoch);
        schedulePrescale(viewer);
        landPendingStep(viewer);
        keepColourCurrent(viewer);  // decoded for the monitor the window has left
        return;
    }
}

// The side that waited starts once the other's job has ended, wanted or not.
void startWaitingNeighbour(Viewer& viewer) {
    NeighbourJobs& jobs = viewer.neighbours;
    if (!jobs.waiting || sideOf(viewer, otherSide(*jobs.waiting)).job.busy()) return;
    const NeighbourSide which = *jobs.waiting;
    jobs.waiting.reset();
    startWorker(viewer, which);
}

}  // namespace

void handOverNeighbour(Viewer& viewer, std::uint64_t id, std::uint32_t epoch,
                       std::optional<ImageBuffer> record) {
    adoptNeighbour(viewer, id, epoch, std::move(record));
    startWaitingNeighbour(viewer);
}

void clearNeighbours(Viewer& viewer) {
    for (const NeighbourSide which : {NeighbourSide::Next, NeighbourSide::Previous}) {
        stopWorker(viewer, which);
        releaseMatrices(sideOf(viewer, which).slot);
    }
    dropDecodeBeyond(viewer);
}

bool neighbourDecoding(const Viewer& viewer, NeighbourSide side) {
    const NeighbourJobs& jobs = viewer.neighbours;
    if (jobs.waiting == side) return true;
    return side == NeighbourSide::Next ? jobs.next.busy() : jobs.previous.busy();
}

void hurryNeighbour(Viewer& viewer, NeighbourSide side) {
    NeighbourJobs& jobs = viewer.neighbours;
    if (jobs.waiting != side) return;
    jobs.waiting.reset();
    startNeighbourJob(viewer, sideOf(viewer, side).job, neighbourJob(viewer, side));
}

void startNeighbourWorkers(Viewer& viewer) {
    if (viewer.merge.mergeMode == 0) {
        for (ImageBuffer* record : {&viewer.shownImage, &viewer.nextImage, &viewer.previousImage}) {
            record->partner.release();
            record->partnerPath.clear();
        }
    }
    startWorker(viewer, NeighbourSide::Next);
    startWorker(viewer, NeighbourSide::Previous);
}

void startWorker(Viewer& viewer, NeighbourSide which) {
    stopWorker(viewer, which);
    Side side = sideOf(viewer, which);
    releaseMatrices(side.slot);
    resetForDecode(side.slot);
    side.slot.failed = false;
    NeighbourJob job = neighbourJob(viewer, which);
    if (takeOverBeyond(viewer, side, job)) return;
    if (sideOf(viewer, otherSide(which)).job.busy()) {
        viewer.neighbours.waiting = which;
        return;
    }
    startNeighbourJob(viewer, side.job, std::move(job));
}

void stopWorker(Viewer& viewer, NeighbourSide which) {
    if (viewer.neighbours.waiting == which) viewer.neighbours.waiting.reset();
    Side side = sideOf(viewer, which);
    side.job.cancel();
    side.prescale.cancel();
}

bool decodeBeyondAhead(Viewer& viewer, bool forward) {
    const auto count = static_cast<std::int32_t>(viewer.playlist.paths.size());
    // Two images have nothing beyond the one ahead; a merged pair decodes two files.
    if (count < 3 || viewer.merge.mergeMode != 0) return false;
    dropDecodeBeyond(viewer);
    NeighbourJob job =
        jobForEntry(viewer, stepIndex(count, viewer.playlist.index, forward ? 2 : -2));
    viewer.neighbours.beyondPath = job.imagePath;
    startNeighbourJob(viewer, viewer.neighbours.beyond, std::move(job));
    return true;
}

void dropDecodeBeyond(Viewer& viewer) {
    NeighbourJobs& jobs = viewer.neighbours;
    jobs.beyond.cancel();
    jobs.beyondRecord.reset();
    jobs.beyondPath.clear();
}

void forgetNeighbourScaling(Viewer& viewer) {
    ++viewer.neighbours.scalingEpoch;
    for (const NeighbourSide which : {NeighbourSide::Next, NeighbourSide::Previous}) {
        Side side = sideOf(viewer, which);
        side.prescale.cancel();
        side.slot.display.release();
        side.slot.displayReady = false;
    }
}

bool anyJobUnderWay(const Viewer& viewer) {
    const NeighbourJobs& jobs = viewer.neighbours;
    const NavigationState& navigation = viewer.navigation;
    return jobs.next.busy() || jobs.previous.busy() || jobs.prescaleNext.busy() ||
           jobs.prescalePrevious.busy() || jobs.beyond.busy() || navigation.decode.busy() ||
           navigation.preview.busy() || navigation.pending.has_value();
}

void prescaleNeighbours(Viewer& viewer) {
    if (!viewer.settings.preScale) return;
    // One job per record, so the two scale in parallel.
    startPrescale(viewer, NeighbourSide::Next);
    startPrescale(viewer, NeighbourSide::Previous);
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

void clearIdleCache(Viewer& viewer, std::int32_t now) {
    if (!idleTimeoutPassed(viewer, now) || anyJobUnderWay(viewer)) return;
    // A single image has no neighbours, but its own pixels can go; a failed neighbour
    // keeps the cache as it is.
    const bool neighboursGo = bothNeighboursReady(viewer);
    if (!neighboursGo && !viewer.shownImage.ready) return;
    if (neighboursGo) clearNeighbours(viewer);
    releaseShownPixels(viewer);
    releaseCachedPixelMemory();
    viewer.input.lastActivityTime = now;  // the next release is a whole timeout away
    if (overlayDue(viewer)) viewer.platform.armTimer(OverlayTimer, 100);
}

}  // namespace pavo
