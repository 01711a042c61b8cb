// Loading the shown image: the direct load, the decodes a start or a jump begins on a
// job, the quick previews, and the idle release of decoded pixels.
#include "browse/load.h"

#include "browse/animation.h"
#include "browse/colour.h"
#include "browse/navigation.h"
#include "browse/neighbour_cache.h"
#include "image/header_reading.h"
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

#include <future>

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
    decodePartnerInto(record, playlist.paths[static_cast<std::size_t>(index)],
                      viewer.colour.target);
}

// The decode a start or a jump made of `path`, taken once; nothing when none was made of
// it. Either way no decode is wanted any more.
std::optional<std::optional<LoadedImage>> takeDecoded(Viewer& viewer, const QString& path) {
    NavigationState& navigation = viewer.navigation;
    std::optional<std::optional<LoadedImage>> taken;
    if (navigation.decoded && navigation.decoded->path == path)
        taken = std::move(navigation.decoded->image);
    cancelFileDecode(viewer);
    return taken;
}

// Read, decode, normalise. False when the file is no image.
bool decodeShownImage(Viewer& viewer, const QString& path, std::int32_t size) {
    ImageBuffer& shown = viewer.shownImage;
    auto early = takeDecoded(viewer, path);
    auto decoded = early ? std::move(*early)
                         : decodeToBgr8(readFileBytes(path, size), DecodeRole::Shown, nullptr,
                                        viewer.colour.target);
    if (!decoded) {
        shown.image.release();
        return false;
    }
    shown.image = decoded->image;
    shown.turn = {};
    shown.channels = decoded->channels;
    shown.animated = decoded->animated;
    shown.frameIndex = 0;
    shown.profileName = decoded->profileName;
    shown.colourId = decoded->colourId;
    shown.fileSize = size;
    shown.path = path;
    shown.partner.release();
    shown.partnerPath.clear();
    if (viewer.merge.mergeMode != 0) decodePartnerIntoRecord(viewer, shown);
    return true;
}

// Sizes the window for the decoded image and makes its picture.
void showDecodedImage(Viewer& viewer, LoadOrigin origin) {
    ImageBuffer& shown = viewer.shownImage;
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
}

// The record's own files decoded again, turned as the released pixels were, partner
// included; false unless they give a picture of the size that was released.
bool decodeReleasedPixels(ImageBuffer& shown, const ColourTarget& target) {
    try {
        auto again = decodeShownPixelsAgain(shown, target, nullptr);
        if (!again) return false;
        shown.image = again->image;
        shown.partner = again->partner;
        shown.profileName = again->profileName;
        shown.colourId = target.id();
        return true;
    } catch (const std::exception&) {
        return false;  // no partner, or no memory for the turn
    }
}

}  // namespace

std::optional<ShownPixels> decodeShownPixelsAgain(const ImageBuffer& record,
                                                  const ColourTarget& target,
                                                  const std::atomic<bool>* stop) {
    const auto loaded = loadImageFile(record.path, DecodeRole::Shown, stop, target);
    if (!loaded) return std::nullopt;
    ShownPixels again{turnedAs(loaded->image, record.turn), {}, loaded->profileName};
    if (again.image.cols != record.width || again.image.rows != record.height) return std::nullopt;
    if (!record.partnerPath.isEmpty()) {
        ImageBuffer scratch;  // the record's own file size already counts the partner
        decodePartnerInto(scratch, record.partnerPath, target);
        again.partner = turnedAs(scratch.partner, record.turn);
    }
    return again;
}

bool shownPixelsReleased(const ImageBuffer& record) {
    return record.ready && record.image.empty();
}

void releaseShownPixels(Viewer& viewer) {
    ImageBuffer& shown = viewer.shownImage;
    // At its own size the picture on screen is the decoded image: nothing would go. A
    // playing animation replaces its pixels frame after frame anyway.
    if (animationPlays(viewer) || !shown.ready || shown.image.empty() ||
        shown.display.datastart == shown.image.datastart)
        return;
    shown.image.release();
    shown.partner.release();
}

void restoreShownPixels(Viewer& viewer) {
    ImageBuffer& shown = viewer.shownImage;
    // While a step swaps in the image ahead, the window's resize comes before the record
    // on screen is replaced: nothing to decode.
    if (!shownPixelsReleased(shown) || viewer.navigation.swapInProgress) return;
    // The file went or changed while Pavo was idle: the picture stays on screen, but as
    // after a failed load nothing acts on it, and it is never kept as a neighbour.
    if (!decodeReleasedPixels(shown, viewer.colour.target)) {
        shown.ready = false;
        shown.displayReady = false;
    }
}

void dropShownPicture(Viewer& viewer) {
    stopAnimation(viewer);
    ImageBuffer& shown = viewer.shownImage;
    shown.ready = false;
    shown.displayReady = false;
    shown.image.release();
    shown.partner.release();
    shown.display.release();
    viewer.platform.invalidate(clientRect(viewer), true);
}

namespace {

// The job that decodes `path` for the load of that path to take; a decode of another file
// is stopped now.
std::function<void()> fileDecodeJob(Viewer& viewer, const QString& path) {
    NavigationState& navigation = viewer.navigation;
    cancelFileDecode(viewer);
    const JobSlot::Ticket ticket = navigation.decode.begin(nextJobId(viewer));
    navigation.decodePath = path;
    return makeJob<LoadedImage>(
        viewer.platform, ticket.token,
        [path, target = viewer.colour.target, turn = navigation.decodeTurn,
         stops =
             decodeStopsWhenAsked(path)](const CancelToken& token) -> std::optional<LoadedImage> {
            // Only a decode that stops part way holds the turn: one that cannot stop would
            // hold the next back for the whole of its decode.
            std::unique_lock oneAtATime(*turn, std::defer_lock);
            if (stops) oneAtATime.lock();
            if (token.cancelled()) return std::nullopt;
            return loadImageFile(path, DecodeRole::Shown, token.flag(), target);
        },
        [&viewer, id = ticket.id, path](std::optional<LoadedImage> image) {
            NavigationState& navigation = viewer.navigation;
            if (!navigation.decode.wants(id)) return;
            navigation.decode.done();
            navigation.decoded = DecodedFile{path, std::move(image)};
            landPendingStep(viewer);
        });
}

}  // namespace

void startFileDecode(Viewer& viewer, const QString& path) {
    viewer.platform.runJob(fileDecodeJob(viewer, path));
}

void startEarlyDecode(Viewer& viewer, const QString& path, StartPreview preview) {
    std::optional<EarlyFirstLook> early = std::exchange(viewer.navigation.earlyFirstLook, {});
    if (early && (preview == StartPreview::None || early->path != path)) {
        early->token.cancel();
        early.reset();
    }
    if (preview == StartPreview::None) {
        startFileDecode(viewer, path);
        return;
    }
    // The preview comes first and the image decodes once it is drawn: on two cores, two
    // decodes and the new window's set-up at once made the first look later than the
    // preview and image one after the other, and the image's decode beside the drawing
    // delayed the drawing. The preview's result starts the image's job whatever befell the
    // preview; that job is never stopped, so the image's decode always starts.
    std::function<void()> imageJob = fileDecodeJob(viewer, path);
    NavigationState& navigation = viewer.navigation;
    const JobSlot::Ticket ticket = navigation.preview.begin(nextJobId(viewer));
    JobRunner& runner = viewer.platform;
    startJob<cv::Mat>(
        runner, viewer.platform, CancelToken{},
        [path, target = viewer.colour.target, early = std::move(early)](const CancelToken&) {
            // The early decode always ends (its token is never set now), in a job of its own.
            return std::optional<cv::Mat>(early ? finishFirstLook(early->decoded.get(), target)
                                                : previewOfFile(path, target));
        },
        [&viewer, &runner, imageJob = std::move(imageJob),
         id = ticket.id](std::optional<cv::Mat> reduced) {
            NavigationState& navigation = viewer.navigation;
            if (navigation.preview.wants(id)) {
                navigation.preview.done();
                if (reduced) navigation.startPreview = *reduced;
                showStartPreview(viewer);
            }
            runner.runJob(imageJob);
        });
}

bool decodeStarted(const Viewer& viewer, const QString& path) {
    const NavigationState& navigation = viewer.navigation;
    return navigation.decodePath == path && (navigation.decode.busy() || decodeDone(viewer, path));
}

bool decodeDone(const Viewer& viewer, const QString& path) {
    const NavigationState& navigation = viewer.navigation;
    return navigation.decoded && navigation.decoded->path == path;
}

void cancelFileDecode(Viewer& viewer) {
    NavigationState& navigation = viewer.navigation;
    navigation.decode.cancel();
    navigation.decodePath.clear();
    navigation.decoded.reset();
    navigation.preview.cancel();
    navigation.startPreview.release();
}

std::optional<JpegPreview> decodeFirstLook(const QString& path, const std::atomic<bool>* stop) {
    try {
        // Read in pieces: a first look should not wait for a copy of the whole file.
        FileStream file(path);
        // No smaller than a small screen, so that the first look is not a blur.
        return decodeJpegPreview(file, {1280, 720}, stop);
    } catch (const std::exception&) {
        return std::nullopt;  // no preview; the real decode reports what is wrong
    }
}

cv::Mat finishFirstLook(std::optional<JpegPreview> look, const ColourTarget& colour) {
    if (!look) return {};
    try {
        if (colour.enabled) {
            applyColour(prepareColour(header::colourOf({look->head.data(), look->head.size()}),
                                      ColourPixels::Bgr, colour),
                        look->pixels);
        }
        turnUpright(look->pixels, exifOrientation(look->head));
        return look->pixels;
    } catch (const std::exception&) {
        return {};
    }
}

cv::Mat previewOfFile(const QString& path, const ColourTarget& colour) {
    return finishFirstLook(decodeFirstLook(path), colour);
}

EarlyFirstLook beginFirstLook(JobRunner& runner, const QString& path) {
    auto promise = std::make_shared<std::promise<std::optional<JpegPreview>>>();
    EarlyFirstLook look{path, CancelToken{}, promise->get_future().share()};
    runner.runJob([path, token = look.token, promise] {
        promise->set_value(decodeFirstLook(path, token.flag()));
    });
    return look;
}

bool previewFits(const Viewer& viewer) {
    return viewer.view.fitActive && viewer.merge.mergeMode == 0 &&
           (windowGeometry(viewer).maximized || viewer.mode.fullscreenActive);
}

bool showStartPreview(Viewer& viewer) {
    const NavigationState& navigation = viewer.navigation;
    const cv::Mat& preview = navigation.startPreview;
    if (!navigation.pending || navigation.pending->origin != LoadOrigin::Opened || preview.empty())
        return false;
    // A tall image opens at its own size: no fitted preview stands for it.
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
    // A matrix of its own: the step behind the preview puts the shown record's display
    // back afterwards, and converting into it would write the preview over its pixels.
    cv::Mat display;
    cv::cvtColor(scaled, display, cv::COLOR_BGR2BGRA);
    viewer.shownImage.display = display;
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
    stopAnimation(viewer);
    shown.scrollX = shown.scrollY = 0;
    shown.ready = false;
    clearNeighbours(viewer);
    if (viewer.input.anchorScrollActive) stopAnchorScroll(viewer);
    if (!fileExists(path)) {
        cancelFileDecode(viewer);
        return false;
    }
    const std::int32_t size = fileSizeOf(path);
    viewer.view.zoomPerMille = 1000;
    viewer.view.zoomStepCount = 0;
    if (size == 0) {
        cancelFileDecode(viewer);
        shown.loadTimeMs = elapsedMilliseconds(start, monotonicNanoseconds());
        return false;
    }
    try {
        if (!decodeShownImage(viewer, path, size)) return false;
        showDecodedImage(viewer, origin);
    } catch (const std::exception&) {
        // OpenCV refused the data, memory ran out, or the size failed: nothing half-shown.
        dropShownPicture(viewer);
        return false;
    }
    requestRedraw(viewer);
    viewer.platform.setTitle(path);
    startNeighbourWorkers(viewer);
    playShownAnimation(viewer);
    keepColourCurrent(viewer);  // a start's or a jump's decode made for another monitor
    shown.loadTimeMs = elapsedMilliseconds(start, monotonicNanoseconds());
    return true;
}

}  // namespace pavo
