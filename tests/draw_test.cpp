#include "support/viewer_fixture.h"

#include <clocale>
#include <string>
#include <tuple>

namespace pavo {
namespace {

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
        // 0.0099999 is rounded to six decimals first; 99.99 MB is cut, not rounded.
        EXPECT_EQ((std::vector{text(0.0099999F), text(1536), text(123456789), text(15000000),
                               text(99.99F * 1024 * 1024), text(3.0F * 1024 * 1024 * 1024),
                               text(2.5F * 1024 * 1024 * 1024 * 1024)}),
                  (std::vector<std::string>{"0.01B", "1.50KB", "117MB", "14.3MB", "99.9MB",
                                            "3.00GB", "2.50TB"}));
    }
    std::setlocale(LC_ALL, before.c_str());
}

using DrawingTest = test::ViewerTest;

// Images are centred (the spare pixel on the right) or scrolled, and the overlay lists the
// position, sizes, method, channels, load time and file size.
TEST_F(DrawingTest, ImagesAreCentredOrScrolledAndTheOverlayListsTheirFigures) {
    const ImagePlacement centred = placeImage({801, 700}, {600, 400}, 0, 0);
    EXPECT_EQ((std::pair{centred.x, centred.y}), (std::pair{100, 150}));
    const ImagePlacement scrolled = placeImage({1000, 800}, {3000, 2000}, 500, -300);
    EXPECT_EQ((std::tuple{scrolled.x, scrolled.sourceX, scrolled.sourceY}),
              (std::tuple{0, 500, 300}));

    viewer.playlist.paths.assign(12, QStringLiteral("/pics/img 0.png"));
    platform.normal = {0, 0, 1016, 726};  // client 1000 x 667
    showImage(3000, 2000);
    rescaleShownImage(viewer);
    ImageBuffer& shown = viewer.shownImage;
    std::tie(shown.channels, shown.loadTimeMs, shown.fileSize) = std::tuple{4, 42, 1536};
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
