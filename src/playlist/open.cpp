#include "playlist/open.h"

#include "image/navigation.h"
#include "image/neighbour_cache.h"
#include "platform/files.h"
#include "playlist/playlist.h"
#include "view/view.h"
#include "viewer.h"

#include <algorithm>

namespace pavo {
namespace {

// The supported files a directory contributes to a list of several paths: its scan,
// without sub-directories.
void appendSupportedFiles(const QString& directory, std::vector<QString>& list) {
    for (const QString& path : scanDirectory(directory).value_or(std::vector<QString>{})) {
        if (!isDirectory(path) && isSupportedFile(path)) list.push_back(path);
    }
}

// Shows the playlist's first entry, opened by the user.
void showFirstEntry(Viewer& viewer) {
    Playlist& playlist = viewer.playlist;
    playlist.index = 0;
    if (!loadShownImage(viewer, playlist.paths.front(), LoadOrigin::Opened))
        showLoadFailure(viewer, playlist.paths.front(), LoadFailure::FailedToLoad);
}

void openDirectory(Viewer& viewer, const QString& directory) {
    Playlist& playlist = viewer.playlist;
    appendSupportedFiles(directory, playlist.paths);
    if (playlist.paths.empty()) {
        showLoadFailure(viewer, {}, LoadFailure::NoSupportedFiles);
        return;
    }
    showFirstEntry(viewer);
}

void openFile(Viewer& viewer, const QString& path, OpenOrigin origin) {
    // A start without arguments on Windows hands over the program's own path.
    if (path.endsWith(QStringLiteral(".exe"))) return;
    Playlist& playlist = viewer.playlist;
    playlist.paths = scanDirectory(directoryOf(path)).value_or(std::vector<QString>{});
    playlist.index = findPlaylistIndex(playlist.paths, path, playlist.index);
    if (!loadShownImage(viewer, path, LoadOrigin::Opened)) {
        showLoadFailure(viewer, path, LoadFailure::FailedToLoad);
        if (origin == OpenOrigin::CommandLine) viewer.platform.postQuit(0);
        return;
    }
    if (!isSupportedFile(path)) insertOpenedPath(viewer, path);
}

void openSeveral(Viewer& viewer, const QStringList& paths, const QString& spelledTogether) {
    std::vector<QString> list;
    for (const QString& path : paths) {
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
    if (paths.size() == 1) {
        if (isDirectory(paths.front())) {
            openDirectory(viewer, paths.front());
        } else {
            openFile(viewer, paths.front(), origin);
        }
        return;
    }
    openSeveral(viewer, paths, spelledTogether);
}

}  // namespace pavo
