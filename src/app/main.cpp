// Pavo's entry point: options first, then the window at its first place, the command
// line, the watcher threads and the event loop.
#include "app/app.h"
#include "app/events.h"
#include "app/window_modes.h"
#include "image/neighbour_cache.h"
#include "platform/files.h"
#include "platform/image_codecs.h"
#include "platform/pixel_memory.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/window_system.h"
#include "playlist/playlist.h"
#include "update/http_fetch.h"
#include "update/update.h"
#include "viewer.h"

#include <QApplication>
#include <QIcon>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <thread>

namespace {

// The arguments as the bytes the shell gave; Qt's own list loses names that are not
// valid UTF-8.
QStringList argumentsAsGiven(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments.append(pavo::decodeFileName(QByteArray(argv[i])));
    return arguments;
}

// Arms the cursor hide check while the mouse rests in fullscreen; lives as long as
// the process and touches nothing but atomics and the timer request.
void startCursorWatcher(pavo::Viewer& viewer) {
    std::thread([&viewer] {
        for (;;) {
            pavo::cursorWatcherRound(viewer);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    }).detach();
}

// Empties the neighbour cache after `bufferTimeout` seconds without input; the
// clearing itself runs on the user-interface thread.
void startIdleWatcher(pavo::Viewer& viewer) {
    std::thread([&viewer] {
        for (;;) {
            pavo::idleWatcherRound(
                viewer, static_cast<std::int32_t>(static_cast<std::uint32_t>(std::time(nullptr))));
            std::this_thread::sleep_for(std::chrono::milliseconds(60000));
        }
    }).detach();
}

// A start with one file begins its decode before anything else.
std::optional<pavo::EarlyDecode> startOpeningDecode(const QStringList& arguments) {
    if (arguments.size() != 1) return std::nullopt;
    const QString path = pavo::absolutePath(arguments.front(), pavo::currentFolder());
    if (pavo::isDirectory(path)) return std::nullopt;
    return pavo::startEarlyDecode(path);
}

// The window manager places, frames and maximises the new window while the first
// image decodes; what it sends meanwhile is handled now, so the image is scaled once,
// for the window as it ends up. A quick preview shows meanwhile where it can.
void handleEventsDuring(pavo::Viewer& viewer, const pavo::EarlyDecode& decode) {
    bool previewShown = false;
    while (decode.worker.running()) {
        // Keys and clicks wait for the image they are meant for.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (!previewShown) previewShown = pavo::showEarlyPreview(viewer, decode);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

int main(int argc, char** argv) {
    pavo::installPixelMemory();
    const QStringList arguments = argumentsAsGiven(argc, argv);
    const bool windowSystemChosen = pavo::qt::chooseWindowSystem();
    // Qt takes the first thread that uses it for its main thread: the application comes
    // before the decode thread, which reads the file through Qt.
    QApplication application(argc, argv);
    pavo::qt::releaseWindowSystemChoice(windowSystemChosen);
    std::optional<pavo::EarlyDecode> earlyDecode = startOpeningDecode(arguments);
    QApplication::setApplicationName(QStringLiteral("Pavo"));
    // Ties the window to the installed desktop entry and its icon (task bars, docks).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.pavo_viewer.Pavo"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("io.github.pavo_viewer.Pavo")));

    pavo::qt::QtPlatform platform;
    pavo::Viewer viewer(platform, pavo::SettingsStore(pavo::SettingsStore::defaultFolder()));
    pavo::ViewerEvents events(viewer);
    pavo::launchWindow(viewer, events);

    // The automatic update check runs while the first image is decoded.
    viewer.update.endpoints = pavo::configuredEndpoints(PAVO_READS_TEST_SERVER);
    pavo::FetchOptions fetchOptions;
    fetchOptions.trustedCaFile = viewer.update.endpoints.trustedCaFile;
    viewer.update.fetch = [fetchOptions](const QString& url) {
        return pavo::fetchText(url, fetchOptions);
    };
    pavo::startUpdateCheck(viewer, true);

    if (earlyDecode) handleEventsDuring(viewer, *earlyDecode);
    // Mid-way through the window manager's framing Qt may place the window wrongly
    // for a moment; the first fit goes by where the server has it.
    platform.window().syncGeometryWithServer();
    viewer.navigation.earlyDecode = std::move(earlyDecode);
    pavo::openCommandLine(viewer, arguments, pavo::currentFolder());
    // Ready before a neighbour or the next file needs anything but a colour JPEG.
    pavo::preloadImageCodecs();
    startIdleWatcher(viewer);
    startCursorWatcher(viewer);

    // A quit asked for during start-up (a failed single file) is queued and ends the
    // loop as soon as it runs.
    const int code = QApplication::exec();
    // Background threads are neither stopped nor joined: they end with the process.
    std::_Exit(code);
}
