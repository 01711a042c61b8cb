// HEIF, AVIF, JPEG XL, GIF and animated WebP, made by their own encoders, through the
// viewer's decode; animations frame by frame, and played in the viewer.
#include "browse/animation.h"
#include "image/image.h"
#include "platform/files.h"
#include "platform/format_module.h"
#include "support/colour_files.h"
#include "support/test_files.h"
#include "support/viewer_fixture.h"

#include <QTemporaryDir>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

namespace pavo {
namespace {

// A picture with edges, gradients and colour in every corner, at an odd size, so that a
// turn, a mirror, a swapped channel or a lost row shows.
cv::Mat sourcePicture(int depth) {
    const double most = depth == CV_16U ? 65535.0 : 255.0;
    cv::Mat picture(301, 401, CV_64FC4);
    for (int y = 0; y < picture.rows; ++y) {
        for (int x = 0; x < picture.cols; ++x) {
            const double across = x / 400.0;
            picture.at<cv::Vec4d>(y, x) =
                cv::Vec4d((1 - across) * most, y / 300.0 * most, (x < 200) == (y < 150) ? most : 0,
                          (0.25 + 0.75 * across) * most);
        }
    }
    picture.convertTo(picture, CV_MAKETYPE(depth, 4));  // rounded and saturated
    return picture;
}

// What the viewer should show of a PNG it would read itself: the same decode.
cv::Mat shownFrom(const QString& png) {
    const auto loaded = loadImageFile(png);
    return loaded ? loaded->image : cv::Mat();
}

// Runs a shell line in `folder`: the pictures are made by the encoders' own tools.
bool inShell(const QString& folder, const QString& line) {
    return test::runProgram("sh", {"-c", "cd '" + folder + "' && " + line});
}

struct Encoding {
    const char* name;
    const char* input;    // which picture: colour, alpha, grey, deep, palette
    const char* command;  // the encoder's shell line; {in}, {other} (a second frame), {out}
    double meanError;     // the codec's loss on this picture, as a mean over every sample
    int channels;         // what the file holds, as the overlay tells
    int turn;  // what the file asks: 0 none, 1 a quarter turn anticlockwise, 2 a mirror, 3 a crop
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
        // The same numbers said to be Display P3: shown converted to sRGB.
        test::Bytes png;
        cv::imencode(".png", opaque, png);
        png = test::withPngProfile(png, test::p3Profile());
        test::writeBytes(file("p3.png"), QByteArray(reinterpret_cast<const char*>(png.data()),
                                                    static_cast<qsizetype>(png.size())));
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
        QString out = file(QString::fromUtf8(encoding.name));
        const QString line = QString::fromUtf8(encoding.command)
                                 .replace("{in}", file(QString::fromUtf8(encoding.input) + ".png"))
                                 .replace("{other}", file("other.png"))
                                 .replace("{out}", out);
        if (!inShell(dir.path(), line)) {
            ADD_FAILURE() << encoding.name << ": " << encoding.command << " failed";
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
        {"photo.heic", "colour", "heif-enc -q 90 -o {out} {in}", 3.0, 3, 0},
        {"alpha.heif", "alpha", "heif-enc -q 90 -o {out} {in}", 3.0, 4, 0},
        {"deep.heic", "deep", "heif-enc -q 90 -b 10 -o {out} {in}", 3.0, 3, 0},
        {"photo.avif", "colour", "avifenc -s 10 {in} {out}", 3.0, 3, 0},
        {"lossless.avif", "alpha", "avifenc -s 10 -l {in} {out}", 0.0, 4, 0},
        {"deep.avif", "deep", "avifenc -s 10 -d 12 {in} {out}", 3.0, 3, 0},
        {"grey.avif", "grey", "avifenc -s 10 -d 10 --yuv 400 {in} {out}", 3.0, 3, 0},
        {"turned.avif", "colour", "avifenc -s 10 --irot 1 {in} {out}", 3.0, 3, 1},
        {"mirrored.avif", "colour", "avifenc -s 10 --imir 1 {in} {out}", 3.0, 3, 2},
        {"cropped.avif", "colour", "avifenc -s 10 --crop 100,50,200,150 {in} {out}", 3.0, 3, 3},
        {"lossless.jxl", "alpha", "cjxl {in} {out} -d 0", 0.0, 4, 0},
        {"photo.jxl", "colour", "cjxl {in} {out} -d 1", 3.0, 3, 0},
        {"grey.jxl", "grey", "cjxl {in} {out} -d 0", 0.0, 1, 0},
        {"deep.jxl", "deep", "cjxl {in} {out} -d 0", 0.0, 3, 0},
        {"named.png", "colour", "cjxl {in} {out} -d 0", 0.0, 3, 0},
        // Their profiles or code points reach the pixels as a PNG's profile does (unconverted,
        // this picture is 6 levels off on average).
        {"p3.heic", "p3", "heif-enc -q 90 -o {out} {in}", 1.5, 3, 0},
        {"p3.avif", "p3", "avifenc -s 10 -l {in} {out}", 0.0, 3, 0},
        {"p3-cicp.avif", "p3", "avifenc -s 10 -l --ignore-icc --cicp 12/13/0 {in} {out}", 0.5, 3,
         0},
        {"p3.jxl", "p3", "cjxl {in} {out} -d 0", 0.0, 3, 0},
        // ImageMagick names black for the transparent colour; gifsicle makes it white, so that
        // a transparent pixel shown in its colour shows.
        {"still.gif", "palette",
         "convert {in} +dither gif:- | gifsicle --change-color '#000000' '#FAFAFA' > {out}", 0.0, 4,
         0},
        {"interlaced.gif", "palette", "convert {in} +dither -interlace GIF {out}", 0.0, 4, 0},
        {"animated.gif", "palette", "convert -delay 10 {in} {other} +dither {out}", 0.0, 4, 0},
        {"animated.webp", "palette", "img2webp -lossless {in} {other} -o {out}", 0.0, 4, 0},
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
        if (encoding.turn == 3) expected = expected(cv::Rect(100, 50, 200, 150)).clone();
        ASSERT_EQ(loaded->image.type(), CV_8UC3);
        ASSERT_EQ(loaded->image.size(), expected.size());
        EXPECT_EQ(loaded->channels, encoding.channels);
        EXPECT_EQ(loaded->animated, std::string(encoding.name).starts_with("animated"));
        const double error = cv::norm(loaded->image, expected, cv::NORM_L1) /
                             static_cast<double>(expected.total() * 3);
        EXPECT_LE(error, encoding.meanError) << "the picture is not the one encoded";
        if (encoding.meanError > 0) {
            EXPECT_GT(error, 0.0) << "a lossy encoding came out exact";
        }

        // Cut short or garbled, it fails or shows something, but never ends the viewer; cut
        // to its header, it fails.
        static_cast<void>(loadImageBytes(FileBytes(
            bytes->begin(), bytes->begin() + static_cast<std::ptrdiff_t>(bytes->size() / 2))));
        EXPECT_FALSE(loadImageBytes(FileBytes(bytes->begin(), bytes->begin() + 40)))
            << "a header alone decoded";
        FileBytes garbled = *bytes;
        for (std::size_t i = garbled.size() / 3; i < garbled.size(); i += 7) garbled[i] ^= 0x5A;
        static_cast<void>(loadImageBytes(garbled));
    }
}

// The memory check runs on the size the header declares, before any pixel memory is taken;
// a decode stopped before it begins gives nothing.
TEST_F(PictureFormatsTest, ABudgetTooSmallOrAStopRefusesThePicture) {
    for (const Encoding& encoding :
         {Encoding{"a.heic", "colour", "heif-enc -o {out} {in}", 0, 3, 0},
          Encoding{"a.avif", "colour", "avifenc -s 10 {in} {out}", 0, 3, 0},
          Encoding{"a.jxl", "colour", "cjxl {in} {out}", 0, 3, 0}}) {
        SCOPED_TRACE(encoding.name);
        const auto bytes = readImageFile(encode(encoding));
        ASSERT_TRUE(bytes);
        // 401 x 301 8-bit pixels take 8 bytes each: one byte less is refused.
        const std::uint64_t needed = std::uint64_t{401} * 301 * 8;
        EXPECT_FALSE(decodeToBgr8(*bytes, DecodeRole::Shown, nullptr, needed - 1));
        const auto fitting = decodeToBgr8(*bytes, DecodeRole::Shown, nullptr, needed);
        ASSERT_TRUE(fitting);
        EXPECT_EQ(fitting->image.size(), cv::Size(401, 301));
        const std::atomic<bool> stop{true};
        if (std::string(encoding.name).ends_with("jxl")) {
            EXPECT_FALSE(decodeToBgr8(*bytes, DecodeRole::Shown, &stop, needed));
        }
    }
}

const cv::Vec3b kRed(0, 0, 255);
const cv::Vec3b kBlue(255, 0, 0);
const cv::Vec3b kGreen(0, 255, 0);

struct ExpectedFrame {
    std::int32_t delayMs;
    std::vector<std::pair<cv::Point, cv::Vec3b>> pixels;
};

struct Animation {
    const char* name;
    const char* make;
    std::int32_t plays;
    std::vector<ExpectedFrame> frames;
};

// Frames come one by one, composed as the file says, at their delays (under 20 ms: 100),
// and after the last the first again; the still decode shows the first and knows there
// are more. The GIF uses every disposal: a red screen; a blue square cleared once shown; a
// green square whose canvas comes back after it; a yellow band whose white is transparent.
TEST_F(PictureFormatsTest, AnimationsComeFrameByFrameComposedAsTheFileSays) {
    const cv::Vec3b black(0, 0, 0);
    const cv::Vec3b yellow(0, 255, 255);
    const std::vector<Animation> animations{
        {"disposal.gif",
         "convert -size 40x40 xc:red base.gif && convert -size 10x10 xc:blue blue.gif && "
         "convert -size 10x10 xc:lime green.gif && "
         "convert -size 40x40 xc:white -fill yellow -draw 'rectangle 0,0 39,3' band.gif && "
         "gifsicle --loopcount=2 --delay 5 base.gif --disposal background --position 5,5 "
         "--delay 1 blue.gif --disposal previous --position 20,20 --delay 5 green.gif "
         "--disposal none --position 0,0 --transparent '#FFFFFF' --delay 20 band.gif "
         "> disposal.gif",
         3,
         {{50, {{{30, 30}, kRed}, {{7, 7}, kRed}}},
          {100, {{{7, 7}, kBlue}, {{30, 30}, kRed}}},
          {50, {{{7, 7}, black}, {{22, 22}, kGreen}}},
          {200, {{{22, 22}, kRed}, {{7, 7}, black}, {{1, 1}, yellow}, {{30, 30}, kRed}}}}},
        {"frames.webp",
         "convert -size 40x30 xc:red a.png && convert -size 40x30 xc:blue b.png && "
         "img2webp -lossless -loop 2 -d 30 a.png -d 10 b.png -o frames.webp",
         2,
         {{30, {{{5, 5}, kRed}}}, {100, {{{5, 5}, kBlue}}}}},
        {"frames.jxl",
         "convert -delay 5 -size 40x30 xc:red -delay 1 xc:blue -delay 7 xc:lime -loop 0 "
         "frames.gif && cjxl frames.gif frames.jxl -d 0",
         0,
         {{50, {{{5, 5}, kRed}}}, {100, {{{5, 5}, kBlue}}}, {70, {{{5, 5}, kGreen}}}}},
    };
    for (const Animation& animation : animations) {
        SCOPED_TRACE(animation.name);
        ASSERT_TRUE(inShell(dir.path(), animation.make));
        auto source = openFrameSource(file(animation.name));
        ASSERT_TRUE(source);
        ASSERT_EQ(source->frames->frameCount(), std::ssize(animation.frames));
        EXPECT_EQ(source->frames->plays(), animation.plays);
        cv::Mat first;
        for (int round = 0; round < 2; ++round) {
            for (std::size_t i = 0; i < animation.frames.size(); ++i) {
                const auto frame = readFrame(*source);
                ASSERT_TRUE(frame);
                EXPECT_EQ(frame->index, static_cast<std::int32_t>(i));
                EXPECT_EQ(frame->delayMs, animation.frames[i].delayMs) << "frame " << i;
                for (const auto& [at, colour] : animation.frames[i].pixels)
                    EXPECT_EQ(frame->image.at<cv::Vec3b>(at), colour) << "frame " << i << at;
                if (i == 0 && round == 0) first = frame->image;
            }
        }
        const auto still = loadImageFile(file(animation.name));
        ASSERT_TRUE(still);
        EXPECT_TRUE(still->animated);
        EXPECT_EQ(cv::norm(still->image, first, cv::NORM_INF), 0.0);
    }
    // Cut inside its last frame, a GIF plays the frames that are whole; a PNG is no animation.
    const auto bytes = readImageFile(file("disposal.gif"));
    ASSERT_TRUE(bytes);
    test::writeBytes(file("cut.gif"), QByteArray(reinterpret_cast<const char*>(bytes->data()),
                                                 static_cast<qsizetype>(bytes->size() - 12)));
    // Playing takes three still decodes of the canvas (40 x 40 pixels of 8 bytes each).
    const std::uint64_t playing = 3 * decodeMemoryEstimate({40, 40, 8});
    EXPECT_FALSE(openFrameSource(*bytes, playing - 1)) << "played over the budget";
    EXPECT_TRUE(openFrameSource(*bytes, playing));
    const auto cut = openFrameSource(file("cut.gif"));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->frames->frameCount(), 3);
    EXPECT_FALSE(openFrameSource(file("colour.png")));
}

// An animation of three frames (red for 50 ms, blue for 10, shown 100, green for 70),
// wider than tall, beside a still picture, opened in the viewer.
class AnimationPlaybackTest : public test::ViewerTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(inShell(folder("album"),
                            "convert -delay 5 -size 60x40 xc:red -delay 1 "
                            "xc:blue -delay 7 xc:lime -loop 0 1.gif"));
        imageFile("album/2.png", 30, 30, {7, 7, 7});
        open(dir.filePath("album/1.gif"));
    }
    cv::Vec3b shownPixel() const { return viewer.shownImage.image.at<cv::Vec3b>(0, 0); }
    void timeUp() {
        events.timer(AnimationTimer);
        settle();
    }
};

// It plays at the file's delays, turns with the picture, names its frame in the overlay,
// pauses and steps frames both ways (wrapping), stops when left (the cache keeps the frame it
// stood on) and goes on from that frame when shown again.
TEST_F(AnimationPlaybackTest, PlaysAtItsDelaysPausesStepsFramesAndStopsWhenLeft) {
    ASSERT_TRUE(animationPlays(viewer));
    EXPECT_EQ(shownPixel(), kRed);
    EXPECT_EQ(platform.timerPeriod(AnimationTimer), 50);
    timeUp();
    EXPECT_EQ(shownPixel(), kBlue);
    EXPECT_EQ(platform.timerPeriod(AnimationTimer), 100);
    viewer.view.infoOverlayShown = true;
    EXPECT_TRUE(overlayText(viewer).contains(QStringLiteral("Frame: 2 / 3\n")));
    press(Key::T);
    timeUp();
    EXPECT_EQ(shownPixel(), kGreen);
    EXPECT_EQ(viewer.shownImage.image.size(), cv::Size(40, 60)) << "the frame is not turned";
    EXPECT_LT(viewer.shownImage.display.cols, viewer.shownImage.display.rows);
    EXPECT_EQ(platform.timerPeriod(AnimationTimer), 70);

    press(Key::P);
    EXPECT_FALSE(platform.timerPending(AnimationTimer));
    timeUp();
    EXPECT_EQ(shownPixel(), kGreen) << "a paused animation moved";
    press(Key::N);
    EXPECT_EQ(shownPixel(), kRed) << "the next frame after the last is the first";
    press(Key::B);
    EXPECT_EQ(shownPixel(), kGreen);
    EXPECT_EQ(viewer.shownImage.frameIndex, 2);
    EXPECT_FALSE(platform.timerPending(AnimationTimer));
    press(Key::P);
    EXPECT_EQ(platform.timerPeriod(AnimationTimer), 70);

    press(Key::Right);
    EXPECT_FALSE(animationPlays(viewer));
    EXPECT_FALSE(platform.timerPending(AnimationTimer));
    EXPECT_TRUE(viewer.animation.ahead.empty());
    EXPECT_EQ(viewer.previousImage.frameIndex, 2);
    press(Key::Left);
    ASSERT_TRUE(animationPlays(viewer));
    EXPECT_EQ(viewer.shownImage.frameIndex, 2);
    timeUp();
    EXPECT_EQ(shownPixel(), kRed);
    EXPECT_EQ(viewer.shownImage.image.size(), cv::Size(40, 60));
}

// A file asking for two plays rests on its last frame after them until resumed; frames of a
// large canvas are held a few at a time, never the whole file.
TEST_F(AnimationPlaybackTest, PlaysAsOftenAsAskedAndHoldsFewFramesOfALargeCanvas) {
    ASSERT_TRUE(inShell(dir.filePath("album"),
                        "convert -size 2400x2400 xc:red r.gif && convert -size 2400x2400 xc:blue "
                        "b.gif && gifsicle --loopcount=1 r.gif b.gif r.gif b.gif > 0.gif"));
    open(dir.filePath("album/0.gif"));
    ASSERT_TRUE(animationPlays(viewer));
    for (int shown = 1; shown < 8; ++shown) {
        EXPECT_LE(viewer.animation.ahead.size(), 3U) << "too many frames of 2400 x 2400 held";
        timeUp();
        EXPECT_EQ(viewer.shownImage.frameIndex, shown % 4);
    }
    timeUp();
    EXPECT_EQ(viewer.shownImage.frameIndex, 3) << "played a third time";
    EXPECT_FALSE(platform.timerPending(AnimationTimer));
    press(Key::P);
    EXPECT_EQ(viewer.shownImage.frameIndex, 0);
    EXPECT_TRUE(platform.timerPending(AnimationTimer));
}

// A file that breaks while it plays leaves the frame on screen and plays no more; once mended
// and read again it plays, and again after a merged pair (which does not play) is undone;
// frames composed for it that arrive after it was left are dropped.
TEST_F(AnimationPlaybackTest, ABrokenFileOrWorkOutlivingItsPictureLeavesTheScreenAlone) {
    ASSERT_TRUE(animationPlays(viewer));
    test::writeBytes(dir.filePath("album/1.gif"), QByteArray("GIF89a broken"));
    press(Key::B);
    EXPECT_TRUE(viewer.shownImage.ready && !viewer.shownImage.image.empty()) << "the frame went";
    EXPECT_FALSE(platform.timerPending(AnimationTimer));
    press(Key::N);
    timeUp();
    EXPECT_FALSE(platform.timerPending(AnimationTimer));

    ASSERT_TRUE(inShell(dir.filePath("album"),
                        "convert -delay 5 -size 60x40 xc:red -delay 5 xc:blue 1.gif"));
    press(Key::F5);
    ASSERT_TRUE(animationPlays(viewer));
    press(Key::Period);
    press(Key::Period);
    EXPECT_TRUE(animationPlays(viewer));
    holdJobs();
    events.keyDown(Key::B, 1);
    held.runOne();  // its frames are composed; they are handed over after the step
    press(Key::Right);
    EXPECT_EQ(shownPixel(), cv::Vec3b(7, 7, 7)) << "a frame of the picture left came on screen";
}

}  // namespace
}  // namespace pavo
