#include "view/view.h"
#include "support/viewer_fixture.h"

namespace pavo {
namespace {

using test::ViewerTest;

class GeometryTest : public ViewerTest {};

TEST_F(GeometryTest, LimitsComeFromTheMonitorAndTheThinBorderAllowance) {
    refreshWindowLimits(viewer);
    EXPECT_EQ(viewer.view.maxWindowWidth, 1934);
    EXPECT_EQ(viewer.view.maxWindowHeight, 1047);
    viewer.settings.fixWindowPosition = 0;
    refreshWindowLimits(viewer);
    EXPECT_EQ(viewer.view.maxWindowWidth, 1920);
    EXPECT_EQ(viewer.view.maxWindowHeight, 1040);
}

TEST_F(GeometryTest, WindowSizesForFittedAndNativeImages) {
    const auto sizeFor = [&](int w, int h, bool fit) {
        viewer.view.fitActive = fit;
        return windowSizeForImage(viewer, cv::Mat(h, w, CV_8UC4));
    };
    EXPECT_EQ(sizeFor(4000, 3000, true), (Size{1333, 1047}));
    EXPECT_EQ(sizeFor(200, 100, true), (Size{1934, 1018})) << "fit enlarges small images";
    EXPECT_EQ(sizeFor(640, 480, false), (Size{656, 539}));
    EXPECT_EQ(sizeFor(4000, 3000, false), (Size{1934, 1047}));
    EXPECT_EQ(sizeFor(1920, 500, false), (Size{1936, 559}));

    showImage(1920, 500);
    viewer.view.fitActive = false;
    applyWindowSize(viewer, 1936, 559, false, {}, false, false);
    EXPECT_EQ(platform.windowRect().width(), 1934) << "clamped to the limit";
}

TEST_F(GeometryTest, TheWindowStaysInsideTheWorkAreaAndNeverAboveIt) {
    showImage(100, 100);
    refreshWindowLimits(viewer);
    platform.normal = {1000, 100, 1940, 500};
    applyWindowSize(viewer, 940, 400, false, {}, false, false);
    EXPECT_EQ(platform.windowRect(), (Rect{987, 100, 1927, 500})) << "right edge at work right + 7";

    platform.normal = {-300, -50, 100, 350};
    applyWindowSize(viewer, 400, 400, false, {}, false, false);
    EXPECT_EQ(platform.windowRect(), (Rect{-7, 0, 393, 400}));

    platform.normal = {0, 900, 400, 1300};
    applyWindowSize(viewer, 400, 400, true, {}, false, false);
    EXPECT_EQ(platform.windowRect(), (Rect{-7, 647, 393, 1047}))
        << "pinned left edge, lifted off the bottom";

    viewer.settings.fixWindowPosition = 0;
    refreshWindowLimits(viewer);
    platform.normal = {1800, 900, 2200, 1300};
    applyWindowSize(viewer, 400, 400, false, {}, false, false);
    EXPECT_EQ(platform.windowRect(), (Rect{1520, 640, 1920, 1040}));

    platform.maximized = true;
    const std::size_t before = platform.windowRects.size();
    applyWindowSize(viewer, 400, 400, false, {}, false, false);
    EXPECT_EQ(platform.windowRects.size(), before) << "a maximised window is left alone";
}

TEST_F(GeometryTest, StickySizeKeepsTheWidthWithinTheMonitor) {
    viewer.settings.stickyWindowSize = true;
    viewer.view.stickyWidth = 800;
    refreshWindowLimits(viewer);
    showImage(1000, 2000);
    applyWindowSize(viewer, 500, 500, false, {}, false, false);
    EXPECT_EQ(platform.windowRect().width(), 494 + 16);
    EXPECT_EQ(platform.windowRect().height(), 988 + 59);

    showImage(1000, 500);
    applyWindowSize(viewer, 500, 500, false, {}, false, false);
    EXPECT_EQ(platform.clientSize(), (Size{800, 400}));

    applyWindowSize(viewer, 500, 500, false, {}, true, false);
    EXPECT_EQ(platform.clientSize(), (Size{484, 441})) << "noSticky keeps the requested size";
}

TEST_F(GeometryTest, FrameDragsKeepTheAspectUnlessCtrlIsHeld) {
    showImage(400, 200);
    refreshWindowLimits(viewer);
    platform.normal = {100, 100, 516, 359};  // client 400 x 200

    Rect right{100, 100, 616, 359};  // client 500 wide
    constrainSizing(viewer, SizingEdge::Right, right);
    EXPECT_EQ(right, (Rect{100, 100, 616, 409})) << "height follows: 250 + 59";

    Rect bottom{100, 100, 516, 459};  // client 300 high
    constrainSizing(viewer, SizingEdge::Bottom, bottom);
    EXPECT_EQ(bottom, (Rect{100, 100, 716, 459}));

    Rect corner{50, 50, 516, 359};  // top-left dragged: client 450 x 250, narrower than 2:1
    constrainSizing(viewer, SizingEdge::TopLeft, corner);
    EXPECT_EQ(corner, (Rect{50, 75, 516, 359})) << "the height follows the width";

    Rect flat{-200, 50, 516, 359};  // client 700 x 250, flatter than 2:1
    constrainSizing(viewer, SizingEdge::BottomLeft, flat);
    EXPECT_EQ(flat, (Rect{0, 50, 516, 359})) << "the width follows the height";

    Rect tiny{500, 350, 516, 359};
    constrainSizing(viewer, SizingEdge::TopLeft, tiny);
    EXPECT_EQ(tiny.width(), 300);
    EXPECT_EQ(tiny.height(), 200);
    EXPECT_EQ(tiny.right, 516) << "the opposite corner stays";
    EXPECT_EQ(tiny.bottom, 359);

    viewer.input.ctrlHeld = true;
    Rect free{100, 100, 700, 700};
    constrainSizing(viewer, SizingEdge::BottomRight, free);
    EXPECT_EQ(free, (Rect{100, 100, 700, 700}));
}

TEST_F(GeometryTest, SnapPullsADraggedWindowBackIntoTheWorkArea) {
    platform.normal = {1700, -40, 2100, 360};
    snapWindowToMonitor(viewer);
    EXPECT_EQ(platform.windowRect(), (Rect{1527, 0, 1927, 400}));
    viewer.settings.snapToMonitorEdge = false;
    platform.normal = {1700, -40, 2100, 360};
    snapWindowToMonitor(viewer);
    EXPECT_EQ(platform.windowRect().left, 1700);
}

class ScaleTest : public ViewerTest {};

TEST_F(ScaleTest, ScaleClassesPickTheirInterpolation) {
    const auto nameFor = [&](Size source, Size target) {
        cv::Mat destination;
        return scaleToSize(viewer,
                           cv::Mat(source.height, source.width, CV_8UC4, cv::Scalar::all(0)),
                           destination, target.width, target.height);
    };
    EXPECT_EQ(nameFor({3000, 2000}, {1000, 667}), "Area");
    EXPECT_EQ(scaleClassFor(viewer, {3000, 2000}, {1000, 667}), ScaleClass::LargeDownscale);
    EXPECT_EQ(scaleClassFor(viewer, {300, 100}, {100, 100}), ScaleClass::Downscale)
        << "exactly three times";
    EXPECT_EQ(scaleClassFor(viewer, {100, 100}, {300, 300}), ScaleClass::LargeUpscale);
    EXPECT_EQ(scaleClassFor(viewer, {100, 100}, {150, 150}), ScaleClass::Upscale);
    EXPECT_EQ(nameFor({100, 100}, {150, 150}), "Bicubic");

    viewer.settings.upscale = 4;
    EXPECT_EQ(nameFor({100, 100}, {150, 150}), "Lanczos");
    viewer.settings.upscale = 9;  // edited into the store by hand
    EXPECT_EQ(nameFor({100, 100}, {150, 150}), "None");

    viewer.view.zoomPerMille = 1050;
    EXPECT_EQ(scaleClassFor(viewer, {3000, 3000}, {10, 10}), ScaleClass::ZoomIn);
    viewer.view.zoomPerMille = 950;
    EXPECT_EQ(scaleClassFor(viewer, {10, 10}, {3000, 3000}), ScaleClass::ZoomOut);
    viewer.settings.zoomOutScale = 0;
    EXPECT_EQ(nameFor({10, 10}, {30, 30}), "Nearest Neighbour");
}

TEST_F(ScaleTest, SameSizeSharesPixelsAndIsNamedNone) {
    const cv::Mat source(50, 80, CV_8UC4, cv::Scalar::all(1));
    cv::Mat destination;
    EXPECT_EQ(scaleToSize(viewer, source, destination, 80, 50), "None");
    EXPECT_EQ(destination.data, source.data);
    EXPECT_EQ(scaleMethodName(viewer, source, destination), "None");
    EXPECT_EQ(scaleToSize(viewer, cv::Mat(), destination, 10, 10), "None");
}

TEST_F(ScaleTest, FittedSizesInTheClientArea) {
    platform.normal = {0, 0, 1016, 759};  // client 1000 x 700
    showImage(1600, 1200);
    EXPECT_EQ(fitSizeInClient(viewer, 1600, 1200, {}, {}), (Size{933, 700}));
    EXPECT_EQ(fitSizeInClient(viewer, 2000, 1000, {}, {}), (Size{1000, 500}));
    EXPECT_EQ(fitSizeInClient(viewer, 1430, 1000, {}, {}), (Size{1000, 700}))
        << "699 is raised to 700";

    viewer.view.fitActive = false;
    viewer.view.zoomPerMille = 1500;
    const cv::Mat primary(300, 400, CV_8UC4);
    EXPECT_EQ(fitSizeInClient(viewer, 400, 300, primary, {}), (Size{600, 450}));

    viewer.shownImage.ready = false;
    EXPECT_EQ(fitSizeInClient(viewer, 400, 300, primary, {}), (Size{1, 1}));
}

TEST_F(ScaleTest, ScreenFitUsesTheWholeDesktopInFullscreen) {
    showImage(4000, 3000);
    // Work area 1040 of 1080, thin-border allowance 7, frame 16 x 59.
    EXPECT_EQ(fitSizeOnScreen(viewer, 4000, 3000, {}, {}), (Size{1317, 988}));
    viewer.mode.fullscreenActive = true;
    platform.style = WindowStyle::Fullscreen;
    EXPECT_EQ(fitSizeOnScreen(viewer, 4000, 3000, {}, {}), (Size{1440, 1080}));
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
    applyAutoShowOriginal(viewer, false);
    EXPECT_TRUE(viewer.view.fitActive) << "browsing never changes the mode";
    applyAutoShowOriginal(viewer, true);
    EXPECT_FALSE(viewer.view.fitActive);

    viewer.view.fitActive = true;
    viewer.settings.autoShowOriginal = 0;
    applyAutoShowOriginal(viewer, true);
    EXPECT_TRUE(viewer.view.fitActive);

    viewer.settings.autoShowOriginal = 3;
    showImage(600, 1799);
    applyAutoShowOriginal(viewer, true);
    EXPECT_TRUE(viewer.view.fitActive);
}

TEST(Drawing, ImagesAreCentredOrScrolled) {
    EXPECT_EQ(placeImage({800, 700}, {600, 400}, 0, 0).x, 100);
    EXPECT_EQ(placeImage({800, 700}, {600, 400}, 0, 0).y, 150);
    EXPECT_EQ(placeImage({601, 400}, {600, 400}, 0, 0).x, 0)
        << "one spare pixel stays on the right";
    const ImagePlacement scrolled = placeImage({1000, 800}, {3000, 2000}, 500, -300);
    EXPECT_EQ(scrolled.x, 0);
    EXPECT_EQ(scrolled.sourceX, 500);
    EXPECT_EQ(scrolled.sourceY, 300);
}

TEST(Drawing, ByteSizesUseBinaryUnitsAndCutDecimals) {
    const auto text = [](float v) {
        const ByteSizeText t = formatByteSize(v);
        return (t.number + t.unit).toStdString();
    };
    EXPECT_EQ(text(500), "500B");
    EXPECT_EQ(text(5), "5.00B");
    EXPECT_EQ(text(1536), "1.50KB");
    EXPECT_EQ(text(1048576), "1.00MB");
    EXPECT_EQ(text(123456789), "117MB");
    EXPECT_EQ(text(15000000), "14.3MB");
    EXPECT_EQ(text(99.99F * 1024.0F * 1024.0F), "99.9MB") << "cut, not rounded";
    EXPECT_EQ(text(3.0F * 1024 * 1024 * 1024), "3.00GB");
    EXPECT_EQ(text(2.5F * 1024 * 1024 * 1024 * 1024), "2.50TB");
    EXPECT_EQ(formatCount(-12).toStdString(), "-12");
}

class OverlayTest : public ViewerTest {};

TEST_F(OverlayTest, OverlayListsPositionSizesMethodChannelsTimeAndSizes) {
    for (int i = 0; i < 12; ++i)
        viewer.playlist.paths.push_back(QStringLiteral("/pics/img %1.png").arg(i));
    showImage(3000, 2000);
    ImageBuffer& shown = viewer.shownImage;
    shown.display = cv::Mat(667, 1000, CV_8UC4);
    shown.displayWidth = 1000;
    shown.displayHeight = 667;
    shown.channels = 4;
    shown.loadTimeMs = 42;
    shown.fileSize = 1536;
    const QString text = overlayText(viewer);
    EXPECT_TRUE(
        text.startsWith("1 / 12\nimg 0.png\n3000 x 2000\n(1000 x 667)\nScaled using: Area\n"
                        "Channels: RGBA\nLoaded in: 42 ms\nFile size: 1.50KB\nMemory usage: "))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith("B\n"));

    viewer.playlist.paths.clear();
    shown.channels = 7;
    EXPECT_TRUE(overlayText(viewer).startsWith("1 / 0\n3000 x 2000\n"));
    EXPECT_TRUE(overlayText(viewer).contains("Channels: Unknown\n"));

    test::FakePainter painter;
    viewer.view.infoOverlayShown = true;
    drawImage(viewer, painter);
    ASSERT_EQ(painter.blits.size(), 1U);
    ASSERT_EQ(painter.texts.size(), 1U) << "the overlay is drawn last";
}

}  // namespace
}  // namespace pavo
