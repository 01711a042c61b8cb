#include "platform/clock.h"
#include "support/viewer_fixture.h"
#include "view/view.h"

#include <clocale>
#include <string>
#include <tuple>

namespace pavo {
namespace {

class WindowModeTest : public test::ViewerTest {
  protected:
    void SetUp() override {
        viewer.view.fitActive = false;
        openCommandLine(viewer, {imageFile("a.png", 640, 480)}, dir.path());
        ASSERT_TRUE(viewer.shownImage.ready);
    }
};

TEST_F(WindowModeTest, TheLevelInForceChangesNothingAndTheMenuFitRefits) {
    setChromeLevel(viewer, 1);
    const std::size_t switches = platform.styles.size();
    setChromeLevel(viewer, 1);
    EXPECT_EQ(platform.styles.size(), switches);
    onCommand(viewer, static_cast<int>(Command::FitToggle));
    EXPECT_TRUE(viewer.view.fitActive);
    EXPECT_EQ(platform.windowRect().height(), 1047) << "the window is refitted to the screen";
}

TEST_F(WindowModeTest, FullscreenIsNeverDraggedAndRestoresThePlacement) {
    platform.normal = {200, 100, 856, 639};
    toggleFullscreen(viewer);
    platform.leftDown = true;
    platform.cursor = {500, 500};
    onMouseButton(viewer, MouseButton::Left, MouseAction::Press);
    platform.cursor = {700, 650};
    onMouseMove(viewer, 10, 10);
    platform.leftDown = false;
    onMouseButton(viewer, MouseButton::Left, MouseAction::Release);
    EXPECT_TRUE(platform.moves.empty()) << "neither dragged nor snapped";

    platform.cursorCounter = -1;
    toggleFullscreen(viewer);
    EXPECT_EQ(platform.style, WindowStyle::Normal);
    EXPECT_EQ(platform.windowRect(), (Rect{200, 100, 856, 639}));
    EXPECT_EQ(platform.cursorCounter, 0) << "leaving fullscreen shows the cursor";
    platform.maximized = true;
    toggleFullscreen(viewer);
    toggleFullscreen(viewer);
    ASSERT_FALSE(platform.restoredPlacements.empty());
    EXPECT_EQ(platform.restoredPlacements.back().showCommand, 3) << "maximised again";
}

TEST_F(WindowModeTest, ReducedFlickerErasesOnlyTheBandsAroundTheImage) {
    platform.normal = {0, 0, 656, 639};  // client 640 x 580: 100 rows to spare
    platform.invalidations.clear();
    requestRedraw(viewer);
    ASSERT_EQ(platform.invalidations.size(), 2U) << "as wide as the window: top and bottom only";
    EXPECT_EQ(platform.invalidations[0].area, (Rect{0, 0, 640, 50}));
    EXPECT_EQ(platform.invalidations[1].area, (Rect{0, 530, 640, 580}));

    viewer.settings.reduceFlicker = false;
    platform.invalidations.clear();
    requestRedraw(viewer);
    ASSERT_EQ(platform.invalidations.size(), 1U);
    EXPECT_EQ(platform.invalidations[0].area, (Rect{0, 0, 640, 580}));
    EXPECT_TRUE(platform.invalidations[0].erase);
}

// The overlay's timer draws it once more, on top of what a paint left (the widget test sees
// it drawn; the drawing test reads its text).
TEST_F(WindowModeTest, TheOverlayIsRedrawnOnTopOnce) {
    press(Key::I);
    ASSERT_TRUE(platform.timerPending(OverlayTimer));
    const std::size_t redraws = platform.redraws.size();
    onTimer(viewer, OverlayTimer);
    EXPECT_EQ(platform.redraws.size(), redraws + 1);
    EXPECT_FALSE(platform.timerPending(OverlayTimer)) << "one-shot";
}

TEST_F(WindowModeTest, TheCursorHidesAfterRestingInFullscreen) {
    press(Key::Q);
    EXPECT_EQ(platform.cursorShowing(), false);
    onMouseMove(viewer, 5, 5);
    EXPECT_EQ(platform.cursorShowing(), true) << "a move shows it again";

    toggleFullscreen(viewer);
    viewer.input.lastMouseMoveTime = monotonicNanoseconds() - 1'450'000'000;
    cursorWatcherRound(viewer);
    ASSERT_TRUE(platform.timerPending(CursorHideTimer));
    EXPECT_LE(platform.timerPeriod(CursorHideTimer), 50) << "armed for the rest of 1.5 s";
    platform.active = false;
    onTimer(viewer, CursorHideTimer);
    EXPECT_EQ(platform.cursorShowing(), true) << "another window in front keeps it visible";
    platform.active = true;
    onTimer(viewer, CursorHideTimer);
    EXPECT_EQ(platform.cursorShowing(), false);

    platform.cursorReadable = false;
    toggleCursor(viewer);
    EXPECT_EQ(platform.cursorCounter, 0) << "an unreadable cursor counts as hidden: shown";
}

// Qt sets the C library's locale from the environment: the overlay's numbers keep their point
// under de_DE.UTF-8, which the build makes (tests/CMakeLists.txt) for machines without it.
TEST(Drawing, ByteSizesUseBinaryUnitsAndCutDecimalsInEveryLocale) {
    const auto text = [](float v) {
        return (formatByteSize(v).number + formatByteSize(v).unit).toStdString();
    };
    const std::string before = std::setlocale(LC_ALL, nullptr);
    qputenv("LOCPATH", PAVO_TEST_LOCALES);
    for (const auto& [locale, point] : {std::pair{"C", "."}, std::pair{"de_DE.UTF-8", ","}}) {
        SCOPED_TRACE(locale);
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << "made in " PAVO_TEST_LOCALES;
        ASSERT_STREQ(std::localeconv()->decimal_point, point);
        // 0.0099999 is rounded to six decimals first; 99.99 MB is cut, not rounded.
        EXPECT_EQ((std::vector{text(0.0099999F), text(1536), text(123456789), text(15000000),
                               text(99.99F * 1024 * 1024), text(3.0F * 1024 * 1024 * 1024),
                               text(2.5F * 1024 * 1024 * 1024 * 1024)}),
                  (std::vector<std::string>{"0.01B", "1.50KB", "117MB", "14.3MB", "99.9MB",
                                            "3.00GB", "2.50TB"}));
    }
    std::setlocale(LC_ALL, before.c_str());
}

using DrawingTest = test::ViewerTest;

// Images are centred (the spare pixel on the right) or scrolled, and the overlay lists the
// position, sizes, method, channels, load time and file size.
TEST_F(DrawingTest, ImagesAreCentredOrScrolledAndTheOverlayListsTheirFigures) {
    const ImagePlacement centred = placeImage({801, 700}, {600, 400}, 0, 0);
    EXPECT_EQ((std::pair{centred.x, centred.y}), (std::pair{100, 150}));
    const ImagePlacement scrolled = placeImage({1000, 800}, {3000, 2000}, 500, -300);
    EXPECT_EQ((std::tuple{scrolled.x, scrolled.sourceX, scrolled.sourceY}),
              (std::tuple{0, 500, 300}));

    viewer.playlist.paths.assign(12, QStringLiteral("/pics/img 0.png"));
    platform.normal = {0, 0, 1016, 726};  // client 1000 x 667
    showImage(3000, 2000);
    rescaleShownImage(viewer);
    ImageBuffer& shown = viewer.shownImage;
    std::tie(shown.channels, shown.loadTimeMs, shown.fileSize) = std::tuple{4, 42, 1536};
    const QString text = overlayText(viewer);
    EXPECT_EQ(text.section(QStringLiteral("Memory usage: "), 0, 0),
              "1 / 12\nimg 0.png\n3000 x 2000\n(1000 x 667)\nScaled using: Area\n"
              "Channels: RGBA\nLoaded in: 42 ms\nFile size: 1.50KB\n");
    EXPECT_TRUE(text.endsWith("B\n"));

    viewer.playlist.paths.clear();
    EXPECT_TRUE(overlayText(viewer).startsWith("1 / 0\n3000 x 2000\n")) << "no entry, no name";
}

using GeometryTest = test::ViewerTest;

TEST_F(GeometryTest, TheFirstWindowIsRememberedOrInTheDefaultCorner) {
    EXPECT_EQ(initialWindow(viewer).outer, (Rect{-7, 0, 593, 800}));
    viewer.settings.fixWindowPosition = viewer.defaults.fixWindowPosition;
    EXPECT_EQ(initialWindow(viewer).outer, (Rect{0, 0, 600, 800}))
        << "by default the whole window starts on screen";
    std::tie(viewer.settings.rememberExit, viewer.settings.posX, viewer.settings.posY,
             viewer.settings.width, viewer.settings.height, viewer.settings.state) =
        std::tuple{true, 100, 50, 900, 700, 3};
    EXPECT_EQ(initialWindow(viewer).outer, (Rect{100, 50, 1000, 750}));
    EXPECT_TRUE(initialWindow(viewer).maximized);
    viewer.settings.state = 2;
    EXPECT_FALSE(initialWindow(viewer).maximized) << "never opens minimised";
}

TEST_F(GeometryTest, WindowSizesForFittedAndNativeImages) {
    const auto sizeFor = [&](int w, int h, bool fit) {
        viewer.view.fitActive = fit;
        return windowSizeForImage(viewer, cv::Mat(h, w, CV_8UC3));
    };
    EXPECT_EQ(sizeFor(4000, 3000, true), (Size{1333, 1047}));
    EXPECT_EQ(sizeFor(200, 100, true), (Size{1934, 1018})) << "fit enlarges small images";
    EXPECT_EQ(sizeFor(640, 480, false), (Size{656, 539}));
    EXPECT_EQ(sizeFor(4000, 3000, false), (Size{1934, 1047}));
    EXPECT_EQ(sizeFor(1920, 500, false), (Size{1936, 559}));

    showImage(1920, 500);
    viewer.view.fitActive = false;
    applyWindowSize(viewer, {1936, 559});
    EXPECT_EQ(platform.windowRect().width(), 1934) << "clamped to the limit";
}

// A window may hang the thin-border allowance (7) off the work area's sides and bottom.
TEST_F(GeometryTest, TheWindowAndTheSnapStayInsideTheWorkAreaAndNeverAboveIt) {
    platform.normal = {1700, -40, 2100, 360};
    snapWindowToMonitor(viewer);
    EXPECT_EQ(platform.windowRect(), (Rect{1527, 0, 1927, 400}));
    viewer.settings.snapToMonitorEdge = false;
    platform.normal = {1700, -40, 2100, 360};
    snapWindowToMonitor(viewer);
    EXPECT_EQ(platform.windowRect().left, 1700);

    showImage(100, 100);
    const std::tuple<int, Rect, Size, bool, Rect> rows[] = {
        {7, {1000, 100, 1940, 500}, {940, 400}, false, {987, 100, 1927, 500}},
        {7, {-300, -50, 100, 350}, {400, 400}, false, {-7, 0, 393, 400}},
        {7, {0, 900, 400, 1300}, {400, 400}, true, {-7, 647, 393, 1047}},
        {0, {1800, 900, 2200, 1300}, {400, 400}, false, {1520, 640, 1920, 1040}},
    };
    for (const auto& [fix, normal, size, pinned, expected] : rows) {
        viewer.settings.fixWindowPosition = fix;
        refreshWindowLimits(viewer);
        platform.normal = normal;
        applyWindowSize(viewer, size, {.pinLeftEdge = pinned});
        EXPECT_EQ(platform.windowRect(), expected) << normal.left << ", " << normal.top;
    }
    platform.maximized = true;
    const std::size_t before = platform.windowRects.size();
    applyWindowSize(viewer, {400, 400});
    EXPECT_EQ(platform.windowRects.size(), before) << "a maximised window is left alone";
}

TEST_F(GeometryTest, StickySizeKeepsTheWidthWithinTheMonitor) {
    viewer.settings.stickyWindowSize = true;
    viewer.view.stickyWidth = 800;
    refreshWindowLimits(viewer);
    showImage(1000, 2000);
    applyWindowSize(viewer, {500, 500});
    EXPECT_EQ(platform.clientSize(), (Size{494, 988}));

    showImage(1000, 500);
    applyWindowSize(viewer, {500, 500});
    EXPECT_EQ(platform.clientSize(), (Size{800, 400}));

    applyWindowSize(viewer, {500, 500}, {.sticky = false});
    EXPECT_EQ(platform.clientSize(), (Size{484, 441})) << "noSticky keeps the requested size";

    // A step keeps the view as wide as the picture left was shown; the height follows.
    imageFile("sticky/b.png", 1000, 600);
    open(imageFile("sticky/a.png", 600, 1200));
    const int shownWidth = viewer.shownImage.display.cols;
    press(Key::Right);
    EXPECT_EQ(platform.clientSize().width, shownWidth);
    EXPECT_NEAR(platform.clientSize().height, 600.0 * shownWidth / 1000, 1);
    EXPECT_NEAR(viewer.shownImage.display.cols, shownWidth, 1) << "the picture fills its view";
}

// A frame drag keeps the image's ratio: narrower, the height follows; flatter, the width
// does; below the smallest size the opposite corner stays. Ctrl lets the frame go free.
TEST_F(GeometryTest, FrameDragsKeepTheAspectUnlessCtrlIsHeld) {
    showImage(400, 200);
    refreshWindowLimits(viewer);
    platform.normal = {100, 100, 516, 359};  // client 400 x 200
    const std::tuple<SizingEdge, Rect, Rect> drags[] = {
        {SizingEdge::Right, {100, 100, 616, 359}, {100, 100, 616, 409}},  // 500 wide: 250 high
        {SizingEdge::Bottom, {100, 100, 516, 459}, {100, 100, 716, 459}},
        {SizingEdge::TopLeft, {50, 50, 516, 359}, {50, 75, 516, 359}},      // 450 x 250
        {SizingEdge::BottomLeft, {-200, 50, 516, 359}, {0, 50, 516, 359}},  // 700 x 250
        {SizingEdge::TopLeft, {500, 350, 516, 359}, {216, 159, 516, 359}},  // too small
    };
    for (auto [edge, dragged, expected] : drags) {
        constrainSizing(viewer, edge, dragged);
        EXPECT_EQ(dragged, expected) << static_cast<int>(edge);
    }
    viewer.input.ctrlHeld = true;
    Rect free{100, 100, 700, 700};
    constrainSizing(viewer, SizingEdge::BottomRight, free);
    EXPECT_EQ(free, (Rect{100, 100, 700, 700}));
}

class ZoomScrollTest : public test::ViewerTest {
  protected:
    ZoomScrollTest() { platform.normal = {0, 0, 1016, 859}; }  // client 1000 x 800
    void showDisplay(int width, int height) {
        showImage(width, height);
        viewer.view.fitActive = false;
        rescaleShownImage(viewer);
    }
    Point scroll() const { return {viewer.shownImage.scrollX, viewer.shownImage.scrollY}; }
};

// Zoom steps are counted, and the factor is the step to the power of the count: one step out
// and one in come back to 100 %, and four steps of 50 % in are 1.5^4, not 1 + 4 x 0.5.
TEST_F(ZoomScrollTest, ZoomStepsAreCountedAndStopAtTheLimitsWithABeep) {
    showDisplay(2000, 100);
    viewer.settings.zoomInStep = 50;
    viewer.settings.zoomOutStep = 10;
    press(Key::Minus);
    press(Key::Plus);
    EXPECT_EQ(viewer.view.zoomPerMille, 1000);
    for (int i = 0; i < 4; ++i) press(Key::Plus);
    EXPECT_EQ(viewer.view.zoomPerMille, 5063);
    press(Key::Plus);  // 7.59: 6 or more, and 2000 x 7.59 is not below 8000
    EXPECT_EQ(viewer.view.zoomPerMille, 5063);
    EXPECT_EQ(platform.beeps, std::vector<BeepKind>{BeepKind::Information});
    press(Key::Minus);
    EXPECT_EQ(viewer.view.zoomPerMille, 3375) << "the refused step was undone: three steps in";

    showDisplay(20, 20);
    press(Key::R);
    viewer.settings.zoomOutStep = 50;
    for (int i = 0; i < 4; ++i) press(Key::Minus);  // 0.5^4 x 20 = 1.25 pixels
    EXPECT_EQ(viewer.view.zoomPerMille, 63);
    press(Key::Minus);
    EXPECT_EQ(viewer.view.zoomPerMille, 63) << "below one pixel is refused";
    EXPECT_EQ(platform.beeps.size(), 2U);

    // A step of 0 % (a hand-edited store) is refused and leaves the count as it was.
    press(Key::R);
    viewer.settings.zoomInStep = 0;
    press(Key::Plus);
    press(Key::Minus);
    EXPECT_EQ(viewer.view.zoomPerMille, 500) << "zooming out still works";
}

TEST_F(ZoomScrollTest, KeyboardZoomKeepsTheCentreAndWheelZoomTheCursor) {
    showDisplay(2000, 2000);
    scrollBy(viewer, 500, 600);  // the view centre is at image (1000, 1000)
    viewer.settings.zoomInStep = 100;
    press(Key::Plus);
    EXPECT_EQ(viewer.shownImage.displayWidth, 4000);
    EXPECT_EQ(scroll(), (Point{1500, -1600})) << "image point 2000 now at the centre 500";

    platform.cursor = {8 + 100, 51 + 100};  // client point (100, 100): image (800, 850)
    onWheel(viewer, -120, true, false);
    EXPECT_EQ(scroll(), (Point{700, -750})) << "image point (800, 850) stays under the cursor";
}

// Every way of scrolling stays within the image; at its edge a scroll is still taken as one.
TEST_F(ZoomScrollTest, KeysRightDragAndTheAnchorScrollWithinTheImage) {
    showDisplay(500, 400);
    EXPECT_FALSE(scrollBy(viewer, 40, 40)) << "a small image never scrolls";
    EXPECT_EQ(scroll(), (Point{0, 0}));
    showDisplay(2000, 3000);
    EXPECT_TRUE(scrollBy(viewer, 5000, 5000));
    EXPECT_EQ(scroll(), (Point{1000, -2200}));
    EXPECT_TRUE(scrollBy(viewer, 0, 10)) << "at the bottom, still taken as a scroll";
    press(Key::PageUp);
    EXPECT_EQ(scroll(), (Point{1000, 0}));
    press(Key::PageDown);
    EXPECT_EQ(scroll(), (Point{1000, -2200}));

    platform.active = true;
    platform.rightDown = true;
    platform.cursor = {400, 400};
    onMouseButton(viewer, MouseButton::Right, MouseAction::Press);
    EXPECT_TRUE(platform.captured);
    platform.cursor = {430, 420};
    onMouseMove(viewer, 100, 100);
    EXPECT_EQ(scroll(), (Point{970, -2180})) << "the picture moves with the cursor";
    platform.rightDown = false;
    onMouseButton(viewer, MouseButton::Right, MouseAction::Release);
    EXPECT_FALSE(platform.captured);

    viewer.settings.useMouseAnchor = true;
    platform.cursor = {500, 300};
    onMouseButton(viewer, MouseButton::Middle, MouseAction::Press);
    ASSERT_TRUE(viewer.input.anchorScrollActive);
    EXPECT_EQ(platform.timerPeriod(AnchorScrollTimer), 16);
    platform.cursor = {500, 330};
    onTimer(viewer, AnchorScrollTimer);
    EXPECT_EQ(scroll(), (Point{970, -2190})) << "30 px below the anchor at 60 Hz: 10 px a tick";
    onMouseButton(viewer, MouseButton::Middle, MouseAction::Release);
    onMouseButton(viewer, MouseButton::Middle, MouseAction::Press);
    EXPECT_FALSE(viewer.input.anchorScrollActive);
    onTimer(viewer, AnchorScrollTimer);
    EXPECT_FALSE(platform.timerPending(AnchorScrollTimer)) << "the timer ends itself";
}

}  // namespace
}  // namespace pavo
