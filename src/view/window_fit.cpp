#include "view/window_fit.h"

#include "view/draw.h"
#include "view/merge.h"
#include "view/scale.h"
#include "view/view.h"
#include "view/zoom.h"
#include "viewer.h"

#include <algorithm>
#include <cmath>

namespace pavo {
namespace {

// Frame width and height: the outer window minus the client area (the menu bar
// counts as frame).
Size frameSize(const GeometrySnapshot& geometry) {
    return {geometry.window.width() - geometry.client.width,
            geometry.window.height() - geometry.client.height};
}

// The client size that keeps the sticky width, limited by the monitor.
Size stickyOuterSize(const Viewer& viewer, const GeometrySnapshot& geometry,
                     const cv::Mat& partner) {
    const Size frame = frameSize(geometry);
    const MonitorInfo& monitor = geometry.monitor;
    const int fix = viewer.settings.fixWindowPosition;
    const ImageBuffer& shown = viewer.shownImage;
    const Size image =
        viewer.merge.mergeMode != 0
            ? mergedFitSize(scaleContext(viewer), geometry.client, shown.image, partner)
            : Size{shown.width, shown.height};
    const auto imageWidth = static_cast<float>(image.width);
    const auto imageHeight = static_cast<float>(image.height);
    const float scale = imageWidth / static_cast<float>(viewer.view.stickyWidth);
    int clientWidth = roundedSide(imageWidth / scale);
    int clientHeight = roundedSide(imageHeight / scale);
    const float aspect = imageWidth / imageHeight;
    if (clientHeight + frame.height > monitor.work.height() + fix) {
        clientHeight = monitor.work.height() - frame.height + fix;
        clientWidth = static_cast<int>(static_cast<float>(clientHeight) * aspect);
    } else if (clientWidth + frame.width > monitor.monitor.width() + 2 * fix) {
        clientWidth = monitor.monitor.width() + 2 * fix - frame.width;
        clientHeight = static_cast<int>(static_cast<float>(clientWidth) / aspect);
    }
    return {clientWidth + frame.width, clientHeight + frame.height};
}

// Moves a dragged corner so that the outer size is at least the minimum.
void enforceMinimum(Rect& r, bool moveTop, bool moveLeft) {
    if (r.height() < kMinimumWindowSize.height) {
        if (moveTop) {
            r.top = r.bottom - kMinimumWindowSize.height;
        } else {
            r.bottom = r.top + kMinimumWindowSize.height;
        }
    }
    if (r.width() < kMinimumWindowSize.width) {
        if (moveLeft) {
            r.left = r.right - kMinimumWindowSize.width;
        } else {
            r.right = r.left + kMinimumWindowSize.width;
        }
    }
}

}  // namespace

void refreshWindowLimits(Viewer& viewer) {
    const MonitorInfo monitor = windowGeometry(viewer).monitor;
    const int fix = viewer.settings.fixWindowPosition;
    viewer.view.maxWindowHeight = monitor.work.height() + fix;
    viewer.view.maxWindowWidth =
        fix >= 1 ? monitor.monitor.width() + 2 * fix : monitor.monitor.width();
}

Size windowSizeForImage(Viewer& viewer, const cv::Mat& image) {
    return windowSizeForImage(viewer, Size{image.cols, image.rows});
}

Size windowSizeForImage(Viewer& viewer, Size pixels) {
    const Size frame = frameSize(windowGeometry(viewer));
    if (viewer.view.maxWindowWidth == 0 || viewer.view.maxWindowHeight == 0)
        refreshWindowLimits(viewer);
    const int maxWidth = viewer.view.maxWindowWidth;
    const int maxHeight = viewer.view.maxWindowHeight;
    const int w = pixels.width;
    const int h = pixels.height;
    const int availableWidth = maxWidth - frame.width;
    const int availableHeight = maxHeight - frame.height;
    const bool fit = viewer.view.fitActive;
    if (w <= availableWidth && h <= availableHeight && !fit)
        return {frame.width + w, frame.height + h};
    if (!fit) {
        return {w > maxWidth ? maxWidth : frame.width + w,
                h > maxHeight ? maxHeight : frame.height + h};
    }
    if (h <= 0) return {frame.width, frame.height};
    const Size fitted =
        fitInto({w, h}, {availableWidth, availableHeight}, {.widthWinsTies = false});
    return {frame.width + fitted.width, frame.height + fitted.height};
}

// The window of a merged pair: as wide as both images, as high as the higher.
Size mergedWindowSize(Viewer& viewer, Size outer, const GeometrySnapshot& geometry,
                      const cv::Mat& partner) {
    const Size frame = frameSize(geometry);
    const int fix = viewer.settings.fixWindowPosition;
    const Size partnerOuter = windowSizeForImage(viewer, partner);
    // Both outer widths hold a frame; the pair has one.
    int width = outer.width + partnerOuter.width - frame.width;
    const int limit = geometry.monitor.monitor.width() + 2 * fix;
    const int excess = width > limit ? width - limit : 0;
    if (excess > 0) width = limit;
    int clientHeight =
        std::max(outer.height - frame.height, partnerOuter.height - frame.height - fix);
    const float ratio = static_cast<float>(width + excess) / static_cast<float>(clientHeight);
    if (excess > 0)
        clientHeight = roundedSide(static_cast<float>(2 * fix - frame.width + width) / ratio);
    return {width, std::min(clientHeight + frame.height, viewer.view.maxWindowHeight)};
}

void applyWindowSize(Viewer& viewer, Size outer, const WindowSizing& how) {
    Platform& platform = viewer.platform;
    const GeometrySnapshot geometry = windowGeometry(viewer);
    int width = outer.width;
    int height = outer.height;
    if (geometry.maximized || width < 2 || height < 2 || !imageShown(viewer)) return;
    const MonitorInfo& monitor = geometry.monitor;
    const int fix = viewer.settings.fixWindowPosition;
    if (viewer.merge.mergeMode != 0) {
        const Size merged = mergedWindowSize(viewer, {width, height}, geometry, how.partner);
        width = merged.width;
        height = merged.height;
    }
    if (viewer.settings.stickyWindowSize && viewer.view.stickyWidth > 0 && how.sticky) {
        const Size sticky = stickyOuterSize(viewer, geometry, how.partner);
        width = sticky.width;
        height = sticky.height;
    }
    width = std::min(width, viewer.view.maxWindowWidth);
    height = std::min(height, viewer.view.maxWindowHeight);

    const Rect& current = geometry.window;
    const WindowPlacement& saved = viewer.mode.savedPlacement;
    int x = current.left;
    int y = current.top;
    if (how.pinLeftEdge && x == 0) x = -fix;
    if (how.restoreSaved) {
        x = saved.normal.left;
        y = saved.normal.top;
    }
    const Rect& work = monitor.work;
    if (x + width > work.right + fix) {
        x = work.right + fix - width;
    } else if (x < work.left - fix) {
        x = work.left - fix;
    }
    if (y + height > work.bottom + fix) {
        y = work.bottom + fix - height;
    } else {
        y = std::max(y, work.top);
    }
    if (how.restoreSaved && saved.showCommand == 3) {
        platform.restorePlacement(saved);
    } else {
        platform.setWindowRect({x, y, x + width, y + height});
    }
}

void snapWindowToMonitor(Viewer& viewer) {
    const GeometrySnapshot geometry = windowGeometry(viewer);
    if (!viewer.settings.snapToMonitorEdge || geometry.maximized) return;
    const Rect& window = geometry.window;
    const Rect& work = geometry.monitor.work;
    const int fix = viewer.settings.fixWindowPosition;
    int x = std::max(window.left, work.left - fix);
    if (x + window.width() > work.right + fix) x = work.right + fix - window.width();
    int y = std::max(window.top, work.top);
    if (y + window.height() > work.bottom + fix) y = work.bottom + fix - window.height();
    if (x != window.left || y != window.top) viewer.platform.moveWindow(x, y);
}

void refit(Viewer& viewer, ScrollReset reset) {
    const bool forceScrollReset = reset == ScrollReset::Always;
    if (!imageShown(viewer)) return;
    ImageBuffer& shown = viewer.shownImage;
    if (forceScrollReset || viewer.view.zoomPerMille != 1000) shown.scrollX = shown.scrollY = 0;
    viewer.view.zoomPerMille = 1000;
    viewer.view.zoomStepCount = 0;
    if (viewer.input.anchorScrollActive) stopAnchorScroll(viewer);
    refreshWindowLimits(viewer);
    const Size size = windowSizeForImage(viewer, shown.image);
    if (!viewer.mode.fullscreenActive) {
        applyWindowSize(viewer, size, {.sticky = false, .partner = shown.partner});
    }
    if (!forceScrollReset) scrollBy(viewer, 0, 0);
    rescaleShownImage(viewer);
    requestRedraw(viewer);
}

void constrainSizing(Viewer& viewer, SizingEdge edge, Rect& r) {
    const ImageBuffer& shown = viewer.shownImage;
    const GeometrySnapshot geometry = windowGeometry(viewer);
    if (!imageShown(viewer) || geometry.maximized || viewer.input.ctrlHeld ||
        !viewer.view.fitActive) {
        return;
    }
    const float ratio =
        viewer.merge.mergeMode != 0
            ? static_cast<float>(shown.displayWidth) / static_cast<float>(shown.displayHeight)
            : static_cast<float>(shown.width) / static_cast<float>(shown.height);
    const Size frame = frameSize(geometry);
    const int aw = r.width() - frame.width;
    const int ah = r.height() - frame.height;
    const float proposed = static_cast<float>(aw) / static_cast<float>(ah);
    const int heightForWidth = roundedSide(static_cast<float>(aw) / ratio);
    const int widthForHeight = roundedSide(static_cast<float>(ah) * ratio);
    const bool heightFollows = ratio > proposed;
    switch (edge) {
        case SizingEdge::Left:
        case SizingEdge::Right:
            r.bottom = r.top + frame.height + heightForWidth;
            if (r.height() > viewer.view.maxWindowHeight)
                r.bottom = r.top + viewer.view.maxWindowHeight;
            return;
        case SizingEdge::Top:
        case SizingEdge::Bottom:
            r.right = r.left + frame.width + widthForHeight;
            if (r.width() > viewer.view.maxWindowWidth)
                r.right = r.left + viewer.view.maxWindowWidth;
            return;
        case SizingEdge::TopLeft:
            if (heightFollows) {
                r.top = r.bottom - heightForWidth - frame.height;
            } else {
                r.left = r.right - widthForHeight - frame.width;
            }
            enforceMinimum(r, true, true);
            return;
        case SizingEdge::TopRight:
            if (heightFollows) {
                r.top = r.bottom - heightForWidth - frame.height;
            } else {
                r.right = r.left + widthForHeight + frame.width;
            }
            enforceMinimum(r, true, false);
            return;
        case SizingEdge::BottomLeft:
            if (heightFollows) {
                r.bottom = r.top + heightForWidth + frame.height;
            } else {
                r.left = r.right - widthForHeight - frame.width;
            }
            enforceMinimum(r, false, true);
            return;
        case SizingEdge::BottomRight:
            if (heightFollows) {
                r.bottom = r.top + heightForWidth + frame.height;
            } else {
                r.right = r.left + widthForHeight + frame.width;
            }
            enforceMinimum(r, false, false);
            return;
    }
}

bool imageOverflowsClient(const Viewer& viewer) {
    const ImageBuffer& shown = viewer.shownImage;
    if (!imageShown(viewer) || shown.displayWidth < 3 || shown.displayHeight < 3) return false;
    const Size client = windowGeometry(viewer).client;
    return client.width < shown.displayWidth || client.height < shown.displayHeight;
}

bool scrollBy(Viewer& viewer, int dx, int dy) {
    if (!imageShown(viewer)) return false;
    ImageBuffer& shown = viewer.shownImage;
    const Size client = windowGeometry(viewer).client;
    const int displayWidth = shown.displayWidth;
    const int displayHeight = shown.displayHeight;
    const int x = std::max(std::min(shown.scrollX + dx, displayWidth - client.width), 0);
    const int y = std::min(std::max(shown.scrollY - dy, client.height - displayHeight), 0);
    if (x == shown.scrollX && y == shown.scrollY) {
        return (dx != 0 && displayWidth > client.width) ||
               (dy != 0 && displayHeight > client.height);
    }
    shown.scrollX = x;
    shown.scrollY = y;
    viewer.platform.redrawNow({0, 0, client.width, client.height});
    return true;
}

}  // namespace pavo
