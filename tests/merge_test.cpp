#include "view/merge.h"
#include "support/viewer_fixture.h"
#include "view/view.h"

namespace pavo {
namespace {

// A merged pair in a 1900 x 1000 client area, fit on, 100 %.
class MergeTest : public test::ViewerTest {
  protected:
    void SetUp() override {
        platform.normal = {0, 0, 1916, 1059};
        showImage(10, 10);
        viewer.merge.mergeMode = 1;
        viewer.view.fitActive = true;
    }
    static cv::Mat picture(int width, int height, double blue) {
        return {height, width, CV_8UC3, cv::Scalar(blue, 0, 0)};
    }
    // The blue sample of a joined pair, which is BGR when both halves are at their own
    // size and BGRA when either was scaled.
    static int blueAt(const cv::Mat& joined, int row, int column) {
        return joined.ptr<unsigned char>(row)[column * joined.channels()];
    }
    cv::Mat forClient(const cv::Mat& a, const cv::Mat& b) {
        return scaleMergedForClient(scaleContext(viewer), {1900, 1000}, a, b);
    }
};

TEST_F(MergeTest, PairsThatFitSideBySideKeepTheirOwnFits) {
    const cv::Mat joined = forClient(picture(700, 1000, 10), picture(700, 1000, 20));
    EXPECT_EQ(joined.cols, 1400);
    EXPECT_EQ(joined.rows, 1000);
    EXPECT_EQ(blueAt(joined, 500, 100), 10) << "the shown image on the left";
    EXPECT_EQ(blueAt(joined, 500, 1300), 20);
    EXPECT_EQ(mergedFitSize(scaleContext(viewer), {1900, 1000}, picture(700, 1000, 0),
                            picture(700, 1000, 0)),
              (Size{1400, 1000}));
}

TEST_F(MergeTest, APairTooWideForTheAreaShrinksToOneCommonHeight) {
    const cv::Mat joined = forClient(picture(1600, 900, 10), picture(1600, 900, 20));
    EXPECT_EQ(joined.cols, 1900);
    EXPECT_EQ(joined.rows, 534);
    EXPECT_EQ(blueAt(joined, 200, 949), 10) << "950 columns each";
    EXPECT_EQ(blueAt(joined, 200, 950), 20);

    const cv::Mat mixed = forClient(picture(1600, 900, 10), picture(700, 1000, 20));
    EXPECT_LE(mixed.cols, 1900);
    EXPECT_GT(mixed.rows, 0) << "unequal images still join at one height";
}

TEST_F(MergeTest, ReverseMergeAndMergingBackwardSwapTheSides) {
    viewer.merge.reverseMergeActive = true;
    EXPECT_EQ(blueAt(forClient(picture(700, 1000, 10), picture(700, 1000, 20)), 500, 100), 20);
    viewer.merge.mergeMode = -1;
    EXPECT_EQ(blueAt(forClient(picture(700, 1000, 10), picture(700, 1000, 20)), 500, 100), 10)
        << "merged backward and reversed: the shown image on the left";
    viewer.merge.reverseMergeActive = false;
    EXPECT_EQ(blueAt(forClient(picture(700, 1000, 10), picture(700, 1000, 20)), 500, 100), 20)
        << "merged backward: the previous image on the left";
}

TEST_F(MergeTest, APartnerOfOnePixelLeavesNothingToDraw) {
    viewer.view.fitActive = false;
    viewer.view.zoomPerMille = 1;  // a thousandth of their size: a pixel each
    EXPECT_TRUE(forClient(picture(700, 1000, 10), picture(1000, 1, 20)).empty());
}

TEST_F(MergeTest, TheWindowOfAPairIsAsWideAsBothImages) {
    viewer.settings.fixWindowPosition = 0;
    refreshWindowLimits(viewer);
    viewer.shownImage.image = picture(400, 300, 10);
    viewer.shownImage.partner = picture(400, 300, 20);
    viewer.view.fitActive = false;
    const Size single = windowSizeForImage(viewer, viewer.shownImage.image);
    applyWindowSize(viewer, single, {.sticky = false, .partner = viewer.shownImage.partner});
    EXPECT_EQ(platform.clientSize(), (Size{800, 300}));
}

}  // namespace
}  // namespace pavo
