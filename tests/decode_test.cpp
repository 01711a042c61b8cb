#include "browse/load.h"
#include "image/image.h"
#include "image/jpeg_decode.h"
#include "image/orientation.h"
#include "image/still_decode.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/allocator.h"
#include "support/test_files.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>

namespace pavo {
namespace {

using Pixel = cv::Vec4b;
using Bgr = cv::Vec3b;

class DecodeTest : public testing::Test {
  protected:
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    QTemporaryDir dir;
};

FileBytes fileBytes(const QByteArray& bytes) {
    return FileBytes(bytes.begin(), bytes.end());
}

// Width, height and bits a sample, to compare in one go.
std::tuple<std::uint32_t, std::uint32_t, std::uint32_t> figures(const DeclaredImage& image) {
    return {image.width, image.height, image.sampleBits};
}

template <typename T>
cv::Mat pixelRow(const std::vector<T>& pixels) {
    return cv::Mat(pixels, true).reshape(0, 1);
}

// Whatever a file holds comes out as continuous 8-bit BGR: deep samples divided by 256
// with rounding, alpha composited on black, grey as B = G = R. `channels` keeps what the
// file had, for the overlay.
TEST_F(DecodeTest, EveryKindOfPixelBecomes8BitBgr) {
    const cv::Mat deep = pixelRow<cv::Vec3w>({{65535, 1000, 0}, {128, 127, 383}});
    const cv::Mat alpha = pixelRow<Pixel>({{200, 100, 50, 128}, {9, 9, 9, 0}, {1, 2, 3, 255}});
    const struct {
        const char* name;
        cv::Mat stored;
        int channels;
        std::vector<Bgr> seen;
    } rows[] = {{"deep.png", deep, 3, {{255, 4, 0}, {0, 0, 1}}},  // 128/256 to even, 383/256 up
                {"alpha.png", alpha, 4, {{100, 50, 25}, {0, 0, 0}, {1, 2, 3}}},
                {"c.jpg", pixelRow<Bgr>({{10, 20, 30}}), 3, {{10, 20, 30}}},
                {"g.jpg", pixelRow<uchar>({77}), 1, {Bgr::all(77)}}};
    for (const auto& [name, stored, channels, seen] : rows) {
        SCOPED_TRACE(name);
        test::writeImage(path(name), stored, {cv::IMWRITE_JPEG_QUALITY, 100});
        const auto loaded = loadImageFile(path(name));
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->channels, channels);
        EXPECT_EQ(loaded->fileSize, fileSizeOf(path(name))) << "neighbours take it from here";
        ASSERT_EQ(loaded->image.type(), CV_8UC3);
        EXPECT_TRUE(loaded->image.isContinuous());
        ASSERT_EQ(loaded->image.size(), stored.size());
        const double lossy = std::string_view(name) == "c.jpg" ? 3 : 0;
        EXPECT_LE(cv::norm(loaded->image, pixelRow(seen), cv::NORM_INF), lossy);
    }
    cv::Mat greyAlpha = pixelRow<cv::Vec2b>({{200, 128}, {50, 255}});  // no format keeps it
    EXPECT_EQ(convertToBgr8(greyAlpha, DecodeRole::Shown), 2);
    EXPECT_EQ(greyAlpha.at<Bgr>(0, 0), Bgr::all(100));
    EXPECT_EQ(greyAlpha.at<Bgr>(0, 1), Bgr::all(50));
}

// The composite must match the per-pixel double formula bit for bit: every value
// against every alpha, computed here independently of Pavo's table.
TEST(Composite, MatchesTheDoubleFormulaForEveryValueAndAlpha) {
    cv::Mat all(256, 256, CV_8UC4), formula(256, 256, CV_8UC4);
    for (int alpha = 0; alpha < 256; ++alpha) {
        for (int value = 0; value < 256; ++value) {
            all.at<Pixel>(alpha, value) = Pixel(value, 255 - value, value / 2, alpha);
            for (int c = 0; c < 4; ++c)
                formula.at<Pixel>(alpha, value)[c] =
                    static_cast<uchar>(all.at<Pixel>(alpha, value)[c] * (alpha / 255.0));
        }
    }
    flattenAlphaOnBlack(all);
    EXPECT_EQ(cv::norm(all, formula, cv::NORM_INF), 0.0);
}

// Missing, empty, a directory, 2 GiB (the size query fails) and zero-filled or header-only
// files fail; garbled or cut ones must not crash. The shown image refuses float samples,
// which a merge partner scales like integers. A broken 16-bit colour PNG decodes to an
// empty 16-bit matrix, which the conversion passes through: a partner must fail on it too.
TEST_F(DecodeTest, FilesThatCannotBeShownFailCleanly) {
    EXPECT_FALSE(loadImageFile(path("missing.png")));
    test::writeBytes(path("empty.png"), {});
    EXPECT_FALSE(loadImageFile(path("empty.png")));
    EXPECT_FALSE(loadImageFile(dir.path()));
    const QString big = path("big.png");
    test::writeBytes(big, {});
    ASSERT_EQ(truncate(big.toLocal8Bit().constData(), off_t{1} << 31), 0);  // sparse
    EXPECT_EQ(fileSizeOf(big), -1);
    EXPECT_FALSE(loadImageFile(big));
    ASSERT_EQ(truncate(big.toLocal8Bit().constData(), (off_t{1} << 31) - 1), 0);
    EXPECT_EQ(fileSizeOf(big), 2147483647);
    cv::Mat image(64, 48, CV_8UC3);
    cv::randu(image, 0, 255);
    for (const char* name : {"t.png", "t.jpg", "t.webp", "t.bmp", "t.tif", "t.ppm"}) {
        SCOPED_TRACE(name);
        test::writeImage(path(name), image);
        const QByteArray good = test::readBytes(path(name));
        ASSERT_TRUE(loadImageFile(path(name)));
        QByteArray garbled = good;
        for (qsizetype i = 0; i < garbled.size(); i += 7) garbled[i] ^= 0x5A;
        loadImageBytes(fileBytes(garbled));
        loadImageBytes(fileBytes(good.left(good.size() / 8)));
        EXPECT_FALSE(loadImageBytes(fileBytes(QByteArray(good.size(), '\0')))) << "zero-filled";
        EXPECT_FALSE(loadImageBytes(fileBytes(good.left(20)))) << "only a header";
    }

    test::writeImage(path("f.tiff"), cv::Mat(2, 2, CV_32FC3, cv::Scalar(512.0F, 256.0F, 100.0F)));
    EXPECT_FALSE(loadImageFile(path("f.tiff")));
    const auto partner = loadImageFile(path("f.tiff"), DecodeRole::Partner);
    ASSERT_TRUE(partner);
    EXPECT_EQ(partner->image.at<Bgr>(0, 0), Bgr(2, 1, 0));
    cv::Mat deep(64, 64, CV_16UC3);
    cv::randu(deep, 0, 65535);
    test::writeImage(path("broken16.png"), deep);
    QByteArray png = test::readBytes(path("broken16.png"));
    png[png.size() / 2] = static_cast<char>(png[png.size() / 2] ^ 0xFF);
    test::writeBytes(path("broken16.png"), png);
    EXPECT_FALSE(loadImageFile(path("broken16.png"), DecodeRole::Partner));
    ImageBuffer record;
    EXPECT_ANY_THROW(decodePartnerInto(record, path("broken16.png")));
    EXPECT_TRUE(record.partner.empty());

    // Found by the fuzzer: no header Pavo reads, "DICM" at 128. OpenCV handed it to GDCM's
    // DICOM reader, which failed an assertion and aborted the process.
    const QByteArray dicomLike = QByteArray::fromHex(
        "233f697461ff4fff51000000532b7423dc0d0040600000a68d4b6df6681b39702a54b89349a715a7e6ea"
        "c10f8751000000532b7423dc0d00406000006f6e0000000000000000000c6a00d908c1f218b8d6ffdfc8"
        "a76766da7c85c7b21d70e3518a000003296d64568a8c367c2b91f6ffdd61ab612103ae188ae5a091f77c"
        "81184449434d8ae508");
    EXPECT_FALSE(loadImageBytes(fileBytes(dicomLike)));
}

// A small file that declares a huge image (Netpbm has no checksum that would stop the
// decoder first) is refused before the decoder takes its pixel memory, and no size can make
// the estimate overflow into a small one.
TEST_F(DecodeTest, TheBudgetRefusesADeclaredBombBeforeItsPixelsAreTaken) {
    const test::TestAllocator counting;
    const cv::Mat refused = decodeImageBytes(
        fileBytes("P5 30000 30000 255\n" + QByteArray(64, '\x7f')), std::uint64_t{1} << 30);
    EXPECT_TRUE(refused.empty());
    EXPECT_LT(counting.largest, std::size_t{1} << 20) << "no pixel memory for 30000 x 30000";
    EXPECT_EQ(decodeMemoryEstimate({0xFFFFFFFFU, 0xFFFFFFFFU, 64}),
              std::numeric_limits<std::uint64_t>::max());
}

// Files of every header form OpenCV writes (one of each: same header, other pixels would
// add nothing), named by what they exercise, and forms it does not write but decodes.
// Widths and heights differ, so a swap shows; both are large enough for JPEG 2000's default
// of six resolution levels.
std::map<std::string, QByteArray> headerSamples(const QTemporaryDir& dir) {
    const std::pair<const char*, int> written[] = {
        {"16.png", CV_16UC3},      {"rgba.png", CV_8UC4},  {"progressive.jpg", CV_8UC3},
        {"grey.jpg", CV_8UC1},     {"24.bmp", CV_8UC3},    {"vp8.webp", CV_8UC3},
        {"vp8l.webp", CV_8UC3},    {"vp8x.webp", CV_8UC4}, {"raw.ppm", CV_8UC3},
        {"plain16.pgm", CV_16UC1}, {"plain.pbm", CV_8UC1}, {"16.pam", CV_16UC1},
        {"f.pfm", CV_32FC3},       {"16.tiff", CV_16UC4},  {"f.tiff", CV_32FC1},
        {"s.ras", CV_8UC3},        {"r.hdr", CV_32FC3},    {"j.jp2", CV_8UC3}};
    std::map<std::string, QByteArray> files;
    for (const auto& [name, type] : written) {
        cv::Mat image(45, 77, type);
        cv::randu(image, 0, CV_MAT_DEPTH(type) == CV_16U ? 65535 : 255);
        const QString path = dir.filePath(QString::fromUtf8(name));
        const std::string_view n = name;  // the variant of its format
        test::writeImage(
            path, image,
            n == "progressive.jpg" ? std::vector<int>{cv::IMWRITE_JPEG_PROGRESSIVE, 1}
            : n.starts_with("vp8")
                ? std::vector<int>{cv::IMWRITE_WEBP_QUALITY, n == "vp8l.webp" ? 101 : 80}
            : n.starts_with("plain") ? std::vector<int>{cv::IMWRITE_PXM_BINARY, 0}
            : n == "16.pam"
                ? std::vector<int>{cv::IMWRITE_PAM_TUPLETYPE, cv::IMWRITE_PAM_FORMAT_GRAYSCALE}
                : std::vector<int>{});
        files[name] = test::readBytes(path);
    }
    const QByteArray& jp2 = files["j.jp2"];
    files["bare JPEG 2000 codestream"] = jp2.mid(jp2.indexOf("jp2c") + 4);
    QByteArray topDown = files["24.bmp"];
    qToLittleEndian<qint32>(-45, topDown.data() + 22);  // rows stored top to bottom
    files["top-down BMP"] = topDown;
    files["commented PPM"] = "P6\n# by hand\n3 # wide\n2\n# maxval\n255\n" + QByteArray(18, 'x');
    files["16-bit PGM"] = QByteArray("P5 4 1 # comment\n65535\n") + QByteArray(8, 'x');
    files["PAM in another order"] = QByteArray(
                                        "P7\nTUPLTYPE GRAYSCALE\n# note\nHEIGHT 2\nWIDTH 3\n"
                                        "DEPTH 1\nMAXVAL 255\nENDHDR\n") +
                                    QByteArray(6, 'x');
    // Big-endian, 5 x 3 16-bit grey in one strip: the width (tag 256) a LONG, the length
    // and bits (257, 258) SHORTs.
    const QByteArray tiff = QByteArray::fromHex(
        "4d4d002a000000080009010000040000000100000005010100030000000100030000010200030000000100"
        "10000001030003000000010001000001060003000000010001000001110004000000010000007a01150003"
        "000000010001000001160003000000010003000001170004000000010000001e00000000");
    files["big-endian TIFF"] = tiff + QByteArray(30, '\x40');
    // A JPEG with stray bytes before a marker, which the decoder skips with a warning.
    QByteArray stray = files["grey.jpg"];
    stray.insert(4 + qFromBigEndian<quint16>(stray.constData() + 4), "junk");  // after APP0
    files["JPEG with stray bytes"] = stray;
    return files;
}

// A header declares the size the decoder gives, which the memory budget is judged by. Cut
// short anywhere, it declares nothing or what the whole file declares; garbled or hostile,
// it is read without going past the buffer (checked under AddressSanitizer, as the buffers
// are exactly their size).
TEST_F(DecodeTest, HeadersDeclareTheDecodersSizeAndAreNeverReadPastTheirEnd) {
    std::mt19937 random(7);
    for (const auto& [what, whole] : headerSamples(dir)) {
        SCOPED_TRACE(what);
        const cv::Mat decoded = decodeImageBytes(fileBytes(whole));
        ASSERT_FALSE(decoded.empty());
        const auto full = declaredImageSize(fileBytes(whole));
        ASSERT_TRUE(full);
        EXPECT_EQ(figures(*full), figures({static_cast<std::uint32_t>(decoded.cols),
                                           static_cast<std::uint32_t>(decoded.rows),
                                           static_cast<std::uint32_t>(decoded.elemSize1() * 8)}));
        // The image decodes within exactly its estimate, which covers the decoder's matrix
        // and its 8-bit BGRA copy without asking for several times that.
        const std::uint64_t estimate = decodeMemoryEstimate(*full);
        const std::uint64_t needed = decoded.total() * (decoded.elemSize() + 4);
        EXPECT_GE(estimate, needed);
        EXPECT_LE(estimate, 3 * needed);
        EXPECT_FALSE(decodeImageBytes(fileBytes(whole), estimate).empty());
        EXPECT_TRUE(decodeImageBytes(fileBytes(whole), estimate - 1).empty());
        for (qsizetype length = 0; length < std::min<qsizetype>(whole.size(), 600); ++length) {
            const auto part = declaredImageSize(fileBytes(whole.left(length)));
            EXPECT_EQ(figures(part.value_or(*full)), figures(*full)) << length;  // or none
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
    // BigTIFF, little-endian, the width a LONG8 and no bits tag.
    const QByteArray bigTiff = QByteArray::fromHex(
        "49492b000800000010000000000000000200000000000000000110000100000000000000409c000000000000"
        "0101030001000000000000000700000000000000");
    EXPECT_EQ(figures(declaredImageSize(fileBytes(bigTiff)).value_or(DeclaredImage{})),
              figures({40000, 7, 8}))
        << "one bit when the tag is missing";
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

// What cv::imdecode gives for the bytes, kept (IMREAD_UNCHANGED).
cv::Mat decodedByOpenCv(const FileBytes& bytes) {
    return cv::imdecode(cv::Mat(1, static_cast<int>(bytes.size()), CV_8UC1,
                                const_cast<unsigned char*>(bytes.data())),
                        cv::IMREAD_UNCHANGED);
}

bool sameDecode(const cv::Mat& ours, const cv::Mat& openCv) {
    if (ours.empty() || openCv.empty()) return ours.empty() && openCv.empty();
    return ours.type() == openCv.type() && ours.size() == openCv.size() &&
           cv::norm(ours, openCv, cv::NORM_INF) == 0.0;
}

// PNG and still WebP decode without OpenCV's codecs, sample for sample as they decoded:
// every colour type and bit depth PNG has, palettes with and without transparency, a
// transparent colour, interlacing, 16 bits; WebP lossy and lossless, with alpha and
// without. Cut short (even just before the end chunk) or garbled, both refuse the same
// files. An animated WebP and bytes of other formats are not theirs.
TEST_F(DecodeTest, PngAndWebpDecodeAsOpenCvsCodecsDid) {
    const cv::Mat photo = photoLike(37, 53);
    cv::Mat withAlpha;
    cv::cvtColor(photo, withAlpha, cv::COLOR_BGR2BGRA);
    cv::randu(withAlpha.reshape(1, 37 * 53).col(3), 0, 256);
    test::writeImage(path("source.png"), withAlpha);
    const QString source = path("source.png");
    const std::vector<QStringList> recipes{
        {"PNG24:"},
        {"PNG32:"},
        {"-depth", "16", "PNG48:"},
        {"-depth", "16", "PNG64:"},
        {"-colors", "200", "PNG8:"},
        {"-alpha", "off", "-colors", "12", "PNG8:"},
        {"-alpha", "off", "-colors", "4", "-define", "png:bit-depth=2", "PNG8:"},
        {"-colorspace", "Gray", "-alpha", "off", "-define", "png:color-type=0", "PNG:"},
        {"-colorspace", "Gray", "-define", "png:color-type=4", "PNG:"},
        {"-colorspace", "Gray", "-alpha", "off", "-depth", "16", "-define", "png:color-type=0",
         "PNG:"},
        {"-colorspace", "Gray", "-alpha", "off", "-depth", "4", "-define", "png:bit-depth=4",
         "-define", "png:color-type=0", "PNG:"},
        {"-alpha", "off", "-monochrome", "-define", "png:bit-depth=1", "PNG:"},
        {"-alpha", "off", "-transparent", "black", "-define", "png:color-type=2", "PNG:"},
        {"-interlace", "PNG", "PNG32:"},
        {"-interlace", "PNG", "-depth", "16", "PNG48:"}};
    std::set<std::string> kinds;  // colour type, bits, transparent colour, interlaced
    for (const QStringList& recipe : recipes) {
        const QString target = path("made.png");
        QStringList arguments{source};
        arguments << recipe.mid(0, recipe.size() - 1) << recipe.last() + target;
        ASSERT_TRUE(test::runProgram("convert", arguments)) << recipe.join(' ').toStdString();
        const QByteArray file = test::readBytes(target);
        const FileBytes whole(file.begin(), file.end());
        ASSERT_GT(whole.size(), 28U);
        kinds.insert(std::to_string(whole[25]) + "/" + std::to_string(whole[24]) +
                     (file.contains("tRNS") ? "t" : "") + (whole[28] != 0 ? "i" : ""));
        const auto ours = decodePng(whole);
        ASSERT_TRUE(ours);
        ASSERT_FALSE(ours->empty()) << recipe.join(' ').toStdString();
        EXPECT_TRUE(sameDecode(*ours, decodedByOpenCv(whole))) << recipe.join(' ').toStdString();
        for (const std::size_t keep : {whole.size() - 12, whole.size() / 2, std::size_t{40}}) {
            const FileBytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep));
            EXPECT_TRUE(sameDecode(*decodePng(cut), decodedByOpenCv(cut)))
                << recipe.join(' ').toStdString() << " cut to " << keep;
        }
        FileBytes garbled = whole;
        for (std::size_t at = 60; at < garbled.size(); at += 97) garbled[at] ^= 0x5A;
        EXPECT_TRUE(sameDecode(*decodePng(garbled), decodedByOpenCv(garbled)));
    }
    std::string all;  // the recipes make what they are meant to
    for (const std::string& kind : kinds) all += kind + " ";
    EXPECT_EQ(all, "0/1 0/16 0/4 0/8 2/16t 2/16ti 2/8 2/8t 3/2 3/8 3/8t 4/8 6/16 6/8 6/8i ");

    for (const cv::Mat& picture : {photo, withAlpha}) {
        for (const int quality : {80, 101}) {  // 101: lossless
            std::vector<unsigned char> plain;
            ASSERT_TRUE(cv::imencode(".webp", picture, plain, {cv::IMWRITE_WEBP_QUALITY, quality}));
            const FileBytes whole(plain.begin(), plain.end());
            const auto ours = decodeStillWebp(whole);
            ASSERT_TRUE(ours);
            EXPECT_EQ(ours->channels(), picture.channels());
            EXPECT_TRUE(sameDecode(*ours, decodedByOpenCv(whole))) << quality;
            const FileBytes cut(whole.begin(),
                                whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
            EXPECT_TRUE(decodeStillWebp(cut)->empty());
        }
    }
    const QString animation = path("a.webp");
    ASSERT_TRUE(test::runProgram("convert", {"-delay", "10", source, source, animation}));
    const QByteArray animated = test::readBytes(animation);
    EXPECT_FALSE(decodeStillWebp(FileBytes(animated.begin(), animated.end())));
    const FileBytes jpeg = encoded(photo, {});
    EXPECT_FALSE(decodePng(jpeg));
    EXPECT_FALSE(decodeStillWebp(jpeg));

    // Asked to stop, a PNG's decode gives nothing.
    const QByteArray big = [&] {
        test::writeImage(path("big.png"), photoLike(300, 200));
        return test::readBytes(path("big.png"));
    }();
    std::atomic<bool> stop{true};
    EXPECT_TRUE(decodePng(FileBytes(big.begin(), big.end()), &stop)->empty());
}

// What the system has available, or less under an address-space limit, which is tried in
// a child so that it binds nothing else: 300 MiB above what the process maps (which moves by
// a few pages between the two reads).
TEST(AvailableMemory, IsWhatTheSystemHasFreeOrLessUnderAnAddressSpaceLimit) {
    const std::uint64_t available = availableMemoryBytes();
    struct sysinfo system {};
    ASSERT_EQ(sysinfo(&system), 0);
    EXPECT_LE(available, std::uint64_t{system.totalram} * system.mem_unit);
    EXPECT_GE(available, std::uint64_t{system.freeram} * system.mem_unit / 2);
    const pid_t child = fork();
    if (child == 0) {
        constexpr std::uint64_t headroom = std::uint64_t{300} << 20;
        std::uint64_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) + headroom;
        const std::uint64_t seen = setrlimit(RLIMIT_AS, &limit) == 0 ? availableMemoryBytes() : 0;
        _exit(seen <= headroom + (1U << 20) && seen > std::min(headroom / 3, available / 2) ? 0
                                                                                            : 1);
    }
    int status = 1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

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

// A JPEG far larger than the screen gives its picture for the screen from a decode
// reduced in the DCT, read from the file a piece at a time: upright as its orientation
// says, with the sizes of its full decode, reduced as far as the size asked allows, and
// within a few levels of the full decode averaged down. A smaller picture, a grey JPEG
// or a stopped decode give nothing; a file cut short still gives its picture.
TEST_F(DecodeTest, AHugeJpegsPictureForTheScreenComesFromAReducedDecode) {
    constexpr std::int64_t kHuge = 1'000'000;  // stands for 64 megapixels
    const QString sideways = path("sideways.jpg");
    const FileBytes turned = jpegWithExif(storedPicture(6, 40), exifSegment(6, false));
    test::writeByteSpan(sideways, turned);
    const auto reduced = loadReducedPicture(sideways, 300, 150, nullptr, {}, kHuge);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->fullWidth, kWidth * 40);
    EXPECT_EQ(reduced->fullHeight, kHeight * 40);
    EXPECT_EQ(reduced->loaded.image.size(), cv::Size(kWidth * 5, kHeight * 5)) << "by 8";
    expectSeenUpright(reduced->loaded.image);
    EXPECT_EQ(loadReducedPicture(sideways, 400, 150, nullptr, {}, kHuge)->loaded.image.cols,
              kWidth * 10)
        << "by 4: an eighth is narrower than asked";

    const cv::Mat photo = photoLike(1200, 1600);
    test::writeImage(path("photo.jpg"), photo, {cv::IMWRITE_JPEG_QUALITY, 95});
    const auto picture = loadReducedPicture(path("photo.jpg"), 400, 300, nullptr, {}, kHuge);
    ASSERT_TRUE(picture);
    cv::Mat averaged;
    cv::resize(decodeImageBytes(readFileBytes(path("photo.jpg"), fileSizeOf(path("photo.jpg")))),
               averaged, picture->loaded.image.size(), 0, 0, cv::INTER_AREA);
    cv::Mat difference;
    cv::absdiff(averaged, picture->loaded.image, difference);
    EXPECT_LE(cv::mean(difference)[0], 2.0);

    EXPECT_FALSE(loadReducedPicture(path("photo.jpg"), 400, 300, nullptr, {}, 2'000'000))
        << "smaller than the threshold: the full decode's way";
    test::writeImage(path("grey.jpg"), cv::Mat(1200, 1600, CV_8UC1, cv::Scalar(90)));
    EXPECT_FALSE(loadReducedPicture(path("grey.jpg"), 400, 300, nullptr, {}, kHuge));
    std::atomic<bool> stop{true};
    EXPECT_FALSE(loadReducedPicture(path("photo.jpg"), 400, 300, &stop, {}, kHuge));
    const QByteArray whole = test::readBytes(path("photo.jpg"));
    test::writeBytes(path("cut.jpg"), whole.left(whole.size() / 2));
    const auto cut = loadReducedPicture(path("cut.jpg"), 400, 300, nullptr, {}, kHuge);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->loaded.image.size(), picture->loaded.image.size());
}

// A huge PNG is reduced by block averages as its rows are read, alpha composited on
// black first: within a level on average of its whole decode averaged down, and of the
// size the largest factor leaves (a partial block at the edge counts what it has). An
// interlaced or cut PNG goes the whole decode's way.
TEST_F(DecodeTest, AHugePngsPictureForTheScreenIsAveragedAsItIsRead) {
    constexpr std::int64_t kHuge = 1'000'000;
    cv::Mat withAlpha;
    cv::cvtColor(photoLike(1200, 1600), withAlpha, cv::COLOR_BGR2BGRA);
    cv::randu(withAlpha.reshape(1, 1200 * 1600).col(3), 0, 256);
    for (const cv::Mat& picture : {photoLike(1200, 1600), withAlpha}) {
        SCOPED_TRACE(picture.channels());
        test::writeImage(path("big.png"), picture);
        const auto reduced = loadReducedPicture(path("big.png"), 400, 300, nullptr, {}, kHuge);
        ASSERT_TRUE(reduced);
        EXPECT_EQ(reduced->loaded.channels, picture.channels());
        EXPECT_EQ(cv::Size(reduced->fullWidth, reduced->fullHeight), cv::Size(1600, 1200));
        ASSERT_EQ(reduced->loaded.image.size(), cv::Size(400, 300)) << "by 4";
        const auto whole = decodeToBgr8(readFileBytes(path("big.png"), fileSizeOf(path("big.png"))),
                                        DecodeRole::Shown);
        cv::Mat averaged;  // by a whole factor: the mean of each block
        cv::resize(whole->image, averaged, {400, 300}, 0, 0, cv::INTER_AREA);
        EXPECT_LE(cv::norm(averaged, reduced->loaded.image, cv::NORM_INF), 1.0);
    }
    test::writeImage(path("edges.png"), photoLike(1203, 1601));
    const auto edges = loadReducedPicture(path("edges.png"), 400, 300, nullptr, {}, kHuge);
    ASSERT_TRUE(edges);
    EXPECT_EQ(edges->loaded.image.size(), cv::Size(401, 301)) << "the last blocks kept";
    ASSERT_TRUE(test::runProgram("convert",
                                 {path("big.png"), "-interlace", "PNG", path("interlaced.png")}));
    EXPECT_FALSE(loadReducedPicture(path("interlaced.png"), 400, 300, nullptr, {}, kHuge));
    const QByteArray bytes = test::readBytes(path("big.png"));
    test::writeBytes(path("cut.png"), bytes.left(bytes.size() / 2));
    EXPECT_FALSE(loadReducedPicture(path("cut.png"), 400, 300, nullptr, {}, kHuge));
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
    cut.erase(cut.end() - 9, cut.end());  // in the middle of its entry
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
    const QTemporaryDir dir;
    const QString sideways = dir.filePath("sideways.jpg");
    const FileBytes photo = jpegWithExif(storedPicture(8, 100), exifSegment(8, false));
    test::writeByteSpan(sideways, photo);
    const cv::Mat preview = previewOfFile(sideways);
    ASSERT_EQ(preview.size(), cv::Size(kWidth * 50, kHeight * 50));
    expectSeenUpright(preview);
}

}  // namespace
}  // namespace pavo
