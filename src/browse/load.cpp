#include "browse/navigation.h"
#include "browse/neighbour_cache.h"
#include "browse/transform.h"
#include "image/image.h"
#include "image/jpeg_decode.h"
#include "image/orientation.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "playlist/playlist.h"
#include "view/scale.h"
#include "view/view.h"
#include "view/window_fit.h"
#include "view/zoom.h"
#include "viewer.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace pavo {
namespace {

// Reads and decodes the merge partner of the shown image into `record`.
void decodePartnerIntoRecord(const Viewer& viewer, ImageBuffer& record) {
    const Playlist& playlist = viewer.playlist;
    const auto count = static_cast<std::int32_t>(playlist.paths.size());
    const std::int32_t index = stepIndex(count, playlist.index, viewer.merge.mergeMode);
    if (index < 0 || index >= count) throw std::out_of_range("no merge partner");
    decodePartnerInto(record, playlist.paths[static_cast<std::size_t>(index)]);
}

// The early decode's result when it was for this path; it is used once, either way,
// and a decode for another path is stopped. Either way no jump is pending any more.
std::optional<std::optional<LoadedImage>> takeEarlyDecode(Viewer& viewer, const QString& path) {
    std::optional<EarlyDecode>& early = viewer.navigation.earlyDecode;
    viewer.navigation.stepPending = false;
    std::optional<std::optional<LoadedImage>> taken;
    if (early && early->path == path && early->worker.waitFor(kWorkerWaitLimit)) {
        taken = std::move(*early->result);
    } else {
        abandonEarlyDecode(viewer);
    }
    early.reset();
    return taken;
}

// Read, decode, normalise. False when the file is no image.
bool decodeShownImage(Viewer& viewer, const QString& path, std::int32_t size) {
    ImageBuffer& shown = viewer.shownImage;
    auto early = takeEarlyDecode(viewer, path);
    auto decoded =
        early ? std::move(*early) : decodeToBgr8(readFileBytes(path, size), DecodeRole::Shown);
    if (!decoded) {
        shown.image.release();
        return false;
    }
    shown.image = decoded->image;
    shown.turn = {};
    shown.channels = decoded->channels;
    shown.fileSize = size;
    if (viewer.merge.mergeMode != 0) decodePartnerIntoRecord(viewer, shown);
    return true;
}

// The shown file decoded again, turned as the released pixels were, partner included;
// false unless it gives a picture of the size that was released.
bool decodeReleasedPixels(Viewer& viewer) {
    ImageBuffer& shown = viewer.shownImage;
    if (!hasShownEntry(viewer.playlist)) return false;
    try {
        const auto loaded = loadImageFile(currentPath(viewer.playlist));
        if (!loaded) return false;
        cv::Mat image = turnedAs(loaded->image, shown.turn);
        if (image.cols != shown.width || image.rows != shown.height) return false;
        cv::Mat partner;
        if (viewer.merge.mergeMode != 0) {
            ImageBuffer scratch;  // the record's own file size already counts the partner
            decodePartnerIntoRecord(viewer, scratch);
            partner = turnedAs(scratch.partner, shown.turn);
        }
        shown.image = image;
        shown.partner = partner;
        return true;
    } catch (const std::exception&) {
        return false;  // no partner, or no memory for the turn
    }
}

}  // namespace

bool shownPixelsReleased(const ImageBuffer& record) {
    return record.ready && record.image.empty();
}

void releaseShownPixels(Viewer& viewer) {
    ImageBuffer& shown = viewer.shownImage;
    // At its own size the picture on screen is the decoded image: nothing would go.
    if (!shown.ready || shown.image.empty() || shown.display.datastart == shown.image.datastart)
        return;
    shown.image.release();
    shown.partner.release();
}

void restoreShownPixels(Viewer& viewer) {
    ImageBuffer& shown = viewer.shownImage;
    // While a step swaps in the image ahead the index already names that image, and the
    // window's resize comes before the record on screen is replaced: nothing to decode.
    if (!shownPixelsReleased(shown) || viewer.navigation.swapInProgress) return;
    // The file went or changed while Pavo was idle: the picture stays on screen, but as
    // after a failed load nothing acts on it, and it is never kept as a neighbour.
    if (!decodeReleasedPixels(viewer)) {
        shown.ready = false;
        shown.displayReady = false;
    }
}

void abandonDecode(Viewer& viewer, std::optional<EarlyDecode>& decode) {
    if (!decode) return;
    *decode->stop = true;
    if (decode->worker.running()) viewer.workers.abandoned.push_back(decode->worker);
    decode.reset();
}

void abandonEarlyDecode(Viewer& viewer) {
    abandonDecode(viewer, viewer.navigation.earlyDecode);
}

EarlyDecode startEarlyDecode(const QString& path) {
    EarlyDecode early;
    early.path = path;
    early.worker.start(
        [path, result = early.result, preview = early.preview, previewDone = early.previewDone] {
            // Read once: the preview and the image decode the same bytes.
            const auto bytes = readImageFile(path);
            if (bytes) *preview = previewOfBytes(*bytes);
            *previewDone = true;
            if (bytes) *result = loadImageBytes(*bytes);
        });
    return early;
}

cv::Mat previewOfBytes(const FileBytes& bytes) {
    try {
        // No smaller than a small screen, so that the first look is not a blur.
        auto reduced = decodeJpegPreview(bytes, {1280, 720});
        if (!reduced) return {};
        turnUpright(*reduced, exifOrientation(bytes));
        return *reduced;
    } catch (const std::exception&) {
        return {};  // no preview; the real decode reports what is wrong
    }
}

cv::Mat previewOfFile(const QString& path) {
    const auto bytes = readImageFile(path);
    return bytes ? previewOfBytes(*bytes) : cv::Mat();
}

bool previewFits(const Viewer& viewer) {
    return viewer.view.fitActive && viewer.merge.mergeMode == 0 &&
           (windowGeometry(viewer).maximized || viewer.mode.fullscreenActive);
}

bool showEarlyPreview(Viewer& viewer, const EarlyDecode& early) {
    if (!*early.previewDone || early.preview->empty()) return false;
    const cv::Mat& preview = *early.preview;
    const std::int32_t tall = viewer.settings.autoShowOriginal;
    if (tall > 0 && preview.rows >= static_cast<std::int64_t>(tall) * preview.cols) return false;
    return drawPreview(viewer, preview);
}

bool drawPreview(Viewer& viewer, const cv::Mat& reduced) {
    if (reduced.empty() || !previewFits(viewer)) return false;
    const Size size = fitInto({reduced.cols, reduced.rows}, windowGeometry(viewer).client,
                              {.widthWinsTies = true, .raiseShortHeight = true});
    cv::Mat scaled;
    cv::resize(reduced, scaled, cv::Size(size.width, size.height), 0, 0, cv::INTER_LINEAR);
    cv::cvtColor(scaled, viewer.shownImage.display, cv::COLOR_BGR2BGRA);
    requestRedraw(viewer);
    return true;
}

void applyAutoShowOriginal(Viewer& viewer, LoadOrigin origin) {
    const std::int32_t threshold = viewer.settings.autoShowOriginal;
    const cv::Mat& image = viewer.shownImage.image;
    if (origin != LoadOrigin::Opened || threshold <= 0 || viewer.merge.mergeMode != 0 ||
        image.cols <= 0)
        return;
    if (static_cast<float>(image.rows) / static_cast<float>(image.cols) >=
        static_cast<float>(threshold)) {
        viewer.view.fitActive = false;
    }
}

bool loadShownImage(Viewer& viewer, const QString& path, LoadOrigin origin) {
    const std::int64_t start = monotonicNanoseconds();
    ImageBuffer& shown = viewer.shownImage;
    shown.scrollX = shown.scrollY = 0;
    shown.ready = false;
    waitForWorkers(viewer);
    clearNeighbours(viewer);
    if (viewer.input.anchorScrollActive) stopAnchorScroll(viewer);
    if (!fileExists(path)) return false;
    const std::int32_t size = fileSizeOf(path);
    viewer.view.zoomPerMille = 1000;
    viewer.view.zoomStepCount = 0;
    if (size == 0) {
        shown.loadTimeMs = elapsedMilliseconds(start, monotonicNanoseconds());
        return false;
    }
    try {
        if (!decodeShownImage(viewer, path, size)) return false;
    } catch (const std::exception&) {
        return false;  // OpenCV refused the data, memory ran out, or the size failed
    }

    applyAutoShowOriginal(viewer, origin);
    shown.width = shown.image.cols;
    shown.height = shown.image.rows;
    refreshWindowLimits(viewer);
    const Size window = windowSizeForImage(viewer, shown.image);
    shown.ready = true;
    if (!viewer.mode.fullscreenActive) {
        applyWindowSize(viewer, window, {.partner = shown.partner});
    }
    shown.displayWidth = shown.width;
    shown.displayHeight = shown.height;
    rescaleShownImage(viewer);
    requestRedraw(viewer);
    viewer.platform.setTitle(path);
    startNeighbourWorkers(viewer);
    shown.loadTimeMs = elapsedMilliseconds(start, monotonicNanoseconds());
    return true;
}

}  // namespace pavo
