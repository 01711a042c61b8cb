#include "view/scale.h"
#include "support/viewer_fixture.h"

#include <opencv2/imgproc.hpp>

#include <tuple>

namespace pavo {
namespace {

// A client area and its frame on a 1920 x 1080 monitor with a 40-pixel panel at the bottom.
ScaleContext windowOf(Size client, Size frame = {16, 59}) {
    ScaleContext context;
    context.geometry.client = client;
    context.geometry.window = {0, 0, client.width + frame.width, client.height + frame.height};
    context.geometry.monitor = {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}};
    context.geometry.primaryScreen = {0, 0, 1920, 1080};
    return context;
}

cv::Mat black(Size size) {
    return {size.height, size.width, CV_8UC3, cv::Scalar::all(0)};
}

// Each class has a method of its own here, so the name tells which setting was read.
TEST(Scale, EachClassOfResizeUsesItsOwnInterpolation) {
    const std::tuple<std::int64_t, Size, Size, ScaleClass, const char*> rows[] = {
        {1000, {301, 100}, {100, 100}, ScaleClass::LargeDownscale, "Area"},
        {1000, {300, 100}, {100, 100}, ScaleClass::Downscale, "Bilinear"},  // three times
        {1000, {100, 100}, {150, 150}, ScaleClass::Upscale, "Bicubic"},
        {1000, {100, 100}, {300, 100}, ScaleClass::LargeUpscale, "Lanczos"},  // three times
        {1050, {300, 300}, {10, 10}, ScaleClass::ZoomIn, "Nearest Neighbour"},
        // 9 is only in a hand-edited store: the picture is still scaled, by the cheapest.
        {950, {10, 10}, {30, 30}, ScaleClass::ZoomOut, "None"},
    };
    // Methods for a large downscale, a downscale, an upscale, a large one, zooming in and out.
    ScaleContext context{.geometry = {}, .interpolation = {3, 1, 2, 4, 0, 9}};
    for (const auto& [zoom, source, target, scaleClass, name] : rows) {
        SCOPED_TRACE(name);
        context.zoomPerMille = zoom;
        EXPECT_EQ(scaleClassFor(context, source, target), scaleClass);
        cv::Mat scaled;
        EXPECT_EQ(scaleToSize(context, black(source), scaled, target.width, target.height), name);
        EXPECT_EQ(scaleMethodName(context, source, target), name);
    }
    const cv::Mat source = black({80, 50});
    cv::Mat same;
    EXPECT_EQ(scaleToSize(context, source, same, 80, 50), "None");
    EXPECT_EQ(same.data, source.data) << "at its own size the decoded pixels are shown";
    EXPECT_EQ(scaleToSize(context, cv::Mat(), same, 10, 10), "None");
}

// Kept as BGR, scaled to BGRA: each method, down and up, gives what scaling with alpha gives.
TEST(Scale, ScaledColoursAreThoseOfScalingWithAlpha) {
    cv::Mat image(301, 457, CV_8UC3);
    cv::randu(image, 0, 256);
    cv::GaussianBlur(image, image, cv::Size(5, 5), 0);  // edges and gradients both
    cv::Mat withAlpha;
    cv::cvtColor(image, withAlpha, cv::COLOR_BGR2BGRA);
    for (int m = 0; m <= 4; ++m) {
        const ScaleContext context{.geometry = {}, .interpolation = {m, m, m, m}};
        for (const cv::Size target : {cv::Size(97, 64), cv::Size(203, 134), cv::Size(700, 461)}) {
            cv::Mat drawn, expected;
            scaleToSize(context, image, drawn, target.width, target.height);
            cv::resize(withAlpha, expected, target, 0, 0, m);
            EXPECT_EQ(cv::norm(drawn, expected, cv::NORM_INF), 0.0) << m << " to " << target;
        }
    }
}

// The screen fit is for the client area a window fitted to the screen will have; maximised,
// its own, so the neighbours the workers scale are the size a step shows (not scaled again).
TEST(Scale, FitsInTheClientAndForTheClientTheWindowWillHave) {
    const ScaleContext context = windowOf({1000, 700});
    EXPECT_EQ(fitSizeInClient(context, 1600, 1200, {}, {}), (Size{933, 700}));
    EXPECT_EQ(fitSizeInClient(context, 2000, 1000, {}, {}), (Size{1000, 500}));
    EXPECT_EQ(fitSizeInClient(context, 1430, 1000, {}, {}), (Size{1000, 700}));

    ScaleContext normal = windowOf({640, 480});
    normal.fixWindowPosition = 7;  // the thin-border allowance
    ScaleContext fullscreen = windowOf({1920, 1080}, {0, 0});
    fullscreen.fullscreen = true;
    ScaleContext maximised = windowOf({1904, 981});
    maximised.geometry.maximized = true;
    EXPECT_EQ(screenFitArea(normal), (Size{1918, 988}));  // 1920 + 2 x 7 by 1040 + 7, no frame
    EXPECT_EQ(screenFitArea(fullscreen), (Size{1920, 1080}));
    EXPECT_EQ(screenFitArea(maximised), (Size{1904, 981}));
    const cv::Mat display = prescaleForScreen(maximised, black({6000, 4000}), {});
    EXPECT_EQ((Size{display.cols, display.rows}), fitSizeInClient(maximised, 6000, 4000, {}, {}));
}

using AutoShowOriginalTest = test::ViewerTest;

// Opened directly, an image `autoShowOriginal` times as high as wide starts at its own size.
TEST_F(AutoShowOriginalTest, TallImagesOpenedDirectlyStartAtTheirOwnSizeUnlessTurnedOff) {
    for (const auto& [threshold, height, fit] :
         {std::tuple{3, 1800, false}, std::tuple{3, 1799, true}, std::tuple{0, 1800, true}}) {
        viewer.settings.autoShowOriginal = threshold;
        viewer.view.fitActive = true;
        showImage(600, height);
        applyAutoShowOriginal(viewer, LoadOrigin::Opened);
        EXPECT_EQ(viewer.view.fitActive, fit) << threshold << ", 600 x " << height;
    }
}

}  // namespace
}  // namespace pavo
