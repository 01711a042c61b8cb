#include "support/viewer_fixture.h"

#include <clocale>
#include <string>
#include <utility>

namespace pavo {
namespace {

TEST(Drawing, ImagesAreCentredOrScrolled) {
    const ImagePlacement centred = placeImage({801, 700}, {600, 400}, 0, 0);
    EXPECT_EQ(centred.x, 100) << "the spare pixel stays on the right";
    EXPECT_EQ(centred.y, 150);
    const ImagePlacement scrolled = placeImage({1000, 800}, {3000, 2000}, 500, -300);
    EXPECT_EQ(scrolled.x, 0);
    EXPECT_EQ(scrolled.sourceX, 500);
    EXPECT_EQ(scrolled.sourceY, 300);
}

// Qt sets the C library's locale from the environment: the overlay's numbers keep their point
// under de_DE.UTF-8, which the build makes (tests/CMakeLists.txt) for machines without it.
TEST(Drawing, ByteSizesUseBinaryUnitsAndCutDecimalsInEveryLocale) {
    const auto text = [](float v) {
        return (formatByteSize(v).number + formatByteSize(v).unit).toStdString();
    };
    const std::string before = std::setlocale(LC_ALL, nullptr);
    qputenv("LOCPATH", PAVO_TEST_LOCALES);
    for (const auto& [locale, point] : {std::pair{"C", "."}, std::pair{"de_DE.UTF-8", ","}}) {
        SCOPED_TRACE(locale);
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << "made in " PAVO_TEST_LOCALES;
        ASSERT_STREQ(std::localeconv()->decimal_point, point);
        EXPECT_EQ(text(0.0099999F), "0.01B") << "rounded to six decimals first";
        EXPECT_EQ(text(1536), "1.50KB");
        EXPECT_EQ(text(1048576), "1.00MB");
        EXPECT_EQ(text(123456789), "117MB");
        EXPECT_EQ(text(15000000), "14.3MB");
        EXPECT_EQ(text(99.99F * 1024.0F * 1024.0F), "99.9MB") << "cut, not rounded";
        EXPECT_EQ(text(3.0F * 1024 * 1024 * 1024), "3.00GB");
        EXPECT_EQ(text(2.5F * 1024 * 1024 * 1024 * 1024), "2.50TB");
    }
    std::setlocale(LC_ALL, before.c_str());
}

using OverlayTest = test::ViewerTest;

TEST_F(OverlayTest, OverlayListsPositionSizesMethodChannelsTimeAndSizes) {
    viewer.playlist.paths.assign(12, QStringLiteral("/pics/img 0.png"));
    platform.normal = {0, 0, 1016, 726};  // client 1000 x 667
    showImage(3000, 2000);
    rescaleShownImage(viewer);
    ImageBuffer& shown = viewer.shownImage;
    shown.channels = 4;
    shown.loadTimeMs = 42;
    shown.fileSize = 1536;
    const QString text = overlayText(viewer);
    EXPECT_EQ(text.section(QStringLiteral("Memory usage: "), 0, 0),
              "1 / 12\nimg 0.png\n3000 x 2000\n(1000 x 667)\nScaled using: Area\n"
              "Channels: RGBA\nLoaded in: 42 ms\nFile size: 1.50KB\n");
    EXPECT_TRUE(text.endsWith("B\n"));

    viewer.playlist.paths.clear();
    EXPECT_TRUE(overlayText(viewer).startsWith("1 / 0\n3000 x 2000\n")) << "no entry, no name";
}

}  // namespace
}  // namespace pavo
