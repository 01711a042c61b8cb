#include "image/orientation.h"
#include "browse/load.h"
#include "image/image.h"
#include "support/test_files.h"

#include <QTemporaryDir>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace pavo {
namespace {

using Bgr = cv::Vec3b;

// The picture as it is meant to be seen: wider than tall, a different colour in each
// quarter, so that every turn and mirror gives a different result.
constexpr int kWidth = 64;
constexpr int kHeight = 32;
const std::array<Bgr, 4> kQuarterColours{Bgr(0, 0, 255), Bgr(0, 255, 0), Bgr(255, 0, 0),
                                         Bgr(255, 255, 255)};

Bgr quarterColour(int row, int col, int rows, int cols) {
    return kQuarterColours[(row < rows / 2 ? 0 : 2) + (col < cols / 2 ? 0 : 1)];
}

// Where the stored pixel (row, col) of a stored picture `rows` × `cols` is seen, read
// straight from what the EXIF standard says of each value: which side of the picture
// the stored 0th row is, and which side its 0th column is.
cv::Point seenAt(int orientation, int row, int col, int rows, int cols) {
    switch (orientation) {
        case 1:
            return {col, row};  // row top, column left
        case 2:
            return {cols - 1 - col, row};  // row top, column right
        case 3:
            return {cols - 1 - col, rows - 1 - row};  // row bottom, column right
        case 4:
            return {col, rows - 1 - row};  // row bottom, column left
        case 5:
            return {row, col};  // row left, column top
        case 6:
            return {rows - 1 - row, col};  // row right, column top
        case 7:
            return {rows - 1 - row, cols - 1 - col};  // row right, column bottom
        default:
            return {row, cols - 1 - col};  // 8: row left, column bottom
    }
}

// The picture a camera holding itself in `orientation` would store.
cv::Mat storedPicture(int orientation) {
    const bool sideways = orientation >= 5;
    const int rows = sideways ? kWidth : kHeight;
    const int cols = sideways ? kHeight : kWidth;
    cv::Mat stored(rows, cols, CV_8UC3);
    for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < cols; ++col) {
            const cv::Point seen = seenAt(orientation, row, col, rows, cols);
            stored.at<Bgr>(row, col) = quarterColour(seen.y, seen.x, kHeight, kWidth);
        }
    }
    return stored;
}

void put16(std::vector<unsigned char>& out, unsigned value, bool bigEndian) {
    const auto low = static_cast<unsigned char>(value & 0xFF);
    const auto high = static_cast<unsigned char>((value >> 8) & 0xFF);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
}

void put32(std::vector<unsigned char>& out, unsigned value, bool bigEndian) {
    put16(out, bigEndian ? value >> 16 : value & 0xFFFF, bigEndian);
    put16(out, bigEndian ? value & 0xFFFF : value >> 16, bigEndian);
}

struct ExifTag {
    unsigned value = 1;
    unsigned type = 3;  // SHORT
    bool inThumbnailOnly = false;
};

// An APP1 segment whose TIFF structure holds one orientation entry, in the main
// image's directory or only in the thumbnail's.
std::vector<unsigned char> exifSegment(const ExifTag& tag, bool bigEndian) {
    const unsigned char order = bigEndian ? 'M' : 'I';
    // The TIFF structure follows the segment's header; its offsets count from its start.
    std::vector<unsigned char> segment{0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0, order, order};
    put16(segment, 42, bigEndian);
    put32(segment, 8, bigEndian);
    const auto entry = [&](std::vector<unsigned char>& out) {
        put16(out, 1, bigEndian);       // one entry
        put16(out, 0x0112, bigEndian);  // Orientation
        put16(out, tag.type, bigEndian);
        put32(out, 1, bigEndian);
        if (tag.type == 3) {
            put16(out, tag.value, bigEndian);
            put16(out, 0, bigEndian);
        } else {
            put32(out, tag.value, bigEndian);
        }
    };
    if (tag.inThumbnailOnly) {
        put16(segment, 0, bigEndian);   // an empty main directory
        put32(segment, 14, bigEndian);  // then the thumbnail's
        entry(segment);
        put32(segment, 0, bigEndian);
    } else {
        entry(segment);
        put32(segment, 0, bigEndian);
    }
    const auto length = static_cast<unsigned>(segment.size() - 2);
    segment[2] = static_cast<unsigned char>(length >> 8);
    segment[3] = static_cast<unsigned char>(length & 0xFF);
    return segment;
}

// A JPEG of `image` carrying the segment, right after the start marker as cameras
// write it, or after the JFIF header as some editors do.
FileBytes jpegWithExif(const cv::Mat& image, const std::vector<unsigned char>& segment,
                       bool afterJfif = false) {
    std::vector<unsigned char> jpeg;
    EXPECT_TRUE(cv::imencode(".jpg", image, jpeg, {cv::IMWRITE_JPEG_QUALITY, 100}));
    std::size_t at = 2;
    if (afterJfif) at = 4 + ((std::size_t{jpeg[4]} << 8) | jpeg[5]);
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), segment.begin(), segment.end());
    return {jpeg.begin(), jpeg.end()};
}

void expectSeenUpright(const cv::Mat& image) {
    ASSERT_EQ(image.cols, kWidth);
    ASSERT_EQ(image.rows, kHeight);
    for (int quarter = 0; quarter < 4; ++quarter) {
        const int row = quarter < 2 ? kHeight / 4 : 3 * kHeight / 4;
        const int col = quarter % 2 == 0 ? kWidth / 4 : 3 * kWidth / 4;
        const Bgr& seen = image.at<Bgr>(row, col);
        const Bgr& meant = kQuarterColours[quarter];
        SCOPED_TRACE(testing::Message() << "quarter " << quarter);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(seen[c], meant[c], 12);
    }
}

TEST(Orientation, EachOfTheEightStandsUprightInEitherByteOrderAndPlace) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
        for (const bool bigEndian : {false, true}) {
            SCOPED_TRACE(testing::Message() << "orientation " << orientation
                                            << (bigEndian ? " big-endian" : " little-endian"));
            const FileBytes bytes =
                jpegWithExif(storedPicture(orientation),
                             exifSegment({.value = static_cast<unsigned>(orientation)}, bigEndian),
                             /*afterJfif=*/bigEndian);
            EXPECT_EQ(exifOrientation(bytes), orientation);
            const auto loaded = decodeToBgr8(bytes, DecodeRole::Shown);
            ASSERT_TRUE(loaded);
            EXPECT_TRUE(loaded->image.isContinuous());
            expectSeenUpright(loaded->image);
        }
    }
}

// Grey JPEGs take OpenCV's decoder rather than Pavo's own; merge partners are read the
// same way as the shown image.
TEST(Orientation, GreyPhotosAndPartnersStandUprightToo) {
    cv::Mat grey;
    cv::extractChannel(storedPicture(6), grey, 1);  // green: only quarter 1 and 3 are bright
    const FileBytes bytes = jpegWithExif(grey, exifSegment({.value = 6}, false));
    for (const auto role : {DecodeRole::Shown, DecodeRole::Partner}) {
        const auto loaded = decodeToBgr8(bytes, role);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->channels, 1);
        ASSERT_EQ(loaded->image.size(), cv::Size(kWidth, kHeight));
        EXPECT_GT(loaded->image.at<Bgr>(kHeight / 4, 3 * kWidth / 4)[0], 200);  // top right
        EXPECT_LT(loaded->image.at<Bgr>(kHeight / 4, kWidth / 4)[0], 50);       // top left
    }
}

// Only a well-formed orientation of the main image turns it: anything else shows the
// picture as stored, and no EXIF data can make the decode fail.
TEST(Orientation, MalformedOrMisplacedTagsLeaveThePictureAsStored) {
    const cv::Mat stored = storedPicture(1);
    const struct {
        const char* what = "";
        ExifTag tag;
    } cases[] = {
        {"zero", {.value = 0}},
        {"nine", {.value = 9}},
        {"a LONG instead of a SHORT", {.value = 6, .type = 4}},
        {"the thumbnail's orientation", {.value = 6, .inThumbnailOnly = true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const FileBytes bytes = jpegWithExif(stored, exifSegment(c.tag, true));
        EXPECT_EQ(exifOrientation(bytes), 1);
        const auto loaded = decodeToBgr8(bytes, DecodeRole::Shown);
        ASSERT_TRUE(loaded);
        expectSeenUpright(loaded->image);
    }
    // A segment cut off in the middle of its entry, and one whose length runs past the file.
    std::vector<unsigned char> cut = exifSegment({.value = 6}, false);
    cut.resize(cut.size() - 9);
    cut[3] = static_cast<unsigned char>(cut.size() - 2);
    EXPECT_EQ(exifOrientation(jpegWithExif(stored, cut)), 1);
    FileBytes overlong = jpegWithExif(stored, exifSegment({.value = 6}, false));
    overlong.resize(30);
    overlong[4] = 0xFF;
    EXPECT_NO_FATAL_FAILURE((void)exifOrientation(overlong));
    // Other formats are never turned, whatever their bytes hold.
    std::vector<unsigned char> png;
    ASSERT_TRUE(cv::imencode(".png", stored, png));
    EXPECT_EQ(exifOrientation(FileBytes(png.begin(), png.end())), 1);
}

// The quick first look and the loads of the shown image and its neighbours all read
// files through the same calls: a sideways photo must not show sideways even for a moment.
TEST(Orientation, FilesAndTheirPreviewsStandUpright) {
    QTemporaryDir dir;
    const cv::Mat big = [] {
        cv::Mat stored;
        cv::resize(storedPicture(8), stored, cv::Size(kHeight * 100, kWidth * 100), 0, 0,
                   cv::INTER_NEAREST);
        return stored;
    }();
    const QString path = dir.filePath(QStringLiteral("phone.jpg"));
    const FileBytes bytes = jpegWithExif(big, exifSegment({.value = 8}, false));
    test::writeBytes(path, QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                      static_cast<qsizetype>(bytes.size())));

    const auto loaded = loadImageFile(path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->image.size(), cv::Size(kWidth * 100, kHeight * 100));
    const cv::Mat preview = previewOfFile(path);
    ASSERT_FALSE(preview.empty());
    EXPECT_EQ(preview.size(), cv::Size(kWidth * 50, kHeight * 50));
    cv::Mat small;
    cv::resize(preview, small, cv::Size(kWidth, kHeight), 0, 0, cv::INTER_AREA);
    expectSeenUpright(small);
}

}  // namespace
}  // namespace pavo
