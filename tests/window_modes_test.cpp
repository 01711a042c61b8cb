#include "platform/clock.h"
#include "support/viewer_fixture.h"
#include "view/view.h"

namespace pavo {
namespace {

using test::ViewerTest;

class WindowModeTest : public ViewerTest {
  protected:
    void SetUp() override {
        viewer.view.fitActive = false;
        openCommandLine(viewer, {imageFile("a.png", 640, 480)}, dir.path());
        ASSERT_TRUE(viewer.shownImage.ready);
    }
};

TEST_F(WindowModeTest, ChromeLevelsSwitchOnlyOutsideFullscreen) {
    setChromeLevel(viewer, 1);
    EXPECT_EQ(platform.style, WindowStyle::ImageOnly);
    EXPECT_EQ(platform.clientSize(), (Size{640, 480})) << "refitted for the thinner frame";
    const std::size_t switches = platform.styles.size();
    setChromeLevel(viewer, 1);
    EXPECT_EQ(platform.styles.size(), switches) << "the level in force changes nothing";

    toggleFullscreen(viewer);
    setChromeLevel(viewer, 3);
    EXPECT_EQ(viewer.mode.chromeLevel, 1) << "no level change in fullscreen";
}

TEST_F(WindowModeTest, FullscreenRestoresTheSavedPlacement) {
    platform.normal = {200, 100, 856, 639};
    toggleFullscreen(viewer);
    EXPECT_TRUE(viewer.mode.fullscreenActive);
    EXPECT_EQ(platform.style, WindowStyle::Fullscreen);
    EXPECT_EQ(platform.clientSize(), (Size{1920, 1080}));
    platform.cursorCounter = -1;

    toggleFullscreen(viewer);
    EXPECT_FALSE(viewer.mode.fullscreenActive);
    EXPECT_EQ(platform.style, WindowStyle::Normal);
    EXPECT_EQ(platform.windowRect(), (Rect{200, 100, 856, 639}));
    EXPECT_EQ(platform.cursorCounter, 0) << "leaving fullscreen shows the cursor";

    platform.maximized = true;
    toggleFullscreen(viewer);
    toggleFullscreen(viewer);
    ASSERT_FALSE(platform.restoredPlacements.empty());
    EXPECT_EQ(platform.restoredPlacements.back().showCommand, 3) << "maximised again";
}

TEST_F(WindowModeTest, EscLeavesFullscreenOrSavesAndQuits) {
    toggleFullscreen(viewer);
    press(Key::Esc);
    EXPECT_FALSE(viewer.mode.fullscreenActive);
    EXPECT_FALSE(platform.quitCode);
    platform.normal = {10, 20, 666, 559};
    press(Key::Esc);
    EXPECT_EQ(platform.quitCode, 0);
    EXPECT_EQ(viewer.settings.posX, 10);
    EXPECT_EQ(viewer.settings.width, 656);
}

TEST_F(WindowModeTest, ReducedFlickerErasesOnlyTheBandsAroundTheImage) {
    platform.normal = {0, 0, 656, 639};  // client 640 x 580: 100 rows to spare
    onSize(viewer);
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

TEST_F(WindowModeTest, TheOverlayIsRedrawnOnTopAfterEachPaint) {
    press(Key::I);
    EXPECT_TRUE(viewer.view.infoOverlayShown);
    EXPECT_EQ(platform.timerPeriod(OverlayTimer), 50);
    const std::size_t redraws = platform.redraws.size();
    onTimer(viewer, OverlayTimer);
    EXPECT_EQ(platform.redraws.size(), redraws + 1);
    EXPECT_FALSE(platform.timerPending(OverlayTimer)) << "one-shot";

    test::FakePainter painter;
    onPaint(viewer, painter);
    ASSERT_EQ(painter.texts.size(), 1U);
    EXPECT_TRUE(
        painter.texts[0].startsWith("1 / 1\na.png\n640 x 480\n(640 x 480)\nScaled using: None\n"))
        << painter.texts[0].toStdString();
}

TEST_F(WindowModeTest, FitToggleRefitsTheWindow) {
    press(Key::F);
    EXPECT_TRUE(viewer.view.fitActive);
    EXPECT_EQ(platform.windowRect().height(), 1047);
    onCommand(viewer, static_cast<int>(Command::FitToggle));
    EXPECT_FALSE(viewer.view.fitActive);
    EXPECT_EQ(platform.clientSize(), (Size{640, 480}));
}

TEST_F(WindowModeTest, TheCursorHidesAfterRestingInFullscreen) {
    press(Key::Q);
    EXPECT_EQ(platform.cursorShowing(), false);
    onMouseMove(viewer, 5, 5);
    EXPECT_EQ(platform.cursorShowing(), true) << "a move shows it again";

    toggleFullscreen(viewer);
    viewer.input.lastMouseMoveTime = monotonicNanoseconds() - 1'200'000'000;
    cursorWatcherRound(viewer);
    ASSERT_TRUE(platform.timerPending(CursorHideTimer));
    EXPECT_LE(platform.timerPeriod(CursorHideTimer), 300);
    viewer.input.lastMouseMoveTime = monotonicNanoseconds() - 1'500'000'000;
    platform.active = false;
    onTimer(viewer, CursorHideTimer);
    EXPECT_EQ(platform.cursorShowing(), true) << "another window in front keeps it visible";
    platform.active = true;
    onTimer(viewer, CursorHideTimer);
    EXPECT_EQ(platform.cursorShowing(), false);

    platform.cursorReadable = false;
    toggleCursor(viewer);
    platform.cursorReadable = true;
    EXPECT_EQ(platform.cursorShowing(), true) << "an unreadable cursor counts as hidden";
}

// Fullscreen covers the monitor as a maximised window does: it is never dragged, and
// leaving the program from it remembers a maximised window.
TEST_F(WindowModeTest, FullscreenCountsAsMaximised) {
    platform.normal = {200, 100, 856, 639};
    toggleFullscreen(viewer);
    EXPECT_TRUE(platform.geometrySnapshot().maximized);

    platform.leftDown = true;
    platform.cursor = {500, 500};
    onMouseButton(viewer, MouseButton::Left, MouseAction::Press);
    platform.cursor = {700, 650};
    onMouseMove(viewer, 10, 10);
    EXPECT_TRUE(platform.moves.empty()) << "a fullscreen window is not dragged";
    platform.leftDown = false;
    onMouseButton(viewer, MouseButton::Left, MouseAction::Release);
    EXPECT_TRUE(platform.moves.empty()) << "nor snapped";

    onDestroy(viewer);
    EXPECT_EQ(viewer.settings.state, 3);
    EXPECT_EQ(viewer.settings.posX, 200) << "the rectangle from before fullscreen";
    EXPECT_EQ(viewer.settings.width, 656);
}

}  // namespace
}  // namespace pavo
