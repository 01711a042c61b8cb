#include "view/merge.h"
#include "support/viewer_fixture.h"
#include "view/scale.h"
#include "view/view.h"
#include "view/zoom.h"

namespace pavo {
namespace {

cv::Mat picture(int width, int height, double blue) {
    return {height, width, CV_8UC3, cv::Scalar(blue, 0, 0)};
}

// The blue sample of a joined pair: BGR at their own size, BGRA when either was scaled.
int blueAt(const cv::Mat& joined, int row, int column) {
    return joined.ptr<unsigned char>(row)[column * joined.channels()];
}

// A window with a client area of `client` and a 16 x 59 frame on a 1920 x 1080 monitor,
// merged with the next image, fit on, 100 %.
ScaleContext pairIn(Size client) {
    ScaleContext context;
    context.geometry.client = client;
    context.geometry.window = {0, 0, client.width + 16, client.height + 59};
    context.geometry.monitor = {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}};
    context.geometry.primaryScreen = {0, 0, 1920, 1080};
    context.mergeMode = 1;
    return context;
}

cv::Mat forClient(const ScaleContext& context, const cv::Mat& a, const cv::Mat& b) {
    return scaleMergedForClient(context, context.geometry.client, a, b);
}

TEST(Merge, PairsKeepTheirFitsOrShrinkToOneHeightAndReverseMergeSwapsTheSides) {
    ScaleContext context = pairIn({1900, 1000});
    const cv::Mat joined = forClient(context, picture(700, 1000, 10), picture(700, 1000, 20));
    EXPECT_EQ(joined.size(), cv::Size(1400, 1000));
    EXPECT_EQ(blueAt(joined, 500, 100), 10) << "the shown image on the left";
    EXPECT_EQ(blueAt(joined, 500, 1300), 20);
    EXPECT_EQ(mergedFitSize(context, {1900, 1000}, picture(700, 1000, 0), picture(700, 1000, 0)),
              (Size{1400, 1000}));

    const cv::Mat wide = forClient(context, picture(1600, 900, 10), picture(1600, 900, 20));
    EXPECT_EQ(wide.size(), cv::Size(1900, 534));
    EXPECT_EQ(blueAt(wide, 200, 949), 10) << "950 columns each";
    EXPECT_EQ(blueAt(wide, 200, 950), 20);

    const auto left = [&] {
        return blueAt(forClient(context, picture(700, 1000, 10), picture(700, 1000, 20)), 500, 100);
    };
    context.reverseMerge = true;
    EXPECT_EQ(left(), 20);
    context.mergeMode = -1;
    EXPECT_EQ(left(), 10) << "merged backward and reversed: the shown image on the left";
    context.reverseMerge = false;
    EXPECT_EQ(left(), 20) << "merged backward: the previous image on the left";

    context.fitActive = false;
    context.zoomPerMille = 1;  // a thousandth of their size: a pixel each
    EXPECT_TRUE(forClient(context, picture(700, 1000, 10), picture(1000, 1, 20)).empty())
        << "a partner of one pixel leaves nothing to draw";
}

// Pictures of unequal height are joined at the higher one's, the lower centred on black:
// whatever a layout's arithmetic gives, joining never ends the program.
TEST(Merge, PairsOfUnequalHeightJoinOnBlack) {
    const ScaleContext context = pairIn({1900, 1000});
    cv::Mat joined;
    joinSideBySide(context, picture(30, 10, 10), picture(20, 40, 20), joined);
    EXPECT_EQ(joined.size(), cv::Size(50, 40));
    EXPECT_EQ(blueAt(joined, 20, 5), 10);
    EXPECT_EQ(blueAt(joined, 2, 5), 0) << "above the lower picture: black";
    EXPECT_EQ(blueAt(joined, 2, 40), 20);
}

// Zoomed pairs and pairs in a maximised window on a small screen: each image is fitted to
// the same area the width test compares the pair with, so the two end at one height.
TEST(Merge, ZoomedPairsAndPairsForTheScreenComeOutAtOneHeight) {
    ScaleContext context = pairIn({1920, 997});  // maximised on 1920 x 1080
    const cv::Mat wide = picture(2400, 1000, 10);
    const cv::Mat tall = picture(1000, 1500, 20);
    for (std::int64_t zoom = 1000; zoom > 100; zoom = zoom * 95 / 100) {
        context.zoomPerMille = zoom;
        const cv::Mat joined = forClient(context, wide, tall);
        ASSERT_FALSE(joined.empty()) << zoom;
        EXPECT_EQ(blueAt(joined, joined.rows / 2, 1), 10) << zoom;
        EXPECT_EQ(blueAt(joined, joined.rows / 2, joined.cols - 2), 20) << zoom;
    }

    // 1600 x 900 screen, maximised: the screen fit of one image uses the client area, and
    // so does the pair's.
    ScaleContext small = pairIn({1584, 801});
    small.geometry.maximized = true;
    small.geometry.monitor = {{0, 0, 1600, 900}, {0, 0, 1600, 860}};
    small.geometry.primaryScreen = {0, 0, 1600, 900};
    const cv::Mat pair = prescaleForScreen(small, picture(1858, 1000, 10), picture(4, 1000, 20));
    ASSERT_FALSE(pair.empty());
    EXPECT_LE(pair.cols, 1584);
    EXPECT_LE(pair.rows, 801);
}

using MergeWindowTest = test::ViewerTest;

TEST_F(MergeWindowTest, TheWindowOfAPairIsAsWideAsBothImages) {
    viewer.merge.mergeMode = 1;
    showImage(400, 300);
    viewer.shownImage.partner = picture(400, 300, 20);
    viewer.view.fitActive = false;
    const Size single = windowSizeForImage(viewer, viewer.shownImage.image);
    applyWindowSize(viewer, single, {.sticky = false, .partner = viewer.shownImage.partner});
    EXPECT_EQ(platform.clientSize(), (Size{800, 300}));
}

}  // namespace
}  // namespace pavo
