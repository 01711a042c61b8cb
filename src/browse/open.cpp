#include "browse/open.h"

#include "browse/navigation.h"
#include "browse/neighbour_cache.h"
#include "platform/files.h"
#include "playlist/playlist.h"
#include "view/view.h"
#include "viewer.h"

#include <algorithm>

namespace pavo {
namespace {

std::vector<QString> scanned(const QString& directory) {
    return scanDirectory(directory).value_or(std::vector<QString>{});
}

// The supported files a directory contributes to a list of several paths: its scan,
// without sub-directories.
void appendSupportedFiles(const QString& directory, std::vector<QString>& list) {
    for (const QString& path : scanned(directory)) {
        if (!isDirectory(path) && isSupportedFile(path)) list.push_back(path);
    }
}

// A dropped item that is not a local file carries its address, never a full path.
bool isLocalPath(const QString& item) {
    return item.startsWith(u'/');
}

// Shows the playlist's first entry, opened by the user.
void showFirstEntry(Viewer& viewer) {
    Playlist& playlist = viewer.playlist;
    playlist.index = 0;
    if (!loadShownImage(viewer, playlist.paths.front(), LoadOrigin::Opened))
        showLoadFailure(viewer, playlist.paths.front(), LoadFailure::FailedToLoad);
}

// One folder: its supported files from the command line, its whole scan when dropped.
void openDirectory(Viewer& viewer, const QString& directory, OpenOrigin origin) {
    Playlist& playlist = viewer.playlist;
    if (origin == OpenOrigin::Drop) {
        playlist.paths = scanned(directory);
    } else {
        playlist.paths.clear();
        appendSupportedFiles(directory, playlist.paths);
    }
    if (playlist.paths.empty()) {
        showLoadFailure(viewer, {}, LoadFailure::NoSupportedFiles);
        return;
    }
    showFirstEntry(viewer);
}

// One file: its folder becomes the playlist with the file shown. A file chosen in the
// dialog or dropped is not tried when its folder has nothing Pavo opens, and a failed
// choice in the dialog leaves the playlist empty.
void openFile(Viewer& viewer, const QString& path, OpenOrigin origin) {
    // A start without arguments on Windows hands over the program's own path.
    if (origin == OpenOrigin::CommandLine && path.endsWith(QStringLiteral(".exe"))) return;
    Playlist& playlist = viewer.playlist;
    playlist.paths = scanned(directoryOf(path));
    playlist.index = findPlaylistIndex(playlist.paths, path, playlist.index);
    const bool loaded = (origin == OpenOrigin::CommandLine || !playlist.paths.empty()) &&
                        loadShownImage(viewer, path, LoadOrigin::Opened);
    if (!loaded) {
        if (origin == OpenOrigin::Dialog) playlist.paths.clear();
        showLoadFailure(viewer, path, LoadFailure::FailedToLoad);
        if (origin == OpenOrigin::CommandLine) viewer.platform.postQuit(0);
        return;
    }
    if (!isSupportedFile(path)) insertOpenedPath(viewer, path);
}

// Several files chosen in the dialog: exactly those, in the dialog's order.
void openChosenFiles(Viewer& viewer, const QStringList& paths) {
    viewer.playlist.paths.assign(paths.begin(), paths.end());
    showFirstEntry(viewer);
}

void openSeveral(Viewer& viewer, const QStringList& paths, const QString& spelledTogether) {
    std::vector<QString> list;
    for (const QString& path : paths) {
        if (!isLocalPath(path)) continue;
        if (isDirectory(path)) {
            appendSupportedFiles(path, list);
        } else if (isSupportedFile(path)) {
            list.push_back(path);
        }
    }
    if (!list.empty()) {
        viewer.playlist.paths = std::move(list);
        showFirstEntry(viewer);
        return;
    }
    // Paths that only spell out the program's own folder, split at its spaces, are
    // not a failed open.
    if (spelledTogether.isEmpty() ||
        directoryOf(spelledTogether) != viewer.platform.executableDirectory()) {
        showLoadFailure(viewer, {}, LoadFailure::NoSupportedFiles);
    }
}

}  // namespace

void showLoadFailure(Viewer& viewer, const QString& path, LoadFailure failure) {
    const QString text = failure == LoadFailure::NoSupportedFiles
                             ? QStringLiteral("No supported files found.")
                             : QStringLiteral("Failed to load ") + path + u'.';
    if (!viewer.settings.mute) viewer.platform.beep(BeepKind::Failure);
    viewer.shownImage.display.release();
    viewer.platform.invalidate(clientRect(viewer), true);
    viewer.platform.showMessageBox(BoxOwner::MainWindow, text, QStringLiteral("Not Supported"));
}

void insertOpenedPath(Viewer& viewer, const QString& path) {
    waitForWorkers(viewer);
    auto& paths = viewer.playlist.paths;
    const auto at =
        std::clamp<std::int64_t>(viewer.playlist.index, 0, static_cast<std::int64_t>(paths.size()));
    paths.insert(paths.begin() + at, path);
    // The neighbours were chosen for the playlist without this entry.
    clearNeighbours(viewer);
}

void openPaths(Viewer& viewer, const QStringList& paths, OpenOrigin origin,
               const QString& spelledTogether) {
    if (paths.isEmpty()) return;
    waitForWorkers(viewer);  // no worker may read the playlist while it changes
    if (paths.size() > 1) {
        if (origin == OpenOrigin::Dialog) {
            openChosenFiles(viewer, paths);
        } else {
            openSeveral(viewer, paths, spelledTogether);
        }
        return;
    }
    const QString& path = paths.front();
    if (!isLocalPath(path) && origin != OpenOrigin::CommandLine) {
        showLoadFailure(viewer, path, LoadFailure::FailedToLoad);  // never fetched
    } else if (origin != OpenOrigin::Dialog && isDirectory(path)) {
        openDirectory(viewer, path, origin);
    } else {
        openFile(viewer, path, origin);
    }
}

void showOpenDialog(Viewer& viewer) {
    const QStringList chosen =
        viewer.platform.chooseFiles(QStringLiteral("Choose one or more files to open"));
    openPaths(viewer, chosen, OpenOrigin::Dialog);
}

}  // namespace pavo
