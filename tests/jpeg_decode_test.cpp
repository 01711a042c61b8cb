#include "image/jpeg_decode.h"
#include "image/image.h"
#include "platform/files.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <vector>

namespace pavo {
namespace {

// A photo-like picture: smooth gradients under noise, so that every DCT block,
// chroma subsampling and rounding path of the decoder has work to do.
cv::Mat photoLike(int rows, int cols) {
    cv::Mat coarse(3, 4, CV_8UC3), smooth, noise(rows, cols, CV_8UC3);
    cv::randu(coarse, 0, 256);
    cv::resize(coarse, smooth, cv::Size(cols, rows), 0, 0, cv::INTER_CUBIC);
    cv::randu(noise, 0, 80);
    return smooth + noise - cv::Scalar::all(40);
}

FileBytes encoded(const cv::Mat& image, const std::vector<int>& params) {
    std::vector<unsigned char> plain;
    EXPECT_TRUE(cv::imencode(".jpg", image, plain, params));
    return {plain.begin(), plain.end()};
}

// The pixels of OpenCV's own decode (the general path), whatever the encoder's options. An
// abandoned neighbour's decode stops instead of finishing for nobody, and does not fall back
// to the general decoder either.
TEST(JpegDecodeTest, ColourJpegsDecodeToTheGeneralPathsPixelsUnlessAskedToStop) {
    const cv::Mat image = photoLike(203, 317);  // odd sizes: partial blocks and MCUs
    for (const std::vector<int>& params :
         {std::vector<int>{cv::IMWRITE_JPEG_QUALITY, 90},
          {cv::IMWRITE_JPEG_QUALITY, 100, cv::IMWRITE_JPEG_OPTIMIZE, 1},
          {cv::IMWRITE_JPEG_QUALITY, 85, cv::IMWRITE_JPEG_PROGRESSIVE, 1},
          {cv::IMWRITE_JPEG_QUALITY, 70, cv::IMWRITE_JPEG_RST_INTERVAL, 3}}) {
        const FileBytes bytes = encoded(image, params);
        const auto fast = decodeColourJpeg(bytes);
        ASSERT_TRUE(fast) << params[1];
        EXPECT_EQ(cv::norm(*fast, decodeImageBytes(bytes), cv::NORM_INF), 0.0) << params[1];
        std::atomic<bool> stop{true};
        EXPECT_FALSE(decodeColourJpeg(bytes, &stop));
        EXPECT_FALSE(decodeToBgr8(bytes, DecodeRole::Shown, &stop));
        stop = false;
        EXPECT_TRUE(decodeToBgr8(bytes, DecodeRole::Shown, &stop));
    }
}

// Cut short, a JPEG shows what is there as in full, and libjpeg fills in the rest with the
// same pixels every time (OpenCV's own decode leaves those rows as the memory happened to
// be, which with reused pixel buffers would be the previous picture). Grey JPEGs, other
// files and what libjpeg gives up on go the general way; nothing makes it exit().
TEST(JpegDecodeTest, CutShortJpegsAreFilledInTheSameWayAndTheRestGoesTheGeneralWay) {
    const FileBytes whole = encoded(photoLike(64, 96), {cv::IMWRITE_JPEG_QUALITY, 90});
    const FileBytes cut(whole.begin(), whole.end() - static_cast<std::ptrdiff_t>(whole.size() / 4));
    const auto fast = decodeColourJpeg(cut);
    ASSERT_TRUE(fast);
    const cv::Rect top(0, 0, 96, 8);
    EXPECT_EQ(cv::norm((*fast)(top), decodeImageBytes(whole)(top), cv::NORM_INF), 0.0);
    cv::Mat(fast->size(), CV_8UC3, cv::Scalar(1, 2, 3)).copyTo(*fast);  // dirty the memory
    const auto again = decodeColourJpeg(cut);
    ASSERT_TRUE(again);
    EXPECT_EQ(cv::norm(*again, *decodeColourJpeg(cut), cv::NORM_INF), 0.0);

    std::vector<unsigned char> png;
    ASSERT_TRUE(cv::imencode(".png", photoLike(8, 8), png));
    FileBytes garbage = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
    garbage.resize(400, 0x5A);
    for (const FileBytes& other :
         {encoded(cv::Mat(40, 30, CV_8UC1, cv::Scalar(90)), {}), FileBytes(png.begin(), png.end()),
          FileBytes{}, FileBytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00}, garbage}) {
        EXPECT_FALSE(decodeColourJpeg(other)) << other.size();
    }
    EXPECT_FALSE(decodeToBgr8(garbage, DecodeRole::Shown));
    decodeToBgr8(FileBytes(whole.begin(), whole.begin() + 200), DecodeRole::Shown);  // headers
}

}  // namespace
}  // namespace pavo
