// HEIF, AVIF, JPEG XL, GIF and animated WebP, made by their own encoders, through the
// viewer's decode.
#include "image/image.h"
#include "platform/files.h"
#include "platform/format_module.h"
#include "support/test_files.h"

#include <QTemporaryDir>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

namespace pavo {
namespace {

// A picture with edges, gradients and colour in every corner, at an odd size, so that a
// turn, a mirror, a swapped channel or a lost row shows.
cv::Mat sourcePicture(int depth) {
    const double most = depth == CV_16U ? 65535.0 : 255.0;
    cv::Mat picture(301, 401, CV_MAKETYPE(depth, 4));
    for (int y = 0; y < picture.rows; ++y) {
        for (int x = 0; x < picture.cols; ++x) {
            const double across = x / 400.0;
            const double down = y / 300.0;
            const cv::Scalar pixel((1 - across) * most, down * most,
                                   (x < 200) == (y < 150) ? most : 0,
                                   (0.25 + 0.75 * across) * most);
            if (depth == CV_16U) {
                picture.at<cv::Vec<std::uint16_t, 4>>(y, x) =
                    cv::Vec<std::uint16_t, 4>(cv::saturate_cast<std::uint16_t>(pixel[0]),
                                              cv::saturate_cast<std::uint16_t>(pixel[1]),
                                              cv::saturate_cast<std::uint16_t>(pixel[2]),
                                              cv::saturate_cast<std::uint16_t>(pixel[3]));
            } else {
                picture.at<cv::Vec4b>(y, x) = cv::Vec4b(
                    cv::saturate_cast<uchar>(pixel[0]), cv::saturate_cast<uchar>(pixel[1]),
                    cv::saturate_cast<uchar>(pixel[2]), cv::saturate_cast<uchar>(pixel[3]));
            }
        }
    }
    return picture;
}

// What the viewer should show of a PNG it would read itself: the same decode.
cv::Mat shownFrom(const QString& png) {
    const auto bytes = readImageFile(png);
    const auto loaded = bytes ? loadImageBytes(*bytes) : std::nullopt;
    return loaded ? loaded->image : cv::Mat();
}

struct Encoding {
    const char* name;
    const char* input;    // which picture: colour, alpha, grey, deep, palette
    const char* program;  // the encoder; {in}, {other} (a second frame) and {out} are files
    QStringList arguments;
    double meanError;  // the codec's loss on this picture, as a mean over every sample
    int channels;      // what the file holds, as the overlay tells
    int turn;          // what the file asks: 0 none, 1 a quarter turn anticlockwise, 2 a mirror
};

class PictureFormatsTest : public testing::Test {
  protected:
    void SetUp() override {
        const cv::Mat colour = sourcePicture(CV_8U);
        cv::Mat opaque;
        cv::cvtColor(colour, opaque, cv::COLOR_BGRA2BGR);
        cv::Mat grey;
        cv::cvtColor(opaque, grey, cv::COLOR_BGR2GRAY);
        test::writeImage(file("colour.png"), opaque);
        test::writeImage(file("alpha.png"), colour);
        test::writeImage(file("grey.png"), grey);
        cv::Mat deep;
        cv::cvtColor(sourcePicture(CV_16U), deep, cv::COLOR_BGRA2BGR);
        test::writeImage(file("deep.png"), deep);
        // Few colours, and pixels that are wholly transparent: what a GIF holds exactly.
        cv::Mat palette(301, 401, CV_8UC4);
        for (int y = 0; y < palette.rows; ++y)
            for (int x = 0; x < palette.cols; ++x)
                palette.at<cv::Vec4b>(y, x) =
                    x < 40 || (x / 40 == 5 && y / 40 == 3)
                        ? cv::Vec4b(250, 250, 250, 0)
                        : cv::Vec4b(uchar(x / 50 * 30), uchar(y / 50 * 40), uchar(200), 255);
        test::writeImage(file("palette.png"), palette);
        test::writeImage(file("other.png"),
                         cv::Mat(301, 401, CV_8UC4, cv::Scalar(9, 99, 199, 255)));
    }
    QString file(const QString& name) const { return dir.filePath(name); }

    // The file the encoder made, or an empty name when it failed.
    QString encode(const Encoding& encoding) {
        QString out = file(QString::fromUtf8(encoding.name).replace(u' ', u'_'));
        QStringList arguments;
        for (QString argument : encoding.arguments)
            arguments << argument.replace("{in}", file(QString::fromUtf8(encoding.input) + ".png"))
                             .replace("{other}", file("other.png"))
                             .replace("{out}", out);
        // Spawned, not forked through Qt: ThreadSanitizer refuses a process that starts
        // threads after a fork, as Qt's process watcher does.
        std::vector<QByteArray> words{QByteArray(encoding.program)};
        words.reserve(static_cast<std::size_t>(arguments.size()) + 1);
        for (const QString& argument : arguments) words.push_back(argument.toLocal8Bit());
        std::vector<char*> argv;
        argv.reserve(words.size() + 1);
        for (QByteArray& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_t child = 0;
        int status = -1;
        if (posix_spawnp(&child, encoding.program, nullptr, nullptr, argv.data(), environ) != 0 ||
            waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ADD_FAILURE() << encoding.name << ": " << encoding.program << " failed";
            return {};
        }
        return out;
    }

    QTemporaryDir dir;
};

// Each format comes out as the picture it was made from, within its codec's loss (exactly
// where lossless): alpha over black, deep samples taken to 8 bits as a 16-bit PNG's are,
// grey as grey, turned and mirrored as the file says, at its odd size; of an animation, the
// first frame. The name's extension is not what tells the format, the bytes are.
TEST_F(PictureFormatsTest, EachFormatShowsThePictureItWasMadeFrom) {
    const std::vector<Encoding> encodings{
        {"photo.heic", "colour", "heif-enc", {"-q", "90", "-o", "{out}", "{in}"}, 3.0, 3, 0},
        {"alpha.heif", "alpha", "heif-enc", {"-q", "90", "-o", "{out}", "{in}"}, 3.0, 4, 0},
        {"deep.heic",
         "deep",
         "heif-enc",
         {"-q", "90", "-b", "10", "-o", "{out}", "{in}"},
         3.0,
         3,
         0},
        {"photo.avif", "colour", "avifenc", {"-s", "10", "{in}", "{out}"}, 3.0, 3, 0},
        {"lossless.avif", "alpha", "avifenc", {"-s", "10", "-l", "{in}", "{out}"}, 0.0, 4, 0},
        {"deep.avif", "deep", "avifenc", {"-s", "10", "-d", "12", "{in}", "{out}"}, 3.0, 3, 0},
        {"grey.avif",
         "grey",
         "avifenc",
         {"-s", "10", "-d", "10", "--yuv", "400", "{in}", "{out}"},
         3.0,
         3,
         0},
        {"turned.avif",
         "colour",
         "avifenc",
         {"-s", "10", "--irot", "1", "{in}", "{out}"},
         3.0,
         3,
         1},
        {"mirrored.avif",
         "colour",
         "avifenc",
         {"-s", "10", "--imir", "1", "{in}", "{out}"},
         3.0,
         3,
         2},
        {"lossless.jxl", "alpha", "cjxl", {"{in}", "{out}", "-d", "0"}, 0.0, 4, 0},
        {"photo.jxl", "colour", "cjxl", {"{in}", "{out}", "-d", "1"}, 3.0, 3, 0},
        {"grey.jxl", "grey", "cjxl", {"{in}", "{out}", "-d", "0"}, 0.0, 1, 0},
        {"deep.jxl", "deep", "cjxl", {"{in}", "{out}", "-d", "0"}, 0.0, 3, 0},
        {"named.png", "colour", "cjxl", {"{in}", "{out}", "-d", "0"}, 0.0, 3, 0},
        // ImageMagick names black for the transparent colour; gifsicle makes it white, so that
        // a transparent pixel shown in its colour shows.
        {"still.gif",
         "palette",
         "sh",
         {"-c", "convert {in} +dither gif:- | gifsicle --change-color '#000000' '#FAFAFA' > {out}"},
         0.0,
         4,
         0},
        {"interlaced.gif",
         "palette",
         "convert",
         {"{in}", "+dither", "-interlace", "GIF", "{out}"},
         0.0,
         4,
         0},
        {"animated.gif",
         "palette",
         "convert",
         {"-delay", "10", "{in}", "{other}", "+dither", "{out}"},
         0.0,
         4,
         0},
        {"animated.webp",
         "palette",
         "img2webp",
         {"-lossless", "{in}", "{other}", "-o", "{out}"},
         0.0,
         4,
         0},
    };
    for (const Encoding& encoding : encodings) {
        SCOPED_TRACE(encoding.name);
        const QString encoded = encode(encoding);
        if (encoded.isEmpty()) continue;
        const auto bytes = readImageFile(encoded);
        ASSERT_TRUE(bytes);
        const auto loaded = loadImageBytes(*bytes);
        ASSERT_TRUE(loaded) << "not decoded";
        cv::Mat expected = shownFrom(file(QString::fromUtf8(encoding.input) + ".png"));
        if (encoding.turn == 1) cv::rotate(expected, expected, cv::ROTATE_90_COUNTERCLOCKWISE);
        if (encoding.turn == 2) cv::flip(expected, expected, 1);
        ASSERT_EQ(loaded->image.type(), CV_8UC3);
        ASSERT_EQ(loaded->image.size(), expected.size());
        EXPECT_EQ(loaded->channels, encoding.channels);
        const double error = cv::norm(loaded->image, expected, cv::NORM_L1) /
                             static_cast<double>(expected.total() * 3);
        EXPECT_LE(error, encoding.meanError) << "the picture is not the one encoded";
        if (encoding.meanError > 0) {
            EXPECT_GT(error, 0.0) << "a lossy encoding came out exact";
        }

        // Cut short or garbled, it fails or shows something, but never ends the viewer; cut
        // to its header, it fails.
        for (const std::size_t kept : {bytes->size() / 2, std::size_t{40}}) {
            const FileBytes cut(bytes->begin(), bytes->begin() + static_cast<std::ptrdiff_t>(kept));
            const auto decoded = loadImageBytes(cut);
            if (kept == 40) {
                EXPECT_FALSE(decoded) << "a header alone decoded";
            }
        }
        FileBytes garbled = *bytes;
        for (std::size_t i = garbled.size() / 3; i < garbled.size(); i += 7) garbled[i] ^= 0x5A;
        static_cast<void>(loadImageBytes(garbled));
    }
}

// The memory check runs on the size the header declares, before any pixel memory is taken;
// a decode stopped before it begins gives nothing.
TEST_F(PictureFormatsTest, ABudgetTooSmallOrAStopRefusesThePicture) {
    for (const Encoding& encoding :
         {Encoding{"a.heic", "colour", "heif-enc", {"-o", "{out}", "{in}"}, 0, 3, 0},
          Encoding{"a.avif", "colour", "avifenc", {"-s", "10", "{in}", "{out}"}, 0, 3, 0},
          Encoding{"a.jxl", "colour", "cjxl", {"{in}", "{out}"}, 0, 3, 0}}) {
        SCOPED_TRACE(encoding.name);
        const QString encoded = encode(encoding);
        if (encoded.isEmpty()) continue;
        const auto bytes = readImageFile(encoded);
        ASSERT_TRUE(bytes);
        const FitsBudget fits = [](std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                                   std::uint64_t budget) {
            return decodeMemoryEstimate({width, height, bits}) <= budget;
        };
        // 401 x 301 8-bit pixels take 8 bytes each: one byte less is refused.
        const std::uint64_t needed = std::uint64_t{401} * 301 * 8;
        const auto refused = decodeWithFormatModule(*bytes, needed - 1, fits, nullptr);
        ASSERT_TRUE(refused) << "the module did not know its format";
        EXPECT_TRUE(refused->pixels.empty()) << "decoded over the budget";
        const auto fitting = decodeWithFormatModule(*bytes, needed, fits, nullptr);
        ASSERT_TRUE(fitting);
        EXPECT_EQ(fitting->pixels.size(), cv::Size(401, 301));
        const std::atomic<bool> stop{true};
        if (encoding.program == std::string("cjxl")) {
            EXPECT_TRUE(decodeWithFormatModule(*bytes, 1U << 30, fits, &stop)->pixels.empty());
        }
    }
    EXPECT_FALSE(decodeWithFormatModule(FileBytes{'P', '5'}, 1U << 30, nullptr, nullptr))
        << "a picture of another format is not the module's";
}

}  // namespace
}  // namespace pavo
