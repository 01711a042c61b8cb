#include "browse/open.h"

#include "browse/load.h"
#include "browse/navigation.h"
#include "browse/neighbour_cache.h"
#include "platform/files.h"
#include "playlist/playlist.h"
#include "view/view.h"
#include "viewer.h"

#include <algorithm>
#include <utility>

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
        clearNeighbours(viewer);  // they were decoded for another folder
        showLoadFailure(viewer, {}, LoadFailure::NoSupportedFiles);
        return;
    }
    showFirstEntry(viewer);
}

// Loads a file the user opened, reporting a failure: the dialog's choice then leaves the
// playlist empty, the command line's ends the program.
void showOpenedFile(Viewer& viewer, const QString& path, OpenOrigin origin) {
    Playlist& playlist = viewer.playlist;
    // Mid-way through the window manager's framing the window may be placed wrongly for a
    // moment; the first fit goes by where the window system has it.
    if (origin == OpenOrigin::CommandLine) viewer.platform.refreshGeometry();
    const bool loaded = (origin == OpenOrigin::CommandLine || !playlist.paths.empty()) &&
                        loadShownImage(viewer, path, LoadOrigin::Opened);
    if (!loaded) {
        if (origin == OpenOrigin::Dialog) {
            playlist.paths.clear();
            clearNeighbours(viewer);
        }
        showLoadFailure(viewer, path, LoadFailure::FailedToLoad);
        if (origin == OpenOrigin::CommandLine) viewer.platform.postQuit(0);
        return;
    }
    // A start's file takes its place once its folder is listed.
    if (!isSupportedFile(path) && origin != OpenOrigin::CommandLine) insertOpenedPath(viewer, path);
}

// The folder of the file a start opened is listed: the playlist becomes it, with the file
// at its place (one of an extension Pavo does not list where the index stands, as an
// opened file always goes), and the neighbours are decoded for it.
void landFolderScan(Viewer& viewer, const QString& path, std::vector<QString> paths) {
    Playlist& playlist = viewer.playlist;
    if (playlist.paths.size() != 1 || playlist.paths.front() != path) return;  // opened anew
    const std::int32_t index = findPlaylistIndex(paths, path, 0);
    if (paths.empty() || paths[static_cast<std::size_t>(index)] != path)
        paths.insert(paths.begin() + index, path);
    playlist.paths = std::move(paths);
    playlist.index = index;
    const std::int32_t steps = std::exchange(viewer.navigation.stepsAwaitingScan, 0);
    if (!viewer.shownImage.ready || viewer.navigation.pending) return;
    if (viewer.merge.mergeMode != 0) {
        // Merged while the file was alone: the pair is made now that there is a partner.
        if (!loadShownImage(viewer, path, LoadOrigin::Step))
            showLoadFailure(viewer, path, LoadFailure::FailedToLoad);
    } else {
        startNeighbourWorkers(viewer);
    }
    if (steps != 0) moveBy(viewer, steps);
}

// Lists the folder of the file a start opens on a job: a folder of a hundred thousand
// files takes longer to list and sort than a photo takes to decode, and would hold the
// first picture back. Until it lands the playlist is that file alone.
void startFolderScan(Viewer& viewer, const QString& path) {
    JobSlot& slot = viewer.navigation.folderScan;
    const JobSlot::Ticket ticket = slot.begin(nextJobId(viewer));
    startJob<std::vector<QString>>(
        viewer.platform, viewer.platform, ticket.token,
        [directory = directoryOf(path)](const CancelToken&) {
            return std::optional<std::vector<QString>>(scanned(directory));
        },
        [&viewer, id = ticket.id, path](std::optional<std::vector<QString>> paths) {
            JobSlot& slot = viewer.navigation.folderScan;
            if (!slot.wants(id)) return;
            slot.done();
            if (paths) landFolderScan(viewer, path, std::move(*paths));
        });
}

// One file: its folder becomes the playlist with the file shown. A file chosen in the
// dialog or dropped is not tried when its folder has nothing Pavo opens. The file a start
// opens is shown once the decode begun before the window existed is there.
void openFile(Viewer& viewer, const QString& path, OpenOrigin origin) {
    // A start without arguments on Windows hands over the program's own path.
    if (origin == OpenOrigin::CommandLine && path.endsWith(QStringLiteral(".exe"))) return;
    Playlist& playlist = viewer.playlist;
    if (origin == OpenOrigin::CommandLine) {
        playlist.paths = {path};
        playlist.index = 0;
        startFolderScan(viewer, path);
    } else {
        playlist.paths = scanned(directoryOf(path));
        playlist.index = findPlaylistIndex(playlist.paths, path, playlist.index);
    }
    if (origin == OpenOrigin::CommandLine && decodeStarted(viewer, path) &&
        !decodeDone(viewer, path)) {
        viewer.navigation.pending = PendingStep{
            .awaits = PendingStep::Awaits::Decode, .origin = LoadOrigin::Opened, .path = path};
        showStartPreview(viewer);
        return;
    }
    showOpenedFile(viewer, path, origin);
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
    dropShownPicture(viewer);
    // The title names what could not be shown: the entry at the index, or the file the
    // user opened, which the report names too.
    if (failure == LoadFailure::FailedToLoad) viewer.platform.setTitle(path);
    tellLoadFailure(viewer, path, failure);
}

void tellLoadFailure(Viewer& viewer, const QString& path, LoadFailure failure) {
    const QString text = failure == LoadFailure::NoSupportedFiles
                             ? QStringLiteral("No supported files found.")
                             : QStringLiteral("Failed to load ") + path + u'.';
    if (!viewer.settings.mute) viewer.platform.beep(BeepKind::Failure);
    // The box comes last: its event loop may run other work, which finds all settled.
    viewer.platform.showMessageBox(BoxOwner::MainWindow, text, QStringLiteral("Not Supported"));
}

void runGuarded(Viewer& viewer, const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception&) {
        // A decode, scale or join that threw (OpenCV refused, memory ran out) leaves no
        // picture that stands for the file: it goes, as after a failed load. The report
        // waits for the event loop, since the handler that threw may be deep inside a
        // change of the window.
        dropShownPicture(viewer);
        if (!hasShownEntry(viewer.playlist)) return;
        viewer.platform.runOnUiThread([&viewer, path = currentPath(viewer.playlist)] {
            tellLoadFailure(viewer, path, LoadFailure::FailedToLoad);
        });
    }
}

void insertOpenedPath(Viewer& viewer, const QString& path) {
    auto& paths = viewer.playlist.paths;
    const auto at =
        std::clamp<std::int64_t>(viewer.playlist.index, 0, static_cast<std::int64_t>(paths.size()));
    paths.insert(paths.begin() + at, path);
    // The neighbours were chosen for the playlist without this entry.
    startNeighbourWorkers(viewer);
}

void finishOpening(Viewer& viewer, const QString& path) {
    showOpenedFile(viewer, path, OpenOrigin::CommandLine);
}

void openPaths(Viewer& viewer, const QStringList& paths, OpenOrigin origin,
               const QString& spelledTogether) {
    if (paths.isEmpty()) return;
    viewer.navigation.folderScan.cancel();  // a start's folder, no longer wanted
    viewer.navigation.stepsAwaitingScan = 0;
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
