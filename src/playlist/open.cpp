#include "app/viewer.h"
#include "playlist/playlist.h"

namespace pavo {

void showLoadFailure(Viewer& viewer, const QString& path, bool noSupportedFiles) {
    const QString text = noSupportedFiles ? QStringLiteral("No supported files found.")
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
    for (ImageBuffer* neighbour : {&viewer.nextImage, &viewer.previousImage}) {
        neighbour->ready = false;
        neighbour->displayReady = false;
    }
}

}  // namespace pavo
