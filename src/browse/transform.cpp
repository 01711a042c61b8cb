#include "browse/transform.h"

#include "browse/load.h"
#include "browse/neighbour_cache.h"
#include "view/view.h"
#include "view/window_fit.h"
#include "viewer.h"

#include "image/orientation.h"
#include "playlist/playlist.h"

namespace pavo {

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
    // The neighbours hold single images or other pairs: none is of use any more.
    clearNeighbours(viewer);
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
