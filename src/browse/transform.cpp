#include "browse/transform.h"

#include "browse/navigation.h"
#include "browse/neighbour_cache.h"
#include "view/view.h"
#include "view/window_fit.h"
#include "viewer.h"

#include <opencv2/core.hpp>

#include <array>

namespace pavo {
namespace {

// The transforms write new pixels: a record's matrices may share theirs with a
// neighbour record or with each other (an image shown at its own size is its display),
// and flipping shared pixels in place would change those too, or undo itself.
cv::Mat turnedClockwise(const cv::Mat& matrix) {
    if (matrix.empty()) return matrix;
    cv::Mat turned;
    cv::transpose(matrix, turned);
    cv::flip(turned, turned, 1);
    return turned;
}

cv::Mat mirrored(const cv::Mat& matrix) {
    if (matrix.empty()) return matrix;
    cv::Mat flipped;
    cv::flip(matrix, flipped, 1);
    return flipped;
}

}  // namespace

PictureTurn withQuarterTurn(PictureTurn turn) {
    return {(turn.quarterTurns + 1) % 4, turn.mirrored};
}

// A mirror after turning by t equals turning by -t after a mirror.
PictureTurn withMirror(PictureTurn turn) {
    return {(4 - turn.quarterTurns) % 4, !turn.mirrored};
}

cv::Mat turnedAs(const cv::Mat& decoded, PictureTurn turn) {
    cv::Mat facing = turn.mirrored ? mirrored(decoded) : decoded;
    if (turn.quarterTurns % 4 == 0) return facing;
    static constexpr std::array<int, 3> kRotation{cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180,
                                                  cv::ROTATE_90_COUNTERCLOCKWISE};
    cv::Mat turned;
    cv::rotate(facing, turned, kRotation.at(static_cast<std::size_t>(turn.quarterTurns % 4 - 1)));
    return turned;
}

void rotateQuarter(Viewer& viewer) {
    if (!imageShown(viewer)) return;
    ImageBuffer& shown = viewer.shownImage;
    shown.turn = withQuarterTurn(shown.turn);
    shown.image = turnedClockwise(shown.image);
    if (viewer.merge.mergeMode != 0) shown.partner = turnedClockwise(shown.partner);
    shown.width = shown.image.cols;
    shown.height = shown.image.rows;
    refit(viewer, ScrollReset::Always);
    scrollBy(viewer, 0, 0);
    requestRedraw(viewer);
}

void mirrorImage(Viewer& viewer) {
    if (!imageShown(viewer)) return;
    ImageBuffer& shown = viewer.shownImage;
    const bool displayIsImage = shown.display.data == shown.image.data;
    shown.turn = withMirror(shown.turn);
    shown.image = mirrored(shown.image);
    shown.display = displayIsImage ? shown.image : mirrored(shown.display);
    if (viewer.merge.mergeMode != 0) shown.partner = mirrored(shown.partner);
    requestRedraw(viewer);
}

void toggleMerge(Viewer& viewer, int direction) {
    waitForWorkers(viewer);
    if (viewer.merge.mergeMode != direction) {
        viewer.merge.mergeMode = direction;
        viewer.view.fitActive = true;
    } else {
        viewer.merge.mergeMode = 0;
    }
    if (hasShownEntry(viewer.playlist))
        loadShownImage(viewer, currentPath(viewer.playlist), LoadOrigin::Step);
}

void toggleReverseMerge(Viewer& viewer) {
    if (viewer.merge.mergeMode == 0) return;
    viewer.merge.reverseMergeActive = !viewer.merge.reverseMergeActive;
    forgetNeighbourScaling(viewer);
    refit(viewer, ScrollReset::Always);
    schedulePrescale(viewer);
}

}  // namespace pavo
