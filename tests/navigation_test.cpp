// The browse tests: steps, jumps and what waits for them, the neighbour cache and its idle
// release, turns, mirrors and merged pairs.
#include "app/app.h"
#include "browse/transform.h"
#include "image/orientation.h"
#include "support/viewer_fixture.h"
#include "view/draw.h"

#include <QFile>
#include <QFileInfo>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace pavo {
namespace {

// A folder of images (file n of blue 20 n, corners marked) opened at the first; the
// workers' records reach their slots only through the program's own hand-over.
class BrowseTest : public test::ViewerTest {
  protected:
    void openFolder(int count, int width = 60, int height = 40) {
        paths = imageFolder("%1.png", count, width, height);
        open(paths[0]);
    }
    int shownIndex() const { return viewer.playlist.index; }
    int shownFile() const { return fileNumber(viewer.shownImage.display); }
    cv::Vec3b shownPixel(int x, int y) const { return viewer.shownImage.image.at<cv::Vec3b>(y, x); }
    std::size_t beeps(BeepKind kind) const {
        return static_cast<std::size_t>(std::ranges::count(platform.beeps, kind));
    }
    // The idle release's round long after the last input.
    void idleRelease() {
        clearIdleCache(viewer, viewer.input.lastActivityTime + viewer.settings.bufferTimeout + 1);
    }
    static bool same(const cv::Mat& a, const cv::Mat& b) {
        return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
    }

    std::vector<QString> paths;
    const cv::Vec3b kRed{0, 0, 255};
    const cv::Vec3b kGreen{0, 255, 0};
};
using NavigationTest = BrowseTest;
using NeighbourCacheTest = BrowseTest;
using TransformTest = BrowseTest;

// A step whose neighbour is still decoding draws a quick look at it first and waits for
// it; the record being left keeps its own picture, so that stepping back shows it and not
// the preview. Inputs meanwhile wait and then run in order.
TEST_F(NavigationTest, AStepWaitsForItsNeighbourBehindAPreviewAndInputsWaitWithIt) {
    platform.showInitial({0, 0, 800, 600}, true);
    open(imageFolder("photos/%1.jpg", 3, 2800, 1600)[0]);
    holdJobs();  // the neighbours decode when the test says so
    viewer.settings.mute = true;
    startNeighbourWorkers(viewer);
    const cv::Mat before = viewer.shownImage.display.clone();
    const std::size_t redraws = platform.redraws.size();
    events.keyDown(Key::Right, 1);
    EXPECT_GT(platform.redraws.size(), redraws) << "the preview is drawn at once";
    EXPECT_TRUE(stepUnderWay(viewer));
    EXPECT_EQ(viewer.playlist.index, 1);
    events.keyDown(Key::T, 1);
    events.keyDown(Key::Y, 1);
    EXPECT_EQ(viewer.shownImage.turn, PictureTurn{}) << "inputs wait for the image";
    EXPECT_EQ(viewer.input.deferred.size(), 2U);
    settle();
    EXPECT_FALSE(stepUnderWay(viewer));
    EXPECT_EQ(viewer.shownImage.turn, withMirror(withQuarterTurn({})))
        << "then run in order on the image the step brought";
    EXPECT_TRUE(same(viewer.previousImage.display, before))
        << "the record left kept its own picture";
}

// Steps wrap at both ends with a sound (not while muted), the wheel steps (towards the user:
// forward), Shift goes five at a time, Home and End go to the ends when there is somewhere to
// go; a single image only pans. No step is reported.
TEST_F(NavigationTest, StepsWrapWithASoundAndJumpsGoByFiveOrToTheEnds) {
    openFolder(3);
    struct Step {
        Key key;
        int wheel;  // not 0: the wheel turned instead of the key
        bool muted;
        int index;
        std::size_t sounds;
    };
    for (const Step& step : {Step{Key::Right, 0, false, 1, 0},
                             {Key::Space, 0, false, 2, 0},
                             {Key::Down, 0, false, 0, 1},
                             {Key::Left, 0, false, 2, 2},
                             {Key::Right, -120, false, 0, 3},
                             {Key::Right, 120, true, 2, 3}}) {
        viewer.settings.mute = step.muted;
        step.wheel != 0 ? events.wheel(step.wheel, false, false) : events.keyDown(step.key, 1);
        settle();
        EXPECT_EQ(shownIndex(), step.index);
        EXPECT_EQ(shownFile(), step.index + 1);
        EXPECT_EQ(beeps(BeepKind::Information), step.sounds);
    }
    press(Key::Shift);
    press(Key::Right);  // five steps from 2 through three entries
    EXPECT_EQ(shownFile(), 2);
    const std::size_t titles = platform.titles.size();
    press(Key::Right, 3);  // fifteen: the same image, nothing decoded
    EXPECT_EQ(platform.titles.size(), titles);
    events.keyUp(Key::Shift);
    press(Key::End);
    press(Key::End);
    press(Key::Home);
    EXPECT_EQ(shownFile(), 1);
    EXPECT_EQ(platform.titles.size(), titles + 2) << "End at the end loads nothing";
    EXPECT_TRUE(platform.boxes.empty());
}

// A held key: while the image ahead of a step still decodes, a second press makes the
// step a jump, and each further press moves its target by one; only where the presses end
// is loaded and shown. A PNG or JPEG target decodes at once (the press after stops it);
// another waits until the keys rest. Anything but a step waits for the jump's image and
// then acts on it. One press alone while the image ahead decodes is the next step, once
// it is shown.
TEST_F(NavigationTest, PressesDuringAJumpMoveItsTargetAndOtherInputsWaitForItsImage) {
    openFolder(8);
    holdJobs();
    events.keyDown(Key::Right, 1);  // the image ahead is there: shown at once
    std::size_t titles = platform.titles.size();
    events.keyDown(Key::Right, 1);  // the one after it is still decoding: the step waits
    events.keyDown(Key::Right, 1);
    ASSERT_TRUE(stepUnderWay(viewer));
    EXPECT_EQ(viewer.navigation.pending->path, paths[2]) << "one press more: a step to come";
    events.keyDown(Key::Right, 1);
    EXPECT_EQ(viewer.navigation.pending->path, paths[4]) << "a second: a jump";
    EXPECT_EQ(shownFile(), 2) << "the image shown stays until the jump's is decoded";
    const std::size_t jobs = held.waiting();
    events.keyDown(Key::Right, 1);
    EXPECT_EQ(held.waiting(), jobs + 1) << "a PNG target's decode starts with the press";
    EXPECT_FALSE(platform.timerPending(JumpRestTimer));
    events.keyDown(Key::T, 1);
    events.keyDown(Key::Right, 2);
    events.keyDown(Key::Left, 1);
    EXPECT_EQ(shownIndex(), 6) << "4 + 1 + 2 - 1";
    settle();
    EXPECT_FALSE(stepUnderWay(viewer));
    EXPECT_EQ(shownFile(), 7);
    EXPECT_EQ(viewer.shownImage.image.cols, 40) << "the jump's image is the one turned";
    EXPECT_EQ(platform.titles.size(), titles + 1) << "the images between are not shown";
    EXPECT_EQ(fileNumber(viewer.nextImage.image), 8)
        << "the neighbours of the target decode as usual";

    events.keyDown(Key::Right, 1);  // the image ahead is there: shown at once
    titles = platform.titles.size();
    events.keyDown(Key::Right, 1);  // the first, wrapping, still decodes
    events.keyDown(Key::Right, 1);
    settle();
    EXPECT_EQ(shownFile(), 2);
    EXPECT_EQ(platform.titles.size(), titles + 2) << "both steps shown";

    events.keyDown(Key::Right, 2);
    events.keyDown(Key::Home, 1);
    settle();
    EXPECT_EQ(shownFile(), 1) << "Home after presses during a jump";

    // WebP decodes run to their end once begun: the target decodes when the keys rest,
    // from the jump that presses piled up on a waiting step make.
    paths = imageFolder("still/%1.webp", 8, 60, 40);
    open(paths[0]);
    for (int press = 0; press < 3; ++press) events.keyDown(Key::Right, 1);
    ASSERT_TRUE(stepUnderWay(viewer));
    const std::size_t before = held.waiting();
    events.keyDown(Key::Right, 1);
    EXPECT_EQ(viewer.navigation.pending->path, paths[4]) << "a jump";
    EXPECT_TRUE(platform.timerPending(JumpRestTimer)) << "its target moves with the keys";
    events.keyDown(Key::Right, 1);
    EXPECT_EQ(held.waiting(), before) << "while the keys move the target, nothing decodes";
    events.timer(JumpRestTimer);
    EXPECT_EQ(held.waiting(), before + 1) << "at rest, the target decodes";
    settle();
    EXPECT_EQ(shownFile(), 6);
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(NavigationTest, APrescaledNeighbourIsShownWithoutScalingItAgain) {
    openFolder(3);
    ASSERT_TRUE(viewer.nextImage.displayReady);
    const uchar* prescaled = viewer.nextImage.display.data;
    const uchar* first = viewer.shownImage.display.data;
    EXPECT_EQ(viewer.nextImage.displayWidth, 1482) << "fitted for the screen: 988 high at 3:2";
    press(Key::Right);
    EXPECT_EQ(viewer.shownImage.display.data, prescaled) << "swapped in, not resized";
    EXPECT_EQ(viewer.previousImage.display.data, first)
        << "the picture left is the screen fit already: kept, not scaled again";
    EXPECT_EQ(platform.clientSize(), (Size{1482, 988}));

    // Without prescaling, a step uses the decoded pixels and scales them itself.
    viewer.settings.preScale = false;
    press(Key::F5);
    const cv::Mat decoded = viewer.nextImage.image;
    EXPECT_FALSE(viewer.nextImage.displayReady);
    press(Key::Right);
    EXPECT_EQ(viewer.shownImage.image.data, decoded.data) << "the decoded pixels are used";
    EXPECT_EQ(viewer.shownImage.displayWidth, 1482);
    EXPECT_FALSE(viewer.shownImage.displayReady);
}

// Keys that come faster than the cache: each key comes as soon as the step before has
// shown its image, so steps find the image ahead still decoding, and from the second on
// the image beyond it decodes early, for the job of the next step to take over. Whichever
// way the keys go, every step shows its own file, and the neighbours left in the cache
// are the right ones.
TEST_F(NavigationTest, StepsFasterThanTheCacheShowEachImageAndKeepTheRightNeighbours) {
    paths = imageFolder("photos/%1.jpg", 6, 3000, 2000);
    holdJobs();
    openCommandLine(viewer, {paths[0]}, dir.path());
    listStartFolder();
    int decodedBeyond = 0;
    for (const int expected : {1, 2, 3, 4, 3, 2, 1, 0, 5, 4}) {
        const bool forward = expected == stepIndex(6, shownIndex(), 1);
        events.keyDown(forward ? Key::Right : Key::Left, 1);
        decodedBeyond += viewer.neighbours.beyondPath.isEmpty() ? 0 : 1;
        while (stepUnderWay(viewer) && held.runOne()) platform.runQueued();
        ASSERT_EQ(shownIndex(), expected);
        EXPECT_EQ(shownFile(), expected + 1);
    }
    EXPECT_GT(decodedBeyond, 0) << "the image beyond the one ahead was decoded early";
    settle();
    EXPECT_EQ(fileNumber(viewer.nextImage.display), 6);
    EXPECT_EQ(fileNumber(viewer.previousImage.display), 4);
    EXPECT_TRUE(viewer.nextImage.displayReady && viewer.previousImage.displayReady);
    EXPECT_TRUE(viewer.nextImage.image.empty() && viewer.previousImage.image.empty())
        << "photos four times the screen: the neighbours keep their pictures only";
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(NavigationTest, AWindowManagerThatRefusesTheSizeStillGetsAFittedImage) {
    openFolder(3);
    platform.heightLimit = 1000;  // keeps the window within the screen: client 941 high
    press(Key::Right);
    EXPECT_EQ(platform.clientSize().height, 941);
    EXPECT_EQ(viewer.shownImage.displayHeight, 941);
    EXPECT_LE(viewer.shownImage.displayWidth, platform.clientSize().width);
    press(Key::Right);
    EXPECT_EQ(shownIndex(), 2) << "the arrow steps on instead of panning an oversized image";
    EXPECT_EQ(viewer.previousImage.displayHeight, 988)
        << "the picture squeezed into the refused window is scaled again for the screen";

    press(Key::Plus);
    ASSERT_NE(viewer.view.zoomPerMille, 1000);
    press(Key::Right);
    EXPECT_EQ(viewer.previousImage.displayHeight, 988) << "a zoomed picture is not kept either";
}

// A jump that lands on a file that cannot be shown says nothing: the title names it and
// the window shows its background. Nothing stays pending, so what comes next (fullscreen,
// other keys, the idle release) works as after any failed load, without a box.
TEST_F(NavigationTest, AFailedJumpIsSilentAndLeavesNothingPending) {
    const std::vector<QString> album = imageFolder("album/%1.png", 6, 60, 40);
    test::writeBytes(album[1], {});
    open(album[0]);
    events.keyDown(Key::Shift, 1);
    press(Key::Left);  // five back from the first of six: 2.png
    events.keyUp(Key::Shift);
    EXPECT_EQ(platform.titles.back(), album[1]);
    EXPECT_TRUE(viewer.shownImage.display.empty()) << "the picture left does not stand for 2.png";
    EXPECT_FALSE(stepUnderWay(viewer));
    press(Key::Enter);
    press(Key::T);
    press(Key::Enter);
    EXPECT_TRUE(platform.boxes.empty()) << "a jump's failure is not reported";
    EXPECT_TRUE(std::find(platform.beeps.begin(), platform.beeps.end(), BeepKind::Failure) ==
                platform.beeps.end());
    EXPECT_FALSE(anyJobUnderWay(viewer)) << "nothing keeps the idle release away";
    press(Key::Right);
    EXPECT_EQ(platform.titles.back(), album[2]);
    EXPECT_TRUE(viewer.shownImage.ready);
}

// A drop while a jump decodes waits for the jump and then opens what was dropped; a single
// image only pans; a folder with nothing to show says so.
TEST_F(NavigationTest, DropsWaitForAJumpAndASingleImageOnlyPans) {
    openFolder(6);
    const QString other = imageFile("other/z.png", 30, 20);
    holdJobs();
    events.keyDown(Key::Right, 3);
    ASSERT_TRUE(stepUnderWay(viewer));
    events.filesDropped({dir.filePath("other")});
    EXPECT_EQ(shownIndex(), 3) << "the drop waits";
    settle();
    EXPECT_EQ(viewer.playlist.paths, std::vector<QString>{other});
    const std::size_t titles = platform.titles.size();
    press(Key::Right);  // a single image only pans
    events.wheel(-120, false, false);
    settle();
    EXPECT_EQ(platform.titles.size(), titles);
    EXPECT_TRUE(platform.beeps.empty());

    events.keyDown(Key::Right, 2);
    events.filesDropped({folder("empty")});
    settle();
    EXPECT_EQ(boxes(), QStringList{"Not Supported: No supported files found."});
}

// Finished neighbours arrive in their slots, prescaled, without any user action; the
// idle release empties them only once the time-out has passed, no job runs and both are
// there (a failed one keeps the cache), and the next step then decodes directly.
TEST_F(NeighbourCacheTest, TheIdleReleaseEmptiesTheCacheOnlyWhenDue) {
    openFolder(3, 60, 40);
    ASSERT_TRUE(viewer.nextImage.ready && viewer.previousImage.ready);
    const std::int32_t start = viewer.input.lastActivityTime;
    clearIdleCache(viewer, start + 900);
    EXPECT_TRUE(viewer.nextImage.ready) << "not yet past the timeout";
    holdJobs();
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
    listStartFolder();
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
    openFolder(3, 2400, 1600);
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
    EXPECT_TRUE(viewer.shownImage.image.empty()) << "a size event that keeps the picture";
    press(Key::R);
    EXPECT_TRUE(same(viewer.shownImage.image, turned)) << "decoded again, turned as it was";
    EXPECT_TRUE(same(viewer.shownImage.display, onScreen));
    press(Key::T);
    // Top left, turned to top right, mirrored to top left, turned twice more.
    EXPECT_EQ(viewer.shownImage.image.at<cv::Vec3b>(2399, 1599), cv::Vec3b(0, 0, 255))
        << "the red corner ends bottom right";
}

// Photos of four screens and more: a neighbour keeps only its picture, so a step shows it
// at once without the shown image holding its pixels; what needs them (a turn) decodes
// them again, right way up; what needs none (the overlay, a size event that keeps the
// picture) decodes nothing; pictures made for another window are decoded again.
TEST_F(NeighbourCacheTest, ALargePhotosNeighboursKeepOnlyTheirPicturesUntilThePixelsAreNeeded) {
    openFolder(4, 3000, 2000);
    ASSERT_TRUE(viewer.nextImage.ready && viewer.nextImage.displayReady);
    EXPECT_TRUE(viewer.nextImage.image.empty() && viewer.previousImage.image.empty());
    EXPECT_FALSE(viewer.shownImage.image.empty()) << "the image opened keeps its pixels";
    const cv::Mat kept = viewer.nextImage.display;
    press(Key::Right);
    EXPECT_EQ(viewer.shownImage.display.data, kept.data) << "shown as it was kept";
    EXPECT_TRUE(viewer.shownImage.image.empty());
    EXPECT_TRUE(viewer.previousImage.image.empty()) << "the image left keeps its picture";
    EXPECT_EQ(fileNumber(viewer.previousImage.display), 1);
    press(Key::I);
    onSize(viewer);
    EXPECT_TRUE(viewer.shownImage.image.empty()) << "the overlay and a size event need none";

    press(Key::T);
    ASSERT_EQ(viewer.shownImage.image.size(), cv::Size(2000, 3000));
    EXPECT_EQ(fileNumber(viewer.shownImage.image), 2);
    EXPECT_EQ(viewer.shownImage.image.at<cv::Vec3b>(1, 1997), cv::Vec3b(0, 0, 255))
        << "the red corner turned to the top right";
    EXPECT_EQ(viewer.shownImage.displayHeight, 988) << "fitted again, upright no more";
    press(Key::Left);
    EXPECT_EQ(shownFile(), 1) << "the picture kept behind";
    EXPECT_TRUE(viewer.shownImage.image.empty());

    press(Key::F);  // at its own size the picture is the decoded image
    EXPECT_EQ(viewer.shownImage.displayWidth, 3000);
    onTimer(viewer, PrescaleTimer);
    settle();
    EXPECT_EQ(fileNumber(viewer.nextImage.display), 2) << "decoded again for the new window";
    EXPECT_EQ(viewer.nextImage.displayWidth, 3000);
    events.mouseButton(MouseButton::Forward, MouseAction::Press);  // the arrows would scroll
    settle();
    EXPECT_EQ(viewer.shownImage.displayWidth, 3000);
    EXPECT_EQ(shownFile(), 2);
}

// A huge JPEG's neighbour record keeps the picture for the screen made from a reduced
// decode, with the sizes of its full decode, so a step shows it and a turn decodes it
// whole; seen at its own size it is decoded whole at once.
TEST_F(NeighbourCacheTest, AHugeJpegNeighbourHoldsAPictureMadeFromAReducedDecode) {
    openFolder(2);
    NeighbourJob job = neighbourJob(viewer, NeighbourSide::Next);
    cv::Mat photo(2400, 4000, CV_8UC3);
    cv::randu(photo, 0, 256);
    cv::GaussianBlur(photo, photo, {0, 0}, 4);
    job.imagePath = dir.filePath("huge.jpg");
    test::writeImage(job.imagePath, photo, {cv::IMWRITE_JPEG_QUALITY, 95});
    const ImageBuffer whole = decodeNeighbour(job, CancelToken{});
    job.reducedFromPixels = 1'000'000;  // stands for 64 megapixels
    const ImageBuffer record = decodeNeighbour(job, CancelToken{});
    ASSERT_TRUE(record.ready);
    EXPECT_TRUE(record.image.empty());
    EXPECT_EQ(cv::Size(record.width, record.height), cv::Size(4000, 2400));
    ASSERT_EQ(record.display.size(), whole.display.size());
    cv::Mat difference;
    cv::absdiff(record.display, whole.display, difference);
    EXPECT_GT(cv::norm(difference, cv::NORM_INF), 0.0) << "not the full decode's picture";
    EXPECT_LE(cv::mean(difference)[0], 1.0) << "but within a level of it on average";
    job.context.fitActive = false;
    EXPECT_FALSE(decodeNeighbour(job, CancelToken{}).image.empty());
}

// Two neighbour decodes at once would hold two full decodes beside the shown image: the
// side started second waits for the first, unless a step asks for it.
TEST_F(NeighbourCacheTest, NeighboursDecodeOneAtATimeUnlessAStepAsksForTheOneWaiting) {
    openFolder(5);
    holdJobs();
    press(Key::F5);  // in the fake, settle runs what is held
    events.keyDown(Key::F5, 1);
    ASSERT_TRUE(neighbourDecoding(viewer, NeighbourSide::Next));
    EXPECT_EQ(viewer.neighbours.waiting, NeighbourSide::Previous);
    EXPECT_EQ(held.waiting(), 1U) << "only the job ahead runs";
    ASSERT_TRUE(held.runOne());
    platform.runQueued();
    EXPECT_TRUE(viewer.nextImage.ready);
    EXPECT_FALSE(viewer.neighbours.waiting) << "the side behind starts once it ends";
    EXPECT_EQ(held.waiting(), 1U);

    events.keyDown(Key::F5, 1);
    ASSERT_EQ(viewer.neighbours.waiting, NeighbourSide::Previous);
    events.keyDown(Key::Left, 1);
    EXPECT_FALSE(viewer.neighbours.waiting);
    EXPECT_TRUE(viewer.neighbours.previous.busy()) << "the step wants it now";
    settle();
    EXPECT_EQ(shownFile(), 5);
    EXPECT_EQ(fileNumber(viewer.nextImage.display), 1);
}

// A step from a released picture to a file that went meanwhile fails as any failed step
// does, and the window keeps the size of the released picture instead of collapsing.
TEST_F(NeighbourCacheTest, AFailedStepFromAReleasedPictureKeepsTheWindowSize) {
    openFolder(3, 2400, 1600);
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
    openFolder(3, 2400, 1600);
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
    const cv::Scalar colour(1, 2, 3);
    press(Key::Period);  // merge off
    open(imageFile("single/only.png", 2400, 1600, colour));
    idleRelease();
    EXPECT_TRUE(viewer.shownImage.image.empty());
    press(Key::Y);
    EXPECT_TRUE(same(viewer.shownImage.image, cv::Mat(1600, 2400, CV_8UC3, colour)))
        << "decoded again (one colour: mirrored alike)";
}

// A mirror shows at once, on screen too, and a second restores it without a refit; a quarter
// turn is clockwise, refits the window and the zoom, and four come back.
TEST_F(TransformTest, MirrorsShowAtOnceAndQuarterTurnsAreClockwiseAndRefit) {
    viewer.view.fitActive = false;  // at its own size the display is the decoded image
    openFolder(2, 300, 200);
    const std::size_t windowChanges = platform.windowRects.size();
    press(Key::Y);
    EXPECT_EQ(shownPixel(299, 0), kRed);
    EXPECT_EQ(viewer.shownImage.display.at<cv::Vec3b>(0, 299), kRed)
        << "the picture on screen is mirrored too, not flipped back by sharing its pixels";
    onCommand(viewer, static_cast<int>(Command::Flip));
    EXPECT_EQ(viewer.shownImage.display.at<cv::Vec3b>(0, 0), kRed);
    EXPECT_EQ(platform.windowRects.size(), windowChanges) << "no refit";

    viewer.view.zoomPerMille = 1200;
    viewer.view.zoomStepCount = 4;
    viewer.shownImage.scrollX = 10;
    press(Key::T);
    EXPECT_EQ(shownPixel(199, 0), kRed) << "the top-left corner goes to the top right";
    EXPECT_EQ(shownPixel(0, 0), kGreen) << "the bottom-left corner goes to the top left";
    EXPECT_EQ(viewer.view.zoomPerMille, 1000);
    EXPECT_EQ(viewer.view.zoomStepCount, 0);
    EXPECT_EQ(viewer.shownImage.scrollX, 0);
    EXPECT_EQ(platform.clientSize(), (Size{200, 300})) << "the window follows the turn";
    for (int i = 0; i < 3; ++i) onCommand(viewer, static_cast<int>(Command::Rotate));
    EXPECT_EQ(shownPixel(0, 0), kRed);
    EXPECT_EQ(platform.clientSize(), (Size{300, 200}));
}

// Whatever order T and Y come in, the record's turn applied to the decoded pixels gives
// the picture they made; a fresh decode starts without a turn.
TEST_F(TransformTest, AnyRunOfTurnsAndMirrorsIsRememberedAsOneTurnOfTheDecodedPixels) {
    viewer.view.fitActive = false;
    openFolder(2, 30, 20);
    const cv::Mat decoded = viewer.shownImage.image.clone();
    for (int length = 1; length <= 4; ++length) {
        for (int keys = 0; keys < (1 << length); ++keys) {
            press(Key::F5);
            ASSERT_EQ(viewer.shownImage.turn, PictureTurn{});
            std::string run;
            for (int i = 0; i < length; ++i) {
                const bool turn = ((keys >> i) & 1) != 0;
                onKeyDown(viewer, turn ? Key::T : Key::Y);
                run += turn ? 'T' : 'Y';
            }
            const cv::Mat expected = turnedAs(decoded, viewer.shownImage.turn);
            ASSERT_EQ(expected.size(), viewer.shownImage.image.size()) << run;
            EXPECT_EQ(cv::norm(expected, viewer.shownImage.image, cv::NORM_INF), 0) << run;
        }
    }
}

// Period and Comma merge with the next or (wrapping) previous entry, shown on the left, and
// turn fit on; the same key again ends the merge and leaves fit on. L swaps the sides, and
// does nothing while not merged.
TEST_F(TransformTest, MergingPairsNeighboursWithWrappingAndLSwapsTheSides) {
    openFolder(3, 300, 200);
    viewer.view.fitActive = false;
    press(Key::L);
    EXPECT_FALSE(viewer.merge.reverseMergeActive);
    const auto left = [this] {
        const cv::Mat& display = viewer.shownImage.display;
        return fileNumber(display(cv::Rect(0, 0, display.cols / 2, display.rows)));
    };
    press(Key::Period);
    EXPECT_EQ(viewer.merge.mergeMode, 1);
    EXPECT_TRUE(viewer.view.fitActive);
    EXPECT_EQ(left(), 1);
    press(Key::L);
    EXPECT_EQ(left(), 2) << "reverse merge puts the partner on the left";
    press(Key::L);
    press(Key::Comma);
    EXPECT_EQ(viewer.merge.mergeMode, -1);
    EXPECT_EQ(left(), 3) << "the previous image, 3.png, on the left";
    press(Key::Comma);
    EXPECT_EQ(viewer.merge.mergeMode, 0);
    EXPECT_TRUE(viewer.shownImage.partner.empty());
    EXPECT_TRUE(viewer.view.fitActive);
}

TEST_F(TransformTest, MergedStepsMoveTwoEntriesAndTakeTheCachedPair) {
    openFolder(5, 300, 200);
    press(Key::Period);
    settle();
    ASSERT_TRUE(viewer.nextImage.displayReady) << "the next pair, prescaled by its worker";
    const uchar* prescaled = viewer.nextImage.display.data;
    press(Key::Right);
    EXPECT_EQ(viewer.playlist.index, 2);
    EXPECT_EQ(viewer.shownImage.display.data, prescaled) << "the fast path";
    settle();
    press(Key::Right);
    press(Key::Right);
    EXPECT_EQ(viewer.playlist.index, 1) << "two entries a step, wrapping";
    press(Key::T);
    EXPECT_NEAR(viewer.shownImage.display.cols, viewer.shownImage.display.rows * 4.0 / 3, 2)
        << "both images turned, still side by side at one height";
}

}  // namespace
}  // namespace pavo
