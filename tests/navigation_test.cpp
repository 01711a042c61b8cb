#include "app/app.h"
#include "image/orientation.h"
#include "support/viewer_fixture.h"

#include <QFile>

namespace pavo {
namespace {

// A folder of small images, each of its own colour, opened at the first.
class NavigationTest : public test::ViewerTest {
  protected:
    void openFolder(int count) {
        paths = imageFolder("album/%1.png", count, 60, 40);
        open(dir.filePath("album"));
    }
    int shownIndex() const { return viewer.playlist.index; }
    int shownFile() const { return fileNumber(viewer.shownImage.image); }
    std::size_t beeps(BeepKind kind) const {
        return static_cast<std::size_t>(
            std::count(platform.beeps.begin(), platform.beeps.end(), kind));
    }

    std::vector<QString> paths;
};

// A step whose neighbour is still decoding draws a quick look at it first and waits for
// it; the record being left keeps its own picture, so that stepping back shows it and not
// the preview. Inputs meanwhile wait and then run in order.
TEST_F(NavigationTest, AStepWaitsForItsNeighbourBehindAPreviewAndInputsWaitWithIt) {
    platform.showInitial({0, 0, 800, 600}, true);
    open(imageFolder("photos/%1.jpg", 3, 2800, 1600)[0]);
    holdJobs();  // the neighbours decode when the test says so
    viewer.settings.mute = true;
    startNeighbourWorkers(viewer);
    const cv::Mat before = viewer.shownImage.display;
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
    EXPECT_EQ(viewer.previousImage.display.data, before.data)
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
// is loaded and shown. Anything but a step waits for the jump's image and then acts on
// it. One press alone while the image ahead decodes is the next step, once it is shown.
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
    EXPECT_EQ(held.waiting(), jobs) << "while the keys move the target, nothing decodes";
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
    EXPECT_TRUE(platform.boxes.empty());
}

// A file deleted after its neighbour record was decoded is still shown from the cache; one
// broken before fails only its own record.
TEST_F(NavigationTest, AFileGoneAfterItsDecodeIsStillShownAndABrokenOneFailsOnlyItsRecord) {
    openFolder(4);  // the neighbours of the first are the second and the last
    ASSERT_TRUE(QFile::remove(paths[1]));
    test::writeBytes(paths[2], "broken");
    press(Key::Right);
    EXPECT_EQ(shownFile(), 2) << "decoded before it went";
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(viewer.nextImage.failed);
    EXPECT_TRUE(viewer.previousImage.ready) << "the other side keeps working";
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
    EXPECT_EQ(fileNumber(viewer.nextImage.image), 6);
    EXPECT_EQ(fileNumber(viewer.previousImage.image), 4);
    EXPECT_TRUE(viewer.nextImage.displayReady && viewer.previousImage.displayReady);
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

// A drop while a jump decodes waits for the jump and then opens what was dropped; a drop
// that empties the playlist leaves nothing for later keys to trip on.
TEST_F(NavigationTest, DropsWaitForAJumpAndAnEmptyPlaylistIsSafe) {
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
    for (const Key key : {Key::Right, Key::Left, Key::End, Key::T, Key::Period, Key::Delete,
                          Key::F5, Key::G, Key::Plus}) {
        press(key);
        press(key, 3);
    }
    EXPECT_TRUE(viewer.playlist.paths.empty());
    EXPECT_FALSE(stepUnderWay(viewer));
}

}  // namespace
}  // namespace pavo
