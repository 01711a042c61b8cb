// Going back to the folder: the full reload, the Go-to dialog and deletion.
#include "browse/load.h"
#include "browse/navigation.h"
#include "browse/neighbour_cache.h"
#include "browse/open.h"
#include "platform/files.h"
#include "playlist/playlist.h"
#include "viewer.h"

#include <climits>

namespace pavo {
namespace {

void warn(Viewer& viewer, const QString& text, const QString& caption) {
    if (!viewer.settings.mute) viewer.platform.beep(BeepKind::Failure);
    viewer.platform.showMessageBox(BoxOwner::MainWindow, text, caption);
}

// The Go-to field's number: 0 when it is not one.
std::int64_t typedNumber(const QString& text) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    return ok ? value : 0;
}

}  // namespace

void rescanDirectory(Viewer& viewer) {
    Playlist& playlist = viewer.playlist;
    if (!hasShownEntry(playlist)) return;
    const std::int32_t oldIndex = playlist.index;
    const QString current = currentPath(viewer.playlist);
    const QString directory = directoryOf(current);
    if (!isDirectory(directory)) {
        warn(viewer, QStringLiteral("Directory was not found."), QStringLiteral("Invalid path"));
        return;
    }
    playlist.paths = scanDirectory(directory).value_or(std::vector<QString>{});
    if (playlist.paths.empty()) {
        clearNeighbours(viewer);  // they were decoded for files that are gone
        showLoadFailure(viewer, {}, LoadFailure::NoSupportedFiles);
        return;
    }
    const auto count = static_cast<std::int32_t>(playlist.paths.size());
    const std::int32_t found = findPlaylistIndex(playlist.paths, current, oldIndex);
    if (playlist.paths[static_cast<std::size_t>(found)] == current) {
        playlist.index = found;
    } else {
        // The shown file is gone: the one now at its place, or the first after the last.
        playlist.index = oldIndex + 1 <= count ? oldIndex : 0;
    }
    if (!loadShownImage(viewer, currentPath(viewer.playlist), LoadOrigin::Step))
        showLoadFailure(viewer, currentPath(viewer.playlist), LoadFailure::FailedToLoad);
}

void showGoToDialog(Viewer& viewer) {
    Playlist& playlist = viewer.playlist;
    const auto count = static_cast<std::int32_t>(playlist.paths.size());
    const std::int32_t position = playlist.paths.empty() ? 0 : playlist.index + 1;
    const auto typed = viewer.platform.askPosition(position, count);
    if (!typed || count < 2) return;
    const std::int64_t n = typedNumber(*typed);
    const std::int32_t target = n < 1       ? 0
                                : n > count ? count - 1
                                            : static_cast<std::int32_t>(n - 1);
    playlist.index = target;
    if (!loadShownImage(viewer, currentPath(viewer.playlist), LoadOrigin::Step))
        showLoadFailure(viewer, currentPath(viewer.playlist), LoadFailure::FailedToLoad);
}

void deleteShownFile(Viewer& viewer) {
    if (!hasShownEntry(viewer.playlist)) return;
    const QString path = currentPath(viewer.playlist);
    // A path the system calls cannot take whole is never handed over cut short; it is
    // told first, since the existence test itself would fail on its length.
    if (encodeFileName(path).size() >= PATH_MAX) {
        warn(viewer, QStringLiteral("The file path is too long.\nManual delete is required."),
             QStringLiteral("Delete failed"));
        return;
    }
    if (!fileExists(path)) {
        warn(viewer, QStringLiteral("Could not delete ") + path + u'.',
             QStringLiteral("Delete failed"));
        rescanDirectory(viewer);
        return;
    }
    if (!viewer.platform.askYesNo(QStringLiteral("Move this file to the trash?\n") + path,
                                  QStringLiteral("Delete file"))) {
        return;
    }
    if (viewer.platform.moveToTrash(path) == TrashResult::Refused) {
        // Nothing is deleted outright when no trash can take the file.
        warn(viewer,
             QStringLiteral("The file could not be moved to the trash, so nothing was "
                            "deleted.\n") +
                 path,
             QStringLiteral("Delete failed"));
    }
    if (!fileExists(path)) rescanDirectory(viewer);
}

}  // namespace pavo
