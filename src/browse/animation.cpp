#include "browse/animation.h"

#include "browse/neighbour_cache.h"
#include "image/orientation.h"
#include "view/scale.h"
#include "view/view.h"
#include "viewer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <utility>
#include <vector>

namespace pavo {
namespace {

// Frames held ahead: enough to ride out a slow frame, few enough that a 4K animation
// holds tens of megabytes, not the whole file.
constexpr std::size_t kMostFramesAhead = 6;
constexpr std::uint64_t kBytesAhead = std::uint64_t{64} << 20;

std::size_t framesToHold(const ImageBuffer& shown) {
    const auto pixels = static_cast<std::uint64_t>(shown.width) * shown.height;
    const auto displayPixels = static_cast<std::uint64_t>(shown.displayWidth) * shown.displayHeight;
    const std::uint64_t perFrame = std::max<std::uint64_t>(pixels * 3 + displayPixels * 4, 1);
    return std::clamp<std::size_t>(kBytesAhead / perFrame, 1, kMostFramesAhead);
}

// What a job hands back: the frames it composed and the source to read on from.
struct ComposedBatch {
    FrameSource source;
    std::vector<ComposedFrame> frames;
    bool failed = false;  // the file failed at the frame after these
};

// A frame is drawn once and then replaced: it gets the screen's pixel layout here, on the
// job, also at its own size, where a still picture's decoded pixels are drawn as they are.
cv::Mat frameDisplay(const ScaleContext& context, const cv::Mat& turned, cv::Mat spare) {
    cv::Mat display = displayForClient(context, turned, spare);
    if (display.data != turned.data || turned.channels() != 3) return display;
    cv::cvtColor(turned, spare, cv::COLOR_BGR2BGRA);
    return spare;
}

// Reads up to `count` frames, each turned and scaled as the window stood when the job began.
ComposedBatch composeFrames(FrameSource source, std::size_t count, PictureTurn turn,
                            const ScaleContext& context, std::vector<cv::Mat> spares,
                            const CancelToken& token) {
    ComposedBatch batch{std::move(source), {}, false};
    while (batch.frames.size() < count && !token.cancelled()) {
        auto frame = readFrame(batch.source);
        if (!frame) {
            batch.failed = true;
            break;
        }
        ComposedFrame composed{std::move(*frame), turn, {}, {}, context};
        composed.turned = turnedAs(composed.frame.image, turn);
        cv::Mat spare;
        if (!spares.empty()) {
            spare = std::move(spares.back());
            spares.pop_back();
        }
        composed.display = frameDisplay(context, composed.turned, std::move(spare));
        batch.frames.push_back(std::move(composed));
    }
    return batch;
}

// The display of a frame leaving the screen is scaled into again, unless something
// else holds it (the neighbour cache shares a shown record's): fresh pages for every
// frame cost more than scaling it.
void keepSpareDisplay(Viewer& viewer, cv::Mat display) {
    std::vector<cv::Mat>& spares = viewer.animation.spareDisplays;
    // A batch starts when half the frames ahead are shown: as many spares as it needs, and
    // so no more than half the frames' memory besides.
    const std::size_t most = std::max<std::size_t>(framesToHold(viewer.shownImage) / 2, 1);
    if (display.type() == CV_8UC4 && display.u != nullptr && display.u->refcount == 1 &&
        spares.size() < most)
        spares.push_back(std::move(display));
}

std::vector<cv::Mat> takeSpareDisplays(AnimationState& animation) {
    return std::exchange(animation.spareDisplays, {});
}

void showNextFrame(Viewer& viewer, bool countsPlay);

// A job's frames arrived. With `showFirst` (a start or a frame sought), the first goes on
// screen at once; otherwise they wait their turn.
void takeFrames(Viewer& viewer, std::uint64_t id, std::optional<ComposedBatch> batch,
                bool showFirst) {
    AnimationState& animation = viewer.animation;
    if (!animation.compose.wants(id)) return;
    animation.compose.done();
    if (!batch || batch->frames.empty()) {
        // The file changed or broke: what is on screen stays, and nothing plays any more.
        viewer.platform.killTimer(AnimationTimer);
        animation.ahead.clear();
        animation.source.reset();
        animation.frameDue = false;
        return;
    }
    animation.frameCount = batch->source.frames->frameCount();
    animation.plays = batch->source.frames->plays();
    if (!batch->failed) animation.source = std::move(batch->source);
    for (ComposedFrame& frame : batch->frames) animation.ahead.push_back(std::move(frame));
    if (showFirst || animation.frameDue) showNextFrame(viewer, !showFirst);
}

void startComposing(Viewer& viewer,
                    std::function<std::optional<ComposedBatch>(const CancelToken&)> work,
                    bool showFirst) {
    AnimationState& animation = viewer.animation;
    const std::uint64_t id = nextJobId(viewer);
    const JobSlot::Ticket ticket = animation.compose.begin(id);
    startJob<ComposedBatch>(viewer.platform, viewer.platform, ticket.token, std::move(work),
                            [&viewer, id, showFirst](std::optional<ComposedBatch> batch) {
                                takeFrames(viewer, id, std::move(batch), showFirst);
                            });
}

// Opens the shown file's frames again and shows frame `index` (the frames before it are
// composed and let go: a file's frames can only be read in order).
void showFrameAt(Viewer& viewer, std::int32_t index) {
    AnimationState& animation = viewer.animation;
    animation.ahead.clear();
    animation.source.reset();
    const std::size_t count = framesToHold(viewer.shownImage);
    startComposing(
        viewer,
        [path = animation.path, index, count, turn = viewer.shownImage.turn,
         target = viewer.colour.target, context = scaleContext(viewer),
         spares = takeSpareDisplays(animation)](
            const CancelToken& token) mutable -> std::optional<ComposedBatch> {
            auto source = openFrameSource(path, target);
            if (!source) return std::nullopt;
            while (source->nextIndex != index % source->frames->frameCount()) {
                if (token.cancelled() || !readFrame(*source)) return std::nullopt;
            }
            return composeFrames(std::move(*source), count, turn, context, std::move(spares),
                                 token);
        },
        true);
}

// Keeps the frames ahead topped up, a batch at a time.
void composeAhead(Viewer& viewer) {
    AnimationState& animation = viewer.animation;
    const std::size_t hold = framesToHold(viewer.shownImage);
    if (animation.compose.busy() || !animation.source || animation.ahead.size() > hold / 2) return;
    startComposing(
        viewer,
        [source = std::move(*animation.source), count = hold - animation.ahead.size(),
         turn = viewer.shownImage.turn, context = scaleContext(viewer),
         spares = takeSpareDisplays(animation)](const CancelToken& token) mutable {
            return std::optional<ComposedBatch>(
                composeFrames(std::move(source), count, turn, context, std::move(spares), token));
        },
        false);
    animation.source.reset();
}

// Puts a frame in the shown record, turned as the record is now and scaled for the
// window as it is now (a frame made before a turn or a resize is made again).
void putFrame(Viewer& viewer, const ComposedFrame& composed) {
    ImageBuffer& shown = viewer.shownImage;
    const bool sameTurn = composed.turn == shown.turn;
    shown.image = sameTurn ? composed.turned : turnedAs(composed.frame.image, shown.turn);
    shown.frameIndex = composed.frame.index;
    const Size before{shown.display.cols, shown.display.rows};
    keepSpareDisplay(viewer, std::move(shown.display));
    if (sameTurn && sameScaling(composed.context, scaleContext(viewer))) {
        shown.display = composed.display;
        shown.displayWidth = shown.display.cols;
        shown.displayHeight = shown.display.rows;
    } else {
        rescaleShownImage(viewer);
    }
    redrawFrame(viewer, before);
}

void armFrameTimer(Viewer& viewer) {
    viewer.platform.killTimer(AnimationTimer);
    if (!viewer.animation.paused)
        viewer.platform.armTimer(AnimationTimer, viewer.animation.delayMs);
}

// The frame after the shown one, once it is there. Coming back to the first frame ends a
// play (`countsPlay`); after the plays the file asks for, the animation rests on its last
// frame until it is resumed.
void showNextFrame(Viewer& viewer, bool countsPlay) {
    AnimationState& animation = viewer.animation;
    animation.frameDue = false;
    if (animation.ahead.empty()) {
        animation.frameDue = animation.source.has_value() || animation.compose.busy();
        composeAhead(viewer);
        return;
    }
    if (countsPlay && animation.ahead.front().frame.index == 0 &&
        viewer.shownImage.frameIndex != 0 && animation.plays > 0 &&
        ++animation.playsDone >= animation.plays) {
        animation.paused = animation.finished = true;
        viewer.platform.killTimer(AnimationTimer);
        return;
    }
    const ComposedFrame next = std::move(animation.ahead.front());
    animation.ahead.pop_front();
    putFrame(viewer, next);
    animation.delayMs = next.frame.delayMs;
    armFrameTimer(viewer);
    composeAhead(viewer);
}

}  // namespace

bool animationPlays(const Viewer& viewer) {
    return !viewer.animation.path.isEmpty();
}

void playShownAnimation(Viewer& viewer) {
    const ImageBuffer& shown = viewer.shownImage;
    if (!shown.ready || !shown.animated || shown.image.empty() || viewer.merge.mergeMode != 0)
        return;
    if (viewer.animation.path == shown.path) return;
    stopAnimation(viewer);
    viewer.animation.path = shown.path;
    showFrameAt(viewer, shown.frameIndex);
}

void stopAnimation(Viewer& viewer) {
    if (!animationPlays(viewer)) return;
    viewer.animation.compose.cancel();
    viewer.platform.killTimer(AnimationTimer);
    viewer.animation = AnimationState{};
}

void animationTimeUp(Viewer& viewer) {
    viewer.platform.killTimer(AnimationTimer);
    if (animationPlays(viewer) && !viewer.animation.paused) showNextFrame(viewer, true);
}

void togglePlayback(Viewer& viewer) {
    AnimationState& animation = viewer.animation;
    if (!animationPlays(viewer)) return;
    animation.paused = !animation.paused;
    if (animation.finished) {
        animation.finished = false;
        animation.playsDone = 0;
        showNextFrame(viewer, false);
        return;
    }
    armFrameTimer(viewer);
}

void stepFrame(Viewer& viewer, bool forward) {
    AnimationState& animation = viewer.animation;
    if (!animationPlays(viewer) || animation.frameCount == 0) return;
    animation.paused = true;
    animation.finished = false;
    viewer.platform.killTimer(AnimationTimer);
    if (forward) {
        showNextFrame(viewer, false);
        return;
    }
    const std::int32_t count = animation.frameCount;
    animation.compose.cancel();
    showFrameAt(viewer, (viewer.shownImage.frameIndex + count - 1) % count);
}

}  // namespace pavo
