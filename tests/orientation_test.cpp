#include "image/orientation.h"
#include "browse/load.h"
#include "image/image.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace pavo {
namespace {

// The picture as it is meant to be seen, at 2 x 2 pixels: a different colour in each
// quarter, so that every turn and mirror gives a different result.
cv::Mat quarters() {
    return (cv::Mat_<cv::Vec3b>(2, 2) << cv::Vec3b(0, 0, 255), cv::Vec3b(0, 255, 0),
            cv::Vec3b(255, 0, 0), cv::Vec3b(255, 255, 255));
}
constexpr int kWidth = 64;  // wider than tall, as it is stretched for the photos
constexpr int kHeight = 32;

// What a camera holding itself in `orientation` stores, `scale` times the size: 2, 3, 6 and 7
// store the 0th column on the right, 3, 4, 7 and 8 the 0th row at the bottom, 5 to 8 the rows
// as columns.
cv::Mat storedPicture(int orientation, int scale = 1) {
    cv::Mat picture;
    cv::resize(quarters(), picture, {kWidth * scale, kHeight * scale}, 0, 0, cv::INTER_NEAREST);
    const int mirror = (orientation - 1) % 4;
    if (mirror == 1 || mirror == 2) cv::flip(picture, picture, 1);
    if (mirror >= 2) cv::flip(picture, picture, 0);
    if (orientation >= 5) cv::transpose(picture.clone(), picture);
    return picture;
}

// An APP1 segment whose TIFF structure holds one orientation entry (`type` 3 a SHORT, 4 a
// LONG), in the main image's directory or only in the thumbnail's.
std::vector<unsigned char> exifSegment(unsigned value, bool bigEndian, unsigned type = 3,
                                       bool inThumbnailOnly = false) {
    std::vector<unsigned char> segment{0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    const auto put = [&](int bytes, std::initializer_list<unsigned> numbers) {
        for (const unsigned number : numbers) {
            for (int i = 0; i < bytes; ++i)
                segment.push_back(number >> 8 * (bigEndian ? bytes - 1 - i : i) & 0xFF);
        }
    };
    put(2, {bigEndian ? 0x4D4DU : 0x4949U, 42});
    put(4, {8});  // the main directory; offsets count from the TIFF structure's start
    if (inThumbnailOnly) put(2, {0});   // an empty main directory,
    if (inThumbnailOnly) put(4, {14});  // then the thumbnail's
    put(2, {1, 0x0112, type});          // one entry, the orientation, of one value
    put(4, {1, type == 3 && bigEndian ? value << 16 : value, 0});  // none after it
    segment[2] = static_cast<unsigned char>((segment.size() - 2) >> 8);
    segment[3] = static_cast<unsigned char>(segment.size() - 2);
    return segment;
}

// A JPEG of `image` carrying the segment, right after the start marker as cameras
// write it, or after the JFIF header as some editors do.
FileBytes jpegWithExif(const cv::Mat& image, const std::vector<unsigned char>& segment,
                       bool afterJfif = false) {
    std::vector<unsigned char> jpeg;
    EXPECT_TRUE(cv::imencode(".jpg", image, jpeg, {cv::IMWRITE_JPEG_QUALITY, 100}));
    const std::size_t at = afterJfif ? 4 + ((std::size_t{jpeg[4]} << 8) | jpeg[5]) : 2;
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), segment.begin(), segment.end());
    return {jpeg.begin(), jpeg.end()};
}

// Each quarter has, on average, the grey of its colour: all four differ.
void expectSeenUpright(const cv::Mat& image) {
    cv::Mat seen, meant;
    cv::resize(image, seen, cv::Size(2, 2), 0, 0, cv::INTER_AREA);
    cv::cvtColor(seen, seen, cv::COLOR_BGR2GRAY);
    cv::cvtColor(quarters(), meant, cv::COLOR_BGR2GRAY);
    EXPECT_LE(cv::norm(seen, meant, cv::NORM_INF), 12) << seen << "\n" << meant;
}

// A photo stored as `orientation` and carrying `segment` is decoded to stand upright; a
// grey one (which OpenCV decodes, not Pavo's own decoder) is read as a merge partner.
void expectUpright(int orientation, const std::vector<unsigned char>& segment,
                   bool afterJfif = false, bool grey = false) {
    cv::Mat stored = storedPicture(orientation);
    if (grey) cv::cvtColor(stored, stored, cv::COLOR_BGR2GRAY);
    const FileBytes bytes = jpegWithExif(stored, segment, afterJfif);
    EXPECT_EQ(exifOrientation(bytes), orientation);
    const auto loaded = decodeToBgr8(bytes, grey ? DecodeRole::Partner : DecodeRole::Shown);
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(loaded->image.isContinuous());
    ASSERT_EQ(loaded->image.size(), cv::Size(kWidth, kHeight));
    expectSeenUpright(loaded->image);
}

// A photo stands as the orientation of its main image says, whichever decoder reads it,
// in either byte order and either place. Anything else shows the picture as stored, and
// no EXIF data can make the decode fail.
TEST(Orientation, PhotosStandAsAWellFormedOrientationSaysAndOtherwiseAsStored) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
        for (const bool grey : {false, true}) {
            for (const bool bigEndian : {false, true}) {
                SCOPED_TRACE(std::to_string(orientation) + (grey ? " grey" : "") +
                             (bigEndian ? " MM" : ""));
                expectUpright(orientation, exifSegment(orientation, bigEndian), bigEndian, grey);
            }
        }
    }
    std::vector<unsigned char> cut = exifSegment(6, false);
    cut.resize(cut.size() - 9);  // in the middle of its entry
    cut[3] = static_cast<unsigned char>(cut.size() - 2);
    const std::pair<const char*, std::vector<unsigned char>> malformed[] = {
        {"zero", exifSegment(0, true)},
        {"nine", exifSegment(9, true)},
        {"a LONG instead of a SHORT", exifSegment(6, true, 4)},
        {"the thumbnail's orientation", exifSegment(6, true, 3, true)},
        {"a segment cut short", cut}};
    for (const auto& [what, segment] : malformed) {
        SCOPED_TRACE(what);
        expectUpright(1, segment);
    }
    FileBytes overlong = jpegWithExif(storedPicture(1), exifSegment(6, false));
    overlong.resize(30);
    overlong[4] = 0xFF;  // a segment whose length runs past the end of the file
    EXPECT_EQ(exifOrientation(overlong), 1);

    // The quick first look at a large photo, made by another decode, stands upright too: a
    // sideways photo must not show sideways even for a moment.
    const cv::Mat preview =
        previewOfBytes(jpegWithExif(storedPicture(8, 100), exifSegment(8, false)));
    ASSERT_EQ(preview.size(), cv::Size(kWidth * 50, kHeight * 50));
    expectSeenUpright(preview);
}

}  // namespace
}  // namespace pavo
