#include "platform/qt/window_system.h"

#include <cstdio>
#include <cstdlib>

namespace pavo::qt {
namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

void chooseWindowSystem() {
    if (isSet("QT_QPA_PLATFORM")) return;
    if (isSet("DISPLAY")) {
        // Qt would take Wayland on a Wayland session; X11 through XWayland keeps every
        // window behaviour.
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        return;
    }
    if (isSet("WAYLAND_DISPLAY")) {
        std::fputs(
            "pavo: no X11 display (DISPLAY is not set), so Pavo runs on Wayland alone: "
            "the compositor places the window, and Pavo cannot keep it on its monitor, "
            "snap it to the screen edges or put it back where it was last time. Run "
            "Xwayland (or set DISPLAY) for all of that.\n",
            stderr);
        // X11 cannot work without a display; Qt would try it nonetheless.
        setenv("QT_QPA_PLATFORM", "wayland", 1);
    }
}

}  // namespace pavo::qt
