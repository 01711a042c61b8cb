#include "browse/transform.h"
#include "image/orientation.h"
#include "support/viewer_fixture.h"

namespace pavo {
namespace {

// A folder of images whose corners are marked, opened at the first.
class TransformTest : public test::ViewerTest {
  protected:
    void openFolder(int count, int width, int height) {
        open(imageFolder("%1.png", count, width, height)[0]);
    }
    cv::Vec3b shownPixel(int x, int y) const { return viewer.shownImage.image.at<cv::Vec3b>(y, x); }
    const cv::Vec3b kRed{0, 0, 255};
    const cv::Vec3b kGreen{0, 255, 0};
};

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

TEST_F(TransformTest, ATransformedRecordComesBackAsItWasLeftAndAFreshDecodeIsUpright) {
    openFolder(3, 300, 200);
    press(Key::T);
    press(Key::Right);
    settle();
    EXPECT_EQ(shownPixel(0, 0), kRed) << "the neighbour was never turned";
    press(Key::Left);
    EXPECT_EQ(viewer.shownImage.width, 200) << "stepping back shows the turned record";
    press(Key::F5);  // decoded again from its file
    EXPECT_EQ(viewer.shownImage.width, 300);
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
    EXPECT_NEAR(viewer.shownImage.display.cols, viewer.shownImage.display.rows * 4 / 3, 2)
        << "both images turned, still side by side at one height";
}

}  // namespace
}  // namespace pavo
