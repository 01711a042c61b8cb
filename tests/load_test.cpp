#include "platform/files.h"
#include "support/viewer_fixture.h"

namespace pavo {
namespace {

using test::ViewerTest;

class LoadTest : public ViewerTest {};

TEST_F(LoadTest, ALoadedImageSizesTheWindowAndTitlesIt) {
    const QString path = imageFile("a.png", 640, 480);
    viewer.view.fitActive = false;
    viewer.view.zoomPerMille = 1200;
    ASSERT_TRUE(loadShownImage(viewer, path, LoadOrigin::Opened));
    const ImageBuffer& shown = viewer.shownImage;
    EXPECT_TRUE(shown.ready);
    EXPECT_EQ(platform.titles.back(), path);
    EXPECT_EQ(platform.clientSize(), (Size{640, 480}));
    EXPECT_EQ(platform.windowRect(), (Rect{-7, 0, 649, 539}));
    EXPECT_EQ(shown.displayWidth, 640);
    EXPECT_EQ(shown.display.data, shown.image.data) << "own size: shown as decoded";
    EXPECT_EQ(shown.channels, 3);
    EXPECT_EQ(shown.fileSize, fileSizeOf(path));
    EXPECT_GE(shown.loadTimeMs, 0);
    EXPECT_EQ(viewer.view.zoomPerMille, 1000);
    ASSERT_FALSE(platform.redraws.empty()) << "the picture is drawn before the load returns";

    viewer.view.fitActive = true;
    ASSERT_TRUE(loadShownImage(viewer, path, LoadOrigin::Step));
    EXPECT_EQ(platform.windowRect().height(), 1047);
    EXPECT_EQ(viewer.shownImage.displayHeight, 988);
    EXPECT_EQ(viewer.shownImage.displayWidth, 1317);
}

TEST_F(LoadTest, FailedLoadsLeaveNothingReadyAndResetTheZoom) {
    viewer.view.zoomPerMille = 1500;
    EXPECT_FALSE(loadShownImage(viewer, dir.filePath("missing.png"), LoadOrigin::Opened));
    EXPECT_EQ(viewer.view.zoomPerMille, 1500) << "a missing file never reaches the size query";

    test::writeBytes(dir.filePath("empty.png"), {});
    viewer.shownImage.loadTimeMs = -1;
    EXPECT_FALSE(loadShownImage(viewer, dir.filePath("empty.png"), LoadOrigin::Opened));
    EXPECT_EQ(viewer.view.zoomPerMille, 1000);
    EXPECT_GE(viewer.shownImage.loadTimeMs, 0);

    test::writeBytes(dir.filePath("junk.jpg"), "not an image at all");
    EXPECT_FALSE(loadShownImage(viewer, dir.filePath("junk.jpg"), LoadOrigin::Opened));
    EXPECT_FALSE(viewer.shownImage.ready);
    EXPECT_TRUE(platform.titles.empty());
}

// The decode a start begins before its window exists is what the load of that file
// shows, once; a load of any other file decodes afresh.
TEST_F(LoadTest, TheEarlyDecodeServesTheLoadOfItsOwnFileOnce) {
    const QString path = imageFile("a.png", 640, 480);
    const QString other = imageFile("b.png", 320, 200);
    viewer.view.fitActive = false;
    EarlyDecode early = startEarlyDecode(path);
    ASSERT_TRUE(early.worker.waitFor(kWorkerWaitLimit));
    imageFile("a.png", 64, 48);  // changed on disk after the early decode
    viewer.navigation.earlyDecode = early;
    ASSERT_TRUE(loadShownImage(viewer, path, LoadOrigin::Opened));
    EXPECT_EQ(viewer.shownImage.image.cols, 640) << "the early decode was not used";
    EXPECT_FALSE(viewer.navigation.earlyDecode);
    ASSERT_TRUE(loadShownImage(viewer, path, LoadOrigin::Opened));
    EXPECT_EQ(viewer.shownImage.image.cols, 64) << "an early decode serves one load only";

    viewer.navigation.earlyDecode = startEarlyDecode(path);
    ASSERT_TRUE(loadShownImage(viewer, other, LoadOrigin::Opened));
    EXPECT_EQ(viewer.shownImage.image.cols, 320);
    EXPECT_FALSE(viewer.navigation.earlyDecode) << "an early decode of another file is dropped";

    test::writeBytes(dir.filePath("junk.jpg"), "not an image at all");
    viewer.navigation.earlyDecode = startEarlyDecode(dir.filePath("junk.jpg"));
    EXPECT_FALSE(loadShownImage(viewer, dir.filePath("junk.jpg"), LoadOrigin::Opened));
    EXPECT_FALSE(viewer.shownImage.ready);
}

TEST_F(LoadTest, TallImagesOpenUnfittedOnlyWhenOpenedDirectly) {
    const QString tall = imageFile("tall.png", 100, 300);
    ASSERT_TRUE(loadShownImage(viewer, tall, LoadOrigin::Step));
    EXPECT_TRUE(viewer.view.fitActive);
    ASSERT_TRUE(loadShownImage(viewer, tall, LoadOrigin::Opened));
    EXPECT_FALSE(viewer.view.fitActive);
    EXPECT_EQ(platform.clientSize(), (Size{100, 300}));
}

}  // namespace
}  // namespace pavo
