#include "app/options_dialogs.h"
#include "support/fake_dialogs.h"
#include "support/viewer_fixture.h"

#include <QFile>

namespace pavo {
namespace {

using test::FakeDialogControls;
using test::runFakeDialog;

class OptionsDialogTest : public test::ViewerTest {
  protected:
    // Opens the Options dialog, lets `act` play the user, and presses `button`.
    std::optional<int> options(
        int button,
        const std::function<void(FakeDialogControls&)>& act = [](FakeDialogControls&) {}) {
        OptionsDialog dialog(viewer);
        return runFakeDialog(dialog, button, act);
    }
    std::optional<int> scaling(
        int button,
        const std::function<void(FakeDialogControls&)>& act = [](FakeDialogControls&) {}) {
        ScalingDialog dialog(viewer);
        return runFakeDialog(dialog, button, act);
    }
    QByteArray storeText() {
        QFile file(viewer.store.filePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

constexpr int kFlagBoxIds[] = {kReverseMergeBox, kRememberExitBox,  kRelativeScrollBox,
                               kMuteBox,         kReduceFlickerBox, kPreScaleBox,
                               kFitToScreenBox,  kSnapToEdgeBox,    kStickySizeBox,
                               kUpdateCheckBox,  kAnimationsBox,    kMouseAnchorBox};

TEST_F(OptionsDialogTest, OpeningFillsEveryControlFromTheOptionsInForce) {
    ViewerSettings& s = viewer.settings;
    s.fixWindowPosition = 3;  // any allowance of 1 or more ticks the box
    s.reverseMerge = true;
    s.rememberExit = true;
    s.useRelativeScroll = true;
    s.mute = true;
    s.reduceFlicker = false;
    s.preScale = false;
    s.fitToScreen = false;
    s.snapToMonitorEdge = false;
    s.stickyWindowSize = true;
    s.checkForUpdate = false;
    s.animations = false;
    s.useMouseAnchor = true;
    s.bufferTimeout = 179;  // shown in whole minutes, truncated
    s.autoShowOriginal = 0;
    s.scrollSpeed = 41;
    s.shiftScrollSpeed = 201;
    s.ctrlScrollSpeed = 2;
    s.relativeScroll = 33;
    s.zoomInStep = 7;
    s.zoomOutStep = 9;

    FakeDialogControls c;
    OptionsDialog dialog(viewer);
    dialog.opened(c);
    EXPECT_TRUE(c.checked(kThinBordersBox));
    for (int id : {kReverseMergeBox, kRememberExitBox, kRelativeScrollBox, kMuteBox, kStickySizeBox,
                   kMouseAnchorBox}) {
        EXPECT_TRUE(c.checked(id)) << id;
    }
    for (int id : {kReduceFlickerBox, kPreScaleBox, kFitToScreenBox, kSnapToEdgeBox,
                   kUpdateCheckBox, kAnimationsBox}) {
        EXPECT_FALSE(c.checks.at(id)) << id;  // set, not merely missing
    }
    EXPECT_EQ(c.text(kBufferTimeoutEdit), "2");
    EXPECT_EQ(c.text(kShowOriginalEdit), "0");
    EXPECT_EQ(c.text(kScrollSpeedEdit), "41");
    EXPECT_EQ(c.text(kShiftScrollEdit), "201");
    EXPECT_EQ(c.text(kCtrlScrollEdit), "2");
    EXPECT_EQ(c.text(kRelativeScrollEdit), "33");
    EXPECT_EQ(c.text(kZoomInEdit), "7");
    EXPECT_EQ(c.text(kZoomOutEdit), "9");
}

TEST_F(OptionsDialogTest, OkStoresEveryCheckBoxAndTheReverseMergeInForce) {
    const ViewerSettings before = viewer.settings;
    viewer.view.fitActive = true;
    EXPECT_EQ(options(kOkButton,
                      [](FakeDialogControls& c) {
                          for (int id : kFlagBoxIds) c.setChecked(id, !c.checked(id));
                      }),
              kOkButton);
    const ViewerSettings& s = viewer.settings;
    EXPECT_NE(s.reverseMerge, before.reverseMerge);
    EXPECT_NE(s.rememberExit, before.rememberExit);
    EXPECT_NE(s.useRelativeScroll, before.useRelativeScroll);
    EXPECT_NE(s.mute, before.mute);
    EXPECT_NE(s.reduceFlicker, before.reduceFlicker);
    EXPECT_NE(s.preScale, before.preScale);
    EXPECT_NE(s.fitToScreen, before.fitToScreen);
    EXPECT_NE(s.snapToMonitorEdge, before.snapToMonitorEdge);
    EXPECT_NE(s.stickyWindowSize, before.stickyWindowSize);
    EXPECT_NE(s.checkForUpdate, before.checkForUpdate);
    EXPECT_NE(s.animations, before.animations);
    EXPECT_NE(s.useMouseAnchor, before.useMouseAnchor);
    EXPECT_EQ(viewer.merge.reverseMergeActive, s.reverseMerge);
    // Fit to screen is the next start's; the fit in force stays.
    EXPECT_TRUE(viewer.view.fitActive);
    EXPECT_TRUE(storeText().contains("\"mute\"=hex:01"));
}

TEST_F(OptionsDialogTest, NumbersAreClampedToTheirRanges) {
    const auto store = [&](int id, const QString& typed) {
        options(kOkButton, [&](FakeDialogControls& c) { c.setText(id, typed); });
    };
    store(kBufferTimeoutEdit, "0");
    EXPECT_EQ(viewer.settings.bufferTimeout, 60);
    store(kBufferTimeoutEdit, "7000");
    EXPECT_EQ(viewer.settings.bufferTimeout, 360000);
    // So many minutes that their seconds leave 32 bits: the longest time-out, not the
    // shortest a wrapped product would give.
    store(kBufferTimeoutEdit, "40000000");
    EXPECT_EQ(viewer.settings.bufferTimeout, 360000);
    store(kZoomInEdit, "80");
    EXPECT_EQ(viewer.settings.zoomInStep, 50);
    store(kScrollSpeedEdit, "");  // not a number: the lower bound
    EXPECT_EQ(viewer.settings.scrollSpeed, 1);
    store(kShiftScrollEdit, "20000");
    EXPECT_EQ(viewer.settings.shiftScrollSpeed, 10000);
    store(kRelativeScrollEdit, "1001");
    EXPECT_EQ(viewer.settings.relativeScroll, 1000);
    store(kShowOriginalEdit, "-5");
    EXPECT_EQ(viewer.settings.autoShowOriginal, 0);

    // 90 seconds set outside the dialog shows as 1 minute and is stored as 60 seconds.
    viewer.settings.bufferTimeout = 90;
    options(kOkButton, [](FakeDialogControls& c) { EXPECT_EQ(c.text(kBufferTimeoutEdit), "1"); });
    EXPECT_EQ(viewer.settings.bufferTimeout, 60);
}

TEST_F(OptionsDialogTest, ThinBordersStoreSevenOrZeroAndForgetEveryScaledPicture) {
    viewer.settings.fixWindowPosition = 3;
    viewer.shownImage.displayReady = true;
    viewer.nextImage.displayReady = true;
    viewer.previousImage.displayReady = true;
    options(kOkButton);  // still ticked: stored as 7, a change that forgets the pictures
    EXPECT_EQ(viewer.settings.fixWindowPosition, 7);
    EXPECT_FALSE(viewer.shownImage.displayReady);
    EXPECT_FALSE(viewer.nextImage.displayReady);
    EXPECT_FALSE(viewer.previousImage.displayReady);
    const int widthWithBorders = viewer.view.maxWindowWidth;
    EXPECT_EQ(widthWithBorders, 1920 + 14);

    viewer.shownImage.displayReady = true;
    viewer.nextImage.displayReady = true;
    options(kOkButton);  // unchanged: the pictures still fit
    EXPECT_TRUE(viewer.shownImage.displayReady);
    EXPECT_TRUE(viewer.nextImage.displayReady);

    options(kOkButton, [](FakeDialogControls& c) { c.setChecked(kThinBordersBox, false); });
    EXPECT_EQ(viewer.settings.fixWindowPosition, 0);
    EXPECT_FALSE(viewer.shownImage.displayReady);
    EXPECT_FALSE(viewer.nextImage.displayReady);
    // The usable screen area follows at once.
    EXPECT_EQ(viewer.view.maxWindowWidth, 1920);
}

TEST_F(OptionsDialogTest, AChangedZoomStepResetsTheZoomAndAnUnchangedOneKeepsIt) {
    viewer.view.zoomStepCount = 3;
    viewer.view.zoomPerMille = 1157;
    options(kOkButton);
    EXPECT_EQ(viewer.view.zoomStepCount, 3);
    EXPECT_EQ(viewer.view.zoomPerMille, 1157);

    options(kOkButton, [](FakeDialogControls& c) { c.setInt(kZoomInEdit, 6); });
    EXPECT_EQ(viewer.view.zoomStepCount, 0);
    EXPECT_EQ(viewer.view.zoomPerMille, 1000);

    viewer.view.zoomStepCount = -2;
    viewer.view.zoomPerMille = 902;
    options(kOkButton, [](FakeDialogControls& c) { c.setInt(kZoomOutEdit, 9); });
    EXPECT_EQ(viewer.view.zoomStepCount, 0);
    EXPECT_EQ(viewer.view.zoomPerMille, 1000);
    EXPECT_TRUE(platform.invalidations.empty() && platform.redraws.empty());
}

TEST_F(OptionsDialogTest, OkRecordsThePlacementAndStoresEverything) {
    platform.setWindowRect({100, 50, 900, 650});
    options(kOkButton);
    EXPECT_EQ(viewer.settings.posX, 100);
    EXPECT_EQ(viewer.settings.posY, 50);
    EXPECT_EQ(viewer.settings.width, 800);
    EXPECT_EQ(viewer.settings.height, 600);
    EXPECT_EQ(viewer.settings.state, 1);
    const QByteArray text = storeText();
    EXPECT_TRUE(text.contains("\"posX\"=dword:00000064")) << text.constData();
    EXPECT_TRUE(text.contains("\"scrollSpeed\"=dword:00000028"));
    EXPECT_FALSE(text.contains("nextUpdateCheck"));
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(OptionsDialogTest, AStoreThatCannotBeWrittenIsReportedAndTheOptionsStayInForce) {
    test::writeBytes(dir.filePath(QStringLiteral("blocker")), "x");
    Viewer denied(platform, SettingsStore(dir.filePath(QStringLiteral("blocker/Pavo"))));
    OptionsDialog dialog(denied);
    runFakeDialog(dialog, kOkButton, [](FakeDialogControls& c) { c.setInt(kScrollSpeedEdit, 77); });
    ASSERT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(platform.boxes[0].text, "Registry access was denied, cannot store user options.");
    EXPECT_EQ(platform.boxes[0].caption, "Access denied");
    EXPECT_EQ(denied.settings.scrollSpeed, 77);
}

TEST_F(OptionsDialogTest, ResetShowsTheDefaultsAndCancelStoresNothing) {
    viewer.settings.scrollSpeed = 99;
    viewer.settings.mute = true;
    viewer.settings.bufferTimeout = 600;
    const QByteArray storedBefore = storeText();
    FakeDialogControls c;
    OptionsDialog dialog(viewer);
    dialog.opened(c);
    EXPECT_EQ(dialog.pressed(c, kResetButton), std::nullopt);  // stays open
    EXPECT_EQ(c.text(kScrollSpeedEdit), "40");
    EXPECT_EQ(c.text(kBufferTimeoutEdit), "15");
    EXPECT_FALSE(c.checked(kMuteBox));
    EXPECT_TRUE(c.checked(kReduceFlickerBox));
    EXPECT_EQ(dialog.pressed(c, kCancelButton), kCancelButton);
    EXPECT_EQ(viewer.settings.scrollSpeed, 99);
    EXPECT_TRUE(viewer.settings.mute);
    EXPECT_EQ(viewer.settings.bufferTimeout, 600);
    EXPECT_EQ(storeText(), storedBefore);
}

TEST_F(OptionsDialogTest, ScalingChoicesConfirmedThenOptionsCancelledStayUnstored) {
    FakeDialogControls c;
    c.onChild = [](DialogId id, DialogHandler& handler) {
        EXPECT_EQ(id, DialogId::Scaling);
        return runFakeDialog(handler, kOkButton,
                             [](FakeDialogControls& s) { s.setText(kUpscaleCombo, "lanczos"); })
            .value_or(0);
    };
    OptionsDialog dialog(viewer);
    dialog.opened(c);
    EXPECT_EQ(dialog.pressed(c, kScalingButton), std::nullopt);
    EXPECT_EQ(c.children.size(), 1U);
    EXPECT_EQ(dialog.pressed(c, kCancelButton), kCancelButton);
    EXPECT_EQ(viewer.settings.upscale, 4);
    EXPECT_FALSE(storeText().contains("\"upscale\""));
}

TEST(InterpolationNames, OnlyWholeNamesInAnyLetterCaseAreRecognised) {
    EXPECT_EQ(parseInterpolationName("LANCZOS", 2), 4);
    EXPECT_EQ(parseInterpolationName("lanczos", 2), 4);
    EXPECT_EQ(parseInterpolationName("Nearest Neighbour", 3), 0);
    EXPECT_EQ(parseInterpolationName("biLinear", 3), 1);
    EXPECT_EQ(parseInterpolationName("Bicubic", 3), 2);
    EXPECT_EQ(parseInterpolationName("area", 0), 3);
    EXPECT_EQ(parseInterpolationName("Lanczos ", 2), 2);  // nothing is trimmed
    EXPECT_EQ(parseInterpolationName("None", 7), 7);
    EXPECT_EQ(parseInterpolationName("", 1), 1);
    EXPECT_EQ(parseInterpolationName(QStringLiteral("\u00c1rea"), 1), 1);  // ASCII only
}

TEST_F(OptionsDialogTest, ScalingOpensOnTheCurrentNamesWithTheFourListedMethods) {
    viewer.settings.largeDownscale = 7;  // only a hand-edited store holds this
    viewer.settings.zoomInScale = 4;
    viewer.settings.largeUpscaleThreshold = 12;
    FakeDialogControls c;
    ScalingDialog dialog(viewer);
    dialog.opened(c);
    for (int id : {kLargeDownscaleCombo, kDownscaleCombo, kUpscaleCombo, kLargeUpscaleCombo,
                   kZoomInCombo, kZoomOutCombo}) {
        EXPECT_EQ(c.items[id], QStringList({"Nearest Neighbour", "Bilinear", "Bicubic", "Area"}));
    }
    EXPECT_EQ(c.text(kLargeDownscaleCombo), "None");
    EXPECT_EQ(c.text(kDownscaleCombo), "Bicubic");
    EXPECT_EQ(c.text(kZoomInCombo), "Lanczos");
    EXPECT_EQ(c.text(kZoomOutCombo), "Area");
    EXPECT_EQ(c.text(kLargeDownscaleThresholdEdit), "3");
    EXPECT_EQ(c.text(kLargeUpscaleThresholdEdit), "12");

    // OK without touching the "None" box keeps its number; typed names are read.
    c.setText(kDownscaleCombo, "Lanczos ");
    c.setText(kUpscaleCombo, "NEAREST NEIGHBOUR");
    c.setText(kLargeDownscaleThresholdEdit, "0");
    c.setText(kLargeUpscaleThresholdEdit, "250");
    EXPECT_EQ(dialog.pressed(c, kOkButton), kOkButton);
    EXPECT_EQ(viewer.settings.largeDownscale, 7);
    EXPECT_EQ(viewer.settings.downscale, 2);
    EXPECT_EQ(viewer.settings.upscale, 0);
    EXPECT_EQ(viewer.settings.largeDownscaleThreshold, 1);
    EXPECT_EQ(viewer.settings.largeUpscaleThreshold, 100);
}

TEST_F(OptionsDialogTest, ScalingResetThenOkStoresTheDefaultsAndCancelNothing) {
    viewer.settings.largeDownscale = 0;
    viewer.settings.zoomOutScale = 1;
    viewer.settings.largeDownscaleThreshold = 50;
    EXPECT_EQ(
        scaling(kCancelButton, [](FakeDialogControls& c) { c.setText(kZoomOutCombo, "Bicubic"); }),
        kCancelButton);
    EXPECT_EQ(viewer.settings.zoomOutScale, 1);

    FakeDialogControls c;
    ScalingDialog dialog(viewer);
    dialog.opened(c);
    EXPECT_EQ(dialog.pressed(c, kResetButton), std::nullopt);
    EXPECT_EQ(c.text(kLargeDownscaleCombo), "Area");
    EXPECT_EQ(dialog.pressed(c, kOkButton), kOkButton);
    const ViewerSettings& s = viewer.settings;
    EXPECT_EQ(std::vector<int>({s.largeDownscale, s.downscale, s.upscale, s.largeUpscale,
                                s.zoomInScale, s.zoomOutScale}),
              std::vector<int>({3, 2, 2, 2, 3, 3}));
    EXPECT_EQ(s.largeDownscaleThreshold, 3);
    EXPECT_EQ(s.largeUpscaleThreshold, 3);
}

}  // namespace
}  // namespace pavo
