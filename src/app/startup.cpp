// Start-up: the first window, the run state and the command line.
#include "app/app.h"
#include "browse/colour.h"
#include "browse/load.h"
#include "browse/open.h"
#include "playlist/playlist.h"
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
    viewer.merge.reverseMergeActive = viewer.settings.reverseMerge;
    viewer.view.fitActive = viewer.settings.fitToScreen;
    setUpColour(viewer, initialWindow(viewer).outer);
    markActivity(viewer);
}

void loadRunState(Viewer& viewer) {
    loadSettings(viewer);
    initialiseRunState(viewer);
}

StartPreview startPreviewFor(const Viewer& viewer) {
    const bool keepsItsSize = initialWindow(viewer).maximized;
    return keepsItsSize && viewer.view.fitActive && viewer.merge.mergeMode == 0
               ? StartPreview::First
               : StartPreview::None;
}

void launchWindow(Viewer& viewer, WindowEvents& events) {
    viewer.platform.attach(events, windowSetup());
    const InitialWindow initial = initialWindow(viewer);
    viewer.platform.showInitial(initial.outer, initial.maximized);
    measureRefreshRate(viewer);
    // The idle release looks once a minute, the cursor watch every half second.
    viewer.platform.armTimer(IdleReleaseTimer, 60000);
    viewer.platform.armTimer(CursorWatchTimer, 500);
}

void openCommandLine(Viewer& viewer, const QStringList& arguments, const QString& workingFolder) {
    // Full paths, whatever folder Pavo was started from, so the playlist and the title
    // hold them; the arguments joined are made absolute as one, since together they
    // may spell one folder name split at its spaces.
    QStringList paths;
    for (const QString& argument : arguments) paths.append(absolutePath(argument, workingFolder));
    openPaths(viewer, paths, OpenOrigin::CommandLine,
              absolutePath(arguments.join(u' '), workingFolder));
}

}  // namespace pavo
