// The forms of About, Shortcuts and "Update available". Their texts of any length come
// from the logic; the form grows around them.
#include "platform/qt/dialog_form.h"

namespace pavo::qt {
namespace {

using K = ControlKind;

constexpr ControlEntry kAboutControls[] = {
    {0, K::Icon, nullptr, 14, 14, 21, 20},
    {kInformationText, K::InformationText, nullptr, 42, 18, 0, 0},
    {1, K::DefaultButton, u"OK", 60, 41, 50, 14},
};

constexpr ControlEntry kShortcutsControls[] = {
    {kInformationText, K::InformationText, nullptr, 7, 7, 0, 0},
    {1, K::DefaultButton, u"OK", 95, 270, 50, 14},
};

constexpr ControlEntry kUpdateControls[] = {
    {0, K::WrappedLabel,
     u"A new version of Pavo is available. Do you want to open the website and update now?", 7, 7,
     231, 24},
    {1038, K::DefaultButton, u"Open website", 80, 41, 50, 14},
    {1039, K::Button, u"Skip version", 134, 41, 50, 14},
    {1037, K::Button, u"Not now", 188, 41, 50, 14},
};

}  // namespace

const DialogTemplate& aboutTemplate() {
    static const DialogTemplate form{u"About Pavo", 170, 62, kAboutControls};
    return form;
}

const DialogTemplate& shortcutsTemplate() {
    static const DialogTemplate form{u"Shortcuts", 240, 291, kShortcutsControls};
    return form;
}

const DialogTemplate& updateTemplate() {
    static const DialogTemplate form{u"Update available", 245, 62, kUpdateControls};
    return form;
}

}  // namespace pavo::qt
