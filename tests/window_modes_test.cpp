#include "platform/clock.h"
#include "support/viewer_fixture.h"
#include "view/view.h"

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

// Fullscreen is never dragged; leaving it restores the placement, maximised or not.
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

}  // namespace
}  // namespace pavo
