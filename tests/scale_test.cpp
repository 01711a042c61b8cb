#include "support/viewer_fixture.h"
#include "view/view.h"

#include <opencv2/imgproc.hpp>

#include <vector>

namespace pavo {
namespace {

using test::ViewerTest;

class ScaleTest : public ViewerTest {};

TEST_F(ScaleTest, ScaleClassesPickTheirInterpolation) {
    const auto nameFor = [&](Size source, Size target) {
        cv::Mat destination;
        return scaleToSize(scaleContext(viewer),
                           cv::Mat(source.height, source.width, CV_8UC3, cv::Scalar::all(0)),
                           destination, target.width, target.height);
    };
    EXPECT_EQ(nameFor({3000, 2000}, {1000, 667}), "Area");
    EXPECT_EQ(scaleClassFor(scaleContext(viewer), {3000, 2000}, {1000, 667}),
              ScaleClass::LargeDownscale);
    EXPECT_EQ(scaleClassFor(scaleContext(viewer), {300, 100}, {100, 100}), ScaleClass::Downscale)
        << "exactly three times";
    EXPECT_EQ(scaleClassFor(scaleContext(viewer), {100, 100}, {300, 300}),
              ScaleClass::LargeUpscale);
    EXPECT_EQ(scaleClassFor(scaleContext(viewer), {100, 100}, {150, 150}), ScaleClass::Upscale);
    EXPECT_EQ(nameFor({100, 100}, {150, 150}), "Bicubic");

    viewer.settings.upscale = 4;
    EXPECT_EQ(nameFor({100, 100}, {150, 150}), "Lanczos");
    viewer.settings.upscale = 9;  // edited into the store by hand
    EXPECT_EQ(nameFor({100, 100}, {150, 150}), "None");

    viewer.view.zoomPerMille = 1050;
    EXPECT_EQ(scaleClassFor(scaleContext(viewer), {3000, 3000}, {10, 10}), ScaleClass::ZoomIn);
    viewer.view.zoomPerMille = 950;
    EXPECT_EQ(scaleClassFor(scaleContext(viewer), {10, 10}, {3000, 3000}), ScaleClass::ZoomOut);
    viewer.settings.zoomOutScale = 0;
    EXPECT_EQ(nameFor({10, 10}, {30, 30}), "Nearest Neighbour");
}

TEST_F(ScaleTest, SameSizeSharesPixelsAndIsNamedNone) {
    const cv::Mat source(50, 80, CV_8UC3, cv::Scalar::all(1));
    cv::Mat destination;
    EXPECT_EQ(scaleToSize(scaleContext(viewer), source, destination, 80, 50), "None");
    EXPECT_EQ(destination.data, source.data);
    EXPECT_EQ(scaleMethodName(scaleContext(viewer), {source.cols, source.rows},
                              {destination.cols, destination.rows}),
              "None");
    EXPECT_EQ(scaleToSize(scaleContext(viewer), cv::Mat(), destination, 10, 10), "None");
}

// Images are kept as BGR and scaled to BGRA for drawing: every interpolation must give
// the colours that scaling the image with an opaque alpha channel gives, downwards and
// upwards, so keeping three channels changes nothing on screen.
TEST_F(ScaleTest, ScaledColoursAreThoseOfScalingWithAlpha) {
    cv::Mat image(301, 457, CV_8UC3);
    cv::randu(image, 0, 256);
    cv::GaussianBlur(image, image, cv::Size(5, 5), 0);  // edges and gradients both
    cv::Mat withAlpha;
    cv::cvtColor(image, withAlpha, cv::COLOR_BGR2BGRA);
    for (int method = 0; method <= 4; ++method) {
        for (const cv::Size target : {cv::Size(97, 64), cv::Size(203, 134), cv::Size(700, 461)}) {
            SCOPED_TRACE(testing::Message() << "method " << method << " to " << target);
            viewer.settings.largeDownscale = viewer.settings.downscale = method;
            viewer.settings.upscale = viewer.settings.largeUpscale = method;
            cv::Mat drawn;
            scaleToSize(scaleContext(viewer), image, drawn, target.width, target.height);
            ASSERT_EQ(drawn.type(), CV_8UC4);
            cv::Mat expected;
            cv::resize(withAlpha, expected, target, 0, 0, method);
            std::vector<cv::Mat> drawnPlanes;
            std::vector<cv::Mat> expectedPlanes;
            cv::split(drawn, drawnPlanes);
            cv::split(expected, expectedPlanes);
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(cv::norm(drawnPlanes[c], expectedPlanes[c], cv::NORM_INF), 0.0) << c;
        }
    }
}

TEST_F(ScaleTest, FittedSizesInTheClientArea) {
    platform.normal = {0, 0, 1016, 759};  // client 1000 x 700
    showImage(1600, 1200);
    EXPECT_EQ(fitSizeInClient(scaleContext(viewer), 1600, 1200, {}, {}), (Size{933, 700}));
    EXPECT_EQ(fitSizeInClient(scaleContext(viewer), 2000, 1000, {}, {}), (Size{1000, 500}));
    EXPECT_EQ(fitSizeInClient(scaleContext(viewer), 1430, 1000, {}, {}), (Size{1000, 700}))
        << "699 is raised to 700";

    viewer.view.fitActive = false;
    viewer.view.zoomPerMille = 1500;
    const cv::Mat primary(300, 400, CV_8UC3);
    EXPECT_EQ(fitSizeInClient(scaleContext(viewer), 400, 300, primary, {}), (Size{600, 450}));
}

TEST_F(ScaleTest, ScreenFitUsesTheWholeDesktopInFullscreen) {
    showImage(4000, 3000);
    // Work area 1040 of 1080, thin-border allowance 7, frame 16 x 59.
    EXPECT_EQ(fitSizeOnScreen(scaleContext(viewer), 4000, 3000, {}, {}), (Size{1317, 988}));
    viewer.mode.fullscreenActive = true;
    platform.style = WindowStyle::Fullscreen;
    EXPECT_EQ(fitSizeOnScreen(scaleContext(viewer), 4000, 3000, {}, {}), (Size{1440, 1080}));
}

// Stepping in a maximised window shows the neighbours as the workers scaled them: were
// they scaled for another size, each step would scale the image again on the spot.
TEST_F(ScaleTest, AMaximisedWindowIsPrescaledForItsClientArea) {
    platform.showInitial({0, 0, 800, 600}, true);
    showImage(6000, 4000);
    for (const Size image : {Size{6000, 4000}, Size{3000, 4000}, Size{4000, 1000}}) {
        SCOPED_TRACE(testing::Message() << image.width << " x " << image.height);
        const cv::Mat pixels(image.height, image.width, CV_8UC3, cv::Scalar::all(0));
        const cv::Mat display = prescaleForScreen(scaleContext(viewer), pixels, {});
        EXPECT_EQ((Size{display.cols, display.rows}),
                  fitSizeInClient(scaleContext(viewer), image.width, image.height, pixels, {}));
    }
}

TEST_F(ScaleTest, RescaleFollowsFitAndZoom) {
    platform.normal = {0, 0, 1016, 759};
    showImage(2000, 1000);
    rescaleShownImage(viewer);
    EXPECT_EQ(viewer.shownImage.displayWidth, 1000);
    EXPECT_EQ(viewer.shownImage.displayHeight, 500);

    viewer.view.fitActive = false;
    rescaleShownImage(viewer);
    EXPECT_EQ(viewer.shownImage.display.data, viewer.shownImage.image.data) << "own size: no copy";
    EXPECT_EQ(viewer.shownImage.displayWidth, 2000);
}

TEST_F(ScaleTest, TallImagesOpenedDirectlyStartAtTheirOwnSize) {
    showImage(600, 1800);
    applyAutoShowOriginal(viewer, LoadOrigin::Step);
    EXPECT_TRUE(viewer.view.fitActive) << "browsing never changes the mode";
    applyAutoShowOriginal(viewer, LoadOrigin::Opened);
    EXPECT_FALSE(viewer.view.fitActive);

    viewer.view.fitActive = true;
    viewer.settings.autoShowOriginal = 0;
    applyAutoShowOriginal(viewer, LoadOrigin::Opened);
    EXPECT_TRUE(viewer.view.fitActive);

    viewer.settings.autoShowOriginal = 3;
    showImage(600, 1799);
    applyAutoShowOriginal(viewer, LoadOrigin::Opened);
    EXPECT_TRUE(viewer.view.fitActive);
}

}  // namespace
}  // namespace pavo
