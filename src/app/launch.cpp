#include "app/launch.h"

#include "app/app.h"
#include "app/viewer.h"
#include "platform/qt/qt_platform.h"

namespace pavo {

void launchWindow(qt::QtPlatform& platform, Viewer& viewer, WindowEvents& events) {
    loadSettings(viewer);
    initialiseRunState(viewer);
    platform.attach(&events);
    const InitialWindow initial = initialWindow(viewer);
    platform.showInitial(initial.outer, initial.maximized);
    measureRefreshRate(viewer);
}

}  // namespace pavo
