#include "support/viewer_fixture.h"

namespace pavo {
namespace {

class ZoomScrollTest : public test::ViewerTest {
  protected:
    void showDisplay(int width, int height) {
        showImage(width, height);
        viewer.view.fitActive = false;
        rescaleShownImage(viewer);
    }
};

TEST_F(ZoomScrollTest, ZoomFactorsGrowAndShrinkGeometrically) {
    viewer.view.zoomStepCount = 3;
    EXPECT_FLOAT_EQ(zoomFactorForSteps(viewer), 1.157625F);
    viewer.view.zoomStepCount = -1;
    EXPECT_FLOAT_EQ(zoomFactorForSteps(viewer), 0.95F);

    viewer.settings.zoomOutStep = 10;
    viewer.view.zoomStepCount = 0;
    platform.normal = {0, 0, 816, 659};
    showDisplay(400, 300);
    press(Key::Minus);
    EXPECT_EQ(viewer.view.zoomPerMille, 900);
    EXPECT_EQ(viewer.shownImage.displayWidth, 360);
    press(Key::Plus);
    EXPECT_EQ(viewer.view.zoomStepCount, 0);
    EXPECT_EQ(viewer.view.zoomPerMille, 1000);
    EXPECT_EQ(viewer.shownImage.displayWidth, 400);
}

TEST_F(ZoomScrollTest, ZoomStopsAtItsLimitsWithABeep) {
    platform.normal = {0, 0, 1016, 859};
    showDisplay(2000, 100);
    viewer.settings.zoomInStep = 50;
    for (int i = 0; i < 4; ++i) press(Key::Plus);  // 1.5^4 = 5.06
    EXPECT_EQ(viewer.view.zoomPerMille, 5063);
    press(Key::Plus);  // 7.59: 6 or more, and 2000 x 7.59 is not below 8000
    EXPECT_EQ(viewer.view.zoomPerMille, 5063);
    EXPECT_EQ(viewer.view.zoomStepCount, 4) << "the refused step is undone";
    EXPECT_EQ(platform.beeps, std::vector<BeepKind>{BeepKind::Information});
    press(Key::Minus);
    EXPECT_EQ(viewer.view.zoomPerMille, 3375) << "zooming back is allowed: three steps in";

    showDisplay(20, 20);
    viewer.view.zoomPerMille = 1000;
    viewer.view.zoomStepCount = 0;
    viewer.settings.zoomOutStep = 50;
    for (int i = 0; i < 4; ++i) press(Key::Minus);  // 0.5^4 x 20 = 1.25 pixels
    EXPECT_EQ(viewer.view.zoomPerMille, 63);
    press(Key::Minus);
    EXPECT_EQ(viewer.view.zoomPerMille, 63) << "below one pixel is refused";
    EXPECT_EQ(platform.beeps.size(), 2U);

    // A step of 0 % (a hand-edited store) is refused and leaves the count as it was, so
    // zooming out still works.
    press(Key::R);
    viewer.settings.zoomInStep = 0;
    press(Key::Plus);
    EXPECT_EQ(viewer.view.zoomStepCount, 0);
    press(Key::Minus);
    EXPECT_EQ(viewer.view.zoomPerMille, 500);
}

TEST_F(ZoomScrollTest, ScrollingStaysWithinTheImage) {
    platform.normal = {0, 0, 1016, 859};  // client 1000 x 800
    showDisplay(2000, 3000);
    EXPECT_TRUE(scrollBy(viewer, 5000, 5000));
    EXPECT_EQ(viewer.shownImage.scrollX, 1000);
    EXPECT_EQ(viewer.shownImage.scrollY, -2200);
    EXPECT_TRUE(scrollBy(viewer, 0, 10)) << "at the bottom, still taken as a scroll";
    press(Key::PageUp);
    EXPECT_EQ(viewer.shownImage.scrollY, 0);
    press(Key::PageDown);
    EXPECT_EQ(viewer.shownImage.scrollY, -2200);
    EXPECT_FALSE(scrollBy(viewer, 0, 0));

    showDisplay(500, 400);
    viewer.shownImage.scrollX = viewer.shownImage.scrollY = 0;
    EXPECT_FALSE(scrollBy(viewer, 40, 40)) << "a small image never scrolls";
    EXPECT_EQ(viewer.shownImage.scrollX, 0);
}

TEST_F(ZoomScrollTest, KeyboardZoomKeepsTheCentreAndWheelZoomTheCursor) {
    platform.normal = {0, 0, 1016, 859};  // client 1000 x 800
    showDisplay(2000, 2000);
    scrollBy(viewer, 500, 600);  // the view centre is at image (1000, 1000)
    viewer.settings.zoomInStep = 100;
    press(Key::Plus);
    EXPECT_EQ(viewer.shownImage.displayWidth, 4000);
    EXPECT_EQ(viewer.shownImage.scrollX, 1500) << "image point 2000 now at the centre 500";
    EXPECT_EQ(viewer.shownImage.scrollY, -1600);

    viewer.view.zoomPerMille = 1000;
    viewer.view.zoomStepCount = 0;
    rescaleShownImage(viewer);
    viewer.shownImage.scrollX = 0;
    viewer.shownImage.scrollY = 0;
    platform.cursor = {8 + 100, 51 + 100};  // client point (100, 100)
    onWheel(viewer, 120, true, false);
    EXPECT_NEAR(viewer.shownImage.scrollX, 100, 1) << "image point 100 stays under the cursor";
    EXPECT_NEAR(viewer.shownImage.scrollY, -100, 1);
}

TEST_F(ZoomScrollTest, RightDragPansAndTheAnchorScrollsByDistance) {
    platform.normal = {0, 0, 1016, 859};
    showDisplay(2000, 3000);
    scrollBy(viewer, 500, 500);
    platform.active = true;
    platform.rightDown = true;
    platform.cursor = {400, 400};
    onMouseButton(viewer, MouseButton::Right, MouseAction::Press);
    EXPECT_TRUE(platform.captured);
    platform.cursor = {430, 420};
    onMouseMove(viewer, 100, 100);
    EXPECT_EQ(viewer.shownImage.scrollX, 470);
    EXPECT_EQ(viewer.shownImage.scrollY, -480);
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
    EXPECT_EQ(viewer.shownImage.scrollY, -490) << "30 px below the anchor at 60 Hz: 10 px a tick";
    onMouseButton(viewer, MouseButton::Middle, MouseAction::Release);
    onMouseButton(viewer, MouseButton::Middle, MouseAction::Press);
    EXPECT_FALSE(viewer.input.anchorScrollActive);
    onTimer(viewer, AnchorScrollTimer);
    EXPECT_FALSE(platform.timerPending(AnchorScrollTimer)) << "the timer ends itself";
}

}  // namespace
}  // namespace pavo
