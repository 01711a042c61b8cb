#include "app/app.h"
#include "app/events.h"
#include "app/info_dialogs.h"
#include "platform/qt/dialog_form.h"
#include "platform/qt/qt_platform.h"
#include "viewer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <climits>

namespace pavo {
namespace {

using qt::DialogForm;

// Records what the form reports; ends the dialog on OK and Cancel only.
class RecordingHandler final : public DialogHandler {
  public:
    void opened(DialogControls& /*controls*/) override { ++openings; }
    std::optional<int> pressed(DialogControls& /*controls*/, int button) override {
        presses.push_back(button);
        if (button == kOkButton || button == kCancelButton) return button;
        return std::nullopt;
    }
    int openings = 0;
    std::vector<int> presses;
};

struct Expected {
    int id;
    const char* kind;  // "box", "edit", "button", "combo"
    QString text;
    QString toolTip;
};

QWidget* byId(const QWidget& form, int id) {
    return form.findChild<QWidget*>(QString::number(id));
}

// Every control: its kind, its text, its tooltip; and the focusable ones in tab order.
void expectControls(const DialogForm& form, const std::vector<Expected>& controls) {
    std::vector<QWidget*> tabOrder;
    for (const Expected& c : controls) {
        SCOPED_TRACE(c.id);
        QWidget* widget = byId(form, c.id);
        ASSERT_NE(widget, nullptr);
        const std::string kind = c.kind;
        if (kind == "box") {
            ASSERT_NE(qobject_cast<QCheckBox*>(widget), nullptr);
            EXPECT_EQ(qobject_cast<QCheckBox*>(widget)->text(), c.text);
        } else if (kind == "button") {
            ASSERT_NE(qobject_cast<QPushButton*>(widget), nullptr);
            EXPECT_EQ(qobject_cast<QPushButton*>(widget)->text(), c.text);
        } else if (kind == "edit") {
            auto* edit = qobject_cast<QLineEdit*>(widget);
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(edit->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
            int at = 0;
            QString typed = QStringLiteral("12a");
            EXPECT_EQ(edit->validator()->validate(typed, at), QValidator::Invalid);
        } else if (kind == "combo") {
            auto* combo = qobject_cast<QComboBox*>(widget);
            ASSERT_NE(combo, nullptr);
            EXPECT_TRUE(combo->isEditable());
        }
        EXPECT_EQ(widget->toolTip(), c.toolTip);
        tabOrder.push_back(widget);
    }
    for (std::size_t i = 0; i + 1 < tabOrder.size(); ++i) {
        QWidget* next = tabOrder[i]->nextInFocusChain();
        // An editable combo box's own parts sit between it and the next control.
        while (next != nullptr &&
               (next->focusPolicy() == Qt::NoFocus || tabOrder[i]->isAncestorOf(next)))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, tabOrder[i + 1]) << "after " << tabOrder[i]->objectName().toStdString();
    }
}

std::vector<QString> labels(const QWidget& form) {
    std::vector<QString> texts;
    for (const QLabel* label : form.findChildren<QLabel*>()) {
        if (label->objectName().isEmpty() && !label->text().isEmpty())
            texts.push_back(label->text());
    }
    return texts;
}

TEST(DialogForms, OptionsHasEveryControlWithItsLabelTooltipAndPlace) {
    RecordingHandler handler;
    DialogForm form(DialogId::Options, handler, nullptr);
    form.prepare();
    EXPECT_EQ(handler.openings, 1);
    EXPECT_EQ(form.windowTitle(), "Options");
    expectControls(
        form,
        {{1029, "box", "Adjust for thin borders",
          "Allow the window to fill more of the screen.\nThis is a workaround for the thin borders "
          "introduced in a windows 10 patch.\nIf you use a previous version of windows or an "
          "older version of windows 10, you may want to disable this."},
         {1006, "box", "Remember exit position and state",
          "Restore the window to the position and state it was when last exited."},
         {1005, "box", "Default reverse merge",
          "Reverse the default position of merged images.\nThis option is useful if you are "
          "viewing images that are ment to be viewed right to left."},
         {1026, "box", "Mute program", "Prevent the program from beeping."},
         {1027, "box", "Reduce flicker",
          "Reduce the flicker when an image needs to be re-drawn.\nIf the background does not get "
          "erased correctly, disabling this option should fix the issue."},
         {1028, "box", "Pre-scale images",
          "Pre-scale images to further improve responsiveness when moving from image to image.\n"
          "Should an image not match the window size, disabling this should fix the issue.\n"
          "Depending on window states and other options, this option may be ignored."},
         {1036, "box", "Automatic update check", "Automatically check for updates every 7 days."},
         {1040, "box", "Window animations", "Use animations for minimize, maximize, etc."},
         {1034, "box", "Snap to monitor edge",
          "After draging the image,\nsnap it into bounds of the current monitor\nif it was "
          "dragged outside."},
         {1035, "box", "Sticky window size",
          "Attempt to keep the window size roughly the same when moving between images of "
          "similiar size.\nThis option may not work well with images that have drastically "
          "different resolutions."},
         {1043, "box", "Middle mouse as scroll anchor",
          "Use the middle mouse button as an anchor to scroll the image,\ninstead of using it to "
          "toggle fullscreen."},
         {1022, "box", "Relative Scrolling",
          "When scrolling, scroll relative to the window size.\nThe scrolling speed is then "
          "decided by the option bellow."},
         {1030, "box", "Default fit to screen",
          "Scale the image and the window to fill the screen\nwhile maintaining aspect ratio."},
         {1000, "edit", "",
          "Clear the cache that contains the next and previous image\nafter x mintues of being "
          "idle.\nThe cache is checked once a minute, so the time chosen is not exact."},
         {1019, "edit", "", "The distance the image will normally scroll."},
         {1020, "edit", "", "The distance the image will scroll while holding shift."},
         {1021, "edit", "", "The distance the image will scroll while holding ctrl."},
         {1023, "edit", "",
          "Scroll by x % of the window size if the option above is enabled,\ninstead of using the "
          "other scroll speed settings."},
         {1024, "edit", "", "Zoom in by x % each time."},
         {1025, "edit", "", "Zoom out by x % each time."},
         {1001, "edit", "",
          "Automatically disable the fit to screen option when opening an image directly.\nIf the "
          "height / width >= this number, this will take effect.\nThis does not take effect when "
          "browsing images,\nonly when opening an image directly.\nSet this to 0 to disable it."},
         {1031, "button", "Scaling", ""},
         {1002, "button", "Reset", ""},
         {1, "button", "OK", ""},
         {2, "button", "Cancel", ""}});
    const std::vector<QString> expectedLabels{"Buffer timeout in mintues",
                                              "Normal scroll speed in pixels",
                                              "Shift scroll speed in pixels",
                                              "Ctrl scroll speed in pixels",
                                              "Relative scroll speed %",
                                              "Zoom in %",
                                              "Zoom out %",
                                              "Show original size if h/w ratio is >="};
    EXPECT_EQ(labels(form), expectedLabels);
    EXPECT_TRUE(qobject_cast<QPushButton*>(byId(form, 1))->isDefault());
    EXPECT_EQ(qobject_cast<QCheckBox*>(byId(form, 1043))->layoutDirection(), Qt::RightToLeft);

    // Places are dialog units of the form's font: 4 units across an average character,
    // 8 down a line.
    const QFontMetrics metrics(form.font());
    const int cx =
        (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") + 26) /
        52;
    const int cy = metrics.height();
    EXPECT_EQ(byId(form, 1031)->geometry(),
              QRect((183 * cx + 2) / 4, (129 * cy + 4) / 8, (50 * cx + 2) / 4, (14 * cy + 4) / 8));
    EXPECT_EQ(form.size(), QSize((291 * cx + 2) / 4, (166 * cy + 4) / 8));
    for (QWidget* child : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_TRUE(form.rect().contains(child->geometry())) << child->objectName().toStdString();
    }

    // Signed numbers as the fields read them.
    form.setText(1019, "99999999999");
    EXPECT_EQ(form.intValue(1019), INT_MAX);
    form.setInt(1019, -12);
    EXPECT_EQ(form.intValue(1019), -12);
    form.setText(1019, "");
    EXPECT_EQ(form.intValue(1019), 0);

    // Reset keeps the form open; Esc is Cancel.
    QTest::mouseClick(qobject_cast<QPushButton*>(byId(form, 1002)), Qt::LeftButton);
    EXPECT_EQ(handler.presses, std::vector<int>{1002});
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(handler.presses, (std::vector<int>{1002, kCancelButton}));
    EXPECT_EQ(form.result(), kCancelButton);
}

TEST(DialogForms, ScalingHasEditableMethodBoxesAndThresholdFields) {
    RecordingHandler handler;
    DialogForm form(DialogId::Scaling, handler, nullptr);
    form.prepare();
    EXPECT_EQ(form.windowTitle(), "Scaling");
    expectControls(form, {{5112, "combo", "", "This is used for large downscaling."},
                          {5113, "combo", "", "This is used for downscaling."},
                          {5114, "combo", "", "This is used for upscaling."},
                          {5115, "combo", "", "This is used for large upscaling."},
                          {5116, "combo", "", "This is used when zooming in."},
                          {5117, "combo", "", "This is used when zooming out."},
                          {1000, "edit", "",
                           "The threshold that defines what is large downscaling.\nThis is the "
                           "multiplier for the total change in pixels."},
                          {1001, "edit", "",
                           "The threshold that defines what is large upscaling.\nThis is the "
                           "multiplier for the total change in pixels."},
                          {1002, "button", "Reset", ""},
                          {1, "button", "OK", ""},
                          {2, "button", "Cancel", ""}});
    const std::vector<QString> expectedLabels{"Large downscale",
                                              "Downscale",
                                              "Upscale",
                                              "Large upscale",
                                              "Zoom in",
                                              "Zoom out",
                                              "Large downscale threshold",
                                              "Large upscale threshold"};
    EXPECT_EQ(labels(form), expectedLabels);

    // The selection writes its item; a typed name replaces it; typing adds no item.
    const QStringList methods{"Nearest Neighbour", "Bilinear", "Bicubic", "Area"};
    form.setItems(5114, methods, 2);
    EXPECT_EQ(form.text(5114), "Bicubic");
    form.setText(5114, "Lanczos");
    EXPECT_EQ(form.text(5114), "Lanczos");
    auto* combo = qobject_cast<QComboBox*>(byId(form, 5114));
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(combo->count(), 4);
}

TEST(DialogForms, AboutShortcutsAndUpdateShowTheirTexts) {
    RecordingHandler handler;
    DialogForm about(DialogId::About, handler, nullptr);
    about.prepare();
    about.setText(kInformationText, aboutText());
    EXPECT_EQ(about.windowTitle(), "About Pavo");
    EXPECT_EQ(about.text(kInformationText), "Pavo 1.2.0");
    bool hasIcon = false;
    for (const QLabel* label : about.findChildren<QLabel*>()) hasIcon |= !label->pixmap().isNull();
    EXPECT_TRUE(hasIcon);

    DialogForm shortcuts(DialogId::Shortcuts, handler, nullptr);
    shortcuts.setText(kInformationText, shortcutLines().join(u'\n'));
    shortcuts.prepare();
    EXPECT_EQ(shortcuts.windowTitle(), "Shortcuts");
    const QStringList lines = shortcuts.text(kInformationText).split(u'\n');
    ASSERT_EQ(lines.size(), 31);
    EXPECT_EQ(lines.front(), "Fullscreen = double click / F11 / Enter / middle mouse button");
    EXPECT_EQ(lines[5], "Move forward / backward by 5 = shift + move forward / backward");
    EXPECT_EQ(lines.back(), "Exit fullscreen / program = ESC");
    // The whole text shows, with OK below it.
    const QWidget* text = byId(shortcuts, kInformationText);
    const QWidget* ok = byId(shortcuts, kOkButton);
    EXPECT_GE(text->height(), text->sizeHint().height());
    EXPECT_GT(ok->y(), text->geometry().bottom());
    EXPECT_TRUE(shortcuts.rect().contains(ok->geometry()));

    DialogForm update(DialogId::UpdateAvailable, handler, nullptr);
    update.prepare();
    EXPECT_EQ(update.windowTitle(), "Update available");
    EXPECT_EQ(labels(update), std::vector<QString>{"A new version of Pavo is available. Do you "
                                                   "want to open the website and update now?"});
    const QWidget* open = byId(update, 1038);
    const QWidget* skip = byId(update, 1039);
    const QWidget* later = byId(update, 1037);
    EXPECT_EQ(qobject_cast<const QPushButton*>(open)->text(), "Open website");
    EXPECT_EQ(qobject_cast<const QPushButton*>(skip)->text(), "Skip version");
    EXPECT_EQ(qobject_cast<const QPushButton*>(later)->text(), "Not now");
    EXPECT_LT(open->x(), skip->x());
    EXPECT_LT(skip->x(), later->x());
    EXPECT_TRUE(qobject_cast<const QPushButton*>(open)->isDefault());
}

TEST(DialogForms, AFormIsCentredOverItsOwner) {
    QWidget owner;
    owner.setGeometry(100, 120, 801, 601);
    RecordingHandler handler;
    DialogForm form(DialogId::Scaling, handler, &owner);
    form.prepare();
    const QRect outer = owner.frameGeometry();
    EXPECT_EQ(form.frameGeometry().topLeft(),
              QPoint(outer.left() + outer.width() / 2 - form.frameGeometry().width() / 2,
                     outer.top() + outer.height() / 2 - form.frameGeometry().height() / 2));
}

// The menu command opens the real Options form over the real window; OK stores.
TEST(DialogForms, TheOptionsCommandStoresWhatTheFormHolds) {
    QTemporaryDir dir;
    qt::QtPlatform platform;
    Viewer viewer(platform, SettingsStore(dir.path()));
    ViewerEvents events(viewer);
    launchWindow(viewer, events);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&platform.window()));
    bool filled = false;
    QTimer::singleShot(0, [&] {
        QWidget* form = QApplication::activeModalWidget();
        ASSERT_NE(form, nullptr);
        auto* speed = qobject_cast<QLineEdit*>(byId(*form, 1019));
        ASSERT_NE(speed, nullptr);
        filled = speed->text() == "40";
        speed->setText("77");
        QTest::mouseClick(qobject_cast<QPushButton*>(byId(*form, 1)), Qt::LeftButton);
    });
    onCommand(viewer, 32773);
    EXPECT_TRUE(filled);
    EXPECT_EQ(viewer.settings.scrollSpeed, 77);
    QFile store(viewer.store.filePath());
    ASSERT_TRUE(store.open(QIODevice::ReadOnly));
    EXPECT_TRUE(store.readAll().contains("\"scrollSpeed\"=dword:0000004d"));
}

}  // namespace
}  // namespace pavo
