// Pavo's entry point: the decode of the file to open first, then the options, the window
// at its first place, the command line and the event loop.
#include "app/app.h"
#include "app/events.h"
#include "app/window_modes.h"
#include "browse/load.h"
#include "browse/navigation.h"
#include "platform/files.h"
#include "platform/http_fetch.h"
#include "platform/jobs.h"
#include "platform/pixel_memory.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/window_system.h"
#include "playlist/playlist.h"
#include "update/update.h"
#include "viewer.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <cstdlib>
#include <optional>

namespace {

// Longer than a large photo's first look takes to show.
constexpr int kIconDelayMilliseconds = 300;

// The arguments as the bytes the shell gave; Qt's own list loses names that are not
// valid UTF-8.
QStringList argumentsAsGiven(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments.append(pavo::decodeFileName(QByteArray(argv[i])));
    return arguments;
}

// The full path of the one file a start opens; nothing for a folder or other arguments.
std::optional<QString> openingFile(const QStringList& arguments) {
    if (arguments.size() != 1) return std::nullopt;
    QString path = pavo::absolutePath(arguments.front(), pavo::currentFolder());
    if (pavo::isDirectory(path)) return std::nullopt;
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    pavo::installPixelMemory();
    const QStringList arguments = argumentsAsGiven(argc, argv);
    const std::optional<QString> file = openingFile(arguments);
    // The first look at that file decodes while Qt starts (a core would idle meanwhile),
    // before anything says whether the window will show it; the start takes it or stops
    // it. Its pool's jobs run until the process ends, as the platform's do.
    pavo::ThreadPool earlyJobs;
    std::optional<pavo::EarlyFirstLook> firstLook;
    if (file) firstLook = pavo::beginFirstLook(earlyJobs, *file);
    const bool windowSystemChosen = pavo::qt::chooseWindowSystem();
    // Qt takes the first thread that uses a QObject for its main thread: the application
    // comes before any job that does (the first look uses none).
    QApplication application(argc, argv);
    pavo::qt::releaseWindowSystemChoice(windowSystemChosen);
    pavo::qt::QtPlatform platform;
    pavo::Viewer viewer(platform, pavo::SettingsStore(pavo::SettingsStore::defaultFolder()));
    pavo::loadRunState(viewer);
    viewer.navigation.earlyFirstLook = std::move(firstLook);
    // The file's decode begins before the window, so that the decode and the window
    // system's work on the new window overlap.
    if (file) pavo::startEarlyDecode(viewer, *file, pavo::startPreviewFor(viewer));
    QApplication::setApplicationName(QStringLiteral("Pavo"));
    // Ties the window to the installed desktop entry and its icon (task bars, docks).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.pavo_viewer.Pavo"));
    // The icon's six sizes are read and converted after the first picture: at start-up that
    // work took a core from its decode. Task bars show it a moment later.
    QTimer::singleShot(kIconDelayMilliseconds, [] {
        QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("io.github.pavo_viewer.Pavo")));
    });

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

    // The file a start opens is shown once its decode is there; meanwhile the event loop
    // handles the window manager's framing, so the image is scaled once, for the window as
    // it ends up, and input waits for the image it is meant for.
    pavo::openCommandLine(viewer, arguments, pavo::currentFolder());

    // A quit asked for during start-up (a failed single file) is queued and ends the
    // loop as soon as it runs.
    const int code = QApplication::exec();
    // Jobs are neither stopped nor joined: they end with the process.
    std::_Exit(code);
}
