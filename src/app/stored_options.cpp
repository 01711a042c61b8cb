// The options in the store: loaded at start, saved from the Options dialog, the window's
// placement saved at every exit. A store that cannot be reached is reported.
#include "app/app.h"
#include "platform/settings_store.h"
#include "settings/settings.h"
#include "viewer.h"

namespace pavo {
namespace {

const QString kAccessDenied = QStringLiteral("Access denied");
const QString kCannotRead =
    QStringLiteral("Registry access was denied, could not read the options.");
// A save that did not reach the disk is reported like one that could not start, so the
// user is never told nothing while the options are lost.
const QString kCannotStore =
    QStringLiteral("Registry access was denied, cannot store user options.");

void showAccessDenied(Viewer& viewer, const QString& text) {
    viewer.platform.showMessageBox(BoxOwner::None, text, kAccessDenied);
}

}  // namespace

void loadSettings(Viewer& viewer) {
    if (!readSettings(viewer.store, viewer.settings)) showAccessDenied(viewer, kCannotRead);
}

void saveSettings(Viewer& viewer) {
    if (!writeSettings(viewer.store, viewer.settings)) showAccessDenied(viewer, kCannotStore);
}

void recordWindowPlacement(Viewer& viewer) {
    ViewerSettings& current = viewer.settings;
    if (const auto placement = viewer.platform.windowPlacement()) {
        current.posX = placement->normal.left;
        current.posY = placement->normal.top;
        current.width = placement->normal.width();
        current.height = placement->normal.height();
        current.state = placement->showCommand;
    } else {
        current.posX = -current.fixWindowPosition;
        current.posY = 0;
        current.width = 600;
        current.height = 800;
        current.state = 1;
    }
}

void saveWindowPlacement(Viewer& viewer) {
    recordWindowPlacement(viewer);
    if (!writeWindowPlacement(viewer.store, viewer.settings))
        showAccessDenied(viewer, kCannotStore);
}

}  // namespace pavo
