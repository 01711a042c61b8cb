#include "browse/navigation.h"

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

#include <functional>

namespace pavo {
namespace {

std::int32_t entryCount(const Viewer& viewer) {
    return static_cast<std::int32_t>(viewer.playlist.paths.size());
}

std::int32_t elapsedSinceKey(const Viewer& viewer) {
    return elapsedMilliseconds(viewer.navigation.navigationStartTime, monotonicNanoseconds());
}

void wrapSound(Viewer& viewer) {
    if (!viewer.settings.mute) viewer.platform.beep(BeepKind::Information);
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

// Whether the display swapped in is the one the client area asks for: the fitted size
// of a single image; a merged pair, whose layout has its own rules, only has to fit.
bool prescaledDisplayFits(const Viewer& viewer) {
    const ImageBuffer& shown = viewer.shownImage;
    if (viewer.merge.mergeMode != 0) {
        const Size client = windowGeometry(viewer).client;
        return shown.displayWidth <= client.width && shown.displayHeight <= client.height;
    }
    const Size fitted =
        fitSizeInClient(viewer, shown.image.cols, shown.image.rows, shown.image, shown.partner);
    return fitted.width == shown.displayWidth && fitted.height == shown.displayHeight;
}

// The record left becomes the neighbour behind. Without its decoded pixels (released
// when idle, or gone with its file) it is no use there: it is left empty, to be decoded
// again.
void leaveBehind(ImageBuffer& behind, const ImageBuffer& shown) {
    behind = shown;
    if (behind.image.empty()) {
        resetForDecode(behind);
        behind.display.release();
    }
}

// Whether the record left behind already holds the picture a screen fit gives it: its
// pixels scaled, unzoomed, to that same size are that same picture.
bool holdsScreenFit(const Viewer& viewer, const ImageBuffer& record, bool zoomed) {
    if (zoomed || !viewer.view.fitActive || viewer.merge.mergeMode != 0) return false;
    const Size size =
        fitSizeOnScreen(viewer, record.image.cols, record.image.rows, record.image, record.partner);
    return record.display.cols == size.width && record.display.rows == size.height;
}

// How the window and view stood when the step began.
struct LeftView {
    bool notMaximised = false;
    bool zoomed = false;
};

bool showPrescaled(Viewer& viewer, ImageBuffer& ahead, ImageBuffer& behind, bool forward,
                   LeftView left) {
    ImageBuffer& shown = viewer.shownImage;
    const cv::Mat leftDisplay = shown.display;
    const std::int32_t leftWidth = shown.displayWidth;
    const std::int32_t leftHeight = shown.displayHeight;
    shown.display = ahead.display;
    shown.displayWidth = ahead.displayWidth.load();
    shown.displayHeight = ahead.displayHeight.load();
    viewer.navigation.swapInProgress = true;
    const Size window = windowSizeForImage(viewer, ahead.image);
    if (!viewer.mode.fullscreenActive) applyWindowSize(viewer, window, {.partner = ahead.partner});
    requestRedraw(viewer);
    const std::int32_t elapsed = elapsedSinceKey(viewer);
    viewer.platform.setTitle(currentPath(viewer.playlist));
    ImageBuffer leftRecord = shown;
    leftRecord.display = leftDisplay;
    leftRecord.displayWidth = leftWidth;
    leftRecord.displayHeight = leftHeight;
    leaveBehind(behind, leftRecord);
    shown = ahead;
    shown.loadTimeMs = elapsed;
    requestRedraw(viewer);
    // Fitted to a window of its own, the picture left is usually the screen fit already;
    // scaling 24 megapixels again would only take the core the next decode wants.
    if (left.notMaximised && behind.ready && !holdsScreenFit(viewer, behind, left.zoomed)) {
        behind.display = prescaleForScreen(viewer, behind.image, behind.partner);
        behind.displayWidth = behind.display.cols;
        behind.displayHeight = behind.display.rows;
    }
    viewer.navigation.swapInProgress = false;
    // A window manager may refuse the size asked for (keeping the window on screen);
    // the size handler left the display alone during the swap, so fit it now.
    if (viewer.view.fitActive && !prescaledDisplayFits(viewer)) {
        rescaleShownImage(viewer);
        requestRedraw(viewer);
    }
    startWorker(viewer, forward ? NeighbourSide::Next : NeighbourSide::Previous);
    return true;
}

bool showUnscaled(Viewer& viewer, ImageBuffer& ahead, ImageBuffer& behind, bool forward) {
    ImageBuffer& shown = viewer.shownImage;
    markShownDisplayReusable(viewer);
    bool result = false;
    bool loadStartedWorkers = false;
    if (ahead.ready && !ahead.failed) {
        leaveBehind(behind, shown);
        shown = ahead;
        result = true;
    } else if (fileExists(currentPath(viewer.playlist))) {
        leaveBehind(behind, shown);
        result = loadShownImage(viewer, currentPath(viewer.playlist), LoadOrigin::Step);
        loadStartedWorkers = result;
    }
    viewer.platform.setTitle(currentPath(viewer.playlist));
    // Nothing new shown and no decoded pixels to size from (released when idle): the
    // window and the picture on screen stay as they are.
    if (!shown.image.empty()) {
        const Size window = windowSizeForImage(viewer, shown.image);
        if (!viewer.mode.fullscreenActive)
            applyWindowSize(viewer, window, {.partner = shown.partner});
        shown.displayWidth = shown.displayHeight = 1;
        rescaleShownImage(viewer);
    }
    requestRedraw(viewer);
    shown.loadTimeMs = elapsedSinceKey(viewer);
    markShownDisplayReusable(viewer);
    // A successful direct load has just started both workers for this index.
    if (!loadStartedWorkers)
        startWorker(viewer, forward ? NeighbourSide::Next : NeighbourSide::Previous);
    return result;
}

// One step in a direction; a double step while merged.
std::int32_t stepOnce(const Viewer& viewer, std::int32_t index, std::int32_t direction) {
    const std::int32_t count = entryCount(viewer);
    index = stepIndex(count, index, direction);
    if (viewer.merge.mergeMode != 0) index = stepIndex(count, index, direction);
    return index;
}

// Decodes `path` on a thread of its own; `then` runs on that thread once it is done.
EarlyDecode startFileDecode(const QString& path, std::function<void()> then = {}) {
    EarlyDecode decode;
    decode.path = path;
    decode.worker.start([path, result = decode.result, stop = decode.stop, then = std::move(then)] {
        *result = loadImageFile(path, DecodeRole::Shown, stop.get());
        if (then) then();
    });
    return decode;
}

// Keys outrunning the cache: the image beyond the one ahead starts decoding now instead
// of once the step has shown the image ahead. True when it did.
bool decodeBeyondAhead(Viewer& viewer, bool forward) {
    const std::int32_t count = entryCount(viewer);
    // Two images have nothing beyond the one ahead; a merged pair decodes two files.
    if (count < 3 || viewer.merge.mergeMode != 0) return false;
    viewer.navigation.decodeBeyond = startFileDecode(viewer.playlist.paths[static_cast<std::size_t>(
        stepIndex(count, viewer.playlist.index, forward ? 2 : -2))]);
    return true;
}

void move(Viewer& viewer, int dx, int dy, bool forward, int presses) {
    viewer.navigation.navigationStartTime = monotonicNanoseconds();
    // While a jump decodes, the shown image is not the one the keys are about: they step.
    if (!viewer.navigation.stepPending) {
        while (presses > 0 && scrollBy(viewer, dx, dy)) --presses;
    }
    if (presses == 0 || entryCount(viewer) <= 1) return;
    const int direction = forward ? 1 : -1;
    if (viewer.input.shiftHeld) {
        moveBy(viewer, 5 * direction * presses);
        return;
    }
    if (presses > 1 || viewer.navigation.stepPending) {
        moveBy(viewer, direction * presses);
        return;
    }
    // The first step that finds the image ahead still decoding gets a quick preview of
    // it. When the next one does too, the keys are outrunning the cache, and both cores
    // go to the images themselves: a preview would only slow them down.
    const bool outran =
        neighbourDecoding(viewer, forward ? NeighbourSide::Next : NeighbourSide::Previous);
    if (!(outran && viewer.navigation.lastStepOutran && decodeBeyondAhead(viewer, forward)))
        previewAhead(viewer, forward);
    viewer.navigation.lastStepOutran = outran;
    waitForWorkers(viewer);
    const std::int32_t old = viewer.playlist.index;
    const std::int32_t now = stepOnce(viewer, old, forward ? 1 : -1);
    viewer.playlist.index = now;
    if (forward ? now < old : now > old) wrapSound(viewer);
    const bool shown = showNeighbour(viewer, forward);
    // Not taken over by the step's worker (a failed step, a reload): nobody wants it.
    abandonDecode(viewer, viewer.navigation.decodeBeyond);
    if (!shown) showLoadFailure(viewer, currentPath(viewer.playlist), LoadFailure::FailedToLoad);
}

void jumpTo(Viewer& viewer, std::int32_t target) {
    viewer.navigation.navigationStartTime = monotonicNanoseconds();
    waitForWorkers(viewer);
    if (viewer.playlist.paths.empty() || viewer.playlist.index == target) return;
    viewer.playlist.index = target;
    if (viewer.settings.stickyWindowSize && !windowGeometry(viewer).maximized)
        recordStickySize(viewer);
    if (!loadShownImage(viewer, currentPath(viewer.playlist), LoadOrigin::Step))
        showLoadFailure(viewer, currentPath(viewer.playlist), LoadFailure::FailedToLoad);
}

// Shows the jump's image once its decode is done, unless another jump or load has
// taken its place since.
void finishStep(Viewer& viewer, std::uint64_t id) {
    NavigationState& navigation = viewer.navigation;
    if (!navigation.stepPending || navigation.stepDecodeId != id) return;
    if (!loadShownImage(viewer, currentPath(viewer.playlist), LoadOrigin::Step))
        showLoadFailure(viewer, currentPath(viewer.playlist), LoadFailure::FailedToLoad);
}

// Decodes the jump's target on a thread of its own; a decode for an earlier target
// is stopped.
void startStepDecode(Viewer& viewer, const QString& path) {
    NavigationState& navigation = viewer.navigation;
    abandonEarlyDecode(viewer);
    const std::uint64_t id = ++navigation.stepDecodeId;
    navigation.earlyDecode = startFileDecode(path, [&viewer, id] {
        viewer.platform.runOnUiThread([&viewer, id] { finishStep(viewer, id); });
    });
    navigation.stepPending = true;
}

}  // namespace

std::optional<EarlyDecode> takeDecodeBeyond(Viewer& viewer, const QString& path) {
    std::optional<EarlyDecode>& beyond = viewer.navigation.decodeBeyond;
    if (!beyond || beyond->path != path) return std::nullopt;
    return std::exchange(beyond, std::nullopt);
}

void previewAhead(Viewer& viewer, bool forward) {
    const NeighbourSide side = forward ? NeighbourSide::Next : NeighbourSide::Previous;
    // Nothing is decoded for a preview that could not be shown.
    if (!neighbourDecoding(viewer, side) || !previewFits(viewer)) return;
    const cv::Mat reduced = previewOfFile(neighbourJob(viewer, side).imagePath);
    if (reduced.empty()) return;
    const cv::Mat kept = viewer.shownImage.display;
    drawPreview(viewer, reduced);
    viewer.shownImage.display = kept;
}

bool showNeighbour(Viewer& viewer, bool forward) {
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
    waitForWorkers(viewer);
    if (notMaximised && viewer.settings.stickyWindowSize) {
        forgetNeighbourScaling(viewer);
        recordStickySize(viewer);
    }
    ImageBuffer& ahead = forward ? viewer.nextImage : viewer.previousImage;
    ImageBuffer& behind = forward ? viewer.previousImage : viewer.nextImage;
    if (ahead.displayReady &&
        static_cast<std::int64_t>(ahead.display.rows) * ahead.display.cols >= 2) {
        return showPrescaled(viewer, ahead, behind, forward, left);
    }
    return showUnscaled(viewer, ahead, behind, forward);
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
    // Neither neighbour is the target: their decodes are left to end on their own.
    abandonNeighbourWorkers(viewer);
    viewer.playlist.index = index;
    startStepDecode(viewer, currentPath(viewer.playlist));
}

void settleShownImage(Viewer& viewer) {
    if (viewer.navigation.stepPending) finishStep(viewer, viewer.navigation.stepDecodeId);
    restoreShownPixels(viewer);
}

void goToFirst(Viewer& viewer) {
    jumpTo(viewer, 0);
}

void goToLast(Viewer& viewer) {
    jumpTo(viewer, entryCount(viewer) - 1);
}

}  // namespace pavo
