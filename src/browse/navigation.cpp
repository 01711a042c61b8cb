// Stepping through the playlist: single steps that show the cached neighbour, jumps that
// decode their target on a job, and the inputs that wait while a step waits for its image.
#include "browse/navigation.h"

#include "browse/animation.h"
#include "browse/colour.h"
#include "browse/load.h"
#include "browse/neighbour_cache.h"
#include "browse/open.h"
#include "image/image.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "playlist/playlist.h"
#include "view/scale.h"
#include "view/view.h"
#include "view/window_fit.h"
#include "viewer.h"

namespace pavo {
namespace {

// Longer than a held key's repeat (25 to 33 a second), short beside a decode.
constexpr int kJumpRestMilliseconds = 60;

std::int32_t entryCount(const Viewer& viewer) {
    return static_cast<std::int32_t>(viewer.playlist.paths.size());
}

std::int32_t elapsedSinceKey(const Viewer& viewer) {
    return elapsedMilliseconds(viewer.navigation.navigationStartTime, monotonicNanoseconds());
}

void wrapSound(Viewer& viewer) {
    if (!viewer.settings.mute) viewer.platform.beep(BeepKind::Information);
}

NeighbourSide sideAhead(bool forward) {
    return forward ? NeighbourSide::Next : NeighbourSide::Previous;
}

// One step in a direction; a double step while merged.
std::int32_t stepOnce(const Viewer& viewer, std::int32_t index, std::int32_t direction) {
    const std::int32_t count = entryCount(viewer);
    index = stepIndex(count, index, direction);
    if (viewer.merge.mergeMode != 0) index = stepIndex(count, index, direction);
    return index;
}

// The size of the previous image, kept when stepping with a sticky window.
void recordStickySize(Viewer& viewer) {
    const cv::Mat& display = viewer.shownImage.display;
    if (display.cols > 0 && display.rows > 0) {
        viewer.view.stickyWidth = display.cols;
        viewer.view.stickyHeight = display.rows;
    }
}

// A shown record leaves with a display that fits the window it leaves, so stepping
// back can show it without scaling.
void markShownDisplayReusable(Viewer& viewer) {
    ImageBuffer& shown = viewer.shownImage;
    if (shown.ready && shown.display.cols > 1 && viewer.settings.preScale)
        shown.displayReady = true;
}

// Whether the record left behind already holds the picture a screen fit gives it: its
// pixels scaled, unzoomed, to that same size are that same picture.
bool holdsScreenFit(const Viewer& viewer, const ImageBuffer& record, bool zoomed) {
    if (zoomed || !viewer.view.fitActive || viewer.merge.mergeMode != 0) return false;
    const Size size = fitSizeOnScreen(scaleContext(viewer), record.width, record.height,
                                      record.image, record.partner);
    return record.display.cols == size.width && record.display.rows == size.height;
}

// How the window and view stood when the step began.
struct LeftView {
    bool notMaximised = false;
    bool zoomed = false;
};

// The record left becomes the neighbour behind, when its pixels are those of the entry
// behind the new index; holding the screen fit, it keeps only that picture as any
// neighbour would. A record left on screen by a failed step (whose pixels are another
// entry's), or one that kept only a picture that no longer fits, is no use there: that
// side is left empty, to be decoded again. The job that was filling that side is
// stopped either way.
void leaveBehind(Viewer& viewer, ImageBuffer& behind, const ImageBuffer& left, bool forward,
                 LeftView view) {
    stopWorker(viewer, sideAhead(!forward));
    behind = ImageBuffer{};
    const std::int32_t behindIndex = stepOnce(viewer, viewer.playlist.index, forward ? -1 : 1);
    if (!left.ready || !holdsEntry(viewer, left, behindIndex)) return;
    const bool screenFit = holdsScreenFit(viewer, left, view.zoomed);
    if (left.image.empty() && !screenFit) return;
    behind = left;
    if (screenFit && keepsOnlyItsPicture(behind)) {
        behind.image.release();
        behind.displayReady = true;
    }
}

bool showPrescaled(Viewer& viewer, ImageBuffer& ahead, ImageBuffer& behind, bool forward,
                   LeftView left) {
    ImageBuffer& shown = viewer.shownImage;
    const cv::Mat leftDisplay = shown.display;
    const std::int32_t leftWidth = shown.displayWidth;
    const std::int32_t leftHeight = shown.displayHeight;
    shown.display = ahead.display;
    shown.displayWidth = ahead.displayWidth;
    shown.displayHeight = ahead.displayHeight;
    // While set, the size handler leaves the display alone; cleared however this ends.
    struct Swap {
        bool& inProgress;
        explicit Swap(bool& flag) : inProgress(flag) { inProgress = true; }
        Swap(const Swap&) = delete;
        Swap& operator=(const Swap&) = delete;
        Swap(Swap&&) = delete;
        Swap& operator=(Swap&&) = delete;
        ~Swap() { inProgress = false; }
    };
    std::optional<Swap> swap;
    swap.emplace(viewer.navigation.swapInProgress);
    const Size window = windowSizeForImage(viewer, Size{ahead.width, ahead.height});
    if (!viewer.mode.fullscreenActive) applyWindowSize(viewer, window, {.partner = ahead.partner});
    requestRedraw(viewer);
    const std::int32_t elapsed = elapsedSinceKey(viewer);
    viewer.platform.setTitle(currentPath(viewer.playlist));
    ImageBuffer leftRecord = shown;
    leftRecord.display = leftDisplay;
    leftRecord.displayWidth = leftWidth;
    leftRecord.displayHeight = leftHeight;
    leaveBehind(viewer, behind, leftRecord, forward, left);
    shown = ahead;
    shown.loadTimeMs = elapsed;
    requestRedraw(viewer);
    // Fitted to a window of its own, the picture left is usually the screen fit already;
    // scaling 24 megapixels again would only take the core the next decode wants.
    if (left.notMaximised && behind.ready && !holdsScreenFit(viewer, behind, left.zoomed)) {
        behind.display = prescaleForScreen(scaleContext(viewer), behind.image, behind.partner);
        behind.displayWidth = behind.display.cols;
        behind.displayHeight = behind.display.rows;
    }
    swap.reset();
    // A window manager may refuse the size asked for (keeping the window on screen);
    // the size handler left the display alone during the swap, so fit it now.
    if (viewer.view.fitActive && !shownPictureFits(viewer)) {
        restoreShownPixels(viewer);
        rescaleShownImage(viewer);
        requestRedraw(viewer);
    }
    startWorker(viewer, sideAhead(forward));
    return true;
}

bool showUnscaled(Viewer& viewer, ImageBuffer& ahead, ImageBuffer& behind, bool forward,
                  LeftView view) {
    ImageBuffer& shown = viewer.shownImage;
    const QString path = currentPath(viewer.playlist);
    markShownDisplayReusable(viewer);
    bool result = false;
    bool loadStartedWorkers = false;
    const ImageBuffer left = shown;
    leaveBehind(viewer, behind, left, forward, view);
    // A record that kept only a picture for another window is decoded again.
    if (ahead.ready && !ahead.failed && !ahead.image.empty() &&
        holdsEntry(viewer, ahead, viewer.playlist.index)) {
        shown = ahead;
        result = true;
    } else if (fileExists(path)) {
        result = loadShownImage(viewer, path, LoadOrigin::Step);
        loadStartedWorkers = result;
    }
    viewer.platform.setTitle(path);
    if (result) {
        const Size window = windowSizeForImage(viewer, shown.image);
        if (!viewer.mode.fullscreenActive)
            applyWindowSize(viewer, window, {.partner = shown.partner});
        shown.displayWidth = shown.displayHeight = 1;
        rescaleShownImage(viewer);
    } else {
        // The picture left is not the file at the index: nothing may act on it.
        dropShownPicture(viewer);
    }
    requestRedraw(viewer);
    shown.loadTimeMs = elapsedSinceKey(viewer);
    markShownDisplayReusable(viewer);
    // A successful direct load has just started both workers for this index.
    if (!loadStartedWorkers) startWorker(viewer, sideAhead(forward));
    return result;
}

// Shows the image one step brought, once its neighbour record is there, and reports a
// failure.
void finishStep(Viewer& viewer, bool forward) {
    const bool shown = showNeighbour(viewer, forward);
    // Not taken over by the step's job (a failed step, a reload): nobody wants it.
    dropDecodeBeyond(viewer);
    keepColourCurrent(viewer);  // a neighbour decoded for the monitor the window left
    if (!shown) showLoadFailure(viewer, currentPath(viewer.playlist), LoadFailure::FailedToLoad);
}

// One step: at once when the record ahead is there, else once its job hands it over.
void stepOne(Viewer& viewer, bool forward) {
    NavigationState& navigation = viewer.navigation;
    // The first step that finds the image ahead still decoding gets a quick preview of
    // it where one can be shown. When the next one does too, the keys are outrunning the
    // cache, and both cores go to the images themselves: a preview would only slow them
    // down. Without a preview the other core would idle, so the image beyond starts then.
    hurryNeighbour(viewer, sideAhead(forward));
    const bool outran = neighbourDecoding(viewer, sideAhead(forward));
    if (outran && (navigation.lastStepOutran || !previewAhead(viewer, forward)))
        decodeBeyondAhead(viewer, forward);
    // A step that finds its image only because it was decoded beyond is outrun all the same.
    const ImageBuffer& record = forward ? viewer.nextImage : viewer.previousImage;
    const bool servedByBeyond =
        !outran && !record.path.isEmpty() && record.path == viewer.neighbours.takenOverPath;
    navigation.lastStepOutran = outran || (navigation.lastStepOutran && servedByBeyond);
    const std::int32_t old = viewer.playlist.index;
    const std::int32_t now = stepOnce(viewer, old, forward ? 1 : -1);
    viewer.playlist.index = now;
    if (forward ? now < old : now > old) wrapSound(viewer);
    if (outran) {
        navigation.pending = PendingStep{.awaits = PendingStep::Awaits::Neighbour,
                                         .forward = forward,
                                         .origin = LoadOrigin::Step,
                                         .path = currentPath(viewer.playlist)};
        return;
    }
    finishStep(viewer, forward);
}

void move(Viewer& viewer, int dx, int dy, bool forward, int presses) {
    // Only a step's or jump's target moves while it waits; the start's comes once it is shown.
    if (stepUnderWay(viewer) && !stepKeysMoveTarget(viewer)) return;
    viewer.navigation.navigationStartTime = monotonicNanoseconds();
    // While a step or jump waits, the shown image is not the one the keys are about: they
    // step.
    const bool jumping = stepKeysMoveTarget(viewer);
    if (!jumping) {
        while (presses > 0 && scrollBy(viewer, dx, dy)) --presses;
    }
    // With Shift a press goes five entries.
    const std::int32_t steps = (viewer.input.shiftHeld ? 5 : 1) * (forward ? 1 : -1) * presses;
    if (presses > 0 && viewer.navigation.folderScan.busy()) {
        viewer.navigation.stepsAwaitingScan += steps;
        return;
    }
    if (presses == 0 || entryCount(viewer) <= 1) return;
    auto& pending = viewer.navigation.pending;
    if (pending && pending->awaits == PendingStep::Awaits::Neighbour) {
        pending->pressesSince += presses;
        pending->stepsSince += steps;
        if (pending->pressesSince >= 2) moveBy(viewer, pending->stepsSince);
        return;
    }
    if (viewer.input.shiftHeld || presses > 1 || jumping) {
        moveBy(viewer, steps);
    } else {
        stepOne(viewer, forward);
    }
}

// A jump's decode arrived: its image is shown, or, silently, the window's background.
void landJump(Viewer& viewer, const PendingStep& step) {
    if (step.origin == LoadOrigin::Opened) {
        finishOpening(viewer, step.path);
        return;
    }
    if (!loadShownImage(viewer, step.path, LoadOrigin::Step)) {
        viewer.platform.setTitle(step.path);
        dropShownPicture(viewer);
    }
}

void jumpTo(Viewer& viewer, std::int32_t target) {
    viewer.navigation.navigationStartTime = monotonicNanoseconds();
    if (viewer.playlist.paths.empty() || viewer.playlist.index == target) return;
    viewer.playlist.index = target;
    if (viewer.settings.stickyWindowSize && !windowGeometry(viewer).maximized)
        recordStickySize(viewer);
    if (!loadShownImage(viewer, currentPath(viewer.playlist), LoadOrigin::Step))
        showLoadFailure(viewer, currentPath(viewer.playlist), LoadFailure::FailedToLoad);
}

}  // namespace

bool stepUnderWay(const Viewer& viewer) {
    return viewer.navigation.pending.has_value();
}

bool stepKeysMoveTarget(const Viewer& viewer) {
    const auto& pending = viewer.navigation.pending;
    return pending && pending->origin == LoadOrigin::Step;
}

void landPendingStep(Viewer& viewer) {
    NavigationState& navigation = viewer.navigation;
    if (!navigation.pending) return;
    const PendingStep step = *navigation.pending;
    const bool waiting = step.awaits == PendingStep::Awaits::Neighbour
                             ? neighbourDecoding(viewer, sideAhead(step.forward))
                             : navigation.decode.busy() || navigation.decodeWaitsForRest;
    if (waiting) return;
    navigation.pending.reset();
    // Nothing but this step changes the playlist while it waits; should it have changed,
    // there is nothing of this step left to show.
    if (hasShownEntry(viewer.playlist) && currentPath(viewer.playlist) == step.path) {
        runGuarded(viewer, [&] {
            if (step.awaits == PendingStep::Awaits::Decode) {
                landJump(viewer, step);
                return;
            }
            finishStep(viewer, step.forward);
            // The one press that came meanwhile, unless what ran inside a failure's box
            // changed the playlist or started a step of its own.
            if (stepUnderWay(viewer) || !hasShownEntry(viewer.playlist) ||
                currentPath(viewer.playlist) != step.path)
                return;
            if (step.stepsSince == 1 || step.stepsSince == -1) {
                stepOne(viewer, step.stepsSince > 0);
            } else if (step.stepsSince != 0) {
                moveBy(viewer, step.stepsSince);
            }
        });
    }
    runDeferredInputs(viewer);
}

void runDeferredInputs(Viewer& viewer) {
    InputState& input = viewer.input;
    while (!input.deferred.empty() && !stepUnderWay(viewer) && input.handlerDepth == 0) {
        DeferredInput next = std::move(input.deferred.front());
        input.deferred.pop_front();
        next.run(viewer, next.presses);
    }
}

bool previewAhead(Viewer& viewer, bool forward) {
    const NeighbourSide side = sideAhead(forward);
    // Nothing is decoded for a preview that could not be shown.
    if (!neighbourDecoding(viewer, side) || !previewFits(viewer)) return false;
    const NeighbourJob job = neighbourJob(viewer, side);
    const cv::Mat reduced = previewOfFile(job.imagePath, job.colour);
    if (reduced.empty()) return false;
    const cv::Mat kept = viewer.shownImage.display;
    const bool drawn = drawPreview(viewer, reduced);
    viewer.shownImage.display = kept;
    return drawn;
}

bool showNeighbour(Viewer& viewer, bool forward) {
    stopAnimation(viewer);
    const bool notMaximised = !windowGeometry(viewer).maximized;
    const LeftView left{.notMaximised = notMaximised, .zoomed = viewer.view.zoomPerMille != 1000};
    ImageBuffer& shown = viewer.shownImage;
    shown.scrollX = shown.scrollY = 0;
    const std::int32_t oldMaxHeight = viewer.view.maxWindowHeight;
    refreshWindowLimits(viewer);
    if (viewer.view.maxWindowHeight != oldMaxHeight) {
        forgetNeighbourScaling(viewer);
    }
    viewer.view.zoomPerMille = 1000;
    viewer.view.zoomStepCount = 0;
    if (notMaximised && viewer.settings.stickyWindowSize) {
        forgetNeighbourScaling(viewer);
        recordStickySize(viewer);
    }
    ImageBuffer& ahead = forward ? viewer.nextImage : viewer.previousImage;
    ImageBuffer& behind = forward ? viewer.previousImage : viewer.nextImage;
    if (ahead.displayReady && holdsEntry(viewer, ahead, viewer.playlist.index) &&
        static_cast<std::int64_t>(ahead.display.rows) * ahead.display.cols >= 2) {
        if (!showPrescaled(viewer, ahead, behind, forward, left)) return false;
    } else if (!showUnscaled(viewer, ahead, behind, forward, left)) {
        return false;
    }
    playShownAnimation(viewer);
    return true;
}

void moveForward(Viewer& viewer, int dx, int dy, int presses) {
    move(viewer, dx, dy, true, presses);
}

void moveBackward(Viewer& viewer, int dx, int dy, int presses) {
    move(viewer, dx, dy, false, presses);
}

void moveBy(Viewer& viewer, std::int32_t count) {
    viewer.navigation.navigationStartTime = monotonicNanoseconds();
    const std::int32_t start = viewer.playlist.index;
    const std::int32_t direction = count < 0 ? -1 : 1;
    std::int32_t index = start;
    bool wrapped = false;
    for (std::int32_t i = 0; i < std::abs(count); ++i) {
        index = stepOnce(viewer, index, direction);
        wrapped = wrapped || (direction > 0 ? index <= start : index >= start);
    }
    if (wrapped) wrapSound(viewer);
    if (index == start) return;
    // The keys move the target when they jump on from one that waits, or when presses
    // piled up on a step that waits for its image.
    const bool targetMoves = stepKeysMoveTarget(viewer);
    // Neither neighbour is the target: their decodes are stopped.
    clearNeighbours(viewer);
    viewer.playlist.index = index;
    const QString& path = currentPath(viewer.playlist);
    viewer.navigation.pending = PendingStep{
        .awaits = PendingStep::Awaits::Decode, .origin = LoadOrigin::Step, .path = path};
    // A held key moves the target faster than pictures decode. A JPEG or PNG target decodes
    // at once: the next press stops it within a few rows, and the press the keys rest on
    // has its decode under way. Other decodes cannot be stopped part way: that target
    // decodes once the keys rest, so that the pictures passed over never take the cores
    // from it.
    if (targetMoves && !decodeStopsWhenAsked(path)) {
        cancelFileDecode(viewer);
        viewer.navigation.decodeWaitsForRest = true;
        viewer.platform.armTimer(JumpRestTimer, kJumpRestMilliseconds);
        return;
    }
    viewer.navigation.decodeWaitsForRest = false;
    startFileDecode(viewer, path);
}

void decodeRestingTarget(Viewer& viewer) {
    NavigationState& navigation = viewer.navigation;
    viewer.platform.killTimer(JumpRestTimer);
    if (!navigation.decodeWaitsForRest) return;
    navigation.decodeWaitsForRest = false;
    if (navigation.pending && navigation.pending->awaits == PendingStep::Awaits::Decode)
        startFileDecode(viewer, navigation.pending->path);
}

void goToFirst(Viewer& viewer) {
    jumpTo(viewer, 0);
}

void goToLast(Viewer& viewer) {
    jumpTo(viewer, entryCount(viewer) - 1);
}

}  // namespace pavo
