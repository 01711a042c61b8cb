#include "platform/pixel_memory.h"
#include "support/viewer_fixture.h"
#include "view/draw.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

namespace pavo {
namespace {

// A folder of images opened at the first; the workers' records reach their slots only
// through the program's own hand-over. By default the images are larger than the screen,
// so that what is on screen is a scaled copy.
class NeighbourCacheTest : public test::ViewerTest {
  protected:
    void openFolder(int count, int width = 2400, int height = 1600) {
        open(imageFolder("%1.png", count, width, height)[0]);
    }
    // The idle release's round long after the last input.
    void idleRelease() {
        clearIdleCache(viewer, viewer.input.lastActivityTime + viewer.settings.bufferTimeout + 1);
    }
    static bool same(const cv::Mat& a, const cv::Mat& b) {
        return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
    }
};

// Finished neighbours arrive in their slots, prescaled, without any user action; the
// idle release empties them only once the time-out has passed, no job runs and both are
// there (a failed one keeps the cache), and the next step then decodes directly.
TEST_F(NeighbourCacheTest, TheIdleReleaseEmptiesTheCacheOnlyWhenDue) {
    openFolder(3, 60, 40);
    ASSERT_TRUE(viewer.nextImage.ready && viewer.previousImage.ready);
    const std::int32_t start = viewer.input.lastActivityTime;
    clearIdleCache(viewer, start + 900);
    EXPECT_TRUE(viewer.nextImage.ready) << "not yet past the timeout";
    test::HeldJobs held;
    platform.jobRunner = &held;
    forgetNeighbourScaling(viewer);
    onTimer(viewer, PrescaleTimer);
    clearIdleCache(viewer, start + 901);
    EXPECT_TRUE(viewer.nextImage.ready) << "a job under way keeps the records";
    settle();

    viewer.view.infoOverlayShown = true;
    clearIdleCache(viewer, start + 901);
    EXPECT_FALSE(viewer.nextImage.ready);
    EXPECT_TRUE(viewer.nextImage.image.empty() && viewer.previousImage.display.empty());
    EXPECT_EQ(viewer.input.lastActivityTime, start + 901);
    EXPECT_EQ(platform.timerPeriod(OverlayTimer), 100);
    press(Key::Right);

    test::writeBytes(dir.filePath("3.png"), "broken");  // the next neighbour fails
    press(Key::F5);
    ASSERT_TRUE(viewer.nextImage.failed);
    clearIdleCache(viewer, viewer.input.lastActivityTime + 5000);
    EXPECT_TRUE(viewer.previousImage.ready) << "a failed neighbour keeps the cache";
}

// A picture scaled for one window is dropped when the window changes: F while the jobs
// decode, then a step, shows the next image at its own size; the prescale timer scales the
// cached neighbour again for the new window.
TEST_F(NeighbourCacheTest, AScaledPictureSurvivesOnlyWhileItFitsTheWindow) {
    openCommandLine(viewer, {imageFolder("%1.png", 3, 1200, 900)[0]}, dir.path());
    press(Key::F);  // the jobs may still be decoding
    EXPECT_FALSE(viewer.nextImage.displayReady) << "scaled for the fitted window: dropped";
    EXPECT_TRUE(platform.timerPending(PrescaleTimer)) << "the hand-over asks for a prescale";
    events.mouseButton(MouseButton::Forward, MouseAction::Press);
    settle();
    EXPECT_EQ(viewer.playlist.index, 1) << "the Forward button steps";
    EXPECT_EQ(viewer.shownImage.displayWidth, 1200) << "its own size";

    press(Key::F);
    press(Key::F);
    EXPECT_FALSE(viewer.nextImage.displayReady);
    onTimer(viewer, PrescaleTimer);
    settle();
    EXPECT_TRUE(viewer.nextImage.displayReady);
    EXPECT_EQ(viewer.nextImage.displayWidth, 1200) << "scaled again for the unfitted window";
    press(Key::Right);
    EXPECT_EQ(viewer.shownImage.displayWidth, 1200);
}

// After the idle release only the picture on screen is kept; whatever acts on the image
// next decodes it again, turned and mirrored as the user left it.
TEST_F(NeighbourCacheTest,
       TheIdleReleaseKeepsOnlyThePictureOnScreenAndTheNextActionDecodesItAgain) {
    openFolder(3);
    press(Key::T);
    press(Key::Y);
    press(Key::T);
    settle();
    const cv::Mat turned = viewer.shownImage.image.clone();
    const cv::Mat onScreen = viewer.shownImage.display.clone();
    ASSERT_NE(onScreen.size(), turned.size()) << "fitted: the picture on screen is a copy";
    viewer.view.infoOverlayShown = true;
    const auto described = [this] {
        const QString text = overlayText(viewer);
        return text.left(text.indexOf(QStringLiteral("Memory usage")));  // that one falls
    };
    const QString overlay = described();

    idleRelease();
    EXPECT_FALSE(viewer.nextImage.ready);
    ASSERT_TRUE(viewer.shownImage.image.empty()) << "the decoded pixels went";
    EXPECT_TRUE(viewer.shownImage.ready) << "the image is still the one shown";
    EXPECT_TRUE(same(viewer.shownImage.display, onScreen));
    EXPECT_EQ(described(), overlay) << "the overlay still describes it";
    press(Key::Shift);
    onKeyUp(viewer, Key::Shift);
    EXPECT_TRUE(viewer.shownImage.image.empty()) << "a modifier alone decodes nothing";

    onSize(viewer);
    EXPECT_TRUE(same(viewer.shownImage.image, turned)) << "decoded again, turned as it was";
    EXPECT_TRUE(same(viewer.shownImage.display, onScreen));
    press(Key::T);
    // Top left, turned to top right, mirrored to top left, turned twice more.
    EXPECT_EQ(viewer.shownImage.image.at<cv::Vec3b>(2399, 1599), cv::Vec3b(0, 0, 255))
        << "the red corner ends bottom right";
}

// A step from a released picture to a file that went meanwhile fails as any failed step
// does, and the window keeps the size of the released picture instead of collapsing.
TEST_F(NeighbourCacheTest, AFailedStepFromAReleasedPictureKeepsTheWindowSize) {
    openFolder(3);
    const Size client = platform.clientSize();
    idleRelease();
    ASSERT_TRUE(viewer.shownImage.image.empty());
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("2.png"))));
    press(Key::Right);
    EXPECT_EQ(platform.clientSize(), client);
    EXPECT_EQ(platform.boxes.size(), 1U) << "the failure is reported";
}

// The file went while Pavo was idle: its picture stays on screen, nothing acts on the
// missing pixels, and steps go on without ever bringing that dead record back; a step
// back to it fails as for any missing file, and no other image's picture stands in.
TEST_F(NeighbourCacheTest, AShownFileThatWentWhileIdleStaysOnScreenUntilTheNextStep) {
    // A failed neighbour keeps the cache through the idle release.
    test::writeBytes(dir.filePath(QStringLiteral("0.png")), "not a picture");
    openFolder(3);
    press(Key::Right);  // reached by steps, its picture is kept for stepping back
    settle();
    press(Key::Left);
    settle();
    const cv::Mat onScreen = viewer.shownImage.display.clone();
    idleRelease();
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("1.png"))));
    press(Key::T);
    EXPECT_FALSE(viewer.shownImage.ready);
    EXPECT_TRUE(same(viewer.shownImage.display, onScreen)) << "not turned, not cleared";
    press(Key::Right);
    settle();
    press(Key::Left);  // to the file that went
    EXPECT_FALSE(viewer.shownImage.ready) << "2.png's picture does not stand for 1.png";
    EXPECT_TRUE(viewer.shownImage.display.empty());
    EXPECT_EQ(platform.titles.back(), dir.filePath(QStringLiteral("1.png")));
    EXPECT_EQ(platform.boxes.size(), 1U);
}

// A step swaps in the prescaled image ahead while the released one is still on screen:
// the resize that comes with it must not decode the new file into the record being left.
TEST_F(NeighbourCacheTest, AStepFromReleasedPixelsNeverDecodesTheImageAheadIntoTheRecordLeft) {
    // A failed neighbour keeps the cache through the idle release.
    test::writeBytes(dir.filePath(QStringLiteral("0.png")), "not a picture");
    openFolder(2);
    press(Key::T);  // 1600 x 2400: the size 2.png has when turned, too
    settle();
    idleRelease();
    ASSERT_TRUE(viewer.shownImage.image.empty());
    ASSERT_TRUE(viewer.nextImage.displayReady) << "a failed neighbour keeps the cache";
    press(Key::Right);
    EXPECT_EQ(fileNumber(viewer.shownImage.image), 2);
    settle();
    press(Key::Left);
    settle();
    EXPECT_EQ(fileNumber(viewer.shownImage.image), 1) << "1.png, not 2.png";
}

TEST_F(NeighbourCacheTest, ASingleImageAndAMergedPairAreReleasedTooButNotAPictureShownAsDecoded) {
    // A picture at its own size is the decoded image itself: nothing would be freed.
    viewer.view.fitActive = false;
    openFolder(3, 60, 40);
    idleRelease();
    EXPECT_FALSE(viewer.shownImage.image.empty());

    // A merged pair is drawn from both images: both go and both come back.
    press(Key::Period);
    settle();
    const cv::Mat partner = viewer.shownImage.partner.clone();
    const cv::Mat onScreen = viewer.shownImage.display.clone();
    idleRelease();
    EXPECT_TRUE(viewer.shownImage.partner.empty());
    onCommand(viewer, static_cast<int>(Command::Reload));
    EXPECT_TRUE(same(viewer.shownImage.partner, partner));
    EXPECT_TRUE(same(viewer.shownImage.display, onScreen));
    EXPECT_EQ(viewer.shownImage.fileSize,
              QFileInfo(dir.filePath("1.png")).size() + QFileInfo(dir.filePath("2.png")).size())
        << "the partner's size is counted once";

    // One image alone: no neighbours, but its pixels go.
    QTemporaryDir single;
    cv::Mat image(1600, 2400, CV_8UC3, cv::Scalar(1, 2, 3));
    test::writeImage(single.filePath(QStringLiteral("only.png")), image);
    press(Key::Period);  // merge off
    openCommandLine(viewer, {single.filePath(QStringLiteral("only.png"))}, single.path());
    settle();
    idleRelease();
    EXPECT_TRUE(viewer.shownImage.image.empty());
    press(Key::Y);
    EXPECT_TRUE(same(viewer.shownImage.image, image))
        << "decoded again (one colour: mirrored alike)";
}

}  // namespace
}  // namespace pavo
