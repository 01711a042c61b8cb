#include "app/app.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "support/viewer_fixture.h"

#include <QDir>

namespace pavo {
namespace {

using test::ViewerTest;

class LoadTest : public ViewerTest {};

TEST_F(LoadTest, ALoadedImageSizesTheWindowAndTitlesIt) {
    const QString path = imageFile("a.png", 640, 480);
    viewer.view.fitActive = false;
    viewer.view.zoomPerMille = 1200;
    ASSERT_TRUE(loadShownImage(viewer, path, true));
    const ImageBuffer& shown = viewer.shownImage;
    EXPECT_TRUE(shown.ready);
    EXPECT_EQ(platform.titles.back(), path);
    EXPECT_EQ(platform.clientSize(), (Size{640, 480}));
    EXPECT_EQ(platform.windowRect(), (Rect{-7, 0, 649, 539}));
    EXPECT_EQ(shown.displayWidth, 640);
    EXPECT_EQ(shown.display.data, shown.image.data) << "own size: shown as decoded";
    EXPECT_EQ(shown.channels, 3);
    EXPECT_EQ(shown.fileSize, fileSizeOf(path));
    EXPECT_GE(shown.loadTimeMs, 0);
    EXPECT_EQ(viewer.view.zoomPerMille, 1000);
    ASSERT_FALSE(platform.redraws.empty()) << "the picture is drawn before the load returns";

    viewer.view.fitActive = true;
    ASSERT_TRUE(loadShownImage(viewer, path, false));
    EXPECT_EQ(platform.windowRect().height(), 1047);
    EXPECT_EQ(viewer.shownImage.displayHeight, 988);
    EXPECT_EQ(viewer.shownImage.displayWidth, 1317);
}

TEST_F(LoadTest, FailedLoadsLeaveNothingReadyAndResetTheZoom) {
    viewer.view.zoomPerMille = 1500;
    EXPECT_FALSE(loadShownImage(viewer, dir.filePath("missing.png"), true));
    EXPECT_EQ(viewer.view.zoomPerMille, 1500) << "a missing file never reaches the size query";

    test::writeBytes(dir.filePath("empty.png"), {});
    viewer.shownImage.loadTimeMs = -1;
    EXPECT_FALSE(loadShownImage(viewer, dir.filePath("empty.png"), true));
    EXPECT_EQ(viewer.view.zoomPerMille, 1000);
    EXPECT_GE(viewer.shownImage.loadTimeMs, 0);

    test::writeBytes(dir.filePath("junk.jpg"), "not an image at all");
    EXPECT_FALSE(loadShownImage(viewer, dir.filePath("junk.jpg"), true));
    EXPECT_FALSE(viewer.shownImage.ready);
    EXPECT_TRUE(platform.titles.empty());
}

TEST_F(LoadTest, TallImagesOpenUnfittedOnlyWhenOpenedDirectly) {
    const QString tall = imageFile("tall.png", 100, 300);
    ASSERT_TRUE(loadShownImage(viewer, tall, false));
    EXPECT_TRUE(viewer.view.fitActive);
    ASSERT_TRUE(loadShownImage(viewer, tall, true));
    EXPECT_FALSE(viewer.view.fitActive);
    EXPECT_EQ(platform.clientSize(), (Size{100, 300}));
}

TEST(StepIndex, WrapsAtBothEnds) {
    EXPECT_EQ(stepIndex(3, 2, 1), 0);
    EXPECT_EQ(stepIndex(3, 0, -1), 2);
    EXPECT_EQ(stepIndex(10, 8, 5), 3);
    EXPECT_EQ(stepIndex(10, 1, -5), 6);
    EXPECT_EQ(stepIndex(1, 0, 5), 0);
}

class CommandLineTest : public ViewerTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(dir.path()).mkdir("pics"));
        for (const char* name : {"10.png", "2.png", "1.png"})
            imageFile(QStringLiteral("pics/") + name, 40, 30);
        ASSERT_TRUE(QDir(dir.path()).mkdir("pics/sub.png"));
    }
    QString pics(const QString& name = {}) const {
        return dir.filePath("pics") + (name.isEmpty() ? "" : "/" + name);
    }
};

TEST_F(CommandLineTest, ADirectoryOpensItsFirstImage) {
    openCommandLine(viewer, {pics()});
    EXPECT_EQ(viewer.playlist.paths,
              (std::vector<QString>{pics("1.png"), pics("2.png"), pics("10.png")}))
        << "the sub-directory named like an image is left out";
    EXPECT_EQ(viewer.playlist.index, 0);
    EXPECT_EQ(platform.titles.back(), pics("1.png"));
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(CommandLineTest, AFileOpensWithItsFolderAsThePlaylist) {
    openCommandLine(viewer, {pics("2.png")});
    EXPECT_EQ(viewer.playlist.paths.size(), 4U) << "a single file's scan keeps what the scan lists";
    EXPECT_EQ(viewer.playlist.paths[static_cast<std::size_t>(viewer.playlist.index)],
              pics("2.png"));
    EXPECT_EQ(platform.titles.back(), pics("2.png"));
    EXPECT_FALSE(platform.quitCode);
}

TEST_F(CommandLineTest, ADecodableFileOfAnotherExtensionGetsItsPlace) {
    const QString odd = pics("photo.jpe");
    test::writeBytes(odd, test::readBytes(pics("1.png")));
    openCommandLine(viewer, {odd});
    EXPECT_EQ(platform.titles.back(), odd);
    ASSERT_EQ(viewer.playlist.paths.size(), 5U);
    EXPECT_EQ(viewer.playlist.paths[0], odd) << "inserted before the entry at the old index";
    EXPECT_EQ(viewer.playlist.paths[1], pics("1.png"));
}

TEST_F(CommandLineTest, AnUnreadableFileIsReportedAndEndsTheProgram) {
    test::writeBytes(pics("broken.png"), "garbage");
    openCommandLine(viewer, {pics("broken.png")});
    ASSERT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(platform.boxes[0].text, "Failed to load " + pics("broken.png") + ".");
    EXPECT_EQ(platform.boxes[0].caption, "Not Supported");
    EXPECT_EQ(platform.boxes[0].owner, BoxOwner::MainWindow);
    EXPECT_EQ(platform.beeps, std::vector<BeepKind>{BeepKind::Failure});
    EXPECT_EQ(platform.quitCode, 0);
}

TEST_F(CommandLineTest, TheExeRuleIsCaseSensitive) {
    openCommandLine(viewer, {pics("pavo.exe")});
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_FALSE(platform.quitCode);
    openCommandLine(viewer, {pics("PAVO.EXE")});
    ASSERT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(platform.quitCode, 0);
}

TEST_F(CommandLineTest, SeveralArgumentsKeepTheirOrder) {
    const QString extra = imageFile("extra.png", 20, 20);
    openCommandLine(viewer, {pics(), extra, dir.filePath("notes.txt")});
    EXPECT_EQ(viewer.playlist.paths,
              (std::vector<QString>{pics("1.png"), pics("2.png"), pics("10.png"), extra}));
    EXPECT_EQ(platform.titles.back(), pics("1.png"));
}

TEST_F(CommandLineTest, NothingSupportedIsReportedUnlessItSpellsTheProgramFolder) {
    viewer.settings.mute = true;
    ASSERT_TRUE(QDir(dir.path()).mkdir("empty"));
    openCommandLine(viewer, {dir.filePath("empty")});
    ASSERT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(platform.boxes[0].text, "No supported files found.");
    EXPECT_TRUE(platform.beeps.empty()) << "mute silences the beep";

    platform.programFolder = QStringLiteral("/opt/my apps/pavo/");
    openCommandLine(viewer, {"/opt/my", "apps/pavo/pavo"});
    EXPECT_EQ(platform.boxes.size(), 1U) << "the program's own path split at a space";
    openCommandLine(viewer, {"/nowhere/a", "b"});
    EXPECT_EQ(platform.boxes.size(), 2U);
}

TEST_F(ViewerTest, TheFirstWindowIsRememberedOrInTheDefaultCorner) {
    EXPECT_EQ(initialWindow(viewer).outer, (Rect{-7, 0, 593, 800}));
    viewer.settings.rememberExit = true;
    viewer.settings.posX = 100;
    viewer.settings.posY = 50;
    viewer.settings.width = 900;
    viewer.settings.height = 700;
    viewer.settings.state = 3;
    EXPECT_EQ(initialWindow(viewer).outer, (Rect{100, 50, 1000, 750}));
    EXPECT_TRUE(initialWindow(viewer).maximized);
    viewer.settings.state = 2;
    EXPECT_FALSE(initialWindow(viewer).maximized) << "never opens minimised";
}

class WindowModeTest : public ViewerTest {
  protected:
    void SetUp() override {
        viewer.view.fitActive = false;
        openCommandLine(viewer, {imageFile("a.png", 640, 480)});
        ASSERT_TRUE(viewer.shownImage.ready);
    }
};

TEST_F(WindowModeTest, ChromeLevelsSwitchOnlyOutsideFullscreen) {
    setChromeLevel(viewer, 1);
    EXPECT_EQ(platform.style, WindowStyle::ImageOnly);
    EXPECT_EQ(platform.clientSize(), (Size{640, 480})) << "refitted for the thinner frame";
    const std::size_t switches = platform.styles.size();
    setChromeLevel(viewer, 1);
    EXPECT_EQ(platform.styles.size(), switches) << "the level in force changes nothing";

    toggleFullscreen(viewer);
    setChromeLevel(viewer, 3);
    EXPECT_EQ(viewer.mode.chromeLevel, 1) << "no level change in fullscreen";
}

TEST_F(WindowModeTest, FullscreenRestoresTheSavedPlacement) {
    platform.normal = {200, 100, 856, 639};
    toggleFullscreen(viewer);
    EXPECT_TRUE(viewer.mode.fullscreenActive);
    EXPECT_EQ(platform.style, WindowStyle::Fullscreen);
    EXPECT_EQ(platform.clientSize(), (Size{1920, 1080}));
    platform.cursorCounter = -1;

    toggleFullscreen(viewer);
    EXPECT_FALSE(viewer.mode.fullscreenActive);
    EXPECT_EQ(platform.style, WindowStyle::Normal);
    EXPECT_EQ(platform.windowRect(), (Rect{200, 100, 856, 639}));
    EXPECT_EQ(platform.cursorCounter, 0) << "leaving fullscreen shows the cursor";

    platform.maximized = true;
    toggleFullscreen(viewer);
    toggleFullscreen(viewer);
    ASSERT_FALSE(platform.restoredPlacements.empty());
    EXPECT_EQ(platform.restoredPlacements.back().showCommand, 3) << "maximised again";
}

TEST_F(WindowModeTest, EscLeavesFullscreenOrSavesAndQuits) {
    toggleFullscreen(viewer);
    onKeyDown(viewer, Key::Esc);
    EXPECT_FALSE(viewer.mode.fullscreenActive);
    EXPECT_FALSE(platform.quitCode);
    platform.normal = {10, 20, 666, 559};
    onKeyDown(viewer, Key::Esc);
    EXPECT_EQ(platform.quitCode, 0);
    EXPECT_EQ(viewer.settings.posX, 10);
    EXPECT_EQ(viewer.settings.width, 656);
}

TEST_F(WindowModeTest, ReducedFlickerErasesOnlyTheBandsAroundTheImage) {
    platform.normal = {0, 0, 656, 639};  // client 640 x 580: 100 rows to spare
    onSize(viewer);
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

TEST_F(WindowModeTest, TheOverlayIsRedrawnOnTopAfterEachPaint) {
    onKeyDown(viewer, Key::I);
    EXPECT_TRUE(viewer.view.infoOverlayShown);
    EXPECT_EQ(platform.timerPeriod(OverlayTimer), 50);
    const std::size_t redraws = platform.redraws.size();
    onTimer(viewer, OverlayTimer);
    EXPECT_EQ(platform.redraws.size(), redraws + 1);
    EXPECT_FALSE(platform.timerPending(OverlayTimer)) << "one-shot";

    test::FakePainter painter;
    onPaint(viewer, painter);
    ASSERT_EQ(painter.texts.size(), 1U);
    EXPECT_TRUE(
        painter.texts[0].startsWith("1 / 1\na.png\n640 x 480\n(640 x 480)\nScaled using: None\n"))
        << painter.texts[0].toStdString();
}

TEST_F(WindowModeTest, FitToggleRefitsTheWindow) {
    onKeyDown(viewer, Key::F);
    EXPECT_TRUE(viewer.view.fitActive);
    EXPECT_EQ(platform.windowRect().height(), 1047);
    onCommand(viewer, static_cast<int>(Command::FitToggle));
    EXPECT_FALSE(viewer.view.fitActive);
    EXPECT_EQ(platform.clientSize(), (Size{640, 480}));
}

TEST_F(WindowModeTest, TheCursorHidesAfterRestingInFullscreen) {
    onKeyDown(viewer, Key::Q);
    EXPECT_EQ(platform.cursorShowing(), false);
    onMouseMove(viewer, 5, 5);
    EXPECT_EQ(platform.cursorShowing(), true) << "a move shows it again";

    toggleFullscreen(viewer);
    viewer.input.lastMouseMoveTime = monotonicNanoseconds() - 1'200'000'000;
    cursorWatcherRound(viewer);
    ASSERT_TRUE(platform.timerPending(CursorHideTimer));
    EXPECT_LE(platform.timerPeriod(CursorHideTimer), 300);
    viewer.input.lastMouseMoveTime = monotonicNanoseconds() - 1'500'000'000;
    platform.active = false;
    onTimer(viewer, CursorHideTimer);
    EXPECT_EQ(platform.cursorShowing(), true) << "another window in front keeps it visible";
    platform.active = true;
    onTimer(viewer, CursorHideTimer);
    EXPECT_EQ(platform.cursorShowing(), false);

    platform.cursorReadable = false;
    toggleCursor(viewer);
    platform.cursorReadable = true;
    EXPECT_EQ(platform.cursorShowing(), true) << "an unreadable cursor counts as hidden";
}

}  // namespace
}  // namespace pavo
