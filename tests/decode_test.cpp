#include "image/image.h"
#include "platform/files.h"
#include "support/test_files.h"

#include <QTemporaryDir>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>
#include <unistd.h>

namespace pavo {
namespace {

using Pixel = cv::Vec4b;

class DecodeTest : public testing::Test {
  protected:
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    // Writes `image` under `name` and loads it through the whole pipeline.
    std::optional<LoadedImage> roundTrip(const char* name, const cv::Mat& image,
                                         const std::vector<int>& params = {}) {
        test::writeImage(path(name), image, params);
        return loadImageFile(path(name));
    }

    QTemporaryDir dir;
};

void expectBgra8(const LoadedImage& loaded, int rows, int cols) {
    EXPECT_EQ(loaded.image.type(), CV_8UC4);
    EXPECT_TRUE(loaded.image.isContinuous());
    EXPECT_EQ(loaded.image.rows, rows);
    EXPECT_EQ(loaded.image.cols, cols);
}

TEST_F(DecodeTest, DeepImagesAreScaledDownTo8BitsWithRounding) {
    cv::Mat deep(2, 3, CV_16UC3, cv::Scalar(65535, 1000, 0));
    deep.at<cv::Vec3w>(1, 2) = cv::Vec3w(128, 127, 383);
    const auto loaded = roundTrip("deep.png", deep);
    ASSERT_TRUE(loaded);
    expectBgra8(*loaded, 2, 3);
    EXPECT_EQ(loaded->channels, 3);
    EXPECT_EQ(loaded->image.at<Pixel>(0, 0), Pixel(255, 4, 0, 255));
    EXPECT_EQ(loaded->image.at<Pixel>(1, 2), Pixel(0, 0, 1, 255))
        << "128/256 rounds to even, 383/256 up";
}

TEST_F(DecodeTest, ColourImagesGainAnOpaqueAlpha) {
    cv::Mat colour(4, 5, CV_8UC3, cv::Scalar(10, 20, 30));
    for (const char* name : {"c.bmp", "c.ppm", "c.tif", "c.webp", "c.jpg"}) {
        SCOPED_TRACE(name);
        const bool lossy = std::string_view(name) == "c.jpg" || std::string_view(name) == "c.webp";
        const auto loaded = roundTrip(
            name, colour,
            lossy ? std::vector<int>{cv::IMWRITE_JPEG_QUALITY, 100, cv::IMWRITE_WEBP_QUALITY, 101}
                  : std::vector<int>{});
        ASSERT_TRUE(loaded);
        expectBgra8(*loaded, 4, 5);
        EXPECT_EQ(loaded->channels, 3);
        const Pixel p = loaded->image.at<Pixel>(2, 3);
        EXPECT_EQ(p[3], 255);
        EXPECT_NEAR(p[0], 10, lossy ? 3 : 0);
        EXPECT_NEAR(p[2], 30, lossy ? 3 : 0);
        EXPECT_EQ(loaded->fileSize, fileSizeOf(path(name)));
    }
}

TEST_F(DecodeTest, GreyImagesBecomeOpaqueBgraAndKeepOneChannel) {
    cv::Mat grey(3, 3, CV_8UC1, cv::Scalar(77));
    for (const char* name : {"g.pgm", "g.png", "g.jpg"}) {
        SCOPED_TRACE(name);
        const auto loaded = roundTrip(name, grey, {cv::IMWRITE_JPEG_QUALITY, 100});
        ASSERT_TRUE(loaded);
        expectBgra8(*loaded, 3, 3);
        EXPECT_EQ(loaded->channels, 1);
        EXPECT_EQ(loaded->image.at<Pixel>(1, 1), Pixel(77, 77, 77, 255));
    }
}

TEST_F(DecodeTest, AlphaIsCompositedOnBlack) {
    cv::Mat rgba(2, 2, CV_8UC4, cv::Scalar(200, 100, 50, 128));
    rgba.at<Pixel>(0, 1) = Pixel(9, 9, 9, 0);
    rgba.at<Pixel>(1, 0) = Pixel(1, 2, 3, 255);
    const auto loaded = roundTrip("a.png", rgba);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->channels, 4);
    EXPECT_EQ(loaded->image.at<Pixel>(0, 0), Pixel(100, 50, 25, 64));
    EXPECT_EQ(loaded->image.at<Pixel>(0, 1), Pixel(0, 0, 0, 0));
    EXPECT_EQ(loaded->image.at<Pixel>(1, 0), Pixel(1, 2, 3, 255));

    cv::Mat greyAlpha(1, 2, CV_8UC2);
    greyAlpha.at<cv::Vec2b>(0, 0) = cv::Vec2b(200, 128);
    greyAlpha.at<cv::Vec2b>(0, 1) = cv::Vec2b(50, 255);
    EXPECT_EQ(convertToBgra8(greyAlpha, DecodeRole::Shown), 2);
    EXPECT_EQ(greyAlpha.type(), CV_8UC4);
    EXPECT_EQ(greyAlpha.at<Pixel>(0, 0), Pixel(100, 100, 100, 64));
    EXPECT_EQ(greyAlpha.at<Pixel>(0, 1), Pixel(50, 50, 50, 255));
}

// The composite must match the per-pixel double formula bit for bit: every value
// against every alpha, computed here independently of Pavo's table.
TEST(Composite, MatchesTheDoubleFormulaForEveryValueAndAlpha) {
    cv::Mat all(256, 256, CV_8UC4);
    for (int alpha = 0; alpha < 256; ++alpha) {
        for (int value = 0; value < 256; ++value) {
            all.at<Pixel>(alpha, value) = Pixel(value, 255 - value, value / 2, alpha);
        }
    }
    const cv::Mat input = all.clone();
    flattenAlphaOnBlack(all);
    const auto formula = [](int c, int alpha) {
        const double a = alpha / 255.0;
        if (!(a > 0)) return 0;
        return static_cast<int>(0.0 * (1.0 - a) + c * a);
    };
    int mismatches = 0;
    for (int alpha = 0; alpha < 256; ++alpha) {
        for (int value = 0; value < 256; ++value) {
            const Pixel& in = input.at<Pixel>(alpha, value);
            const Pixel out = all.at<Pixel>(alpha, value);
            for (int c = 0; c < 4; ++c) {
                if (out[c] != formula(in[c], alpha)) ++mismatches;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(DecodeTest, FloatImagesFailAsShownButScaleAsPartner) {
    cv::Mat floats(2, 2, CV_32FC3, cv::Scalar(512.0F, 256.0F, 100.0F));
    test::writeImage(path("f.tiff"), floats);
    EXPECT_FALSE(loadImageFile(path("f.tiff")));
    const auto partner = loadImageFile(path("f.tiff"), DecodeRole::Partner);
    ASSERT_TRUE(partner);
    EXPECT_EQ(partner->image.at<Pixel>(0, 0), Pixel(2, 1, 0, 255));

    cv::Mat empty;
    EXPECT_FALSE(convertToBgra8(empty, DecodeRole::Shown));
    EXPECT_THROW(convertToBgra8(empty, DecodeRole::Partner), cv::Exception)
        << "an empty partner fails the decode";
}

TEST_F(DecodeTest, BrokenFilesOfEveryFormatFailCleanly) {
    EXPECT_FALSE(loadImageFile(path("missing.png")));
    test::writeBytes(path("empty.png"), {});
    EXPECT_FALSE(loadImageFile(path("empty.png")));
    EXPECT_FALSE(loadImageFile(dir.path())) << "a directory is not an image";

    cv::Mat image(64, 48, CV_8UC3);
    cv::randu(image, 0, 255);
    for (const char* name : {"t.png", "t.jpg", "t.webp", "t.bmp", "t.tif", "t.ppm", "t.pgm"}) {
        SCOPED_TRACE(name);
        cv::Mat source = image;
        if (std::string_view(name) == "t.pgm") cv::extractChannel(image, source, 0);
        test::writeImage(path(name), source);
        const QByteArray good = test::readBytes(path(name));
        ASSERT_TRUE(loadImageFile(path(name)));

        test::writeBytes(path(name), QByteArray(good.size(), '\0'));
        EXPECT_FALSE(loadImageFile(path(name))) << "zero-filled";
        test::writeBytes(path(name), good.left(good.size() / 8));
        loadImageFile(path(name));  // a decoder may show what is there; it must not crash
        QByteArray corrupt = good;
        for (qsizetype i = 0; i < corrupt.size(); i += 7)
            corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
        test::writeBytes(path(name), corrupt);
        loadImageFile(path(name));
        test::writeBytes(path(name), good.left(20));
        EXPECT_FALSE(loadImageFile(path(name))) << "only a header";
    }
}

TEST_F(DecodeTest, FilesOfTwoGibibytesFailAtTheSizeQuery) {
    const QString big = path("big.png");
    test::writeBytes(big, {});
    ASSERT_EQ(truncate(big.toLocal8Bit().constData(), off_t{1} << 31), 0);  // sparse
    EXPECT_EQ(fileSizeOf(big), -1);
    EXPECT_FALSE(loadImageFile(big));
    ASSERT_EQ(truncate(big.toLocal8Bit().constData(), (off_t{1} << 31) - 1), 0);
    EXPECT_EQ(fileSizeOf(big), 2147483647);
}

std::uint32_t crc32(const QByteArray& bytes) {
    std::uint32_t crc = 0xFFFFFFFFU;
    for (const char b : bytes) {
        crc ^= static_cast<unsigned char>(b);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
    }
    return ~crc;
}

QByteArray bigEndian(std::uint32_t v) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(v >> (24 - 8 * i));
    return bytes;
}

QByteArray pngChunk(const char* type, const QByteArray& data) {
    const QByteArray body = QByteArray(type) + data;
    return bigEndian(static_cast<std::uint32_t>(data.size())) + body + bigEndian(crc32(body));
}

TEST_F(DecodeTest, DecompressionBombIsRefused) {
    QByteArray header = bigEndian(100000) + bigEndian(100000);
    header.append("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA, no interlace
    const QByteArray zlib = qCompress(QByteArray(1000, '\0')).mid(4);
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
                           pngChunk("IDAT", zlib) + pngChunk("IEND", {});
    test::writeBytes(path("bomb.png"), png);
    EXPECT_LT(png.size(), 200);
    EXPECT_FALSE(loadImageFile(path("bomb.png")));
}

TEST_F(DecodeTest, ReadsPadShortFilesWithZeros) {
    test::writeBytes(path("short.bin"), "abc");
    const auto bytes = readFileBytes(path("short.bin"), 6);
    EXPECT_EQ(bytes, (FileBytes{'a', 'b', 'c', 0, 0, 0}));
    EXPECT_EQ(readFileBytes(path("none.bin"), 2), (FileBytes{0, 0}));
    EXPECT_THROW(readFileBytes(path("short.bin"), -1), std::length_error);
    EXPECT_TRUE(fileExists(path("short.bin")));
    EXPECT_FALSE(fileExists(path("none.bin")));
}

TEST(ImageBuffer, CopiesShareThePixels) {
    ImageBuffer a;
    a.image = cv::Mat(10, 10, CV_8UC4, cv::Scalar::all(1));
    a.ready = true;
    a.displayWidth = 5;
    ImageBuffer b;
    b = a;
    EXPECT_EQ(b.image.data, a.image.data);
    EXPECT_TRUE(b.ready);
    EXPECT_EQ(b.displayWidth, 5);
    resetForDecode(b);
    EXPECT_FALSE(b.ready);
    EXPECT_EQ(b.displayWidth, 1);
    EXPECT_EQ(b.width, 1);
}

}  // namespace
}  // namespace pavo
