#include "app/options_dialogs.h"
#include "support/fake_dialogs.h"
#include "support/viewer_fixture.h"

#include <array>

namespace pavo {
namespace {

using test::FakeDialogControls;
using test::runFakeDialog;
using S = ViewerSettings;

class OptionsDialogTest : public test::ViewerTest {
  protected:
    // Opens the Options dialog, lets `act` play the user, and presses OK.
    void confirmOptions(const std::function<void(FakeDialogControls&)>& act = [](auto&) {}) {
        OptionsDialog dialog(viewer);
        runFakeDialog(dialog, kOkButton, act);
    }
};

// Each box shows its own flag when the dialog opens and turns only that flag at OK, which
// also records the window's placement and stores the options.
TEST_F(OptionsDialogTest, EachBoxShowsAndStoresItsOwnFlag) {
    // The boxes and, in the same order, their flags.
    const int ids[] = {kReverseMergeBox,  kRememberExitBox, kRelativeScrollBox, kMuteBox,
                       kReduceFlickerBox, kPreScaleBox,     kFitToScreenBox,    kSnapToEdgeBox,
                       kStickySizeBox,    kUpdateCheckBox,  kAnimationsBox,     kMouseAnchorBox};
    const std::array flags{&S::reverseMerge,   &S::rememberExit,      &S::useRelativeScroll,
                           &S::mute,           &S::reduceFlicker,     &S::preScale,
                           &S::fitToScreen,    &S::snapToMonitorEdge, &S::stickyWindowSize,
                           &S::checkForUpdate, &S::animations,        &S::useMouseAnchor};
    viewer.view.fitActive = true;
    platform.setWindowRect({100, 50, 900, 650});
    for (std::size_t box = 0; box < flags.size(); ++box) {
        SCOPED_TRACE(ids[box]);
        const S before = viewer.settings;
        confirmOptions([&](FakeDialogControls& c) {
            EXPECT_EQ(c.checks.at(ids[box]), before.*flags[box]);  // set, not merely missing
            c.setChecked(ids[box], !(before.*flags[box]));
        });
        for (std::size_t other = 0; other < flags.size(); ++other)
            EXPECT_EQ(viewer.settings.*flags[other], before.*flags[other] != (other == box));
        EXPECT_EQ(viewer.merge.reverseMergeActive, viewer.settings.reverseMerge);
    }
    EXPECT_TRUE(viewer.view.fitActive) << "fit to screen is the next start's";
    const S& s = viewer.settings;
    EXPECT_EQ((std::vector{s.posX, s.posY, s.width, s.height, s.state}),
              (std::vector{100, 50, 800, 600, 1}));
    EXPECT_TRUE(test::readBytes(viewer.store.filePath()).contains("\"mute\"=hex:01\n"));
}

// Each field shows its own option (the buffer time-out in whole minutes) and stores what is
// typed into it within the option's range; only a changed zoom step resets the zoom.
TEST_F(OptionsDialogTest, EachFieldShowsItsNumberAndStoresItWithinItsRange) {
    openCommandLine(viewer, {imageFile("a.png", 64, 48)}, dir.path());
    // The field, its option, the option's value, the text shown, the text typed, the value stored.
    const std::tuple<int, std::int32_t S::*, int, const char*, const char*, int> rows[] = {
        {kBufferTimeoutEdit, &S::bufferTimeout, 179, "2", "0", 60},
        // Minutes whose seconds leave 32 bits: the longest time-out, not a wrapped product.
        {kBufferTimeoutEdit, &S::bufferTimeout, 60, "1", "40000000", 360000},
        {kShowOriginalEdit, &S::autoShowOriginal, 0, "0", "-5", 0},
        {kShowOriginalEdit, &S::autoShowOriginal, 3, "3", "1001", 1000},
        {kScrollSpeedEdit, &S::scrollSpeed, 41, "41", "", 1},  // not a number
        {kShiftScrollEdit, &S::shiftScrollSpeed, 201, "201", "20000", 10000},
        {kCtrlScrollEdit, &S::ctrlScrollSpeed, 2, "2", "10000", 10000},
        {kRelativeScrollEdit, &S::relativeScroll, 33, "33", "1001", 1000},
        {kZoomInEdit, &S::zoomInStep, 7, "7", "80", 50},
        {kZoomOutEdit, &S::zoomOutStep, 9, "9", "0", 1},
    };
    for (const auto& [id, field, value, shown, typed, stored] : rows) {
        SCOPED_TRACE(typed);
        viewer.settings.*field = value;
        press(Key::Plus);
        const std::int32_t zoom = viewer.view.zoomPerMille;
        confirmOptions([&, id = id, shown = shown, typed = typed](FakeDialogControls& c) {
            EXPECT_EQ(c.text(id), shown);
            c.setText(id, typed);
        });
        EXPECT_EQ(viewer.settings.*field, stored);
        const bool stepChanged = (id == kZoomInEdit || id == kZoomOutEdit) && stored != value;
        EXPECT_EQ(viewer.view.zoomPerMille, stepChanged ? 1000 : zoom);
        EXPECT_EQ(viewer.view.zoomStepCount == 0, stepChanged);
    }
}

TEST_F(OptionsDialogTest, TheThinBorderBoxStoresSevenOrNoneAndAChangeRescalesEveryPicture) {
    for (const char* neighbour : {"1.png", "3.png"}) imageFile(neighbour, 64, 48);
    openCommandLine(viewer, {imageFile("2.png", 64, 48)}, dir.path());
    press(Key::Right);               // the picture stepped to was scaled ahead
    onTimer(viewer, PrescaleTimer);  // and its neighbours are when the timer fires
    settle();
    const auto scaled = [this] {  // how many of the three pictures are scaled for the window
        return viewer.previousImage.displayReady + viewer.shownImage.displayReady +
               viewer.nextImage.displayReady;
    };
    ASSERT_EQ(scaled(), 3);
    confirmOptions();  // ticked, as the allowance of 7 was: no change, the pictures still fit
    EXPECT_EQ(scaled(), 3);
    EXPECT_EQ(viewer.view.maxWindowWidth, 1920 + 14);
    confirmOptions([](FakeDialogControls& c) { c.setChecked(kThinBordersBox, false); });
    EXPECT_EQ(viewer.settings.fixWindowPosition, 0);
    EXPECT_EQ(scaled(), 0);
    EXPECT_EQ(viewer.view.maxWindowWidth, 1920) << "the usable screen area follows at once";
    viewer.settings.fixWindowPosition = 3;  // any allowance of 1 or more ticks the box
    confirmOptions([](FakeDialogControls& c) { EXPECT_TRUE(c.checked(kThinBordersBox)); });
    EXPECT_EQ(viewer.settings.fixWindowPosition, 7);
}

// Reset shows the defaults and keeps the dialog open. Cancel keeps the options in force,
// with what the Scaling dialog opened from it confirmed, and stores nothing.
TEST_F(OptionsDialogTest, ResetShowsTheDefaultsAndCancelKeepsTheOptionsUnstored) {
    viewer.settings.scrollSpeed = 99;
    viewer.settings.largeDownscale = 0;
    Viewer fresh(platform, SettingsStore(dir.filePath(QStringLiteral("fresh"))));
    FakeDialogControls defaults;
    OptionsDialog(fresh).opened(defaults);
    FakeDialogControls c;
    c.onChild = [this](DialogId id, DialogHandler& scaling) {
        EXPECT_EQ(id, DialogId::Scaling);
        FakeDialogControls s;
        scaling.opened(s);
        s.setText(kLargeDownscaleCombo, "Bilinear");
        EXPECT_EQ(scaling.pressed(s, kCancelButton), kCancelButton);
        EXPECT_EQ(viewer.settings.largeDownscale, 0);
        EXPECT_EQ(scaling.pressed(s, kResetButton), std::nullopt);
        return *scaling.pressed(s, kOkButton);
    };
    OptionsDialog dialog(viewer);
    dialog.opened(c);
    EXPECT_EQ(dialog.pressed(c, kResetButton), std::nullopt);
    EXPECT_TRUE(c.texts == defaults.texts && c.checks == defaults.checks);
    EXPECT_EQ(dialog.pressed(c, kScalingButton), std::nullopt);
    EXPECT_EQ(dialog.pressed(c, kCancelButton), kCancelButton);
    EXPECT_EQ(viewer.settings.scrollSpeed, 99);
    EXPECT_EQ(viewer.settings.largeDownscale, viewer.defaults.largeDownscale);
    EXPECT_FALSE(QFile::exists(viewer.store.filePath()));
}

// The Scaling dialog opens on each method's name ("None" for a number no name stands for)
// and the thresholds. At OK it reads whole names in any letter case, keeps the method for
// any other text, and clamps the thresholds.
TEST_F(OptionsDialogTest, ScalingShowsEachChoiceAndReadsWhatIsTyped) {
    S& s = viewer.settings;
    std::tie(s.largeDownscale, s.downscale, s.upscale, s.largeUpscale, s.zoomInScale,
             s.zoomOutScale, s.largeUpscaleThreshold) = std::tuple{0, 1, 2, 3, 4, 7, 12};
    FakeDialogControls c;
    ScalingDialog dialog(viewer);
    dialog.opened(c);
    const int combos[] = {kLargeDownscaleCombo, kDownscaleCombo, kUpscaleCombo,
                          kLargeUpscaleCombo,   kZoomInCombo,    kZoomOutCombo};
    QStringList shown;
    for (const int id : combos) shown << c.text(id);
    EXPECT_EQ(shown,
              QStringList({"Nearest Neighbour", "Bilinear", "Bicubic", "Area", "Lanczos", "None"}));
    EXPECT_EQ(c.text(kLargeDownscaleThresholdEdit) + " " + c.text(kLargeUpscaleThresholdEdit),
              "3 12");
    const QStringList typed{"biLinear", "Lanczos ", "NEAREST NEIGHBOUR", "lanczos", "", "None"};
    for (int i = 0; i < 6; ++i) c.setText(combos[i], typed[i]);
    c.setText(kLargeDownscaleThresholdEdit, "0");
    c.setText(kLargeUpscaleThresholdEdit, "250");
    EXPECT_EQ(dialog.pressed(c, kOkButton), kOkButton);
    EXPECT_EQ((std::vector{s.largeDownscale, s.downscale, s.upscale, s.largeUpscale, s.zoomInScale,
                           s.zoomOutScale, s.largeDownscaleThreshold, s.largeUpscaleThreshold}),
              (std::vector{1, 1, 0, 4, 4, 7, 1, 100}));
}

}  // namespace
}  // namespace pavo
