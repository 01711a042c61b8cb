#include "app/app.h"
#include "app/events.h"
#include "app/info_dialogs.h"
#include "platform/qt/dialog_form.h"
#include "platform/qt/key_map.h"
#include "platform/qt/qt_platform.h"
#include "support/test_files.h"
#include "viewer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <opencv2/core.hpp>

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

namespace pavo {
namespace {

// The real program's window, platform and viewer, with the store in a temporary folder.
class MainWindowTest : public testing::Test {
  protected:
    MainWindowTest() : viewer(platform, SettingsStore(dir.filePath("config"))), events(viewer) {}

    // A quit the program asked for leaves Qt refusing to run event loops until the
    // main loop has run once; run it, so the next test starts clean.
    void TearDown() override {
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QApplication::exec();
    }

    void start(const QString& path) {
        loadRunState(viewer);
        launchWindow(viewer, events);
        viewer.view.fitActive = false;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
        openCommandLine(viewer, {path}, QDir::currentPath());
        settle();
    }

    // Left half red, right half blue.
    QString picture(const QString& name, int width, int height) {
        cv::Mat picture(height, width, CV_8UC3, cv::Scalar(0, 0, 255));
        picture(cv::Rect(width / 2, 0, width - width / 2, height)).setTo(cv::Scalar(255, 0, 0));
        test::writeImage(dir.filePath(name), picture);
        return dir.filePath(name);
    }

    // Lets the window's events, the jobs' hand-overs and the repaints run.
    static void settle() { QTest::qWait(100); }
    void press(Qt::Key key) {
        QTest::keyClick(&window(), key);
        settle();
    }

    qt::MainWindow& window() { return platform.window(); }

    QImage shownPixels() { return window().view()->grab().toImage(); }

    QTemporaryDir dir;
    qt::QtPlatform platform;
    Viewer viewer;
    ViewerEvents events;
};

TEST_F(MainWindowTest, MenusOverlayNewScreensAndUnusedKeysReachTheViewer) {
    start(picture("photo.png", 320, 240));
    ASSERT_TRUE(window().menuBar()->isVisible());
    press(Qt::Key_2);
    EXPECT_FALSE(window().menuBar()->isVisible()) << "level 2 hides the menus";

    press(Qt::Key_I);
    QTest::qWait(80);  // the overlay timer draws it once more on top
    const QImage box = shownPixels().copy(0, 0, 60, 40);
    QImage blank(box.size(), box.format());
    blank.fill(Qt::white);
    EXPECT_TRUE(box.allGray() && box != blank) << "black text on white over the red picture";
    press(Qt::Key_I);
    EXPECT_EQ(shownPixels().pixelColor(2, 2), QColor(255, 0, 0)) << "and gone again";

    QScreen* screen = window().screen();
    press(Qt::Key_Plus);
    ASSERT_NE(viewer.view.zoomPerMille, 1000);
    Q_EMIT screen->geometryChanged(screen->geometry());
    EXPECT_EQ(viewer.view.zoomPerMille, 1000) << "refitted after a resolution change";
    press(Qt::Key_Plus);
    Q_EMIT screen->refreshRateChanged(75.0);
    EXPECT_EQ(viewer.view.zoomPerMille, 1000) << "refitted after a refresh-rate change";

    viewer.input.lastActivityTime = 0;
    press(Qt::Key_B);
    EXPECT_GT(viewer.input.lastActivityTime, 0) << "a key the viewer does not use is activity";
}

// Fullscreen centres the picture (at 800, 420 of the 1920 x 1080 screen) on black, is a
// maximised window over its normal rectangle, and a window closed in it is stored so.
TEST_F(MainWindowTest, FullscreenCentresThePictureAndIsStoredAsMaximised) {
    start(picture("photo.png", 320, 240));
    window().move(100, 60);
    settle();
    const Rect normal = platform.geometrySnapshot().window;
    EXPECT_EQ((std::pair{normal.left, normal.top}), (std::pair{100, 60}));
    press(Qt::Key_Return);
    EXPECT_EQ(platform.geometrySnapshot().client, (Size{1920, 1080}));
    const QImage pixels = shownPixels();
    EXPECT_EQ(pixels.pixelColor(802, 422), QColor(255, 0, 0));
    EXPECT_EQ(pixels.pixelColor(1117, 657), QColor(0, 0, 255));
    EXPECT_EQ(pixels.pixelColor(798, 418), QColor(0, 0, 0));
    EXPECT_EQ(platform.windowPlacement(), (WindowPlacement{normal, 3}));
    window().close();
    EXPECT_EQ(viewer.settings.state, 3) << "closed in fullscreen, stored maximised";
}

// The wheel steps both ways; presses that arrive while the viewer is busy (a held key) all
// count, in order, and the view goes straight to where they lead.
TEST_F(MainWindowTest, TheWheelAndHeldKeysStepThroughTheFolder) {
    QStringList paths;
    for (int i = 0; i < 5; ++i) paths << picture(QStringLiteral("%1.png").arg(i), 160, 120);
    start(paths[0]);
    for (const auto& [delta, shown] : {std::pair{-120, 1}, {120, 0}}) {
        QWheelEvent wheel(QPointF(50, 50), window().view()->mapToGlobal(QPointF(50, 50)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window().view(), &wheel);
        settle();
        EXPECT_EQ(window().windowTitle(), paths[shown]);
    }
    std::vector<QString> titles;
    QObject::connect(&window(), &QWidget::windowTitleChanged,
                     [&](const QString& title) { titles.push_back(title); });
    for (int i = 0; i < 4; ++i) QTest::keyClick(&window(), Qt::Key_Right);  // no event loop between
    settle();
    EXPECT_EQ(titles, std::vector<QString>{paths[4]}) << "the pictures between are skipped";
    for (const Qt::Key key : {Qt::Key_Left, Qt::Key_Left, Qt::Key_Right})
        QTest::keyClick(&window(), key);
    settle();
    EXPECT_EQ(window().windowTitle(), paths[3]);
}

// The key events the X11 platform sends (Qt's key, the X key code, the modifiers) and the
// key each stands for. Digit, minus and plus keys are places on the keyboard, as virtual-key
// codes are: on a French layout the unshifted digit keys type "&", "é" and '"', and minus is
// ")" there. Keypad keys are the main block's keys, but for + and -.
TEST(KeyMap, KeysAreTheirPlaceAndKeypadKeysTheMainBlocks) {
    const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
    const std::tuple<Qt::Key, quint32, Qt::KeyboardModifiers, Key> cases[] = {
        {Qt::Key_Ampersand, 10, Qt::NoModifier, Key::Digit1},
        {Qt::Key_QuoteDbl, 12, Qt::NoModifier, Key::Digit3},
        {Qt::Key_Plus, 21, Qt::ShiftModifier, Key::Plus},
        {Qt::Key_ParenRight, 20, Qt::NoModifier, Key::Minus},
        {Qt::Key_Space, 65, Qt::NoModifier, Key::Space},
        {Qt::Key_Right, 114, Qt::AltModifier, Key::Other},
        {Qt::Key_Enter, 104, keypad, Key::Enter},
        {Qt::Key_Home, 79, keypad, Key::Home},  // NumLock off
        {Qt::Key_Delete, 91, keypad, Key::Delete},
        {Qt::Key_1, 87, keypad, Key::Digit1},  // NumLock on
        {Qt::Key_Plus, 86, keypad, Key::Other},
        {Qt::Key_Minus, 82, keypad, Key::Other},
        {Qt::Key_Enter, 104, keypad | Qt::AltModifier, Key::Other},
    };
    for (const auto& [qtKey, keyCode, modifiers, key] : cases) {
        const QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, keyCode, 0, 0);
        EXPECT_EQ(static_cast<int>(qt::keyFor(event)), static_cast<int>(key))
            << "Qt key " << std::hex << qtKey << std::dec << ", X key code " << keyCode;
    }
}

// Ends the form with the button pressed.
struct EndsWithTheButton final : DialogHandler {
    void opened(DialogControls& /*controls*/) override {}
    std::optional<int> pressed(DialogControls& /*controls*/, int button) override { return button; }
};

// Each form's controls in tab order with their kinds: 'b' a check box, 'l' one with its text
// left of the box, 'e' a number field, 'c' an editable combo box, 'p' a button, 'd' the default.
TEST(DialogForms, ControlsAreTheirKindInTabOrderInsideTheFormCentredOverItsOwner) {
    const std::pair<DialogId, QString> forms[] = {
        {DialogId::Options,
         "1029b 1006b 1005b 1026b 1027b 1028b 1036b 1040b 1034b 1035b 1043l "
         "1022l 1030l 1000e 1019e 1020e 1021e 1023e 1024e 1025e 1001e 1031p "
         "1002p 1d 2p"},
        {DialogId::Scaling, "5112c 5113c 5114c 5115c 5116c 5117c 1000e 1001e 1002p 1d 2p"},
        {DialogId::About, "1d"},
        {DialogId::Shortcuts, "1d"},
        {DialogId::UpdateAvailable, "1038d 1039p 1037p"},
    };
    for (const auto& [formId, controls] : forms) {
        SCOPED_TRACE(static_cast<int>(formId));
        QWidget owner;
        owner.setGeometry(100, 120, 801, 601);
        EndsWithTheButton handler;
        qt::DialogForm form(formId, handler, &owner);
        form.setText(kInformationText, shortcutLines().join(u'\n'));  // the longest text
        form.prepare();
        EXPECT_LE((form.geometry().center() - owner.geometry().center()).manhattanLength(), 2);
        for (QWidget* child : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(form.rect().contains(child->geometry()));
        if (auto* text = form.findChild<QWidget*>(QString::number(kInformationText))) {
            EXPECT_GE(text->height(), text->sizeHint().height()) << "the whole text shows";
            EXPECT_GT(form.findChild<QWidget*>("1")->y(), text->geometry().bottom());
        }
        QStringList seen;  // the controls as Tab reaches them, each with the kind it shows
        for (QWidget* w = form.nextInFocusChain(); w != &form; w = w->nextInFocusChain()) {
            if (w->parentWidget() != &form || w->focusPolicy() == Qt::NoFocus) continue;
            const int id = w->objectName().toInt();
            char kind = '?';
            if (qobject_cast<QCheckBox*>(w) != nullptr)
                kind = w->layoutDirection() == Qt::RightToLeft ? 'l' : 'b';
            if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                kind = 'e';
                QTest::keyClicks(edit, "-1a2");
                EXPECT_EQ(form.intValue(id), 12) << "digits only";
                form.setText(id, "-99999999999");
                EXPECT_EQ(form.intValue(id), INT_MIN) << "a signed number, saturated";
            }
            if (auto* combo = qobject_cast<QComboBox*>(w)) {
                kind = combo->isEditable() ? 'c' : '?';
                form.setText(id, "Lanczos");
                QTest::keyClick(combo, Qt::Key_Return);
                EXPECT_EQ(form.text(id), "Lanczos");
                EXPECT_EQ(combo->count(), 0) << "a typed name is no new item";
            }
            if (auto* button = qobject_cast<QPushButton*>(w))
                kind = button->isDefault() ? 'd' : 'p';
            else
                EXPECT_FALSE(w->toolTip().isEmpty()) << id;
            seen << w->objectName() + QLatin1Char(kind);
        }
        EXPECT_EQ(seen.join(u' ').toStdString(), controls.toStdString());
        QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_EQ(form.result(), kCancelButton) << "Esc presses Cancel";
    }
}

// Over the real window: the menu command opens the real Options form, which stores at OK,
// and a message box shows its caption and text.
TEST_F(MainWindowTest, TheOptionsCommandStoresWhatTheFormHoldsAndABoxShowsItsText) {
    loadRunState(viewer);
    launchWindow(viewer, events);
    QString shown;
    QTimer user;  // plays the user in each modal window
    user.callOnTimeout([&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->windowTitle() + ": " + box->text();
            box->accept();
        } else if (auto* form = qobject_cast<qt::DialogForm*>(QApplication::activeModalWidget())) {
            shown = form->text(1019);
            form->setText(1019, "77");
            QTest::mouseClick(form->findChild<QPushButton*>("1"), Qt::LeftButton);
        }
    });
    user.start(10);
    onCommand(viewer, 32773);
    EXPECT_EQ(shown, "40");
    EXPECT_EQ(viewer.settings.scrollSpeed, 77);
    platform.showMessageBox(BoxOwner::MainWindow, "The text", "The caption");
    EXPECT_EQ(shown, "The caption: The text");
}

}  // namespace
}  // namespace pavo
