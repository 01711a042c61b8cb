#include "support/viewer_fixture.h"

#include <tuple>

namespace pavo {
namespace {

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

}  // namespace
}  // namespace pavo
