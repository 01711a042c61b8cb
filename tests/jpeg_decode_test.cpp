#include "image/jpeg_decode.h"
#include "image/image.h"
#include "platform/files.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace pavo {
namespace {

// A photo-like picture: smooth gradients under noise, so that every DCT block,
// chroma subsampling and rounding path of the decoder has work to do.
cv::Mat photoLike(int rows, int cols) {
    cv::Mat image(rows, cols, CV_8UC3);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-40, 40);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            auto& p = image.at<cv::Vec3b>(y, x);
            p = {cv::saturate_cast<unsigned char>(x * 255 / cols + noise(random)),
                 cv::saturate_cast<unsigned char>(y * 255 / rows + noise(random)),
                 cv::saturate_cast<unsigned char>((x + y) % 256 + noise(random))};
        }
    }
    return image;
}

FileBytes encoded(const cv::Mat& image, const std::vector<int>& params) {
    std::vector<unsigned char> plain;
    EXPECT_TRUE(cv::imencode(".jpg", image, plain, params));
    return {plain.begin(), plain.end()};
}

// What the general path makes of the bytes: OpenCV's decode.
cv::Mat generalDecode(const FileBytes& bytes) {
    return decodeImageBytes(bytes);
}

void expectSamePixels(const cv::Mat& fast, const cv::Mat& general) {
    ASSERT_EQ(fast.size(), general.size());
    ASSERT_EQ(fast.type(), CV_8UC3);
    EXPECT_EQ(cv::norm(fast, general, cv::NORM_INF), 0.0);
}

TEST(JpegDecodeTest, ColourJpegsDecodeToTheGeneralPathsPixels) {
    const cv::Mat image = photoLike(203, 317);  // odd sizes: partial blocks and MCUs
    const std::vector<std::vector<int>> variants = {
        {cv::IMWRITE_JPEG_QUALITY, 90},
        {cv::IMWRITE_JPEG_QUALITY, 100, cv::IMWRITE_JPEG_OPTIMIZE, 1},
        {cv::IMWRITE_JPEG_QUALITY, 85, cv::IMWRITE_JPEG_PROGRESSIVE, 1},
        {cv::IMWRITE_JPEG_QUALITY, 70, cv::IMWRITE_JPEG_RST_INTERVAL, 3},
    };
    for (std::size_t i = 0; i < variants.size(); ++i) {
        SCOPED_TRACE(i);
        const FileBytes bytes = encoded(image, variants[i]);
        const auto fast = decodeColourJpeg(bytes);
        ASSERT_TRUE(fast);
        expectSamePixels(*fast, generalDecode(bytes));
        const auto loaded = decodeToBgr8(bytes, DecodeRole::Shown);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->channels, 3) << "the information overlay says RGB";
        expectSamePixels(loaded->image, generalDecode(bytes));
    }
}

// An abandoned neighbour's decode stops instead of finishing for nobody, and does not
// fall back to the general decoder either.
TEST(JpegDecodeTest, ADecodeAskedToStopGivesNothing) {
    const FileBytes bytes = encoded(photoLike(300, 200), {cv::IMWRITE_JPEG_QUALITY, 90});
    std::atomic<bool> stop{true};
    EXPECT_FALSE(decodeColourJpeg(bytes, &stop));
    EXPECT_FALSE(decodeToBgr8(bytes, DecodeRole::Shown, &stop));
    stop = false;
    EXPECT_TRUE(decodeToBgr8(bytes, DecodeRole::Shown, &stop));
}

TEST(JpegDecodeTest, OtherFilesGoTheGeneralWay) {
    cv::Mat grey(40, 30, CV_8UC1, cv::Scalar(90));
    const FileBytes greyJpeg = encoded(grey, {});
    EXPECT_FALSE(decodeColourJpeg(greyJpeg));
    const auto loaded = decodeToBgr8(greyJpeg, DecodeRole::Shown);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->channels, 1);
    EXPECT_EQ(loaded->image.at<cv::Vec3b>(0, 0), cv::Vec3b(90, 90, 90));

    std::vector<unsigned char> png;
    ASSERT_TRUE(cv::imencode(".png", photoLike(8, 8), png));
    EXPECT_FALSE(decodeColourJpeg({png.begin(), png.end()}));
    EXPECT_FALSE(decodeColourJpeg({}));
    EXPECT_FALSE(decodeColourJpeg({0xFF, 0xD8, 0xFF, 0xE0, 0x00}));
}

TEST(JpegDecodeTest, DamagedJpegsMatchTheGeneralPathOrFailCleanly) {
    const FileBytes whole = encoded(photoLike(64, 96), {cv::IMWRITE_JPEG_QUALITY, 90});
    // Cut short: what is there decodes as in full, and libjpeg fills in the rest with
    // the same pixels every time (OpenCV's own decode leaves those rows as the memory
    // happened to be, which with reused pixel buffers would be the previous picture).
    FileBytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * 3 / 4));
    const auto fast = decodeColourJpeg(cut);
    ASSERT_TRUE(fast);
    const cv::Rect top(0, 0, 96, 8);
    expectSamePixels((*fast)(top), generalDecode(whole)(top));
    cv::Mat(fast->size(), CV_8UC3, cv::Scalar(1, 2, 3)).copyTo(*fast);  // dirty the memory
    const auto again = decodeColourJpeg(cut);
    ASSERT_TRUE(again);
    expectSamePixels(*again, *decodeColourJpeg(cut));
    // Headers only, or garbage after the start marker: no image, and no exit().
    FileBytes headerOnly(whole.begin(), whole.begin() + 200);
    const auto partial = decodeToBgr8(headerOnly, DecodeRole::Shown);
    if (partial) {
        EXPECT_EQ(partial->image.type(), CV_8UC3);
    }
    FileBytes garbage = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
    garbage.resize(400, 0x5A);
    EXPECT_FALSE(decodeColourJpeg(garbage));
    EXPECT_FALSE(decodeToBgr8(garbage, DecodeRole::Shown));
}

}  // namespace
}  // namespace pavo
