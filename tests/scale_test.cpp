#include "view/scale.h"
#include "support/viewer_fixture.h"
#include "view/merge.h"
#include "view/view.h"
#include "view/zoom.h"

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

// A window of `client` showing a pair merged with the next image, fit on, 100 %.
ScaleContext pairIn(Size client) {
    ScaleContext context = windowOf(client);
    context.mergeMode = 1;
    return context;
}

cv::Mat picture(int width, int height, double blue = 0) {
    return {height, width, CV_8UC3, cv::Scalar(blue, 0, 0)};
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
        EXPECT_EQ(scaleToSize(context, picture(source.width, source.height), scaled, target.width,
                              target.height),
                  name);
        EXPECT_EQ(scaleMethodName(context, source, target), name);
    }
    const cv::Mat source = picture(80, 50);
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
    const cv::Mat display = prescaleForScreen(maximised, picture(6000, 4000), {});
    EXPECT_EQ((Size{display.cols, display.rows}), fitSizeInClient(maximised, 6000, 4000, {}, {}));
}

// The blue sample of a joined pair: BGR at their own size, BGRA when either was scaled.
int blueAt(const cv::Mat& joined, int row, int column) {
    return joined.ptr<unsigned char>(row)[column * joined.channels()];
}

cv::Mat forClient(const ScaleContext& context, const cv::Mat& a, const cv::Mat& b) {
    return scaleMergedForClient(context, context.geometry.client, a, b);
}

TEST(Merge, PairsKeepTheirFitsOrShrinkToOneHeightAndReverseMergeSwapsTheSides) {
    ScaleContext context = pairIn({1900, 1000});
    const cv::Mat joined = forClient(context, picture(700, 1000, 10), picture(700, 1000, 20));
    EXPECT_EQ(joined.size(), cv::Size(1400, 1000));
    EXPECT_EQ(blueAt(joined, 500, 100), 10) << "the shown image on the left";
    EXPECT_EQ(blueAt(joined, 500, 1300), 20);
    EXPECT_EQ(mergedFitSize(context, {1900, 1000}, picture(700, 1000, 0), picture(700, 1000, 0)),
              (Size{1400, 1000}));

    const cv::Mat wide = forClient(context, picture(1600, 900, 10), picture(1600, 900, 20));
    EXPECT_EQ(wide.size(), cv::Size(1900, 534));
    EXPECT_EQ(blueAt(wide, 200, 949), 10) << "950 columns each";
    EXPECT_EQ(blueAt(wide, 200, 950), 20);

    const auto left = [&] {
        return blueAt(forClient(context, picture(700, 1000, 10), picture(700, 1000, 20)), 500, 100);
    };
    context.reverseMerge = true;
    EXPECT_EQ(left(), 20);
    context.mergeMode = -1;
    EXPECT_EQ(left(), 10) << "merged backward and reversed: the shown image on the left";
    context.reverseMerge = false;
    EXPECT_EQ(left(), 20) << "merged backward: the previous image on the left";

    context.fitActive = false;
    context.zoomPerMille = 1;  // a thousandth of their size: a pixel each
    EXPECT_TRUE(forClient(context, picture(700, 1000, 10), picture(1000, 1, 20)).empty())
        << "a partner of one pixel leaves nothing to draw";
}

// Pictures of unequal height are joined at the higher one's, the lower centred on black:
// whatever a layout's arithmetic gives, joining never ends the program.
TEST(Merge, PairsOfUnequalHeightJoinOnBlack) {
    const ScaleContext context = pairIn({1900, 1000});
    cv::Mat joined;
    joinSideBySide(context, picture(30, 10, 10), picture(20, 40, 20), joined);
    EXPECT_EQ(joined.size(), cv::Size(50, 40));
    EXPECT_EQ(blueAt(joined, 20, 5), 10);
    EXPECT_EQ(blueAt(joined, 2, 5), 0) << "above the lower picture: black";
    EXPECT_EQ(blueAt(joined, 2, 40), 20);
}

// Zoomed pairs and pairs in a maximised window on a small screen: each image is fitted to
// the same area the width test compares the pair with, so the two end at one height.
TEST(Merge, ZoomedPairsAndPairsForTheScreenComeOutAtOneHeight) {
    ScaleContext context = pairIn({1920, 997});  // maximised on 1920 x 1080
    const cv::Mat wide = picture(2400, 1000, 10);
    const cv::Mat tall = picture(1000, 1500, 20);
    for (std::int64_t zoom = 1000; zoom > 100; zoom = zoom * 95 / 100) {
        context.zoomPerMille = zoom;
        const cv::Mat joined = forClient(context, wide, tall);
        ASSERT_FALSE(joined.empty()) << zoom;
        EXPECT_EQ(blueAt(joined, joined.rows / 2, 1), 10) << zoom;
        EXPECT_EQ(blueAt(joined, joined.rows / 2, joined.cols - 2), 20) << zoom;
    }

    // 1600 x 900 screen, maximised: the screen fit of one image uses the client area, and
    // so does the pair's.
    ScaleContext small = pairIn({1584, 801});
    small.geometry.maximized = true;
    small.geometry.monitor = {{0, 0, 1600, 900}, {0, 0, 1600, 860}};
    small.geometry.primaryScreen = {0, 0, 1600, 900};
    const cv::Mat pair = prescaleForScreen(small, picture(1858, 1000, 10), picture(4, 1000, 20));
    ASSERT_FALSE(pair.empty());
    EXPECT_LE(pair.cols, 1584);
    EXPECT_LE(pair.rows, 801);
}

using MergeWindowTest = test::ViewerTest;

TEST_F(MergeWindowTest, TheWindowOfAPairIsAsWideAsBothImages) {
    viewer.merge.mergeMode = 1;
    showImage(400, 300);
    viewer.shownImage.partner = picture(400, 300, 20);
    viewer.view.fitActive = false;
    const Size single = windowSizeForImage(viewer, viewer.shownImage.image);
    applyWindowSize(viewer, single, {.sticky = false, .partner = viewer.shownImage.partner});
    EXPECT_EQ(platform.clientSize(), (Size{800, 300}));
}

}  // namespace
}  // namespace pavo
