#include "view/zoom.h"

#include "view/scale.h"
#include "view/view.h"
#include "view/window_fit.h"
#include "viewer.h"

#include <cmath>

namespace pavo {

float zoomFactorForSteps(const Viewer& viewer) {
    const std::int32_t steps = viewer.view.zoomStepCount;
    const double grow = 1.0 + viewer.settings.zoomInStep / 100.0;
    const double shrink = 1.0 - viewer.settings.zoomOutStep / 100.0;
    float factor = 1.0F;
    for (std::int32_t i = 0; i < std::abs(steps); ++i) {
        factor = static_cast<float>(static_cast<double>(factor) * (steps > 0 ? grow : shrink));
    }
    return factor;
}

void applyZoom(Viewer& viewer, bool zoomIn, ZoomAnchor anchor) {
    ImageBuffer& shown = viewer.shownImage;
    if (!shown.ready) return;
    const float current = static_cast<float>(viewer.view.zoomPerMille) / 1000.0F;
    float factor = zoomFactorForSteps(viewer);
    if (factor > 1.0F) {
        const auto width = static_cast<float>(shown.width);
        const bool accepted = width * 6.0F > width * factor ||
                              (width * factor < 8000.0F && shown.displayWidth < 8000) ||
                              factor < current;
        if (!accepted) factor = current;
    } else if (factor < 1.0F) {
        const bool accepted = (static_cast<float>(shown.displayWidth) / current) * factor >= 1.0F &&
                              (static_cast<float>(shown.displayHeight) / current) * factor >= 1.0F;
        if (!accepted) factor = std::max(factor, current);
    }
    const auto perMille = static_cast<std::int64_t>(std::roundf(factor * 1000.0F));
    if (perMille == viewer.view.zoomPerMille) {
        // Undone by the way it went, not by the size of its step: a step of 0 % (only a
        // hand-edited store holds one) went in, and a refused request changes nothing.
        viewer.view.zoomStepCount += zoomIn ? -1 : 1;
        if (!viewer.settings.mute) viewer.platform.beep(BeepKind::Information);
        return;
    }
    const Size client = windowGeometry(viewer).client;
    const int oldWidth = shown.displayWidth;
    const int oldHeight = shown.displayHeight;
    viewer.view.zoomPerMille = perMille;
    rescaleShownImage(viewer);
    const float rx = static_cast<float>(shown.displayWidth) / static_cast<float>(oldWidth);
    const float ry = static_cast<float>(shown.displayHeight) / static_cast<float>(oldHeight);
    const double hx = client.width * 0.5;
    const double hy = client.height * 0.5;
    if (anchor == ZoomAnchor::Centre) {
        // The point at the centre of the view stays where it is.
        shown.scrollX = static_cast<int>((shown.scrollX + hx) * rx - hx);
        shown.scrollY = static_cast<int>((shown.scrollY - hy) * ry + hy);
    } else {
        // The point under the cursor stays where it is.
        const Point p = viewer.platform.cursorInClient();
        const double ax = 2.0 * ((p.x - std::trunc(hx)) / client.width) + 1.0;
        const double ay = 2.0 * ((p.y - std::trunc(hy)) / client.height) + 1.0;
        shown.scrollX = static_cast<int>(ax * (rx * hx - hx) + shown.scrollX * rx);
        shown.scrollY = static_cast<int>(shown.scrollY * ry - ay * (ry * hy - hy));
    }
    scrollBy(viewer, 0, 0);
    requestRedraw(viewer);
}

void zoomByStep(Viewer& viewer, bool zoomIn, ZoomAnchor anchor) {
    viewer.view.zoomStepCount += zoomIn ? 1 : -1;
    applyZoom(viewer, zoomIn, anchor);
}

ScrollAmounts scrollAmounts(const Viewer& viewer, std::int32_t step) {
    if (!viewer.settings.useRelativeScroll) return {step, step, step};
    const Size client = windowGeometry(viewer).client;
    const std::int32_t percent = viewer.settings.relativeScroll;
    return {step, static_cast<int>(static_cast<double>(client.width * percent) / 100.0),
            static_cast<int>(static_cast<double>(client.height * percent) / 100.0)};
}

std::int32_t keyboardScrollStep(const Viewer& viewer) {
    const ViewerSettings& s = viewer.settings;
    if (viewer.input.ctrlHeld) return s.ctrlScrollSpeed;
    return viewer.input.shiftHeld ? s.shiftScrollSpeed : s.scrollSpeed;
}

void panMove(Viewer& viewer) {
    InputState& input = viewer.input;
    ImageBuffer& shown = viewer.shownImage;
    const Point cursor = viewer.platform.cursorPosition();
    const int dx = cursor.x - input.dragOrigin.x;
    const int dy = cursor.y - input.dragOrigin.y;
    const int oldX = shown.scrollX;
    const int oldY = shown.scrollY;
    scrollBy(viewer, -dx, -dy);
    // The origin moves by exactly what was scrolled, so the image does not jump when
    // the cursor turns back at a limit.
    if (shown.scrollX != oldX) input.dragOrigin.x = oldX - dx - shown.scrollX + cursor.x;
    if (shown.scrollY != oldY) input.dragOrigin.y = cursor.y - oldY - dy + shown.scrollY;
}

void startAnchorScroll(Viewer& viewer) {
    viewer.input.mouseCaptured = true;
    viewer.platform.captureMouse();
    viewer.input.anchorScrollActive = true;
    viewer.input.anchorPoint = viewer.platform.cursorPosition();
    viewer.platform.armTimer(AnchorScrollTimer,
                             static_cast<int>(static_cast<unsigned>(1000.0 / viewer.refreshRate)));
}

void anchorScrollTick(Viewer& viewer) {
    if (!viewer.input.anchorScrollActive) {
        viewer.platform.killTimer(AnchorScrollTimer);
        return;
    }
    const double k = 20.0 / viewer.refreshRate;
    const Point cursor = viewer.platform.cursorPosition();
    const Point anchor = viewer.input.anchorPoint;
    scrollBy(viewer, -static_cast<int>(std::floor((anchor.x - cursor.x) * k)),
             -static_cast<int>(std::floor((anchor.y - cursor.y) * k)));
}

void stopAnchorScroll(Viewer& viewer) {
    viewer.platform.releaseMouse();
    viewer.input.mouseCaptured = false;
    viewer.input.anchorScrollActive = false;
}

}  // namespace pavo
