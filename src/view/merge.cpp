#include "view/merge.h"

#include "view/scale.h"
#include "view/view.h"

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
// for the area, both are shrunk by the same factor to a common height. The fits and the
// area must be of one window and one zoom, or the test below compares unlike things.
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

Size zoomed(Size size, std::int64_t zoom) {
    return {zoomedSide(size.width, zoom), zoomedSide(size.height, zoom)};
}

// The largest client area a window on this monitor can have.
Size largestClient(const ScaleContext& context) {
    const GeometrySnapshot& geometry = context.geometry;
    const int fix = context.fixWindowPosition;
    return {geometry.monitor.monitor.width() + 2 * fix -
                (geometry.window.width() - geometry.client.width),
            geometry.monitor.work.height() - (geometry.window.height() - geometry.client.height)};
}

// A pair one pixel wider than the largest client area loses that pixel.
void fitMaximumClient(const ScaleContext& context, PairLayout& layout) {
    if (layout.first.width - 1 + layout.second.width == largestClient(context).width)
        --layout.second.width;
}

// The pair laid out in the client area at 100 %, then zoomed: both images are fitted to
// the one area the test of width compares them with, whatever the zoom.
PairLayout clientLayout(const ScaleContext& context, Size area, const cv::Mat& a,
                        const cv::Mat& b) {
    ScaleContext unzoomed = context;
    unzoomed.zoomPerMille = 1000;
    unzoomed.geometry.client = area;
    PairLayout layout = layOutPair(area, a, b, [&](int width, int height) {
        return fitSizeInClient(unzoomed, width, height, a, b);
    });
    layout.first = zoomed(layout.first, context.zoomPerMille);
    layout.second = zoomed(layout.second, context.zoomPerMille);
    return layout;
}

// Pictures of unequal height (a layout that rounding or an odd pair made so) are joined
// at the height of the higher one, the lower centred on black.
cv::Mat raisedTo(const cv::Mat& picture, int height) {
    if (picture.rows >= height) return picture;
    const int above = (height - picture.rows) / 2;
    cv::Mat raised;
    cv::copyMakeBorder(picture, raised, above, height - picture.rows - above, 0, 0,
                       cv::BORDER_CONSTANT, cv::Scalar::all(0));
    return raised;
}

cv::Mat scaleAndJoin(const ScaleContext& context, const cv::Mat& a, const cv::Mat& b,
                     const PairLayout& layout) {
    const Size first = atLeastOne(layout.first);
    const Size second = atLeastOne(layout.second);
    cv::Mat scaledFirst;
    cv::Mat scaledSecond;
    scaleToSize(context, a, scaledFirst, first.width, first.height);
    scaleToSize(context, b, scaledSecond, second.width, second.height);
    // A half at its own size is still the decoded BGR; the pair is joined in one layout.
    for (cv::Mat* half : {&scaledFirst, &scaledSecond}) {
        if (scaledFirst.type() != scaledSecond.type() && half->channels() == 3)
            cv::cvtColor(*half, *half, cv::COLOR_BGR2BGRA);
    }
    cv::Mat joined;
    joinSideBySide(context, scaledFirst, scaledSecond, joined);
    return joined;
}

bool hasTwoPixels(const cv::Mat& picture) {
    return static_cast<std::int64_t>(picture.rows) * picture.cols >= 2;
}

}  // namespace

void joinSideBySide(const ScaleContext& context, const cv::Mat& first, const cv::Mat& second,
                    cv::Mat& output) {
    if (!hasTwoPixels(first) || !hasTwoPixels(second)) return;
    const int height = std::max(first.rows, second.rows);
    const std::int32_t mode = context.mergeMode;
    const bool reverse = context.reverseMerge;
    const bool firstOnLeft = (mode >= 1 && !reverse) || (mode < 0 && reverse);
    const cv::Mat left = raisedTo(firstOnLeft ? first : second, height);
    const cv::Mat right = raisedTo(firstOnLeft ? second : first, height);
    cv::hconcat(left, right, output);
}

cv::Mat scaleMergedForScreen(const ScaleContext& context, const cv::Mat& primary,
                             const cv::Mat& partner) {
    // The area the screen fit of one image uses, so both images and the pair agree.
    const Size area = screenFitArea(context);
    if (area.width <= 0 || area.height <= 0) return {};
    const PairLayout layout = layOutPair(area, primary, partner, [&](int width, int height) {
        return fitSizeOnScreen(context, width, height, primary, partner);
    });
    return scaleAndJoin(context, primary, partner, layout);
}

cv::Mat scaleMergedForClient(const ScaleContext& context, Size client, const cv::Mat& primary,
                             const cv::Mat& partner) {
    if (client.width <= 0 || client.height <= 0) return {};
    PairLayout layout = clientLayout(context, client, primary, partner);
    fitMaximumClient(context, layout);
    // With fit at 100 % the pair never overflows the client by a pixel or two.
    if (context.fitActive && context.zoomPerMille == 1000) {
        const int total = layout.first.width + layout.second.width;
        if (total - 1 == client.width) {
            --layout.second.width;
        } else if (total - 2 == client.width) {
            --layout.first.width;
            --layout.second.width;
        }
    }
    return scaleAndJoin(context, primary, partner, layout);
}

Size mergedFitSize(const ScaleContext& context, Size area, const cv::Mat& primary,
                   const cv::Mat& partner) {
    if (area.width <= 0 || area.height <= 0) return {1, 1};
    PairLayout layout = clientLayout(context, area, primary, partner);
    fitMaximumClient(context, layout);
    return {std::max(layout.first.width, 1) + std::max(layout.second.width, 1),
            std::max(std::max(layout.first.height, layout.second.height), 1)};
}

}  // namespace pavo
