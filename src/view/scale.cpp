#include "view/scale.h"

#include "view/merge.h"
#include "view/view.h"
#include "viewer.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace pavo {
namespace {

// The image's own size: with a merged pair, both images together.
Size nativeSize(const ScaleContext& context, const cv::Mat& primary, const cv::Mat& partner) {
    if (context.mergeMode != 0) return {primary.cols + partner.cols, primary.rows + partner.rows};
    return {primary.cols, primary.rows};
}

Size atLeastOnePixel(Size size) {
    return {std::max(size.width, 1), std::max(size.height, 1)};
}

}  // namespace

Size fitInto(Size image, Size area, FitRule rule) {
    const float imageRatio = static_cast<float>(image.width) / static_cast<float>(image.height);
    const float areaRatio = static_cast<float>(area.width) / static_cast<float>(area.height);
    const bool widthBound = rule.widthWinsTies ? imageRatio >= areaRatio : imageRatio > areaRatio;
    if (widthBound) {
        int fittedHeight = roundedSide(static_cast<float>(area.width) / imageRatio);
        if (rule.raiseShortHeight && fittedHeight == area.height - 1) fittedHeight = area.height;
        return {area.width, fittedHeight};
    }
    return {roundedSide(static_cast<float>(area.height) * imageRatio), area.height};
}

QString interpolationName(std::int32_t method) {
    switch (method) {
        case 0:
            return QStringLiteral("Nearest Neighbour");
        case 1:
            return QStringLiteral("Bilinear");
        case 2:
            return QStringLiteral("Bicubic");
        case 3:
            return QStringLiteral("Area");
        case 4:
            return QStringLiteral("Lanczos");
        default:
            return QStringLiteral("None");
    }
}

ScaleClass scaleClassFor(const ScaleContext& context, Size source, Size target) {
    const std::int64_t zoom = context.zoomPerMille;
    if (zoom > 1000) return ScaleClass::ZoomIn;
    if (zoom < 1000) return ScaleClass::ZoomOut;
    // Products in 64 bits: a large threshold times a large target would overflow 32.
    const std::int64_t sourcePixels = std::int64_t{source.width} * source.height;
    const std::int64_t targetPixels = std::int64_t{target.width} * target.height;
    const InterpolationChoice& choice = context.interpolation;
    if (sourcePixels > targetPixels * choice.largeDownscaleThreshold)
        return ScaleClass::LargeDownscale;
    if (sourcePixels > targetPixels) return ScaleClass::Downscale;
    if (sourcePixels * choice.largeUpscaleThreshold > targetPixels) return ScaleClass::Upscale;
    return ScaleClass::LargeUpscale;
}

std::int32_t methodForClass(const InterpolationChoice& choice, ScaleClass scaleClass) {
    switch (scaleClass) {
        case ScaleClass::LargeDownscale:
            return choice.largeDownscale;
        case ScaleClass::Downscale:
            return choice.downscale;
        case ScaleClass::Upscale:
            return choice.upscale;
        case ScaleClass::LargeUpscale:
            return choice.largeUpscale;
        case ScaleClass::ZoomIn:
            return choice.zoomIn;
        case ScaleClass::ZoomOut:
            return choice.zoomOut;
    }
    return 0;
}

QString scaleToSize(const ScaleContext& context, const cv::Mat& source, cv::Mat& destination,
                    int width, int height) {
    if (source.cols <= 0) return interpolationName(-1);
    if (source.cols == width && source.rows == height) {
        destination = source;
        return interpolationName(-1);
    }
    const std::int32_t method = methodForClass(
        context.interpolation, scaleClassFor(context, {source.cols, source.rows}, {width, height}));
    cv::Mat scaled;
    try {
        cv::resize(source, scaled, cv::Size(width, height), 0, 0, method);
    } catch (const cv::Exception&) {
        // Only a method number edited into the store by hand can be refused; the
        // picture is still shown, with the cheapest interpolation.
        cv::resize(source, scaled, cv::Size(width, height), 0, 0, cv::INTER_NEAREST);
    }
    // A scaled picture is made once and drawn often: it gets the screen's pixel layout
    // (after the resize: OpenCV's bicubic rounds a row's last pixel by the channel count).
    if (scaled.channels() == 3) {
        cv::cvtColor(scaled, destination, cv::COLOR_BGR2BGRA);
    } else {
        destination = scaled;
    }
    return interpolationName(method);
}

QString scaleMethodName(const ScaleContext& context, Size decoded, Size display) {
    if (decoded.width <= 0 || display.width <= 0 || decoded == display)
        return interpolationName(-1);
    return interpolationName(
        methodForClass(context.interpolation, scaleClassFor(context, decoded, display)));
}

Size fitSizeInClient(const ScaleContext& context, int width, int height, const cv::Mat& primary,
                     const cv::Mat& partner) {
    if (width <= 0 || height <= 0) return {1, 1};
    const Size client = context.geometry.client;
    if (client.width <= 0 || client.height <= 0) return {1, 1};
    Size size = fitInto({width, height}, client, {.widthWinsTies = true, .raiseShortHeight = true});
    const std::int64_t zoom = context.zoomPerMille;
    if (zoom != 1000) {
        if (!context.fitActive) size = nativeSize(context, primary, partner);
        size = {zoomedSide(size.width, zoom), zoomedSide(size.height, zoom)};
    }
    return atLeastOnePixel(size);
}

Size screenFitArea(const ScaleContext& context) {
    const GeometrySnapshot& geometry = context.geometry;
    const Rect& desktop = geometry.primaryScreen;
    const int frameWidth = geometry.window.width() - geometry.client.width;
    const int frameHeight = geometry.window.height() - geometry.client.height;
    const int fix = context.fixWindowPosition;
    int availableWidth = desktop.width();
    int availableHeight = desktop.height();
    if (geometry.maximized && !context.fullscreen) {
        // A maximised window keeps its client area from image to image: that is the
        // size to scale for. (On Linux no border hangs off the screen to allow for.)
        availableWidth = geometry.client.width + frameWidth;
        availableHeight = geometry.client.height + frameHeight;
    } else if (!context.fullscreen) {
        const MonitorInfo& monitor = geometry.monitor;
        availableHeight =
            desktop.height() - (monitor.monitor.height() - monitor.work.height()) + fix;
        availableWidth = fix > 0 ? desktop.width() + 2 * fix : desktop.width();
    }
    return {availableWidth - frameWidth, availableHeight - frameHeight};
}

Size fitSizeOnScreen(const ScaleContext& context, int width, int height, const cv::Mat& primary,
                     const cv::Mat& partner) {
    const Size area = screenFitArea(context);
    if (width <= 0 || height <= 0 || area.width <= 0 || area.height <= 0) return {1, 1};
    Size size = fitInto({width, height}, area, {});
    if (context.zoomPerMille != 1000 && !context.fitActive)
        size = nativeSize(context, primary, partner);
    return atLeastOnePixel(size);
}

cv::Mat prescaleForScreen(const ScaleContext& context, const cv::Mat& primary,
                          const cv::Mat& partner) {
    if (context.mergeMode != 0) return scaleMergedForScreen(context, primary, partner);
    if (!context.fitActive) return primary;
    const Size size = fitSizeOnScreen(context, primary.cols, primary.rows, primary, partner);
    cv::Mat display;
    scaleToSize(context, primary, display, size.width, size.height);
    return display;
}

cv::Mat displayForClient(const ScaleContext& context, const cv::Mat& image, cv::Mat spare) {
    if (!context.fitActive && context.zoomPerMille == 1000) return image;
    const Size size = fitSizeInClient(context, image.cols, image.rows, image, cv::Mat());
    cv::Mat display = std::move(spare);
    scaleToSize(context, image, display, size.width, size.height);
    return display;
}

bool sameScaling(const ScaleContext& one, const ScaleContext& other) {
    return one.geometry.client == other.geometry.client &&
           one.interpolation == other.interpolation && one.zoomPerMille == other.zoomPerMille &&
           one.fitActive == other.fitActive && one.mergeMode == other.mergeMode;
}

void rescaleShownImage(Viewer& viewer) {
    ImageBuffer& shown = viewer.shownImage;
    // A picture kept without its pixels stays as it is; what needs another decodes them
    // first (restoreShownPixels).
    if (!imageShown(viewer) || shown.image.empty()) return;
    const ScaleContext context = scaleContext(viewer);
    if (context.mergeMode != 0) {
        shown.display =
            scaleMergedForClient(context, context.geometry.client, shown.image, shown.partner);
    } else {
        shown.display = displayForClient(context, shown.image);
    }
    shown.displayWidth = shown.display.cols;
    shown.displayHeight = shown.display.rows;
}

bool shownPictureFits(const Viewer& viewer) {
    const ImageBuffer& shown = viewer.shownImage;
    const ScaleContext context = scaleContext(viewer);
    if (context.mergeMode != 0) {
        const Size client = context.geometry.client;
        return shown.displayWidth <= client.width && shown.displayHeight <= client.height;
    }
    const Size fitted =
        fitSizeInClient(context, shown.width, shown.height, shown.image, shown.partner);
    return fitted.width == shown.displayWidth && fitted.height == shown.displayHeight;
}

}  // namespace pavo
