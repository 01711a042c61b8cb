// The Options form: controls in tab order, places in dialog units. The labels left of a
// field end just before it, so a wider font grows them away from the field.
#include "platform/qt/dialog_form.h"

namespace pavo::qt {
namespace {

using K = ControlKind;

constexpr ControlEntry kOptionsControls[] = {
    {1029, K::CheckBox, u"Adjust for thin borders", 7, 7, 89, 10,
     u"Allow the window to fill more of the screen.\nThis is a workaround for the thin borders "
     u"introduced in a windows 10 patch.\nIf you use a previous version of windows or an older "
     u"version of windows 10, you may want to disable this."},
    {1006, K::CheckBox, u"Remember exit position and state", 7, 17, 123, 10,
     u"Restore the window to the position and state it was when last exited."},
    {1005, K::CheckBox, u"Default reverse merge", 7, 27, 88, 10,
     u"Reverse the default position of merged images.\nThis option is useful if you are viewing "
     u"images that are ment to be viewed right to left."},
    {1026, K::CheckBox, u"Mute program", 7, 37, 61, 10, u"Prevent the program from beeping."},
    {1027, K::CheckBox, u"Reduce flicker", 7, 47, 61, 10,
     u"Reduce the flicker when an image needs to be re-drawn.\nIf the background does not get "
     u"erased correctly, disabling this option should fix the issue."},
    {1028, K::CheckBox, u"Pre-scale images", 7, 57, 69, 10,
     u"Pre-scale images to further improve responsiveness when moving from image to image.\n"
     u"Should an image not match the window size, disabling this should fix the issue.\n"
     u"Depending on window states and other options, this option may be ignored."},
    {1036, K::CheckBox, u"Automatic update check", 7, 67, 93, 10,
     u"Automatically check for updates every 7 days."},
    {1040, K::CheckBox, u"Window animations", 7, 77, 77, 10,
     u"Use animations for minimize, maximize, etc."},
    {1034, K::CheckBoxRight, u"Snap to monitor edge", 199, 7, 85, 10,
     u"After draging the image,\nsnap it into bounds of the current monitor\nif it was dragged "
     u"outside."},
    {1035, K::CheckBoxRight, u"Sticky window size", 209, 17, 75, 10,
     u"Attempt to keep the window size roughly the same when moving between images of similiar "
     u"size.\nThis option may not work well with images that have drastically different "
     u"resolutions."},
    {1043, K::CheckBoxTextLeft, u"Middle mouse as scroll anchor", 177, 28, 107, 10,
     u"Use the middle mouse button as an anchor to scroll the image,\ninstead of using it to "
     u"toggle fullscreen."},
    {1022, K::CheckBoxTextLeft, u"Relative Scrolling", 215, 39, 69, 10,
     u"When scrolling, scroll relative to the window size.\nThe scrolling speed is then decided "
     u"by the option bellow."},
    {1030, K::CheckBoxTextLeft, u"Default fit to screen", 205, 98, 79, 10,
     u"Scale the image and the window to fill the screen\nwhile maintaining aspect ratio."},
    {1000, K::NumberEdit, nullptr, 7, 88, 28, 14,
     u"Clear the cache that contains the next and previous image\nafter x mintues of being "
     u"idle.\nThe cache is checked once a minute, so the time chosen is not exact."},
    {0, K::Label, u"Buffer timeout in mintues", 37, 90, 0, 0},
    {1019, K::NumberEdit, nullptr, 7, 104, 28, 14, u"The distance the image will normally scroll."},
    {0, K::Label, u"Normal scroll speed in pixels", 37, 106, 0, 0},
    {1020, K::NumberEdit, nullptr, 7, 120, 28, 14,
     u"The distance the image will scroll while holding shift."},
    {0, K::Label, u"Shift scroll speed in pixels", 37, 122, 0, 0},
    {1021, K::NumberEdit, nullptr, 7, 136, 28, 14,
     u"The distance the image will scroll while holding ctrl."},
    {0, K::Label, u"Ctrl scroll speed in pixels", 37, 138, 0, 0},
    {0, K::LabelRight, u"Relative scroll speed %", 178, 52, 75, 10},
    {1023, K::NumberEdit, nullptr, 255, 50, 29, 14,
     u"Scroll by x % of the window size if the option above is enabled,\ninstead of using the "
     u"other scroll speed settings."},
    {0, K::LabelRight, u"Zoom in %", 218, 68, 35, 10},
    {1024, K::NumberEdit, nullptr, 255, 66, 29, 14, u"Zoom in by x % each time."},
    {0, K::LabelRight, u"Zoom out %", 213, 84, 40, 10},
    {1025, K::NumberEdit, nullptr, 255, 82, 29, 14, u"Zoom out by x % each time."},
    {0, K::LabelRight, u"Show original size if h/w ratio is >=", 141, 111, 112, 10},
    {1001, K::NumberEdit, nullptr, 255, 109, 29, 14,
     u"Automatically disable the fit to screen option when opening an image directly.\nIf the "
     u"height / width >= this number, this will take effect.\nThis does not take effect when "
     u"browsing images,\nonly when opening an image directly.\nSet this to 0 to disable it."},
    {1031, K::Button, u"Scaling", 183, 129, 50, 14},
    {1002, K::Button, u"Reset", 235, 129, 50, 14},
    {1, K::DefaultButton, u"OK", 183, 145, 50, 14},
    {2, K::Button, u"Cancel", 235, 145, 50, 14},
};

}  // namespace

const DialogTemplate& optionsTemplate() {
    static const DialogTemplate form{u"Options", 291, 166, kOptionsControls};
    return form;
}

}  // namespace pavo::qt
