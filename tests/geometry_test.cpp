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

TEST_F(GeometryTest, TheWindowStaysInsideTheWorkAreaAndNeverAboveIt) {
    showImage(100, 100);
    refreshWindowLimits(viewer);
    platform.normal = {1000, 100, 1940, 500};
    applyWindowSize(viewer, {940, 400});
    EXPECT_EQ(platform.windowRect(), (Rect{987, 100, 1927, 500})) << "right edge at work right + 7";

    platform.normal = {-300, -50, 100, 350};
    applyWindowSize(viewer, {400, 400});
    EXPECT_EQ(platform.windowRect(), (Rect{-7, 0, 393, 400}));

    platform.normal = {0, 900, 400, 1300};
    applyWindowSize(viewer, {400, 400}, {.pinLeftEdge = true});
    EXPECT_EQ(platform.windowRect(), (Rect{-7, 647, 393, 1047}))
        << "pinned left edge, lifted off the bottom";

    viewer.settings.fixWindowPosition = 0;
    refreshWindowLimits(viewer);
    platform.normal = {1800, 900, 2200, 1300};
    applyWindowSize(viewer, {400, 400});
    EXPECT_EQ(platform.windowRect(), (Rect{1520, 640, 1920, 1040}));

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
    EXPECT_EQ(platform.windowRect().width(), 494 + 16);
    EXPECT_EQ(platform.windowRect().height(), 988 + 59);

    showImage(1000, 500);
    applyWindowSize(viewer, {500, 500});
    EXPECT_EQ(platform.clientSize(), (Size{800, 400}));

    applyWindowSize(viewer, {500, 500}, {.sticky = false});
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

}  // namespace
}  // namespace pavo
