#include "app/app.h"
#include "app/events.h"
#include "app/info_dialogs.h"
#include "platform/qt/dialog_form.h"
#include "platform/qt/qt_platform.h"
#include "viewer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <climits>

namespace pavo {
namespace {

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
TEST(DialogForms, TheOptionsCommandStoresWhatTheFormHoldsAndABoxShowsItsText) {
    QTemporaryDir dir;
    qt::QtPlatform platform;
    Viewer viewer(platform, SettingsStore(dir.path()));
    ViewerEvents events(viewer);
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
