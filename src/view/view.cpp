#include "view/view.h"

#include "view/draw.h"
#include "viewer.h"

#include <algorithm>

namespace pavo {

bool imageShown(const Viewer& viewer) {
    return viewer.shownImage.ready;
}

GeometrySnapshot windowGeometry(const Viewer& viewer) {
    return viewer.platform.geometrySnapshot();
}

Rect clientRect(const Viewer& viewer) {
    const Size client = windowGeometry(viewer).client;
    return {0, 0, client.width, client.height};
}

ScaleContext scaleContext(const Viewer& viewer) {
    const ViewerSettings& s = viewer.settings;
    return {.geometry = windowGeometry(viewer),
            .interpolation = {.largeDownscale = s.largeDownscale,
                              .downscale = s.downscale,
                              .upscale = s.upscale,
                              .largeUpscale = s.largeUpscale,
                              .zoomIn = s.zoomInScale,
                              .zoomOut = s.zoomOutScale,
                              .largeDownscaleThreshold = s.largeDownscaleThreshold,
                              .largeUpscaleThreshold = s.largeUpscaleThreshold},
            .fixWindowPosition = s.fixWindowPosition,
            .zoomPerMille = viewer.view.zoomPerMille,
            .fitActive = viewer.view.fitActive,
            .fullscreen = viewer.mode.fullscreenActive,
            .mergeMode = viewer.merge.mergeMode,
            .reverseMerge = viewer.merge.reverseMergeActive};
}

void requestRedraw(Viewer& viewer) {
    Platform& platform = viewer.platform;
    const Rect client = clientRect(viewer);
    if (viewer.settings.reduceFlicker) {
        // Erase only the bands beside and above the centred image; the image itself
        // is painted over without an erase, so it never flashes.
        const int displayWidth = viewer.shownImage.display.cols;
        const int displayHeight = viewer.shownImage.display.rows;
        if (client.width() > displayWidth) {
            const int band = static_cast<int>(std::ceil((client.width() - displayWidth) * 0.5));
            platform.invalidate({client.left, client.top, client.left + band, client.bottom}, true);
            platform.invalidate({client.right - band, client.top, client.right, client.bottom},
                                true);
        }
        if (client.height() > displayHeight) {
            const int band = static_cast<int>(std::ceil((client.height() - displayHeight) * 0.5));
            platform.invalidate({client.left, client.top, client.right, client.top + band}, true);
            platform.invalidate({client.left, client.bottom - band, client.right, client.bottom},
                                true);
        }
    } else {
        platform.invalidate(client, true);
    }
    platform.redrawNow(client);
    if (overlayDue(viewer)) platform.armTimer(OverlayTimer, 50);
}

// A frame of the size of the one before, with nothing over or beside it, covers what
// that frame covered: only the picture's area is drawn again and nothing is erased.
void redrawFrame(Viewer& viewer, Size before) {
    const ImageBuffer& shown = viewer.shownImage;
    const Size display{shown.display.cols, shown.display.rows};
    // A step waiting behind a preview of another size leaves the bands of that preview.
    if (display != before || viewer.view.infoOverlayShown || viewer.navigation.pending) {
        requestRedraw(viewer);
        return;
    }
    const Rect client = clientRect(viewer);
    const ImagePlacement at =
        placeImage({client.width(), client.height()}, display, shown.scrollX, shown.scrollY);
    viewer.platform.redrawNow({at.x, at.y, std::min(client.right, at.x + display.width),
                               std::min(client.bottom, at.y + display.height)});
}

}  // namespace pavo
