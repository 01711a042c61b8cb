// The Options dialog: every option but the interpolation choices, which the Scaling
// dialog edits.
#include "app/app.h"
#include "app/options_dialogs.h"
#include "browse/neighbour_cache.h"
#include "view/window_fit.h"
#include "viewer.h"

#include <algorithm>
#include <array>

namespace pavo {
namespace {

struct FlagBox {
    int id;
    bool ViewerSettings::*field;
};

// The check boxes that mirror one flag each, in the order the dialog fills them (the
// thin-border box, which stands for a number, comes first and apart).
constexpr std::array<FlagBox, 12> kFlagBoxes{{
    {kReverseMergeBox, &ViewerSettings::reverseMerge},
    {kRememberExitBox, &ViewerSettings::rememberExit},
    {kRelativeScrollBox, &ViewerSettings::useRelativeScroll},
    {kMuteBox, &ViewerSettings::mute},
    {kReduceFlickerBox, &ViewerSettings::reduceFlicker},
    {kPreScaleBox, &ViewerSettings::preScale},
    {kFitToScreenBox, &ViewerSettings::fitToScreen},
    {kSnapToEdgeBox, &ViewerSettings::snapToMonitorEdge},
    {kStickySizeBox, &ViewerSettings::stickyWindowSize},
    {kUpdateCheckBox, &ViewerSettings::checkForUpdate},
    {kAnimationsBox, &ViewerSettings::animations},
    {kMouseAnchorBox, &ViewerSettings::useMouseAnchor},
}};

struct NumberEdit {
    int id;
    std::int32_t ViewerSettings::*field;
    std::int32_t low;
    std::int32_t high;
};

// The number fields shown as stored, with the range OK clamps them to. The buffer
// time-out, shown in minutes, is handled apart.
constexpr std::array<NumberEdit, 7> kNumberEdits{{
    {kShowOriginalEdit, &ViewerSettings::autoShowOriginal, 0, 1000},
    {kScrollSpeedEdit, &ViewerSettings::scrollSpeed, 1, 10000},
    {kShiftScrollEdit, &ViewerSettings::shiftScrollSpeed, 1, 10000},
    {kCtrlScrollEdit, &ViewerSettings::ctrlScrollSpeed, 1, 10000},
    {kRelativeScrollEdit, &ViewerSettings::relativeScroll, 1, 1000},
    {kZoomInEdit, &ViewerSettings::zoomInStep, 1, 50},
    {kZoomOutEdit, &ViewerSettings::zoomOutStep, 1, 50},
}};

constexpr std::int32_t kThinBorderPixels = 7;
constexpr std::int64_t kSecondsPerMinute = 60;
constexpr std::int32_t kShortestBufferTimeout = 60;
constexpr std::int32_t kLongestBufferTimeout = 360000;

// Fills every control from a record: the options in force when the dialog opens, the
// defaults on Reset.
void fillControls(DialogControls& controls, const ViewerSettings& from) {
    controls.setChecked(kThinBordersBox, from.fixWindowPosition >= 1);
    for (const FlagBox& box : kFlagBoxes) controls.setChecked(box.id, from.*box.field);
    controls.setInt(kBufferTimeoutEdit, from.bufferTimeout / kSecondsPerMinute);
    for (const NumberEdit& edit : kNumberEdits) controls.setInt(edit.id, from.*edit.field);
}

// The minutes typed, as seconds within range; computed wide, so that a large number
// of minutes gives the longest time-out instead of wrapping round.
std::int32_t bufferTimeoutFrom(const DialogControls& controls) {
    const std::int64_t seconds = controls.intValue(kBufferTimeoutEdit) * kSecondsPerMinute;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(seconds, kShortestBufferTimeout, kLongestBufferTimeout));
}

// The thin-border allowance changes the usable screen area, so no picture scaled for
// the old one still fits.
void forgetAllScaling(Viewer& viewer) {
    viewer.shownImage.displayReady = false;
    forgetNeighbourScaling(viewer);
}

}  // namespace

void OptionsDialog::opened(DialogControls& controls) {
    fillControls(controls, viewer_.settings);
}

std::optional<int> OptionsDialog::pressed(DialogControls& controls, int button) {
    switch (button) {
        case kOkButton:
            accept(controls);
            return kOkButton;
        case kCancelButton:
            return kCancelButton;
        case kResetButton:
            fillControls(controls, viewer_.defaults);
            return std::nullopt;
        case kScalingButton: {
            ScalingDialog scaling(viewer_);
            controls.runChild(DialogId::Scaling, scaling);
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

void OptionsDialog::accept(DialogControls& controls) {
    ViewerSettings& s = viewer_.settings;
    const std::int32_t fix = controls.checked(kThinBordersBox) ? kThinBorderPixels : 0;
    const bool fixChanged = fix != s.fixWindowPosition;
    s.fixWindowPosition = fix;
    if (fixChanged) forgetAllScaling(viewer_);

    for (const FlagBox& box : kFlagBoxes) s.*box.field = controls.checked(box.id);
    viewer_.merge.reverseMergeActive = s.reverseMerge;
    // `fitToScreen` is the state of the next start; the fit in force stays. Window
    // transitions are the window manager's on Linux, so `animations` acts on nothing.

    s.bufferTimeout = bufferTimeoutFrom(controls);
    const std::int32_t zoomIn = s.zoomInStep;
    const std::int32_t zoomOut = s.zoomOutStep;
    for (const NumberEdit& edit : kNumberEdits) {
        s.*edit.field = std::clamp(controls.intValue(edit.id), edit.low, edit.high);
    }
    if (s.zoomInStep != zoomIn || s.zoomOutStep != zoomOut) {
        viewer_.view.zoomStepCount = 0;
        viewer_.view.zoomPerMille = 1000;
    }

    recordWindowPlacement(viewer_);
    saveSettings(viewer_);
    refreshWindowLimits(viewer_);
}

void runOptionsDialog(Viewer& viewer) {
    OptionsDialog dialog(viewer);
    viewer.platform.runDialog(DialogId::Options, dialog);
}

}  // namespace pavo
