#pragma once

#include "platform/platform.h"

namespace pavo {

struct Viewer;
namespace qt {
class QtPlatform;
}

// The program's start up to the command line: options first, then the run state, the
// window at its first place (where the user left it, or the default corner), and the
// refresh rate of its monitor.
void launchWindow(qt::QtPlatform& platform, Viewer& viewer, WindowEvents& events);

}  // namespace pavo
