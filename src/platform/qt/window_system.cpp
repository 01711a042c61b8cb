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

bool chooseWindowSystem() {
    if (isSet("QT_QPA_PLATFORM")) return false;
    if (isSet("DISPLAY")) {
        // Qt would take Wayland on a Wayland session; X11 through XWayland keeps every
        // window behaviour.
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        return true;
    }
    if (!isSet("WAYLAND_DISPLAY")) return false;
    std::fputs(
        "pavo: no X11 display (DISPLAY is not set), so Pavo runs on Wayland alone: "
        "the compositor places the window, and Pavo cannot keep it on its monitor, "
        "snap it to the screen edges or put it back where it was last time. Run "
        "Xwayland (or set DISPLAY) for all of that. On Wayland alone Qt needs its "
        "Wayland plugin (Debian package qt6-wayland).\n",
        stderr);
    // X11 cannot work without a display; Qt would try it nonetheless.
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    return true;
}

void releaseWindowSystemChoice(bool chosen) {
    if (chosen) unsetenv("QT_QPA_PLATFORM");
}

}  // namespace pavo::qt
