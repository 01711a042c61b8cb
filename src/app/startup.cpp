#include "app/app.h"
#include "app/viewer.h"
#include "platform/files.h"

namespace pavo {
namespace {

// The supported files a directory contributes to a list of several arguments: its
// scan, without sub-directories.
void appendSupportedFiles(const QString& directory, std::vector<QString>& list) {
    for (const QString& path : scanDirectory(directory).value_or(std::vector<QString>{})) {
        if (!isDirectory(path) && isSupportedFile(path)) list.push_back(path);
    }
}

void openDirectoryArgument(Viewer& viewer, const QString& directory) {
    Playlist& playlist = viewer.playlist;
    appendSupportedFiles(directory, playlist.paths);
    if (playlist.paths.empty()) {
        showLoadFailure(viewer, {}, true);
        return;
    }
    playlist.index = 0;
    if (!loadShownImage(viewer, playlist.paths.front(), true))
        showLoadFailure(viewer, playlist.paths.front(), false);
}

void openFileArgument(Viewer& viewer, const QString& path) {
    // A start without arguments on Windows hands over the program's own path.
    if (path.endsWith(QStringLiteral(".exe"))) return;
    Playlist& playlist = viewer.playlist;
    playlist.paths = scanDirectory(directoryOf(path)).value_or(std::vector<QString>{});
    playlist.index = findPlaylistIndex(playlist.paths, path, playlist.index);
    if (!loadShownImage(viewer, path, true)) {
        showLoadFailure(viewer, path, false);
        viewer.platform.postQuit(0);
        return;
    }
    if (!isSupportedFile(path)) insertOpenedPath(viewer, path);
}

void openSeveralArguments(Viewer& viewer, const QStringList& arguments) {
    std::vector<QString> list;
    for (const QString& argument : arguments) {
        if (isDirectory(argument)) {
            appendSupportedFiles(argument, list);
        } else if (isSupportedFile(argument)) {
            list.push_back(argument);
        }
    }
    Playlist& playlist = viewer.playlist;
    if (!list.empty()) {
        playlist.paths = std::move(list);
        playlist.index = 0;
        if (!loadShownImage(viewer, playlist.paths.front(), true)) {
            showLoadFailure(viewer, playlist.paths.front(), false);
        }
        return;
    }
    // Arguments that only spell out the program's own folder, split at its spaces,
    // are not a failed open.
    if (directoryOf(arguments.join(u' ')) != viewer.platform.executableDirectory()) {
        showLoadFailure(viewer, {}, true);
    }
}

}  // namespace

InitialWindow initialWindow(const Viewer& viewer) {
    const ViewerSettings& s = viewer.settings;
    if (s.rememberExit) {
        return {{s.posX, s.posY, s.posX + s.width, s.posY + s.height}, s.state == 3};
    }
    const int x = viewer.defaults.posX - s.fixWindowPosition;
    const int y = viewer.defaults.posY;
    return {{x, y, x + viewer.defaults.width, y + viewer.defaults.height}, false};
}

void openCommandLine(Viewer& viewer, const QStringList& arguments) {
    if (arguments.isEmpty()) return;
    if (arguments.size() == 1) {
        if (isDirectory(arguments.front())) {
            openDirectoryArgument(viewer, arguments.front());
        } else {
            openFileArgument(viewer, arguments.front());
        }
        return;
    }
    openSeveralArguments(viewer, arguments);
}

void initialiseRunState(Viewer& viewer) {
    viewer.reverseMergeActive = viewer.settings.reverseMerge.load();
    viewer.view.fitActive = viewer.settings.fitToScreen.load();
    markActivity(viewer);
}

}  // namespace pavo
