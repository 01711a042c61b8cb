// Stepping through 6000 x 4000 JPEGs in the real main window on a 1920 x 1080
// offscreen screen: from the key event to the new frame painted, with the neighbour
// prescaled, with it decoded but not scaled, and with no neighbour at all; then a held
// right arrow at 30 presses a second through 50 images.
//   step_bench FOLDER_OF_JPEGS
// Or panning a picture far larger than the screen at its own size: F from the fitted
// view to 100 %, then arrow keys across it, each from the key to the frame painted.
//   step_bench --pan PICTURE
#include "app/app.h"
#include "app/events.h"
#include "browse/neighbour_cache.h"
#include "platform/clock.h"
#include "platform/pixel_memory.h"
#include "platform/qt/qt_platform.h"
#include "viewer.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The end of the first paint of the image view after it is armed.
class PaintClock final : public QObject {
  public:
    void arm() { paintedAt_ = 0; }
    std::int64_t paintedAt() const { return paintedAt_; }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || paintedAt_ != 0) return false;
        watched->removeEventFilter(this);
        QApplication::sendEvent(watched, event);
        watched->installEventFilter(this);
        paintedAt_ = pavo::monotonicNanoseconds();
        return true;
    }

  private:
    std::int64_t paintedAt_ = 0;
};

std::uint64_t statusKibibytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field)))
                .trimmed()
                .split(' ')[0]
                .toULongLong();
    }
    return 0;
}

void report(const char* name, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) {
        return samples[static_cast<std::size_t>(q * static_cast<double>(samples.size() - 1))];
    };
    std::printf("%-40s n=%zu  median %.1f ms  p95 %.1f ms  max %.1f ms\n", name, samples.size(),
                at(0.5), at(0.95), samples.back());
}

struct Bench {
    pavo::qt::QtPlatform platform;
    pavo::Viewer viewer{platform, pavo::SettingsStore(QTemporaryDir().path())};
    pavo::ViewerEvents events{viewer};
    PaintClock clock;

    void start(const QString& folder) {
        pavo::launchWindow(viewer, events);
        viewer.view.fitActive = true;
        for (int i = 0; i < 10; ++i) QApplication::processEvents();
        pavo::openCommandLine(viewer, {folder}, QDir::currentPath());
        platform.window().view()->installEventFilter(&clock);
    }

    void send(Qt::Key key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&platform.window(), &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(&platform.window(), &release);
    }

    // One key: its event to the new frame painted, in milliseconds.
    double frameAfter(Qt::Key key) {
        clock.arm();
        const std::int64_t start = pavo::monotonicNanoseconds();
        send(key);
        while (clock.paintedAt() == 0) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return static_cast<double>(clock.paintedAt() - start) / 1e6;
    }
    double step() { return frameAfter(Qt::Key_Right); }
};

// Handles events until no job is under way: the neighbours are decoded (and prescaled).
void settle(pavo::Viewer& viewer) {
    while (pavo::anyJobUnderWay(viewer))
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// F to its own size, then 40 presses right and 40 down; the view is maximised.
int pan(const QString& picture) {
    Bench bench;
    bench.viewer.settings.rememberExit = true;
    bench.viewer.settings.state = 3;
    bench.start(picture);
    settle(bench.viewer);
    const double ownSize = bench.frameAfter(Qt::Key_F);
    settle(bench.viewer);
    std::printf("%dx%d picture: fitted view to 100 %% in %.1f ms\n", bench.viewer.shownImage.width,
                bench.viewer.shownImage.height, ownSize);
    std::vector<double> frames;
    for (const Qt::Key key : {Qt::Key_Right, Qt::Key_Down}) {
        for (int i = 0; i < 40; ++i) frames.push_back(bench.frameAfter(key));
    }
    report("pan frame at 100 %, key to frame painted", frames);
    std::printf("scrolled to %d, %d; VmHWM %.0f MB\n", bench.viewer.shownImage.scrollX,
                bench.viewer.shownImage.scrollY, statusKibibytes("VmHWM:") / 1024.0);
    std::fflush(stdout);
    std::_Exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    pavo::installPixelMemory();
    QApplication application(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--pan") == 0)
        return pan(QString::fromLocal8Bit(argv[2]));
    if (argc != 2) {
        std::fprintf(stderr, "usage: step_bench FOLDER_OF_JPEGS | --pan PICTURE\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    Bench bench;
    bench.start(folder);

    std::vector<double> prescaled;
    std::vector<double> unscaled;
    std::vector<double> uncached;
    for (int i = 0; i < 12; ++i) {
        settle(bench.viewer);  // the neighbour is decoded and prescaled
        prescaled.push_back(bench.step());
    }
    bench.viewer.settings.preScale = false;
    for (int i = 0; i < 8; ++i) {
        settle(bench.viewer);  // decoded, not scaled
        unscaled.push_back(bench.step());
    }
    for (int i = 0; i < 6; ++i) {
        settle(bench.viewer);
        pavo::clearNeighbours(bench.viewer);  // as after the idle release
        uncached.push_back(bench.step());
    }
    bench.viewer.settings.preScale = true;
    report("step, neighbour prescaled", prescaled);
    report("step, neighbour decoded, scaled on step", unscaled);
    report("step, nothing cached (direct decode)", uncached);

    // Held right arrow: 30 presses a second, 50 presses, as the keyboard repeats them.
    settle(bench.viewer);
    const std::uint64_t rssBefore = statusKibibytes("VmRSS:");
    std::uint64_t rssPeak = rssBefore;
    int sent = 0;
    const std::int32_t firstIndex = bench.viewer.playlist.index;
    const auto count = static_cast<std::int32_t>(bench.viewer.playlist.paths.size());
    int shown = 0;  // each handled press steps once and paints the new image
    std::int32_t lastIndex = firstIndex;
    const std::int64_t start = pavo::monotonicNanoseconds();
    QTimer repeat;
    QObject::connect(&repeat, &QTimer::timeout, [&] {
        if (sent == 50) return;
        ++sent;
        QKeyEvent* press =
            new QKeyEvent(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
        QApplication::postEvent(&bench.platform.window(), press);
    });
    repeat.start(33);
    while (shown < 50 && pavo::monotonicNanoseconds() - start < 120'000'000'000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const std::int32_t index = bench.viewer.playlist.index;
        shown += (index - lastIndex + count) % count;
        lastIndex = index;
        rssPeak = std::max(rssPeak, statusKibibytes("VmRSS:"));
    }
    const double seconds = static_cast<double>(pavo::monotonicNanoseconds() - start) / 1e9;
    std::printf(
        "held right arrow: %d presses in %.2f s, %d images shown, %.1f images/s; "
        "RSS before %.0f MB, peak during %.0f MB, after %.0f MB; VmHWM %.0f MB\n",
        sent, seconds, shown, shown / seconds, rssBefore / 1024.0, rssPeak / 1024.0,
        statusKibibytes("VmRSS:") / 1024.0, statusKibibytes("VmHWM:") / 1024.0);
    settle(bench.viewer);
    std::fflush(stdout);
    std::_Exit(0);
}
