#pragma once

// The Options and Scaling dialogs, written against the dialog controls so that the same
// logic drives the real forms and the tests' fake.

#include "platform/dialogs.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace pavo {

struct Viewer;

// Control ids of the Options dialog.
enum OptionsControl : int {
    kThinBordersBox = 1029,
    kReverseMergeBox = 1005,
    kRememberExitBox = 1006,
    kRelativeScrollBox = 1022,
    kMuteBox = 1026,
    kReduceFlickerBox = 1027,
    kPreScaleBox = 1028,
    kFitToScreenBox = 1030,
    kSnapToEdgeBox = 1034,
    kStickySizeBox = 1035,
    kUpdateCheckBox = 1036,
    kAnimationsBox = 1040,
    kMouseAnchorBox = 1043,
    kBufferTimeoutEdit = 1000,
    kShowOriginalEdit = 1001,
    kScrollSpeedEdit = 1019,
    kShiftScrollEdit = 1020,
    kCtrlScrollEdit = 1021,
    kRelativeScrollEdit = 1023,
    kZoomInEdit = 1024,
    kZoomOutEdit = 1025,
    kScalingButton = 1031,
    kResetButton = 1002,
};

// Control ids of the Scaling dialog (the Reset button is 1002 here too).
enum ScalingControl : int {
    kLargeDownscaleCombo = 5112,
    kDownscaleCombo = 5113,
    kUpscaleCombo = 5114,
    kLargeUpscaleCombo = 5115,
    kZoomInCombo = 5116,
    kZoomOutCombo = 5117,
    kLargeDownscaleThresholdEdit = 1000,
    kLargeUpscaleThresholdEdit = 1001,
};

// The Options dialog's logic; it stores into the viewer only at OK.
class OptionsDialog final : public DialogHandler {
  public:
    explicit OptionsDialog(Viewer& viewer) : viewer_(viewer) {}
    void opened(DialogControls& controls) override;
    std::optional<int> pressed(DialogControls& controls, int button) override;

  private:
    void accept(DialogControls& controls);
    Viewer& viewer_;
};

// The Scaling dialog's logic; it stores into the options in force at OK, which reach
// the store with the next confirmed Options dialog.
class ScalingDialog final : public DialogHandler {
  public:
    explicit ScalingDialog(Viewer& viewer) : viewer_(viewer) {}
    void opened(DialogControls& controls) override;
    std::optional<int> pressed(DialogControls& controls, int button) override;

  private:
    Viewer& viewer_;
};

// Opens the Options dialog over the main window.
void runOptionsDialog(Viewer& viewer);

// The method a typed name stands for (letters compared without case, nothing trimmed),
// or `previous` for any other text.
std::int32_t parseInterpolationName(const QString& text, std::int32_t previous);

}  // namespace pavo
