// The Scaling form. Its combo boxes sit at pixel places, as the dialog creates them at
// run time; the thresholds' labels end just before their fields.
#include "platform/qt/dialog_form.h"

namespace pavo::qt {
namespace {

using K = ControlKind;

constexpr ControlEntry kScalingControls[] = {
    {0, K::Label, u"Large downscale", 7, 8, 0, 0},
    {5112, K::Combo, nullptr, 8, 26, 0, 0, u"This is used for large downscaling."},
    {0, K::Label, u"Downscale", 7, 33, 0, 0},
    {5113, K::Combo, nullptr, 8, 68, 0, 0, u"This is used for downscaling."},
    {0, K::Label, u"Upscale", 7, 59, 0, 0},
    {5114, K::Combo, nullptr, 8, 110, 0, 0, u"This is used for upscaling."},
    {0, K::Label, u"Large upscale", 7, 85, 0, 0},
    {5115, K::Combo, nullptr, 8, 152, 0, 0, u"This is used for large upscaling."},
    {0, K::Label, u"Zoom in", 152, 8, 0, 0},
    {5116, K::Combo, nullptr, 225, 26, 0, 0, u"This is used when zooming in."},
    {0, K::Label, u"Zoom out", 152, 34, 0, 0},
    {5117, K::Combo, nullptr, 225, 68, 0, 0, u"This is used when zooming out."},
    {0, K::LabelRight, u"Large downscale threshold", 137, 65, 85, 10},
    {1000, K::NumberEdit, nullptr, 225, 63, 31, 14,
     u"The threshold that defines what is large downscaling.\nThis is the multiplier for the "
     u"total change in pixels."},
    {0, K::LabelRight, u"Large upscale threshold", 146, 81, 76, 10},
    {1001, K::NumberEdit, nullptr, 225, 81, 31, 14,
     u"The threshold that defines what is large upscaling.\nThis is the multiplier for the "
     u"total change in pixels."},
    {1002, K::Button, u"Reset", 207, 99, 50, 14},
    {1, K::DefaultButton, u"OK", 155, 115, 50, 14},
    {2, K::Button, u"Cancel", 207, 115, 50, 14},
};

}  // namespace

const DialogTemplate& scalingTemplate() {
    static const DialogTemplate form{u"Scaling", 263, 136, kScalingControls};
    return form;
}

}  // namespace pavo::qt
