// Start-up: the first window, the run state and the command line.
#include "app/app.h"
#include "playlist/open.h"
#include "viewer.h"

namespace pavo {

InitialWindow initialWindow(const Viewer& viewer) {
    const ViewerSettings& s = viewer.settings;
    if (s.rememberExit) {
        return {{s.posX, s.posY, s.posX + s.width, s.posY + s.height}, s.state == 3};
    }
    const int x = viewer.defaults.posX - s.fixWindowPosition;
    const int y = viewer.defaults.posY;
    return {{x, y, x + viewer.defaults.width, y + viewer.defaults.height}, false};
}

void initialiseRunState(Viewer& viewer) {
    viewer.merge.reverseMergeActive = viewer.settings.reverseMerge.load();
    viewer.view.fitActive = viewer.settings.fitToScreen.load();
    markActivity(viewer);
}

void launchWindow(Viewer& viewer, WindowEvents& events) {
    loadSettings(viewer);
    initialiseRunState(viewer);
    viewer.platform.attach(events, windowSetup());
    const InitialWindow initial = initialWindow(viewer);
    viewer.platform.showInitial(initial.outer, initial.maximized);
    measureRefreshRate(viewer);
}

void openCommandLine(Viewer& viewer, const QStringList& arguments) {
    openPaths(viewer, arguments, OpenOrigin::CommandLine);
}

}  // namespace pavo
