#include "platform/pixel_memory.h"
#include "support/viewer_fixture.h"

#include <QDir>

#include <atomic>
#include <thread>

namespace pavo {
namespace {

// A folder of images, each of its own colour, opened at the first; the workers'
// records reach their slots only through the program's own hand-over.
class NeighbourCacheTest : public test::ViewerTest {
  protected:
    void openFolder(int count, int width = 60, int height = 40) {
        ASSERT_TRUE(QDir(dir.path()).mkpath("album"));
        for (int i = 0; i < count; ++i) {
            imageFile(QStringLiteral("album/%1.png").arg(i + 1), width, height,
                      {static_cast<double>(20 * i), 100, 200});
        }
        openCommandLine(viewer, {dir.filePath("album")}, dir.path());
        ASSERT_TRUE(viewer.shownImage.ready);
    }
    int shownColour() const { return viewer.shownImage.image.at<cv::Vec3b>(0, 0)[0] / 20; }
};

TEST_F(NeighbourCacheTest, FinishedNeighboursArriveInTheirSlotsWithoutAnyUserAction) {
    openFolder(3);
    settle();
    EXPECT_TRUE(viewer.nextImage.ready);
    EXPECT_TRUE(viewer.previousImage.ready);
    EXPECT_TRUE(viewer.nextImage.displayReady) << "prescaled by the worker for this window";
    EXPECT_FALSE(viewer.workers.nextResult) << "nothing is held aside";
}

TEST_F(NeighbourCacheTest, TheIdleReleaseEmptiesNeighboursThatArrivedOnTheirOwn) {
    viewer.settings.bufferTimeout = 0;
    openFolder(3);
    settle();
    idleWatcherRound(viewer, viewer.input.lastActivityTime + 1);
    platform.runQueued();
    EXPECT_FALSE(viewer.nextImage.ready);
    EXPECT_TRUE(viewer.nextImage.image.empty());
    EXPECT_TRUE(viewer.previousImage.image.empty());
}

// F while the workers decode, then a step: the next image must be shown at its own
// size, not as the picture the worker scaled for the fitted window.
TEST_F(NeighbourCacheTest, AStepAfterFitToggleShowsTheNeighbourForTheNewWindow) {
    openFolder(3, 1200, 900);
    onKeyDown(viewer, Key::F);  // the workers may still be decoding
    settle();
    EXPECT_FALSE(viewer.nextImage.displayReady) << "scaled for the fitted window: dropped";
    EXPECT_TRUE(platform.timerPending(PrescaleTimer)) << "the hand-over asks for a prescale";
    onMouseButton(viewer, MouseButton::Forward, MouseAction::Press);
    EXPECT_EQ(shownColour(), 1);
    EXPECT_EQ(viewer.shownImage.displayWidth, 1200) << "its own size";
    EXPECT_EQ(viewer.shownImage.displayHeight, 900);
}

TEST_F(NeighbourCacheTest, AScaledPictureSurvivesOnlyWhileItFitsTheWindow) {
    openFolder(3, 1200, 900);
    settle();
    ASSERT_TRUE(viewer.nextImage.displayReady);
    onKeyDown(viewer, Key::F);
    EXPECT_FALSE(viewer.nextImage.displayReady);
    EXPECT_TRUE(viewer.nextImage.display.empty());
    onTimer(viewer, PrescaleTimer);
    EXPECT_TRUE(viewer.nextImage.displayReady);
    EXPECT_EQ(viewer.nextImage.displayWidth, 1200) << "scaled again for the unfitted window";
    onKeyDown(viewer, Key::Right);
    EXPECT_EQ(viewer.shownImage.displayWidth, 1200);
}

TEST_F(NeighbourCacheTest, TheIdleWatcherClearsTheCacheOnlyWhenDue) {
    openFolder(3);
    settle();
    const std::int32_t start = viewer.input.lastActivityTime;
    idleWatcherRound(viewer, start + 900);
    platform.runQueued();
    EXPECT_TRUE(viewer.nextImage.ready) << "not yet past the timeout";

    // A worker still running keeps the records.
    std::atomic<bool> release{false};
    viewer.workers.previous.start([&release] {
        while (!release) std::this_thread::yield();
    });
    idleWatcherRound(viewer, start + 901);
    platform.runQueued();
    EXPECT_TRUE(viewer.nextImage.ready);
    release = true;
    viewer.workers.previous.waitFor(kWorkerWaitLimit);

    viewer.view.infoOverlayShown = true;
    idleWatcherRound(viewer, start + 901);
    platform.runQueued();
    EXPECT_FALSE(viewer.nextImage.ready);
    EXPECT_TRUE(viewer.nextImage.image.empty());
    EXPECT_TRUE(viewer.previousImage.display.empty());
    EXPECT_EQ(viewer.input.lastActivityTime, start + 901);
    EXPECT_EQ(platform.timerPeriod(OverlayTimer), 100);

    onKeyDown(viewer, Key::Right);
    EXPECT_EQ(shownColour(), 1) << "the next step decodes directly";
}

TEST_F(NeighbourCacheTest, AFailedNeighbourStopsTheIdleClearing) {
    openFolder(3);
    settle();
    viewer.nextImage.ready = false;
    viewer.nextImage.failed = true;
    idleWatcherRound(viewer, viewer.input.lastActivityTime + 5000);
    platform.runQueued();
    EXPECT_TRUE(viewer.previousImage.ready);
}

}  // namespace
}  // namespace pavo
