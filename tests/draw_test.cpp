#include "support/viewer_fixture.h"

#include <clocale>
#include <string>
#include <utility>

namespace pavo {
namespace {

using test::ViewerTest;

TEST(Drawing, ImagesAreCentredOrScrolled) {
    EXPECT_EQ(placeImage({800, 700}, {600, 400}, 0, 0).x, 100);
    EXPECT_EQ(placeImage({800, 700}, {600, 400}, 0, 0).y, 150);
    EXPECT_EQ(placeImage({601, 400}, {600, 400}, 0, 0).x, 0)
        << "one spare pixel stays on the right";
    const ImagePlacement scrolled = placeImage({1000, 800}, {3000, 2000}, 500, -300);
    EXPECT_EQ(scrolled.x, 0);
    EXPECT_EQ(scrolled.sourceX, 500);
    EXPECT_EQ(scrolled.sourceY, 300);
}

// Qt sets the C library's locale from the environment at start; the overlay's numbers keep
// their point under a locale that writes a decimal comma. The build generates de_DE.UTF-8
// into the build folder (tests/CMakeLists.txt), as a machine may have only the C locales.
TEST(Drawing, ByteSizesUseBinaryUnitsAndCutDecimalsInEveryLocale) {
    const auto text = [](float v) {
        const ByteSizeText t = formatByteSize(v);
        return (t.number + t.unit).toStdString();
    };
    const std::string before = std::setlocale(LC_ALL, nullptr);
    qputenv("LOCPATH", PAVO_TEST_LOCALES);
    for (const auto& [locale, point] : {std::pair{"C", "."}, std::pair{"de_DE.UTF-8", ","}}) {
        SCOPED_TRACE(locale);
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << "made in " PAVO_TEST_LOCALES;
        ASSERT_STREQ(std::localeconv()->decimal_point, point);
        EXPECT_EQ(text(500), "500B");
        EXPECT_EQ(text(5), "5.00B");
        EXPECT_EQ(text(1536), "1.50KB");
        EXPECT_EQ(text(1048576), "1.00MB");
        EXPECT_EQ(text(123456789), "117MB");
        EXPECT_EQ(text(15000000), "14.3MB");
        EXPECT_EQ(text(99.99F * 1024.0F * 1024.0F), "99.9MB") << "cut, not rounded";
        EXPECT_EQ(text(0.0099999F), "0.01B") << "rounded to six decimals first";
        EXPECT_EQ(text(3.0F * 1024 * 1024 * 1024), "3.00GB");
        EXPECT_EQ(text(2.5F * 1024 * 1024 * 1024 * 1024), "2.50TB");
    }
    std::setlocale(LC_ALL, before.c_str());
}

class OverlayTest : public ViewerTest {};

TEST_F(OverlayTest, OverlayListsPositionSizesMethodChannelsTimeAndSizes) {
    for (int i = 0; i < 12; ++i)
        viewer.playlist.paths.push_back(QStringLiteral("/pics/img %1.png").arg(i));
    showImage(3000, 2000);
    ImageBuffer& shown = viewer.shownImage;
    shown.display = cv::Mat(667, 1000, CV_8UC4);
    shown.displayWidth = 1000;
    shown.displayHeight = 667;
    shown.channels = 4;
    shown.loadTimeMs = 42;
    shown.fileSize = 1536;
    const QString text = overlayText(viewer);
    EXPECT_TRUE(
        text.startsWith("1 / 12\nimg 0.png\n3000 x 2000\n(1000 x 667)\nScaled using: Area\n"
                        "Channels: RGBA\nLoaded in: 42 ms\nFile size: 1.50KB\nMemory usage: "))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith("B\n"));

    viewer.playlist.paths.clear();
    shown.channels = 7;
    EXPECT_TRUE(overlayText(viewer).startsWith("1 / 0\n3000 x 2000\n"));
    EXPECT_TRUE(overlayText(viewer).contains("Channels: Unknown\n"));

    test::FakePainter painter;
    viewer.view.infoOverlayShown = true;
    drawImage(viewer, painter);
    ASSERT_EQ(painter.blits.size(), 1U);
    ASSERT_EQ(painter.texts.size(), 1U) << "the overlay is drawn last";
}

}  // namespace
}  // namespace pavo
