#include "support/viewer_fixture.h"

namespace pavo {
namespace {

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
