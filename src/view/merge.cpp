#include "view/merge.h"

#include "view/scale.h"
#include "view/view.h"
#include "view/window_fit.h"
#include "viewer.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <functional>

namespace pavo {
namespace {

using FitFunction = std::function<Size(int width, int height)>;

// The two images' sizes at one common height, fitted into `area`.
struct PairLayout {
    Size first;
    Size second;
    bool tooWide = false;  // the pair was shrunk to the area's width
};

// Each image fitted alone; when the pair at the height of the fitted pair is too wide
// for the area, both are shrunk by the same factor to a common height.
PairLayout layOutPair(Size area, const cv::Mat& a, const cv::Mat& b, const FitFunction& fit) {
    const Size s1 = fit(a.cols, a.rows);
    const Size s2 = fit(b.cols, b.rows);
    const Size s3 = fit(a.cols + b.cols, std::min(a.rows, b.rows));
    const float r1 = static_cast<float>(s1.width) / static_cast<float>(s1.height);
    const float r2 = static_cast<float>(s2.width) / static_cast<float>(s2.height);
    const auto height = static_cast<float>(s3.height);
    const int firstWidth = static_cast<int>(height * r1);
    const int secondWidth = static_cast<int>(height * r2);
    float k = static_cast<float>(firstWidth + secondWidth) / static_cast<float>(area.width);
    if (k == 0.0F) k = 1.0F;
    const float areaRatio = static_cast<float>(area.width) / static_cast<float>(area.height);
    if (static_cast<float>(s3.width) * k / height <= areaRatio) return {s1, s2, false};
    const float shrunkFirst = static_cast<float>(firstWidth) / k;
    const int w1 = static_cast<int>(shrunkFirst);
    const int h1 = static_cast<int>(shrunkFirst / r1);
    const int w2 = static_cast<int>(static_cast<float>(secondWidth) / k);
    const int h2 = static_cast<int>(static_cast<float>(w2) / r2);
    const int common = std::max(h1, h2);
    return {{w1, common}, {w2, common}, true};
}

Size atLeastOne(Size size) {
    return {std::max(size.width, 1), std::max(size.height, 1)};
}

// A pair one pixel wider than the largest client area loses that pixel.
void fitMaximumClient(const Viewer& viewer, PairLayout& layout) {
    if (layout.first.width - 1 + layout.second.width == maxClientSize(viewer).width)
        --layout.second.width;
}

cv::Mat scaleAndJoin(const Viewer& viewer, const cv::Mat& a, const cv::Mat& b,
                     const PairLayout& layout) {
    const Size first = atLeastOne(layout.first);
    const Size second = atLeastOne(layout.second);
    cv::Mat scaledFirst;
    cv::Mat scaledSecond;
    scaleToSize(viewer, a, scaledFirst, first.width, first.height);
    scaleToSize(viewer, b, scaledSecond, second.width, second.height);
    // A half at its own size is still the decoded BGR; the pair is joined in one layout.
    for (cv::Mat* half : {&scaledFirst, &scaledSecond}) {
        if (scaledFirst.type() != scaledSecond.type() && half->channels() == 3)
            cv::cvtColor(*half, *half, cv::COLOR_BGR2BGRA);
    }
    cv::Mat joined;
    if (static_cast<std::int64_t>(scaledFirst.rows) * scaledFirst.cols > 1 &&
        static_cast<std::int64_t>(scaledSecond.rows) * scaledSecond.cols > 1) {
        joinSideBySide(viewer, scaledFirst, scaledSecond, joined);
    }
    return joined;
}

FitFunction clientFit(const Viewer& viewer, const cv::Mat& a, const cv::Mat& b) {
    return [&viewer, &a, &b](int width, int height) {
        return fitSizeInClient(viewer, width, height, a, b);
    };
}

}  // namespace

void joinSideBySide(const Viewer& viewer, const cv::Mat& first, const cv::Mat& second,
                    cv::Mat& output) {
    if (static_cast<std::int64_t>(first.rows) * first.cols < 2 ||
        static_cast<std::int64_t>(second.rows) * second.cols < 2) {
        return;
    }
    const std::int32_t mode = viewer.merge.mergeMode;
    const bool reverse = viewer.merge.reverseMergeActive;
    const bool firstOnLeft = (mode >= 1 && !reverse) || (mode < 0 && reverse);
    if (firstOnLeft) {
        cv::hconcat(first, second, output);
    } else {
        cv::hconcat(second, first, output);
    }
}

cv::Mat scaleMergedForScreen(const Viewer& viewer, const cv::Mat& primary, const cv::Mat& partner) {
    if (!imageShown(viewer)) return {};
    // Runs on worker threads too: the geometry comes from the snapshot.
    const GeometrySnapshot geometry = windowGeometry(viewer);
    const int fix = viewer.settings.fixWindowPosition;
    Size outer{geometry.monitor.monitor.width(), geometry.monitor.monitor.height()};
    if (!viewer.mode.fullscreenActive) {
        outer = {fix > 0 ? outer.width + 2 * fix : outer.width,
                 geometry.monitor.work.height() + fix};
    }
    const Size area{outer.width - (geometry.window.width() - geometry.client.width),
                    outer.height - (geometry.window.height() - geometry.client.height)};
    if (area.width <= 0 || area.height <= 0) return {};
    const PairLayout layout = layOutPair(area, primary, partner, [&](int width, int height) {
        return fitSizeOnScreen(viewer, width, height, primary, partner);
    });
    return scaleAndJoin(viewer, primary, partner, layout);
}

cv::Mat scaleMergedForClient(const Viewer& viewer, Size client, const cv::Mat& primary,
                             const cv::Mat& partner) {
    if (!imageShown(viewer) || client.width <= 0 || client.height <= 0) return {};
    PairLayout layout = layOutPair(client, primary, partner, clientFit(viewer, primary, partner));
    const std::int64_t zoom = viewer.view.zoomPerMille;
    if (layout.tooWide) {
        layout.first = {zoomedSide(layout.first.width, zoom),
                        zoomedSide(layout.first.height, zoom)};
        layout.second = {zoomedSide(layout.second.width, zoom),
                         zoomedSide(layout.second.height, zoom)};
    }
    fitMaximumClient(viewer, layout);
    // With fit at 100 % the pair never overflows the client by a pixel or two.
    if (viewer.view.fitActive && zoom == 1000) {
        const int total = layout.first.width + layout.second.width;
        if (total - 1 == client.width) {
            --layout.second.width;
        } else if (total - 2 == client.width) {
            --layout.first.width;
            --layout.second.width;
        }
    }
    return scaleAndJoin(viewer, primary, partner, layout);
}

Size mergedFitSize(const Viewer& viewer, Size area, const cv::Mat& primary,
                   const cv::Mat& partner) {
    if (area.width <= 0 || area.height <= 0) return {1, 1};
    PairLayout layout = layOutPair(area, primary, partner, clientFit(viewer, primary, partner));
    fitMaximumClient(viewer, layout);
    const std::int64_t zoom = viewer.view.zoomPerMille;
    const int firstWidth = std::max(zoomedSide(layout.first.width, zoom), 1);
    const int secondWidth = std::max(zoomedSide(layout.second.width, zoom), 1);
    return {firstWidth + secondWidth, std::max(zoomedSide(layout.first.height, zoom), 1)};
}

}  // namespace pavo
