#include "platform/files.h"
#include "support/viewer_fixture.h"
#include "view/view.h"

#include <tuple>

namespace pavo {
namespace {

using test::ViewerTest;

using LoadTest = ViewerTest;

TEST_F(LoadTest, ALoadedImageSizesTheWindowAndTitlesIt) {
    const QString path = imageFile("a.png", 640, 480);
    viewer.view.fitActive = false;
    viewer.view.zoomPerMille = 1200;
    ASSERT_TRUE(loadShownImage(viewer, path, LoadOrigin::Opened));
    const ImageBuffer& shown = viewer.shownImage;
    EXPECT_EQ(platform.titles.back(), path);
    EXPECT_EQ(platform.clientSize(), (Size{640, 480}));
    EXPECT_EQ(platform.windowRect(), (Rect{-7, 0, 649, 539}));
    EXPECT_EQ(shown.displayWidth, 640);
    EXPECT_EQ(shown.display.data, shown.image.data) << "own size: shown as decoded";
    EXPECT_EQ(shown.channels, 3);
    EXPECT_EQ(shown.fileSize, fileSizeOf(path));
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
// shows, once; a load of any other file decodes afresh and drops it.
TEST_F(LoadTest, TheEarlyDecodeServesTheLoadOfItsOwnFileOnce) {
    const QString path = imageFile("a.png", 640, 480);
    const QString other = imageFile("b.png", 320, 200);
    viewer.view.fitActive = false;
    startEarlyDecode(viewer, path, StartPreview::None);
    settle();
    ASSERT_TRUE(decodeDone(viewer, path));
    imageFile("a.png", 64, 48);  // changed on disk after the early decode
    ASSERT_TRUE(loadShownImage(viewer, path, LoadOrigin::Opened));
    EXPECT_EQ(viewer.shownImage.image.cols, 640) << "the early decode was not used";
    EXPECT_FALSE(decodeStarted(viewer, path));
    ASSERT_TRUE(loadShownImage(viewer, path, LoadOrigin::Opened));
    EXPECT_EQ(viewer.shownImage.image.cols, 64) << "an early decode serves one load only";

    startEarlyDecode(viewer, path, StartPreview::None);
    settle();
    ASSERT_TRUE(loadShownImage(viewer, other, LoadOrigin::Opened));
    EXPECT_EQ(viewer.shownImage.image.cols, 320);
    EXPECT_FALSE(decodeStarted(viewer, path)) << "an early decode of another file is dropped";

    test::writeBytes(dir.filePath("junk.jpg"), "not an image at all");
    startEarlyDecode(viewer, dir.filePath("junk.jpg"), StartPreview::None);
    settle();
    EXPECT_FALSE(loadShownImage(viewer, dir.filePath("junk.jpg"), LoadOrigin::Opened));
    EXPECT_FALSE(viewer.shownImage.ready);
}

// A start shows a rough preview of a large JPEG while it decodes, where the window
// keeps its size; once the decode is there the image is shown as it is really scaled.
TEST_F(LoadTest, APreviewShowsUntilTheImageReplacesIt) {
    cv::Mat photo(1800, 3000, CV_8UC3);
    cv::randu(photo, 0, 256);
    const QString path = dir.filePath("photo.jpg");
    test::writeImage(path, photo);
    platform.showInitial({0, 0, 800, 600}, true);
    test::HeldJobs held;
    platform.jobRunner = &held;
    startEarlyDecode(viewer, path, StartPreview::First);
    openCommandLine(viewer, {path}, dir.path());
    ASSERT_TRUE(stepUnderWay(viewer)) << "the start waits for its decode";
    ASSERT_EQ(held.waiting(), 1U) << "the image decodes after the preview";
    ASSERT_TRUE(held.runOne()) << "the preview's job";
    platform.runQueued();
    ASSERT_EQ(viewer.navigation.startPreview.size(), cv::Size(1500, 900))
        << "halved: the most that keeps 1280 x 720";
    const Size client = platform.clientSize();
    const cv::Mat& display = viewer.shownImage.display;
    EXPECT_EQ(display.type(), CV_8UC4);
    EXPECT_TRUE(display.cols == client.width || display.rows == client.height);
    EXPECT_FALSE(viewer.shownImage.ready) << "a preview is no loaded image";

    settle();
    ASSERT_TRUE(viewer.shownImage.ready);
    cv::Mat exact;
    scaleToSize(scaleContext(viewer), viewer.shownImage.image, exact,
                viewer.shownImage.displayWidth, viewer.shownImage.displayHeight);
    EXPECT_EQ(cv::norm(viewer.shownImage.display, exact, cv::NORM_INF), 0.0)
        << "the preview is replaced by the scaled image";

    viewer.navigation.startPreview = photo;
    viewer.navigation.pending = PendingStep{.origin = LoadOrigin::Opened, .path = path};
    viewer.view.fitActive = false;
    EXPECT_FALSE(showStartPreview(viewer)) << "at its own size a preview would mislead";
    viewer.view.fitActive = true;
    platform.restorePlacement({{0, 0, 800, 600}, 1});
    EXPECT_FALSE(showStartPreview(viewer)) << "the window is about to be sized to it";
    viewer.navigation.pending.reset();

    test::writeImage(dir.filePath("small.jpg"), cv::Mat(1000, 1600, CV_8UC3));
    EXPECT_TRUE(previewOfFile(dir.filePath("small.jpg")).empty())
        << "too small to be worth a reduced decode";
}

// Opened directly, an image `autoShowOriginal` times as high as wide starts at its own size.
TEST_F(LoadTest, TallImagesOpenUnfittedOnlyWhenOpenedDirectly) {
    const QString tall = imageFile("tall.png", 100, 300);
    ASSERT_TRUE(loadShownImage(viewer, tall, LoadOrigin::Step));
    EXPECT_TRUE(viewer.view.fitActive);
    ASSERT_TRUE(loadShownImage(viewer, tall, LoadOrigin::Opened));
    EXPECT_FALSE(viewer.view.fitActive);
    EXPECT_EQ(platform.clientSize(), (Size{100, 300}));
    for (const auto& [threshold, height, fit] :
         {std::tuple{3, 1800, false}, std::tuple{3, 1799, true}, std::tuple{0, 1800, true}}) {
        viewer.settings.autoShowOriginal = threshold;
        viewer.view.fitActive = true;
        showImage(600, height);
        applyAutoShowOriginal(viewer, LoadOrigin::Opened);
        EXPECT_EQ(viewer.view.fitActive, fit) << threshold << ", 600 x " << height;
    }
}

}  // namespace
}  // namespace pavo
