// The Scaling dialog: the interpolation of each kind of resize, and the two thresholds
// of large scaling.
#include "app/options_dialogs.h"
#include "view/scale.h"
#include "viewer.h"

#include <algorithm>
#include <array>

namespace pavo {
namespace {

struct MethodCombo {
    int id;
    std::int32_t ViewerSettings::*field;
};

// In the order the dialog creates them and OK reads them.
constexpr std::array<MethodCombo, 6> kMethodCombos{{
    {kLargeDownscaleCombo, &ViewerSettings::largeDownscale},
    {kDownscaleCombo, &ViewerSettings::downscale},
    {kUpscaleCombo, &ViewerSettings::upscale},
    {kLargeUpscaleCombo, &ViewerSettings::largeUpscale},
    {kZoomInCombo, &ViewerSettings::zoomInScale},
    {kZoomOutCombo, &ViewerSettings::zoomOutScale},
}};

// Lanczos is not offered in the list, but typing its name chooses it.
const QStringList kListedMethods{QStringLiteral("Nearest Neighbour"), QStringLiteral("Bilinear"),
                                 QStringLiteral("Bicubic"), QStringLiteral("Area")};
constexpr int kFirstSelected = 2;

constexpr std::int32_t kLowestThreshold = 1;
constexpr std::int32_t kHighestThreshold = 100;

void fillMethods(DialogControls& controls, const ViewerSettings& from) {
    for (const MethodCombo& combo : kMethodCombos) {
        controls.setText(combo.id, interpolationName(from.*combo.field));
    }
}

void fillThresholds(DialogControls& controls, const ViewerSettings& from) {
    controls.setInt(kLargeDownscaleThresholdEdit, from.largeDownscaleThreshold);
    controls.setInt(kLargeUpscaleThresholdEdit, from.largeUpscaleThreshold);
}

std::int32_t thresholdFrom(const DialogControls& controls, int id) {
    return std::clamp(controls.intValue(id), kLowestThreshold, kHighestThreshold);
}

}  // namespace

std::int32_t parseInterpolationName(const QString& text, std::int32_t previous) {
    static const std::array<const char16_t*, 5> names{u"nearest neighbour", u"bilinear", u"bicubic",
                                                      u"area", u"lanczos"};
    QString lower = text;
    for (QChar& c : lower) {
        if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() - u'A' + u'a');
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (lower == QString::fromUtf16(names[i])) return static_cast<std::int32_t>(i);
    }
    return previous;
}

void ScalingDialog::opened(DialogControls& controls) {
    for (const MethodCombo& combo : kMethodCombos) {
        controls.setItems(combo.id, kListedMethods, kFirstSelected);
    }
    fillMethods(controls, viewer_.settings);
    fillThresholds(controls, viewer_.settings);
}

std::optional<int> ScalingDialog::pressed(DialogControls& controls, int button) {
    ViewerSettings& s = viewer_.settings;
    switch (button) {
        case kOkButton:
            for (const MethodCombo& combo : kMethodCombos) {
                s.*combo.field = parseInterpolationName(controls.text(combo.id), s.*combo.field);
            }
            s.largeDownscaleThreshold = thresholdFrom(controls, kLargeDownscaleThresholdEdit);
            s.largeUpscaleThreshold = thresholdFrom(controls, kLargeUpscaleThresholdEdit);
            return kOkButton;
        case kCancelButton:
            return kCancelButton;
        case kResetButton:
            fillMethods(controls, viewer_.defaults);
            fillThresholds(controls, viewer_.defaults);
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

}  // namespace pavo
