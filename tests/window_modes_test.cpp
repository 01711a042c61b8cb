#include "platform/clock.h"
#include "support/viewer_fixture.h"
#include "view/view.h"

#include <clocale>
#include <string>
#include <tuple>

namespace pavo {
namespace {

class WindowModeTest : public test::ViewerTest {
  protected:
    void SetUp() override {
        viewer.view.fitActive = false;
        openCommandLine(viewer, {imageFile("a.png", 640, 480)}, dir.path());
        ASSERT_TRUE(viewer.shownImage.ready);
    }
};

TEST_F(WindowModeTest, TheLevelInForceChangesNothingAndTheMenuFitRefits) {
    setChromeLevel(viewer, 1);
    const std::size_t switches = platform.styles.size();
    setChromeLevel(viewer, 1);
    EXPECT_EQ(platform.styles.size(), switches);
    onCommand(viewer, static_cast<int>(Command::FitToggle));
    EXPECT_TRUE(viewer.view.fitActive);
    EXPECT_EQ(platform.windowRect().height(), 1047) << "the window is refitted to the screen";
}

// Fullscreen is never dragged; leaving it restores the placement, maximised or not.
TEST_F(WindowModeTest, FullscreenIsNeverDraggedAndRestoresThePlacement) {
    platform.normal = {200, 100, 856, 639};
    toggleFullscreen(viewer);
    platform.leftDown = true;
    platform.cursor = {500, 500};
    onMouseButton(viewer, MouseButton::Left, MouseAction::Press);
    platform.cursor = {700, 650};
    onMouseMove(viewer, 10, 10);
    platform.leftDown = false;
    onMouseButton(viewer, MouseButton::Left, MouseAction::Release);
    EXPECT_TRUE(platform.moves.empty()) << "neither dragged nor snapped";

    platform.cursorCounter = -1;
    toggleFullscreen(viewer);
    EXPECT_EQ(platform.style, WindowStyle::Normal);
    EXPECT_EQ(platform.windowRect(), (Rect{200, 100, 856, 639}));
    EXPECT_EQ(platform.cursorCounter, 0) << "leaving fullscreen shows the cursor";
    platform.maximized = true;
    toggleFullscreen(viewer);
    toggleFullscreen(viewer);
    ASSERT_FALSE(platform.restoredPlacements.empty());
    EXPECT_EQ(platform.restoredPlacements.back().showCommand, 3) << "maximised again";
}

TEST_F(WindowModeTest, ReducedFlickerErasesOnlyTheBandsAroundTheImage) {
    platform.normal = {0, 0, 656, 639};  // client 640 x 580: 100 rows to spare
    platform.invalidations.clear();
    requestRedraw(viewer);
    ASSERT_EQ(platform.invalidations.size(), 2U) << "as wide as the window: top and bottom only";
    EXPECT_EQ(platform.invalidations[0].area, (Rect{0, 0, 640, 50}));
    EXPECT_EQ(platform.invalidations[1].area, (Rect{0, 530, 640, 580}));

    viewer.settings.reduceFlicker = false;
    platform.invalidations.clear();
    requestRedraw(viewer);
    ASSERT_EQ(platform.invalidations.size(), 1U);
    EXPECT_EQ(platform.invalidations[0].area, (Rect{0, 0, 640, 580}));
    EXPECT_TRUE(platform.invalidations[0].erase);
}

// The overlay's timer draws it once more, on top of what a paint left (the widget test sees
// it drawn; the drawing test reads its text).
TEST_F(WindowModeTest, TheOverlayIsRedrawnOnTopOnce) {
    press(Key::I);
    ASSERT_TRUE(platform.timerPending(OverlayTimer));
    const std::size_t redraws = platform.redraws.size();
    onTimer(viewer, OverlayTimer);
    EXPECT_EQ(platform.redraws.size(), redraws + 1);
    EXPECT_FALSE(platform.timerPending(OverlayTimer)) << "one-shot";
}

TEST_F(WindowModeTest, TheCursorHidesAfterRestingInFullscreen) {
    press(Key::Q);
    EXPECT_EQ(platform.cursorShowing(), false);
    onMouseMove(viewer, 5, 5);
    EXPECT_EQ(platform.cursorShowing(), true) << "a move shows it again";

    toggleFullscreen(viewer);
    viewer.input.lastMouseMoveTime = monotonicNanoseconds() - 1'450'000'000;
    cursorWatcherRound(viewer);
    ASSERT_TRUE(platform.timerPending(CursorHideTimer));
    EXPECT_LE(platform.timerPeriod(CursorHideTimer), 50) << "armed for the rest of 1.5 s";
    platform.active = false;
    onTimer(viewer, CursorHideTimer);
    EXPECT_EQ(platform.cursorShowing(), true) << "another window in front keeps it visible";
    platform.active = true;
    onTimer(viewer, CursorHideTimer);
    EXPECT_EQ(platform.cursorShowing(), false);

    platform.cursorReadable = false;
    toggleCursor(viewer);
    EXPECT_EQ(platform.cursorCounter, 0) << "an unreadable cursor counts as hidden: shown";
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
