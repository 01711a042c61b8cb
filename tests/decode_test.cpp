#include "image/image.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/test_files.h"

#include <QTemporaryDir>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <limits>
#include <random>

namespace pavo {
namespace {

using Pixel = cv::Vec4b;
using Bgr = cv::Vec3b;

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

void expectBgr8(const LoadedImage& loaded, int rows, int cols) {
    EXPECT_EQ(loaded.image.type(), CV_8UC3);
    EXPECT_TRUE(loaded.image.isContinuous());
    EXPECT_EQ(loaded.image.rows, rows);
    EXPECT_EQ(loaded.image.cols, cols);
}

TEST_F(DecodeTest, DeepImagesAreScaledDownTo8BitsWithRounding) {
    cv::Mat deep(2, 3, CV_16UC3, cv::Scalar(65535, 1000, 0));
    deep.at<cv::Vec3w>(1, 2) = cv::Vec3w(128, 127, 383);
    const auto loaded = roundTrip("deep.png", deep);
    ASSERT_TRUE(loaded);
    expectBgr8(*loaded, 2, 3);
    EXPECT_EQ(loaded->channels, 3);
    EXPECT_EQ(loaded->image.at<Bgr>(0, 0), Bgr(255, 4, 0));
    EXPECT_EQ(loaded->image.at<Bgr>(1, 2), Bgr(0, 0, 1)) << "128/256 rounds to even, 383/256 up";
}

TEST_F(DecodeTest, ColourImagesKeepTheirColours) {
    cv::Mat colour(4, 5, CV_8UC3, cv::Scalar(10, 20, 30));
    for (const char* name : {"c.bmp", "c.ppm", "c.tif", "c.webp", "c.jpg"}) {
        SCOPED_TRACE(name);
        const bool lossy = std::string_view(name) == "c.jpg" || std::string_view(name) == "c.webp";
        const auto loaded = roundTrip(
            name, colour,
            lossy ? std::vector<int>{cv::IMWRITE_JPEG_QUALITY, 100, cv::IMWRITE_WEBP_QUALITY, 101}
                  : std::vector<int>{});
        ASSERT_TRUE(loaded);
        expectBgr8(*loaded, 4, 5);
        EXPECT_EQ(loaded->channels, 3);
        const Bgr p = loaded->image.at<Bgr>(2, 3);
        EXPECT_NEAR(p[0], 10, lossy ? 3 : 0);
        EXPECT_NEAR(p[2], 30, lossy ? 3 : 0);
        EXPECT_EQ(loaded->fileSize, fileSizeOf(path(name)));
    }
}

TEST_F(DecodeTest, GreyImagesBecomeBgrAndKeepOneChannel) {
    cv::Mat grey(3, 3, CV_8UC1, cv::Scalar(77));
    for (const char* name : {"g.pgm", "g.png", "g.jpg"}) {
        SCOPED_TRACE(name);
        const auto loaded = roundTrip(name, grey, {cv::IMWRITE_JPEG_QUALITY, 100});
        ASSERT_TRUE(loaded);
        expectBgr8(*loaded, 3, 3);
        EXPECT_EQ(loaded->channels, 1);
        EXPECT_EQ(loaded->image.at<Bgr>(1, 1), Bgr(77, 77, 77));
    }
}

TEST_F(DecodeTest, AlphaIsCompositedOnBlack) {
    cv::Mat rgba(2, 2, CV_8UC4, cv::Scalar(200, 100, 50, 128));
    rgba.at<Pixel>(0, 1) = Pixel(9, 9, 9, 0);
    rgba.at<Pixel>(1, 0) = Pixel(1, 2, 3, 255);
    const auto loaded = roundTrip("a.png", rgba);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->channels, 4);
    expectBgr8(*loaded, 2, 2);
    EXPECT_EQ(loaded->image.at<Bgr>(0, 0), Bgr(100, 50, 25));
    EXPECT_EQ(loaded->image.at<Bgr>(0, 1), Bgr(0, 0, 0));
    EXPECT_EQ(loaded->image.at<Bgr>(1, 0), Bgr(1, 2, 3));

    cv::Mat greyAlpha(1, 2, CV_8UC2);
    greyAlpha.at<cv::Vec2b>(0, 0) = cv::Vec2b(200, 128);
    greyAlpha.at<cv::Vec2b>(0, 1) = cv::Vec2b(50, 255);
    EXPECT_EQ(convertToBgr8(greyAlpha, DecodeRole::Shown), 2);
    EXPECT_EQ(greyAlpha.type(), CV_8UC3);
    EXPECT_EQ(greyAlpha.at<Bgr>(0, 0), Bgr(100, 100, 100));
    EXPECT_EQ(greyAlpha.at<Bgr>(0, 1), Bgr(50, 50, 50));
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
    EXPECT_EQ(partner->image.at<Bgr>(0, 0), Bgr(2, 1, 0));

    cv::Mat empty;
    EXPECT_FALSE(convertToBgr8(empty, DecodeRole::Shown));
    EXPECT_THROW(convertToBgr8(empty, DecodeRole::Partner), cv::Exception)
        << "an empty partner fails the decode";

    // A broken 16-bit colour PNG decodes to an empty 16-bit matrix, which the conversion
    // passes through: it must fail as a partner too, not become an empty picture.
    cv::Mat deep(64, 64, CV_16UC3);
    cv::randu(deep, 0, 65535);
    std::vector<unsigned char> png;
    ASSERT_TRUE(cv::imencode(".png", deep, png));
    png[png.size() / 2] ^= 0xFF;
    test::writeBytes(path("broken16.png"), QByteArray(reinterpret_cast<const char*>(png.data()),
                                                      static_cast<qsizetype>(png.size())));
    EXPECT_FALSE(loadImageFile(path("broken16.png"), DecodeRole::Partner));
    ImageBuffer record;
    EXPECT_ANY_THROW(decodePartnerInto(record, path("broken16.png")));
    EXPECT_TRUE(record.partner.empty());
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

// A small PNG that declares a large 8-bit RGBA image and holds a little compressed data.
QByteArray declaringPng(std::uint32_t width, std::uint32_t height) {
    QByteArray header = bigEndian(width) + bigEndian(height);
    header.append("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA, no interlace
    const QByteArray zlib = qCompress(QByteArray(1000, '\0')).mid(4);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", zlib) +
           pngChunk("IEND", {});
}

FileBytes fileBytes(const QByteArray& bytes) {
    return FileBytes(bytes.begin(), bytes.end());
}

TEST_F(DecodeTest, DecompressionBombIsRefused) {
    const QByteArray png = declaringPng(100000, 100000);
    test::writeBytes(path("bomb.png"), png);
    EXPECT_LT(png.size(), 200);
    EXPECT_FALSE(loadImageFile(path("bomb.png")));
}

// Records the largest matrix OpenCV asks for, passing every request on.
class LargestAllocation : public cv::MatAllocator {
  public:
    explicit LargestAllocation(const cv::MatAllocator* inner) : inner_(inner) {}
    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                           cv::AccessFlag flags, cv::UMatUsageFlags usage) const override {
        std::size_t bytes = CV_ELEM_SIZE(type);
        for (int i = 0; i < dims; ++i) bytes *= static_cast<std::size_t>(sizes[i]);
        largest = std::max(largest, bytes);
        return inner_->allocate(dims, sizes, type, data, step, flags, usage);
    }
    bool allocate(cv::UMatData* data, cv::AccessFlag flags,
                  cv::UMatUsageFlags usage) const override {
        return inner_->allocate(data, flags, usage);
    }
    void deallocate(cv::UMatData* data) const override { inner_->deallocate(data); }
    mutable std::size_t largest = 0;

  private:
    const cv::MatAllocator* inner_;
};

TEST_F(DecodeTest, AnImageBeyondTheBudgetIsRefusedBeforeItsPixelsAreTaken) {
    const FileBytes bomb = fileBytes(declaringPng(30000, 30000));
    ASSERT_LT(bomb.size(), 200U);
    cv::MatAllocator* const previous = cv::Mat::getDefaultAllocator();
    LargestAllocation counting(previous);
    cv::Mat::setDefaultAllocator(&counting);
    const cv::Mat refused = decodeImageBytes(bomb, std::uint64_t{1} << 30);  // 1 GiB
    cv::Mat::setDefaultAllocator(previous);
    EXPECT_TRUE(refused.empty());
    EXPECT_LT(counting.largest, std::size_t{1} << 20) << "no pixel memory for 30000 x 30000";

    // A real image decodes within exactly its estimate and is refused one byte below it,
    // deep samples counted as deep.
    for (const int type : {CV_8UC3, CV_16UC4}) {
        SCOPED_TRACE(type);
        test::writeImage(path("real.png"), cv::Mat(480, 640, type, cv::Scalar::all(7)));
        const FileBytes bytes = fileBytes(test::readBytes(path("real.png")));
        const auto declared = declaredImageSize(bytes);
        ASSERT_TRUE(declared);
        const std::uint64_t estimate = decodeMemoryEstimate(*declared);
        EXPECT_EQ(decodeImageBytes(bytes, estimate).size(), cv::Size(640, 480));
        EXPECT_TRUE(decodeImageBytes(bytes, estimate - 1).empty());
        EXPECT_EQ(decodeImageBytes(bytes).size(), cv::Size(640, 480)) << "the system's budget";
    }
}

// What the estimate must cover: the decoder's matrix and its 8-bit BGRA copy, for every
// depth and channel count, without asking for several times that.
TEST_F(DecodeTest, TheMemoryEstimateCoversTheDecodeWithoutExaggerating) {
    for (const auto& [name, type] : std::vector<std::pair<const char*, int>>{{"g.png", CV_8UC1},
                                                                             {"c.png", CV_8UC3},
                                                                             {"a.png", CV_8UC4},
                                                                             {"d.png", CV_16UC4},
                                                                             {"d.pgm", CV_16UC1},
                                                                             {"f.tiff", CV_32FC4},
                                                                             {"f.hdr", CV_32FC3}}) {
        SCOPED_TRACE(name);
        test::writeImage(path(name), cv::Mat(30, 50, type, cv::Scalar::all(1)));
        const FileBytes bytes = fileBytes(test::readBytes(path(name)));
        const cv::Mat decoded = decodeImageBytes(bytes);
        ASSERT_FALSE(decoded.empty());
        const std::uint64_t needed = decoded.total() * (decoded.elemSize() + 4);
        const std::uint64_t estimate = decodeMemoryEstimate(*declaredImageSize(bytes));
        EXPECT_GE(estimate, needed);
        EXPECT_LE(estimate, 3 * needed);
    }
    EXPECT_EQ(decodeMemoryEstimate({0xFFFFFFFFU, 0xFFFFFFFFU, 64}),
              std::numeric_limits<std::uint64_t>::max())
        << "saturates";
}

// Real files of every format OpenCV writes, named by what they exercise.
struct SampleFile {
    const char* name;
    int type;
    std::vector<int> params;
};

const std::vector<SampleFile>& sampleFiles() {
    static const std::vector<SampleFile> files{
        {"8.png", CV_8UC3, {}},
        {"16.png", CV_16UC3, {}},
        {"rgba.png", CV_8UC4, {}},
        {"baseline.jpg", CV_8UC3, {}},
        {"progressive.jpg", CV_8UC3, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}},
        {"grey.jpg", CV_8UC1, {}},
        {"24.bmp", CV_8UC3, {}},
        {"32.bmp", CV_8UC4, {}},
        {"8.bmp", CV_8UC1, {}},
        {"vp8.webp", CV_8UC3, {cv::IMWRITE_WEBP_QUALITY, 80}},
        {"vp8l.webp", CV_8UC3, {cv::IMWRITE_WEBP_QUALITY, 101}},
        {"vp8x.webp", CV_8UC4, {cv::IMWRITE_WEBP_QUALITY, 80}},
        {"raw.ppm", CV_8UC3, {}},
        {"plain.ppm", CV_8UC3, {cv::IMWRITE_PXM_BINARY, 0}},
        {"raw.pgm", CV_8UC1, {}},
        {"16.pgm", CV_16UC1, {}},
        {"plain16.pgm", CV_16UC1, {cv::IMWRITE_PXM_BINARY, 0}},
        {"raw.pbm", CV_8UC1, {}},
        {"plain.pbm", CV_8UC1, {cv::IMWRITE_PXM_BINARY, 0}},
        {"8.pam", CV_8UC3, {}},
        {"16.pam", CV_16UC1, {cv::IMWRITE_PAM_TUPLETYPE, cv::IMWRITE_PAM_FORMAT_GRAYSCALE}},
        {"f.pfm", CV_32FC3, {}},
        {"8.tif", CV_8UC3, {}},
        {"16.tiff", CV_16UC4, {}},
        {"f.tiff", CV_32FC1, {}},
        {"s.ras", CV_8UC3, {}},
        {"r.hdr", CV_32FC3, {}},
        {"j.jp2", CV_8UC3, {}},
    };
    return files;
}

// Widths and heights differ, so a swap shows; both are large enough for JPEG 2000's
// default of six resolution levels.
constexpr int kSampleWidth = 77;
constexpr int kSampleHeight = 45;

QByteArray writeSample(const QTemporaryDir& dir, const SampleFile& file) {
    cv::Mat image(kSampleHeight, kSampleWidth, file.type);
    cv::randu(image, 0, CV_MAT_DEPTH(file.type) == CV_16U ? 65535 : 255);
    const QString path = dir.filePath(QString::fromUtf8(file.name));
    test::writeImage(path, image, file.params);
    return test::readBytes(path);
}

TEST_F(DecodeTest, HeadersOfEveryFormatDeclareTheSizeTheDecoderGives) {
    for (const SampleFile& file : sampleFiles()) {
        SCOPED_TRACE(file.name);
        const FileBytes bytes = fileBytes(writeSample(dir, file));
        const cv::Mat decoded = decodeImageBytes(bytes);
        ASSERT_EQ(decoded.size(), cv::Size(kSampleWidth, kSampleHeight));
        const auto declared = declaredImageSize(bytes);
        ASSERT_TRUE(declared);
        EXPECT_EQ(declared->width, static_cast<std::uint32_t>(decoded.cols));
        EXPECT_EQ(declared->height, static_cast<std::uint32_t>(decoded.rows));
        EXPECT_EQ(declared->sampleBits, decoded.elemSize1() * 8);
        EXPECT_EQ(declared->deep(), decoded.depth() != CV_8U);
    }
    // Each WebP kind is one of the three chunk layouts.
    for (const char* kind : {"vp8", "vp8l", "vp8x"}) {
        const QByteArray chunk = test::readBytes(path((std::string(kind) + ".webp").c_str()));
        EXPECT_EQ(chunk.mid(12, 4).toLower().trimmed(), QByteArray(kind));
    }
    // A bare JPEG 2000 codestream, as found inside the JP2 file.
    const QByteArray jp2 = test::readBytes(path("j.jp2"));
    const qsizetype box = jp2.indexOf("jp2c");
    ASSERT_GT(box, 0);
    const auto codestream = declaredImageSize(fileBytes(jp2.mid(box + 4)));
    ASSERT_TRUE(codestream);
    EXPECT_EQ(codestream->width, static_cast<std::uint32_t>(kSampleWidth));
    EXPECT_EQ(codestream->height, static_cast<std::uint32_t>(kSampleHeight));
}

// Header forms OpenCV does not write but decodes: each is checked against the decoder.
TEST_F(DecodeTest, HandMadeHeadersDeclareTheSizeTheDecoderGives) {
    std::vector<std::pair<const char*, QByteArray>> files;

    cv::Mat colour(kSampleHeight, kSampleWidth, CV_8UC3, cv::Scalar(1, 2, 3));
    test::writeImage(path("up.bmp"), colour);
    QByteArray topDown = test::readBytes(path("up.bmp"));
    const std::int32_t negative = -kSampleHeight;
    std::memcpy(topDown.data() + 22, &negative, 4);  // rows stored top to bottom
    files.emplace_back("top-down BMP", topDown);

    files.emplace_back(
        "PPM with comments",
        QByteArray("P6\n# made by hand\n3 # wide\n2\n# maxval next\n255\n") + QByteArray(18, 'x'));
    files.emplace_back("16-bit PGM", QByteArray("P5 4 1 # comment\n65535\n") + QByteArray(8, 'x'));
    files.emplace_back("PAM in another order",
                       QByteArray("P7\nTUPLTYPE GRAYSCALE\n# note\nHEIGHT 2\nWIDTH 3\n"
                                  "DEPTH 1\nMAXVAL 255\nENDHDR\n") +
                           QByteArray(6, 'x'));

    // Big-endian TIFF: width as LONG, length and bits as SHORT, 16-bit grey.
    const auto tiffEntry = [](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        QByteArray entry;
        entry.append(static_cast<char>(tag >> 8)).append(static_cast<char>(tag));
        entry.append('\0').append(static_cast<char>(type));
        entry.append(bigEndian(1));
        if (type == 3) {
            entry.append(static_cast<char>(value >> 8)).append(static_cast<char>(value));
            entry.append(2, '\0');
        } else {
            entry.append(bigEndian(value));
        }
        return entry;
    };
    QByteArray tiff("MM\0*", 4);
    tiff.append(bigEndian(8));
    const std::vector<QByteArray> entries{
        tiffEntry(256, 4, 5), tiffEntry(257, 3, 3), tiffEntry(258, 3, 16),
        tiffEntry(259, 3, 1), tiffEntry(262, 3, 1), tiffEntry(273, 4, 8 + 2 + 9 * 12 + 4),
        tiffEntry(277, 3, 1), tiffEntry(278, 3, 3), tiffEntry(279, 4, 30),
    };
    tiff.append('\0').append(static_cast<char>(entries.size()));
    for (const QByteArray& entry : entries) tiff.append(entry);
    tiff.append(bigEndian(0));  // no next directory
    tiff.append(30, '\x40');
    files.emplace_back("big-endian TIFF", tiff);

    // JPEG with stray bytes before a marker, which the decoder skips with a warning.
    cv::Mat grey(kSampleHeight, kSampleWidth, CV_8UC1, cv::Scalar(90));
    test::writeImage(path("stray.jpg"), grey);
    QByteArray stray = test::readBytes(path("stray.jpg"));
    const int app0End =
        4 + ((static_cast<unsigned char>(stray[4]) << 8) | static_cast<unsigned char>(stray[5]));
    stray.insert(app0End, "junk");
    files.emplace_back("JPEG with stray bytes", stray);

    for (const auto& [what, bytes] : files) {
        SCOPED_TRACE(what);
        const FileBytes data = fileBytes(bytes);
        const cv::Mat decoded = decodeImageBytes(data);
        ASSERT_FALSE(decoded.empty());
        const auto declared = declaredImageSize(data);
        ASSERT_TRUE(declared);
        EXPECT_EQ(declared->width, static_cast<std::uint32_t>(decoded.cols));
        EXPECT_EQ(declared->height, static_cast<std::uint32_t>(decoded.rows));
        EXPECT_EQ(declared->sampleBits, decoded.elemSize1() * 8);
    }

    // BigTIFF, little-endian, width as LONG8.
    QByteArray bigTiff("II+\0\x08\0\0\0", 8);
    bigTiff.append(QByteArray("\x10\0\0\0\0\0\0\0", 8));  // directory at 16
    bigTiff.append(QByteArray("\x02\0\0\0\0\0\0\0", 8));  // two entries
    bigTiff.append(QByteArray("\0\x01\x10\0\x01\0\0\0\0\0\0\0\x40\x9c\0\0\0\0\0\0", 20));
    bigTiff.append(QByteArray("\x01\x01\x03\0\x01\0\0\0\0\0\0\0\x07\0\0\0\0\0\0\0", 20));
    const auto bigDeclared = declaredImageSize(fileBytes(bigTiff));
    ASSERT_TRUE(bigDeclared);
    EXPECT_EQ(bigDeclared->width, 40000U);
    EXPECT_EQ(bigDeclared->height, 7U);
    EXPECT_EQ(bigDeclared->sampleBits, 8U) << "one bit when the tag is missing";
}

// Cut short anywhere, a header declares nothing or what the whole file declares; garbled
// or hostile, it is read without going past the buffer (checked under AddressSanitizer,
// as the buffers are exactly their size).
TEST_F(DecodeTest, CutShortOrGarbledHeadersAreNeverReadPastTheirEnd) {
    std::mt19937 random(7);
    for (const SampleFile& file : sampleFiles()) {
        SCOPED_TRACE(file.name);
        const QByteArray whole = writeSample(dir, file);
        const auto full = declaredImageSize(fileBytes(whole));
        ASSERT_TRUE(full);
        for (qsizetype length = 0; length < std::min<qsizetype>(whole.size(), 600); ++length) {
            const auto part = declaredImageSize(fileBytes(whole.left(length)));
            if (part) {
                EXPECT_EQ(part->width, full->width) << length;
                EXPECT_EQ(part->height, full->height) << length;
                EXPECT_EQ(part->sampleBits, full->sampleBits) << length;
            }
        }
        for (int round = 0; round < 300; ++round) {
            QByteArray garbled = whole.left(static_cast<qsizetype>(random() % 700));
            for (int flips = 0; flips < 4 && !garbled.isEmpty(); ++flips) {
                const auto at =
                    static_cast<qsizetype>(random() % std::min<qsizetype>(garbled.size(), 64));
                garbled[at] = static_cast<char>(random());
            }
            declaredImageSize(fileBytes(garbled));
        }
    }
    // Hostile structures: endless fill bytes, directories and boxes pointing past the end.
    for (const QByteArray& hostile :
         {QByteArray("\xFF\xD8") + QByteArray(100, '\xFF'),
          QByteArray("\xFF\xD8\xFF\xE0\xFF\xFF", 6), QByteArray("II*\0\xFF\xFF\xFF\x7F", 8),
          QByteArray("MM\0*\0\0\0\x08\xFF\xFF", 10) + QByteArray(24, '\0'),
          QByteArray("II+\0\x08\0\0\0\x10\0\0\0\0\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 24),
          QByteArray("\0\0\0\x0CjP  \r\n\x87\n\0\0\0\x01jp2h\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 28),
          QByteArray("\xFF\x4F\xFF\x51\0\x29", 6), QByteArray("P6 123456789012345678901234567890"),
          QByteArray("#?RADIANCE\n\n-Y 5"), QByteArray("RIFF\0\0\0\0WEBPVP8 ", 16),
          QByteArray("BM") + QByteArray(16, '\0')}) {
        EXPECT_FALSE(declaredImageSize(fileBytes(hostile))) << hostile.toHex().toStdString();
    }
}

std::uint64_t statusKibibytes(const char* field) {
    const QList<QByteArray> lines = test::readBytes("/proc/self/status").split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith(field)) return line.simplified().split(' ').value(1).toULongLong();
    }
    return 0;
}

TEST(AvailableMemory, IsWhatTheSystemHasFreeOrLessUnderAnAddressSpaceLimit) {
    const std::uint64_t available = availableMemoryBytes();
    struct sysinfo system {};
    ASSERT_EQ(sysinfo(&system), 0);
    EXPECT_LE(available, std::uint64_t{system.totalram} * system.mem_unit);
    EXPECT_GE(available, std::uint64_t{system.freeram} * system.mem_unit / 2);

    // In a child, so the limit binds nothing else: 300 MiB above what the process maps.
    constexpr std::uint64_t headroom = std::uint64_t{300} << 20;
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = statusKibibytes("VmSize:") * 1024 + headroom;
        std::uint64_t seen = 0;
        if (setrlimit(RLIMIT_AS, &limit) == 0) seen = availableMemoryBytes();
        const bool sent = write(channel[1], &seen, sizeof seen) == sizeof seen;
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    std::uint64_t seen = 0;
    const bool received = read(channel[0], &seen, sizeof seen) == sizeof seen;
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(received);
    // What the process maps moves by a few pages between the two reads.
    EXPECT_LE(seen, headroom + (std::uint64_t{1} << 20));
    EXPECT_GT(seen, std::min<std::uint64_t>(headroom / 3, available / 2));
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
