// Colour management: profiles of every container reach the pixels, with Little CMS's own
// answers as the reference; broken profiles leave the picture alone; the viewer follows the
// monitor's profile.
#include "image/colour.h"
#include "browse/load.h"
#include "image/image.h"
#include "support/colour_files.h"
#include "support/test_files.h"
#include "support/viewer_fixture.h"
#include "view/draw.h"

#include <lcms2.h>
#include <QTemporaryDir>
#include <opencv2/imgcodecs.hpp>

#include <jpeglib.h>
#include <cstdio>
#include <thread>

namespace pavo::test {
namespace {

const cmsCIExyYTRIPLE kAdobe{{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};

// A scanner-class profile whose table Little CMS samples from the P3 one: no matrix.
Bytes lutProfile() {
    const Bytes p3 = p3Profile();
    cmsHPROFILE source = cmsOpenProfileFromMem(p3.data(), static_cast<cmsUInt32Number>(p3.size()));
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(source, TYPE_RGB_16, lab, TYPE_Lab_16, 0, 0);
    cmsPipeline* table = cmsPipelineAlloc(nullptr, 3, 3);
    cmsStage* grid = cmsStageAllocCLut16bit(nullptr, 17, 3, 3, nullptr);
    cmsStageSampleCLut16bit(
        grid,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* transform) {
            cmsDoTransform(transform, in, out, 1);
            return 1;
        },
        toLab, 0);
    // Curves on both sides of the grid, as the v4 table type wants.
    cmsPipelineInsertStage(table, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsPipelineInsertStage(table, cmsAT_END, grid);
    cmsPipelineInsertStage(table, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 4.3);
    cmsSetDeviceClass(profile, cmsSigInputClass);
    cmsSetColorSpace(profile, cmsSigRgbData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsWriteTag(profile, cmsSigAToB0Tag, table);
    cmsPipelineFree(table);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(source);
    return saved(profile, "Test table");
}

// What Little CMS makes of `rgb` (RGB order) from `from` to `to` (nothing: sRGB).
cv::Vec3b lcmsAnswer(const Bytes& from, const Bytes& to, cv::Vec4b in,
                     cmsUInt32Number type = TYPE_RGB_8) {
    const auto open = [](const Bytes& icc) {
        return icc.empty()
                   ? cmsCreate_sRGBProfile()
                   : cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    };
    cmsHPROFILE source = open(from);
    cmsHPROFILE target = open(to);
    const bool matrices = cmsIsMatrixShaper(source) && cmsIsMatrixShaper(target);
    cmsHTRANSFORM transform =
        cmsCreateTransform(source, type, target, TYPE_RGB_8,
                           matrices ? INTENT_RELATIVE_COLORIMETRIC : INTENT_PERCEPTUAL,
                           matrices ? 0 : cmsFLAGS_BLACKPOINTCOMPENSATION);
    cv::Vec3b out;
    cmsDoTransform(transform, in.val, out.val, 1);
    cmsDeleteTransform(transform);
    cmsCloseProfile(source);
    cmsCloseProfile(target);
    return out;
}

// A JPEG with `icc` in three APP2 segments after its start, written in the order 2, 3, 1.
Bytes withProfileSegments(Bytes jpeg, const Bytes& icc) {
    const std::size_t third = icc.size() / 3 + 1;
    Bytes segments;
    for (const unsigned number : {2U, 3U, 1U}) {
        const std::size_t start = std::min(icc.size(), (number - 1) * third);
        const std::size_t end = std::min(icc.size(), number * third);
        segments.insert(segments.end(), {0xFF, 0xE2});
        append(segments, static_cast<std::uint32_t>(end - start + 16), 2);
        const char* signature = "ICC_PROFILE";
        segments.insert(segments.end(), signature, signature + 12);
        segments.insert(segments.end(), {static_cast<unsigned char>(number), 3});
        segments.insert(segments.end(), icc.begin() + static_cast<long>(start),
                        icc.begin() + static_cast<long>(end));
    }
    jpeg.insert(jpeg.begin() + 2, segments.begin(), segments.end());
    return jpeg;
}

// An 8 x 8 picture of one colour (RGB order) in `format`, carrying `icc` as that format
// keeps a profile; a JPEG's in three APP2 segments written in the order 2, 3, 1.
Bytes tagged(const char* format, cv::Vec3b rgb, const Bytes& icc) {
    const cv::Mat patch(8, 8, CV_8UC3, cv::Scalar(rgb[2], rgb[1], rgb[0]));
    const std::string extension = std::string(".") + format;
    Bytes file;
    if (extension != ".tif") cv::imencode(extension, patch, file, {cv::IMWRITE_JPEG_QUALITY, 100});
    if (extension == ".png") {
        file = withPngProfile(file, icc);
    } else if (extension == ".jpg") {
        file = withProfileSegments(file, icc);
    } else if (extension == ".webp") {
        Bytes body{'W', 'E', 'B', 'P', 'V', 'P', '8', 'X'};
        append(body, 10, 4, false);
        body.insert(body.end(), {0x20, 0, 0, 0});  // a profile follows
        append(body, 7, 3, false);
        append(body, 7, 3, false);
        body.insert(body.end(), {'I', 'C', 'C', 'P'});
        append(body, static_cast<std::uint32_t>(icc.size()), 4, false);
        body.insert(body.end(), icc.begin(), icc.end());
        if (icc.size() % 2 != 0) body.push_back(0);
        body.insert(body.end(), file.begin() + 12, file.end());  // the picture's own chunk
        file = {'R', 'I', 'F', 'F'};
        append(file, static_cast<std::uint32_t>(body.size()), 4, false);
        file.insert(file.end(), body.begin(), body.end());
    } else {  // an uncompressed little-endian TIFF with the profile tag
        file = {'I', 'I', 42, 0};
        append(file, 8, 4, false);
        const std::uint32_t pixels = 8 + 2 + 9 * 12 + 4;
        const std::vector<std::array<std::uint32_t, 4>> entries{
            {256, 3, 1, 8},
            {257, 3, 1, 8},
            {258, 3, 1, 8},
            {262, 3, 1, 2},
            {273, 4, 1, pixels},
            {277, 3, 1, 3},
            {278, 3, 1, 8},
            {279, 4, 1, 192},
            {34675, 7, static_cast<std::uint32_t>(icc.size()), pixels + 192}};
        append(file, static_cast<std::uint32_t>(entries.size()), 2, false);
        for (const auto& [tag, type, count, value] : entries) {
            append(file, tag, 2, false);
            append(file, type, 2, false);
            append(file, count, 4, false);
            append(file, value, 4, false);
        }
        append(file, 0, 4, false);
        for (int i = 0; i < 64; ++i) file.insert(file.end(), rgb.val, rgb.val + 3);
        file.insert(file.end(), icc.begin(), icc.end());
    }
    return file;
}

cv::Vec3b decodedRgb(const Bytes& file, const ColourTarget& target, QString* name = nullptr) {
    const auto loaded =
        decodeToBgr8(FileBytes(file.begin(), file.end()), DecodeRole::Shown, nullptr, target);
    if (!loaded) return {};
    if (name != nullptr) *name = loaded->profileName;
    const auto bgr = loaded->image.at<cv::Vec3b>(4, 4);
    return {bgr[2], bgr[1], bgr[0]};
}

ColourTarget displayOf(const Bytes& icc) {
    ColourTarget target;
    target.display = makeDisplayProfile(icc);
    return target;
}

void expectNear(cv::Vec3b seen, cv::Vec3b wanted, int tolerance) {
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(seen[c], wanted[c], tolerance) << "channel " << c;
}

}  // namespace

// sRGB red written in P3 numbers shows as sRGB red from every container; on a P3 monitor the
// numbers stay, and with management off nothing is read or converted.
TEST(ColourTest, EmbeddedProfilesReachThePixelsInEveryContainer) {
    const Bytes p3 = p3Profile();
    const cv::Vec3b p3Red = lcmsAnswer({}, p3, {255, 0, 0, 0});
    ColourTarget off;
    off.enabled = false;
    for (const char* format : {"png", "jpg", "webp", "tif"}) {
        SCOPED_TRACE(format);
        const Bytes file = tagged(format, p3Red, p3);
        const int loss = std::string(format) == "jpg" ? 4 : 1;
        QString name;
        expectNear(decodedRgb(file, ColourTarget{}, &name), {255, 0, 0}, loss + 1);
        EXPECT_EQ(name, QStringLiteral("Test P3"));
        expectNear(decodedRgb(file, displayOf(p3)), p3Red, loss);
        expectNear(decodedRgb(file, off, &name), p3Red, loss);
        EXPECT_TRUE(name.isEmpty());
    }

    // The first look at a large photo reads its profile, cut in pieces, from the same file.
    Bytes plain;
    cv::imencode(".jpg", cv::Mat(1600, 2600, CV_8UC3, cv::Scalar(p3Red[2], p3Red[1], p3Red[0])),
                 plain, {cv::IMWRITE_JPEG_QUALITY, 95});
    const QTemporaryDir dir;
    const QString photo = dir.filePath("p3.jpg");
    test::writeByteSpan(photo, withProfileSegments(plain, p3));
    const cv::Mat preview = previewOfFile(photo, ColourTarget{});
    ASSERT_EQ(preview.size(), cv::Size(1300, 800));
    const cv::Vec3b bgr = preview.at<cv::Vec3b>(400, 650);
    expectNear({bgr[2], bgr[1], bgr[0]}, {255, 0, 0}, 5);
    const cv::Vec3b stored = previewOfFile(photo, off).at<cv::Vec3b>(400, 650);
    expectNear({stored[2], stored[1], stored[0]}, p3Red, 4);
}

// Wide gamuts through the tables and a LUT profile through Little CMS land within 2 levels
// of Little CMS's own answer, for pictures and for monitors.
TEST(ColourTest, ConversionsAgreeWithLittleCms) {
    const Bytes adobe = rgbProfile(kD65, kAdobe, 563.0 / 256, "Adobe");
    const Bytes proPhoto = rgbProfile(
        {0.3457, 0.3585, 1}, {{0.7347, 0.2653, 1}, {0.1596, 0.8404, 1}, {0.0366, 0.0001, 1}}, 1.8,
        "ProPhoto");
    const Bytes table = lutProfile();
    const Bytes p3 = p3Profile();
    for (const cv::Vec3b& rgb : {cv::Vec3b{200, 100, 50}, cv::Vec3b{12, 40, 230},
                                 cv::Vec3b{3, 3, 3}, cv::Vec3b{128, 250, 128}}) {
        for (const Bytes* source : std::initializer_list<const Bytes*>{&adobe, &proPhoto, &table}) {
            for (const Bytes* monitor : {static_cast<const Bytes*>(nullptr), &p3}) {
                const Bytes file = tagged("png", rgb, *source);
                const Bytes to = monitor != nullptr ? *monitor : Bytes{};
                expectNear(decodedRgb(file, displayOf(to)),
                           lcmsAnswer(*source, to, {rgb[0], rgb[1], rgb[2], 0}), 2);
            }
        }
    }
    // A grey picture without a profile is converted as its colour twin is.
    const ColourTarget wide = displayOf(
        rgbProfile(kD65, {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}}, 2.2, "Gamma 2.2"));
    Bytes grey;
    Bytes twin;
    cv::imencode(".png", cv::Mat(8, 8, CV_8UC1, cv::Scalar(60)), grey);
    cv::imencode(".png", cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(60)), twin);
    EXPECT_EQ(decodedRgb(grey, wide), decodedRgb(twin, wide));
    EXPECT_NE(decodedRgb(twin, wide), (cv::Vec3b{60, 60, 60}));
}

// Profiles that cannot be read, or not for these pixels, leave the stored pixels and say so.
TEST(ColourTest, BrokenOrHostileProfilesLeaveThePictureAlone) {
    Bytes p3 = p3Profile();
    Bytes cut(p3.begin(), p3.begin() + 200);
    Bytes lying = p3;
    lying[3] = 0xFF;  // a header that claims more than there is
    Bytes garbage(600, 0x5A);
    std::copy_n("acsp", 4, garbage.begin() + 36);
    Bytes manyTags = p3;
    manyTags[128] = manyTags[129] = 0xFF;  // a tag count in the billions
    Bytes noSpace = p3;
    std::copy_n("\xFF\x0A  ", 4, noSpace.begin() + 16);  // a colour space no enumerator names
    cmsHPROFILE abstract = cmsCreateBCHSWabstractProfile(17, 0, 1, 0, 0, 5000, 5000);
    const Bytes abstractProfile = saved(abstract, "Abstract");
    const cv::Vec3b stored{30, 140, 220};
    for (const Bytes* icc : std::initializer_list<const Bytes*>{&cut, &lying, &garbage, &manyTags,
                                                                &noSpace, &abstractProfile}) {
        QString name;
        EXPECT_EQ(decodedRgb(tagged("png", stored, *icc), ColourTarget{}, &name), stored);
        EXPECT_TRUE(name.contains(QStringLiteral("broken")) ||
                    name.contains(QStringLiteral("not applied")))
            << name.toStdString();
    }
    // A gamma with chromaticities off the diagram (a white point at y = 0) is not applied.
    Bytes png;
    cv::imencode(".png", cv::Mat(8, 8, CV_8UC3, cv::Scalar(stored[2], stored[1], stored[0])), png);
    Bytes gamma;
    append(gamma, 50000, 4);
    Bytes chromaticities;
    for (const std::uint32_t xy : {31270U, 0U, 64000U, 33000U, 30000U, 60000U, 15000U, 6000U})
        append(chromaticities, xy, 4);
    png = withPngChunk(withPngChunk(png, "gAMA", gamma), "cHRM", chromaticities);
    QString name;
    EXPECT_EQ(decodedRgb(png, displayOf(p3), &name), stored);
    EXPECT_TRUE(name.contains(QStringLiteral("not applied"))) << name.toStdString();
    Bytes missingSegment = tagged("jpg", stored, p3);
    missingSegment[18] = 0;  // the first segment's number, 2, becomes 0
    expectNear(decodedRgb(missingSegment, ColourTarget{}, &name), stored, 2);
    EXPECT_EQ(name, QStringLiteral("broken (ignored)"));
}

// A CMYK JPEG goes through its profile, Adobe's inverted ink the same as plain ink; without
// a profile of its own it takes the default one, and with none at all OpenCV's formula.
TEST(ColourTest, CmykJpegsGoThroughTheirProfile) {
    const auto cmykProfileBytes = readImageFile(QString::fromLatin1(kDefaultCmykProfilePath));
    ASSERT_TRUE(cmykProfileBytes) << "Ghostscript's CMYK profile (libgs-common) is needed";
    const Bytes cmyk(cmykProfileBytes->begin(), cmykProfileBytes->end());
    const auto write = [](bool inverted) {
        jpeg_compress_struct info{};
        jpeg_error_mgr error{};
        info.err = jpeg_std_error(&error);
        jpeg_create_compress(&info);
        unsigned char* out = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&info, &out, &size);
        info.image_width = info.image_height = 8;
        info.input_components = 4;
        info.in_color_space = JCS_CMYK;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 100, TRUE);
        info.write_Adobe_marker = inverted ? TRUE : FALSE;
        jpeg_start_compress(&info, TRUE);
        std::array<unsigned char, 32> row{};
        for (std::size_t i = 0; i < row.size(); i += 4) row[i] = 255;  // cyan ink only
        if (inverted)
            for (unsigned char& ink : row) ink = static_cast<unsigned char>(255 - ink);
        JSAMPROW rows = row.data();
        while (info.next_scanline < 8) jpeg_write_scanlines(&info, &rows, 1);
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        Bytes file(out, out + size);
        std::free(out);  // NOLINT: libjpeg's buffer
        return file;
    };
    const cv::Vec3b cyan = lcmsAnswer(cmyk, {}, {255, 0, 0, 0}, TYPE_CMYK_8);
    ColourTarget withDefault;
    withDefault.transforms = std::make_shared<ColourTransforms>(cmyk);
    for (const bool inverted : {false, true}) {
        SCOPED_TRACE(inverted);
        const Bytes plain = write(inverted);
        expectNear(decodedRgb(plain, withDefault), cyan, 3);
        expectNear(decodedRgb(withProfileSegments(plain, cmyk), ColourTarget{}), cyan, 3);
        cv::Mat byOpenCv = cv::imdecode(plain, cv::IMREAD_COLOR);
        const cv::Vec3b bgr = byOpenCv.at<cv::Vec3b>(4, 4);
        EXPECT_EQ(decodedRgb(plain, ColourTarget{}), (cv::Vec3b{bgr[2], bgr[1], bgr[0]}));
    }
}

// Jobs share one conversion: the same pixels on every thread, made once; a monitor that is
// sRGB in all but name, or no profile at all, converts nothing.
TEST(ColourTest, OneConversionServesEveryThreadAndSrgbMonitorsCostNothing) {
    const Bytes file = tagged("png", {200, 100, 50}, p3Profile());
    ColourTarget target;
    target.transforms = std::make_shared<ColourTransforms>();
    std::array<cv::Vec3b, 4> seen{};
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] { seen[i] = decodedRgb(file, target); });
    for (std::thread& thread : threads) thread.join();
    for (const cv::Vec3b& pixel : seen) EXPECT_EQ(pixel, seen[0]);
    EXPECT_EQ(target.transforms->size(), 1U);
    const Bytes srgb = saved(cmsCreate_sRGBProfile(), "sRGB lookalike");
    EXPECT_EQ(makeDisplayProfile(srgb), nullptr);
    EXPECT_EQ(makeDisplayProfile({}), nullptr);
    EXPECT_EQ(makeDisplayProfile(Bytes(300, 7)), nullptr);
    EXPECT_NE(makeDisplayProfile(p3Profile()), nullptr);
}

// A large JPEG is converted while it decodes, on another thread: the same pixels as
// converting it after, whole or cut short; a decode stopped midway gives nothing.
TEST(ColourTest, ALargeJpegConvertedWhileItDecodesMatchesOneConvertedAfter) {
    cv::Mat noise(2112, 2100, CV_8UC3);
    cv::randu(noise, cv::Scalar::all(0), cv::Scalar::all(255));
    Bytes plain;
    cv::imencode(".jpg", noise, plain, {cv::IMWRITE_JPEG_QUALITY, 90});
    const Bytes p3 = p3Profile();
    const Bytes whole = withProfileSegments(plain, p3);
    const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
    ColourTarget off;
    off.enabled = false;
    PictureColour said;
    said.kind = PictureColour::Kind::Icc;
    said.icc = p3;
    const PreparedColour prepared = prepareColour(said, ColourPixels::Bgr, ColourTarget{});
    for (const Bytes* file : {&whole, &cut}) {
        const FileBytes bytes(file->begin(), file->end());
        const auto stored = decodeToBgr8(bytes, DecodeRole::Shown, nullptr, off);
        const auto converted = decodeToBgr8(bytes, DecodeRole::Shown, nullptr, ColourTarget{});
        ASSERT_TRUE(stored && converted);
        cv::Mat after = stored->image.clone();
        applyColour(prepared, after);
        EXPECT_EQ(cv::norm(after, converted->image, cv::NORM_INF), 0);
        EXPECT_EQ(converted->profileName, QStringLiteral("Test P3"));
    }
    const std::atomic<bool> stopped = true;
    EXPECT_FALSE(decodeToBgr8(FileBytes(whole.begin(), whole.end()), DecodeRole::Shown, &stopped,
                              ColourTarget{}));
}
// When the monitor's profile changes, the shown picture and both neighbours are decoded
// again for it, and a step shows a converted neighbour.
TEST_F(ViewerTest, TheViewerFollowsTheMonitorsProfile) {
    const auto paths = imageFolder("album/%1.png", 3, 64, 48);
    open(paths[0]);
    const Bytes p3 = p3Profile();
    platform.displayIcc =
        QByteArray(reinterpret_cast<const char*>(p3.data()), static_cast<int>(p3.size()));
    events.displayProfileChanged();
    settle();
    const ColourTarget& target = viewer.colour.target;
    ASSERT_NE(target.display, nullptr);
    for (const ImageBuffer* record :
         {&viewer.shownImage, &viewer.nextImage, &viewer.previousImage}) {
        const auto fresh = loadImageFile(record->path, DecodeRole::Shown, nullptr, target);
        ASSERT_TRUE(fresh && record->ready);
        EXPECT_EQ(cv::norm(record->image, fresh->image, cv::NORM_INF), 0)
            << record->path.toStdString();
        EXPECT_EQ(record->colourId, target.id());
    }
    EXPECT_TRUE(overlayText(viewer).contains(QStringLiteral("Profile: none (sRGB)")));
    press(Key::Right);
    EXPECT_EQ(viewer.shownImage.colourId, target.id());
}

}  // namespace pavo::test
