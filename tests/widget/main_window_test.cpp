#include "app/app.h"
#include "app/events.h"
#include "browse/neighbour_cache.h"
#include "platform/qt/key_map.h"
#include "platform/qt/qt_platform.h"
#include "support/test_files.h"
#include "viewer.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

namespace pavo {
namespace {

// Left half red, right half blue, a green square in the middle.
cv::Mat testPicture(int width, int height) {
    cv::Mat picture(height, width, CV_8UC3, cv::Scalar(0, 0, 255));
    picture(cv::Rect(width / 2, 0, width - width / 2, height)).setTo(cv::Scalar(255, 0, 0));
    cv::rectangle(picture, cv::Rect(width / 2 - 10, height / 2 - 10, 20, 20), cv::Scalar(0, 255, 0),
                  cv::FILLED);
    return picture;
}

// The real program's window, platform and viewer, with the store in a temporary folder.
class MainWindowTest : public testing::Test {
  protected:
    MainWindowTest()
        : viewer(platform, SettingsStore(dir.path() + QStringLiteral("/config"))), events(viewer) {}

    // A quit the program asked for leaves Qt refusing to run event loops until the
    // main loop has run once; run it, so the next test starts clean.
    void TearDown() override {
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QApplication::exec();
    }

    void start(const QStringList& arguments, bool fitToScreen) {
        launchWindow(viewer, events);
        viewer.view.fitActive = fitToScreen;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
        openCommandLine(viewer, arguments, QDir::currentPath());
        settle();
    }

    QString picture(const QString& name, int width, int height) {
        QString path = dir.filePath(name);
        test::writeImage(path, testPicture(width, height));
        return path;
    }

    static void settle() {
        for (int i = 0; i < 5; ++i) QTest::qWait(20);
    }

    qt::MainWindow& window() { return platform.window(); }

    // What the image view shows, as it is on screen.
    QImage shownPixels() {
        return window().view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    void press(Qt::Key key) {
        QTest::keyClick(&window(), key);
        settle();
    }

    QTemporaryDir dir;
    qt::QtPlatform platform;
    Viewer viewer;
    ViewerEvents events;
};

TEST_F(MainWindowTest, ShowsTheImageAtItsOwnSizeWithThePathAsTitle) {
    const QString path = picture("photo.png", 320, 240);
    start({path}, false);
    EXPECT_EQ(window().windowTitle(), path);
    EXPECT_EQ(platform.geometrySnapshot().client, (Size{320, 240}));
    const QImage pixels = shownPixels();
    ASSERT_EQ(pixels.size(), QSize(320, 240));
    EXPECT_EQ(pixels.pixelColor(10, 10), QColor(255, 0, 0));
    EXPECT_EQ(pixels.pixelColor(310, 230), QColor(0, 0, 255));
    EXPECT_EQ(pixels.pixelColor(160, 120), QColor(0, 255, 0));
    ASSERT_TRUE(window().menuBar()->isVisible());
    const QList<QAction*> popups = window().menuBar()->actions();
    ASSERT_EQ(popups.size(), 3);
    EXPECT_EQ(popups[0]->text(), "&File");
    EXPECT_EQ(popups[1]->text(), "&Image");
    EXPECT_EQ(popups[2]->text(), "&Help");
}

TEST_F(MainWindowTest, FitToScreenScalesTheImageAndTheWindow) {
    const QString path = picture("photo.png", 320, 240);
    start({path}, true);
    // The offscreen screen is 1920 x 1080 with no panel: the window may be 1087 high.
    const Size client = platform.geometrySnapshot().client;
    EXPECT_EQ(viewer.shownImage.displayHeight, client.height);
    EXPECT_GT(client.height, 1000);
    EXPECT_EQ(viewer.shownImage.displayWidth,
              static_cast<int>(std::roundf(client.height * 320.0F / 240.0F)));
    const QImage pixels = shownPixels();
    EXPECT_EQ(pixels.pixelColor(5, client.height / 2), QColor(255, 0, 0));
    EXPECT_EQ(pixels.pixelColor(client.width - 5, client.height / 2), QColor(0, 0, 255));

    press(Qt::Key_F);
    EXPECT_FALSE(viewer.view.fitActive);
    EXPECT_EQ(platform.geometrySnapshot().client, (Size{320, 240}));
    EXPECT_EQ(shownPixels().pixelColor(160, 120), QColor(0, 255, 0));
}

TEST_F(MainWindowTest, ChromeLevelsAndFullscreenComeAndGo) {
    start({picture("photo.png", 320, 240)}, false);
    const Rect before = platform.geometrySnapshot().window;

    press(Qt::Key_2);
    EXPECT_FALSE(window().menuBar()->isVisible());
    EXPECT_EQ(platform.geometrySnapshot().client, (Size{320, 240}));
    press(Qt::Key_1);
    EXPECT_TRUE(window().windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(platform.geometrySnapshot().client, (Size{320, 240}))
        << "refitted inside the sizing border";
    press(Qt::Key_3);
    EXPECT_TRUE(window().menuBar()->isVisible());
    EXPECT_FALSE(window().windowFlags().testFlag(Qt::FramelessWindowHint));

    press(Qt::Key_Return);
    EXPECT_TRUE(window().isFullScreen());
    EXPECT_EQ(platform.geometrySnapshot().client, (Size{1920, 1080}));
    const QImage full = shownPixels();
    EXPECT_EQ(full.pixelColor(960, 540), QColor(0, 255, 0)) << "centred";
    EXPECT_EQ(full.pixelColor(10, 10), QColor(0, 0, 0)) << "black around the image";
    press(Qt::Key_2);
    EXPECT_EQ(viewer.mode.chromeLevel, 3) << "no level change in fullscreen";

    press(Qt::Key_Escape);
    EXPECT_FALSE(window().isFullScreen());
    EXPECT_FALSE(platform.quitRequested()) << "Esc in fullscreen only leaves it";
    // The offscreen platform reports its fake frame only some of the time, so the
    // outer rectangle may differ by that frame.
    const Rect after = platform.geometrySnapshot().window;
    EXPECT_NEAR(after.left, before.left, 8);
    EXPECT_NEAR(after.top, before.top, 8);
    EXPECT_EQ(platform.geometrySnapshot().client, (Size{320, 240}));
    EXPECT_EQ(shownPixels().pixelColor(10, 10), QColor(255, 0, 0));
}

TEST_F(MainWindowTest, TheOverlayIsDrawnOverTheImage) {
    start({picture("photo.png", 400, 300)}, false);
    EXPECT_EQ(shownPixels().pixelColor(2, 2), QColor(255, 0, 0));
    press(Qt::Key_I);
    QTest::qWait(80);  // the overlay timer draws it once more on top
    const QImage pixels = shownPixels();
    int dark = 0;
    int white = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 60; ++x) {
            const QColor c = pixels.pixelColor(x, y);
            dark += c.value() < 100 ? 1 : 0;
            white += c == QColor(255, 255, 255) ? 1 : 0;
        }
    }
    EXPECT_GT(white, 600) << "the overlay's white box over the red image";
    EXPECT_GT(dark, 20) << "black text in the box";
    press(Qt::Key_I);
    EXPECT_EQ(shownPixels().pixelColor(2, 2), QColor(255, 0, 0));
}

TEST_F(MainWindowTest, EscStoresThePlacementAndEndsTheProgram) {
    start({picture("photo.png", 320, 240)}, false);
    window().move(100, 60);
    settle();
    press(Qt::Key_Escape);
    EXPECT_TRUE(platform.quitRequested());
    EXPECT_EQ(platform.quitCode(), 0);
    const QByteArray store = test::readBytes(dir.path() + "/config/settings.reg");
    EXPECT_TRUE(store.contains("\"posX\"=dword:00000064")) << store.toStdString();
    EXPECT_TRUE(store.contains("\"posY\"=dword:0000003c"));
    EXPECT_TRUE(store.contains("\"state\"=dword:00000001"));
}

TEST_F(MainWindowTest, AFileThatCannotBeLoadedIsReportedInABox) {
    const QString broken = dir.filePath("broken.png");
    test::writeBytes(broken, "definitely not a PNG");
    QString text;
    QString caption;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            caption = box->windowTitle();
            box->accept();
        }
    });
    closer.start(20);
    start({broken}, true);
    EXPECT_EQ(text, "Failed to load " + broken + ".");
    EXPECT_EQ(caption, "Not Supported");
    EXPECT_TRUE(platform.quitRequested()) << "a single file that fails ends the program";
}

// Ten images of ten colours; every way of stepping shows the right one, titled.
TEST_F(MainWindowTest, StepsThroughAFolderWithKeysWheelAndSpace) {
    QDir(dir.path()).mkpath("album");
    std::vector<QString> paths;
    std::vector<QColor> colours;
    for (int i = 0; i < 10; ++i) {
        const QColor colour = QColor::fromHsv(i * 36, 255, 255).toRgb();
        colours.push_back(colour);
        paths.push_back(dir.filePath(QStringLiteral("album/photo %1.png").arg(i + 1)));
        test::writeImage(
            paths.back(),
            cv::Mat(120, 160, CV_8UC3, cv::Scalar(colour.blue(), colour.green(), colour.red())));
    }
    start({dir.filePath("album")}, false);
    const auto expectShown = [&](int index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(viewer.playlist.index, index);
        EXPECT_EQ(window().windowTitle(), paths[static_cast<std::size_t>(index)]);
        const QImage pixels = shownPixels();
        EXPECT_EQ(pixels.pixelColor(pixels.width() / 2, pixels.height() / 2),
                  colours[static_cast<std::size_t>(index)]);
    };
    const auto wheel = [&](int delta) {
        QWheelEvent event(QPointF(50, 50), window().view()->mapToGlobal(QPointF(50, 50)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window().view(), &event);
        settle();
    };
    expectShown(0);
    for (int i = 1; i < 10; ++i) {
        switch (i % 3) {
            case 0:
                press(Qt::Key_Right);
                break;
            case 1:
                wheel(-120);
                break;
            default:
                press(Qt::Key_Space);
                break;
        }
        expectShown(i);
    }
    press(Qt::Key_Right);
    expectShown(0);
    press(Qt::Key_Left);
    expectShown(9);
    wheel(120);
    expectShown(8);
    press(Qt::Key_Home);
    expectShown(0);
    press(Qt::Key_End);
    expectShown(9);

    // A held key: presses that arrive while the viewer is busy are all counted, in
    // order, and the view goes straight to where they lead.
    std::vector<QString> titles;
    QObject::connect(&window(), &QWidget::windowTitleChanged,
                     [&](const QString& title) { titles.push_back(title); });
    const auto queuedPresses = [&](Qt::Key key, int count) {
        for (int i = 0; i < count; ++i) {
            QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(&window(), &down);
            QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
            QApplication::sendEvent(&window(), &up);
        }
    };
    queuedPresses(Qt::Key_Right, 4);
    settle();
    expectShown(3);
    EXPECT_EQ(titles, std::vector<QString>{paths[3]}) << "the images between are skipped";
    queuedPresses(Qt::Key_Right, 2);
    queuedPresses(Qt::Key_Left, 1);
    settle();
    expectShown(4);
}

// The key events the X11 platform sends (Qt's key, the X key code, the modifiers) and the
// key each stands for. Digit, minus and plus keys are places on the keyboard, as virtual-key
// codes are: on a French layout the unshifted digit keys type "&", "é" and '"', and minus is
// ")" there. Keypad keys are the main block's keys, but for + and -.
TEST(KeyMap, KeysAreTheirPlaceAndKeypadKeysTheMainBlocks) {
    struct Case {
        Qt::Key qtKey = Qt::Key_unknown;
        quint32 keyCode = 0;
        Qt::KeyboardModifiers modifiers;
        Key key = Key::Other;
    };
    const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
    const Case cases[] = {
        {Qt::Key_Ampersand, 10, Qt::NoModifier, Key::Digit1},
        {Qt::Key_QuoteDbl, 12, Qt::NoModifier, Key::Digit3},
        {Qt::Key_Plus, 21, Qt::ShiftModifier, Key::Plus},
        {Qt::Key_ParenRight, 20, Qt::NoModifier, Key::Minus},
        {Qt::Key_Underscore, 20, Qt::ShiftModifier, Key::Minus},
        {Qt::Key_Right, 114, Qt::AltModifier, Key::Other},
        {Qt::Key_Enter, 104, keypad, Key::Enter},
        {Qt::Key_Home, 79, keypad, Key::Home},  // NumLock off
        {Qt::Key_Left, 83, keypad, Key::Left},
        {Qt::Key_PageDown, 89, keypad, Key::PageDown},
        {Qt::Key_Delete, 91, keypad, Key::Delete},
        {Qt::Key_1, 87, keypad, Key::Digit1},  // NumLock on
        {Qt::Key_Plus, 86, keypad, Key::Other},
        {Qt::Key_Minus, 82, keypad, Key::Other},
        {Qt::Key_Enter, 104, keypad | Qt::AltModifier, Key::Other},
    };
    for (const Case& c : cases) {
        const QKeyEvent event(QEvent::KeyPress, c.qtKey, c.modifiers, c.keyCode, 0, 0);
        // Keys are valued as the virtual-key codes they stand for.
        EXPECT_EQ(static_cast<int>(qt::keyFor(event)), static_cast<int>(c.key))
            << "Qt key " << std::hex << c.qtKey << std::dec << ", X key code " << c.keyCode;
    }
}

// On a screen Qt scales by a fraction (ctest runs this again under QT_SCALE_FACTOR 1.25, 1.5
// and 1.75), a picture at its own size covers as many device pixels as it has and is whole
// in the view. Where whole logical pixels cannot give its size, background is left beside
// it, and the client the logic sees is the view as drawn; so the first Down steps on.
class OwnSizeTest : public MainWindowTest, public testing::WithParamInterface<QSize> {};

TEST_P(OwnSizeTest, ThePictureIsWholeAndDownStepsOn) {
    const QSize size = GetParam();
    const QString first = picture("1.png", size.width(), size.height());
    picture("2.png", size.width(), size.height());
    start({first}, false);
    const Size client = platform.geometrySnapshot().client;
    // The window in device pixels: the menu bar, then the view (black around the picture).
    const QImage drawn = window().grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto colourAt = [&](int x, int y) {
        return drawn.valid(x, y) ? drawn.pixelColor(x, y).name().toStdString() : "outside";
    };
    int viewTop = 0;
    while (viewTop < drawn.height() && colourAt(0, viewTop) != "#ff0000" &&
           colourAt(0, viewTop) != "#000000")
        ++viewTop;
    EXPECT_EQ(client.width, drawn.width());
    EXPECT_EQ(client.height, drawn.height() - viewTop);
    const int left = (client.width - size.width()) / 2;
    const int top = viewTop + (client.height - size.height()) / 2;
    const int right = left + size.width() - 1;
    const int bottom = top + size.height() - 1;
    EXPECT_EQ(colourAt(left, top), "#ff0000");
    EXPECT_EQ(colourAt(right, top), "#0000ff");
    EXPECT_EQ(colourAt(left, bottom), "#ff0000") << "the last row is shown";
    EXPECT_EQ(colourAt(right, bottom), "#0000ff") << "the last row and column are shown";
    for (const std::string& beside : {colourAt(right + 1, top), colourAt(left, bottom + 1)})
        EXPECT_TRUE(beside == "#000000" || beside == "outside") << "background, not more picture";
    press(Qt::Key_Down);
    EXPECT_EQ(viewer.playlist.index, 1) << "Down steps on instead of scrolling";
}

INSTANTIATE_TEST_SUITE_P(Sizes, OwnSizeTest, testing::Values(QSize(300, 200), QSize(401, 301)),
                         [](const testing::TestParamInfo<QSize>& info) {
                             return std::to_string(info.param.width()) + "x" +
                                    std::to_string(info.param.height());
                         });

TEST_F(MainWindowTest, EveryKeyCountsAsActivity) {
    start({picture("photo.png", 320, 240)}, false);
    viewer.input.lastActivityTime = 0;
    press(Qt::Key_B);
    EXPECT_GT(viewer.input.lastActivityTime, 0) << "a key the viewer does not use";
}

TEST_F(MainWindowTest, FullscreenIsAMaximisedWindowOverItsNormalRectangle) {
    start({picture("photo.png", 320, 240)}, false);
    const Rect normal = platform.geometrySnapshot().window;
    press(Qt::Key_Return);
    ASSERT_TRUE(window().isFullScreen());
    EXPECT_TRUE(platform.geometrySnapshot().maximized);
    const auto placement = platform.windowPlacement();
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->showCommand, 3);
    EXPECT_EQ(placement->normal, normal);
    window().close();
    EXPECT_EQ(viewer.settings.state, 3) << "leaving from fullscreen remembers a maximised window";
}

TEST_F(MainWindowTest, ANewResolutionOrRefreshRateOfTheScreenRefits) {
    start({picture("photo.png", 320, 240)}, false);
    QScreen* screen = window().screen();
    ASSERT_NE(screen, nullptr);
    press(Qt::Key_Plus);
    ASSERT_NE(viewer.view.zoomPerMille, 1000);
    Q_EMIT screen->geometryChanged(screen->geometry());
    EXPECT_EQ(viewer.view.zoomPerMille, 1000) << "refitted after a resolution change";
    press(Qt::Key_Plus);
    ASSERT_NE(viewer.view.zoomPerMille, 1000);
    Q_EMIT screen->refreshRateChanged(75.0);
    EXPECT_EQ(viewer.view.zoomPerMille, 1000) << "refitted after a refresh-rate change";
}

}  // namespace
}  // namespace pavo
