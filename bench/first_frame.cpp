// Time from process start to the first painted frame of a large image, as the real
// program does it (settings, window, command line), on whatever platform Qt is given.
//   first_frame IMAGE           the whole start, then the first paint: prints total ms
//   first_frame --stages IMAGE  read, decode to BGR, resize for the screen, paint,
//                               each timed alone in a fresh process
#include "app/app.h"
#include "app/events.h"
#include "image/image.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/pixel_memory.h"
#include "platform/qt/qt_platform.h"
#include "view/scale.h"
#include "view/view.h"
#include "view/window_fit.h"
#include "viewer.h"

#include <QApplication>
#include <QDir>
#include <QPaintEvent>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>

namespace {

std::int64_t processStart = 0;

double since(std::int64_t start) {
    return static_cast<double>(pavo::monotonicNanoseconds() - start) / 1e6;
}

// Notes the end of the first paint of the image view.
class FirstPaint final : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            static_cast<QWidget*>(watched)->removeEventFilter(this);
            QApplication::sendEvent(watched, event);  // paint now, then stop the clock
            done_ = true;
            milliseconds_ = since(processStart);
            return true;
        }
        return false;
    }
    bool done_ = false;
    double milliseconds_ = 0;
};

int wholeStart(const QString& image) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    pavo::qt::QtPlatform platform;
    pavo::Viewer viewer(platform, pavo::SettingsStore(pavo::SettingsStore::defaultFolder()));
    pavo::ViewerEvents events(viewer);
    FirstPaint firstPaint;
    pavo::launchWindow(viewer, events);
    const double windowShown = since(processStart);
    const std::int64_t loadStart = pavo::monotonicNanoseconds();
    platform.window().view()->installEventFilter(&firstPaint);
    pavo::openCommandLine(viewer, {image}, QDir::currentPath());
    const double loaded = since(loadStart);
    while (!firstPaint.done_) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf(
        "window shown %.1f ms, load %.1f ms (display %dx%d), first frame painted %.1f ms after "
        "start\n",
        windowShown, loaded, viewer.shownImage.displayWidth, viewer.shownImage.displayHeight,
        firstPaint.milliseconds_);
    return 0;
}

int stages(const QString& image) {
    pavo::qt::QtPlatform platform;
    pavo::Viewer viewer(
        platform, pavo::SettingsStore(QDir::tempPath() + QStringLiteral("/pavo-bench-config")));
    // The window as a start shows it, so the target size is the one a start uses.
    platform.showInitial(pavo::initialWindow(viewer).outer, false);
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    std::int64_t t = pavo::monotonicNanoseconds();
    const pavo::FileBytes bytes = pavo::readFileBytes(image, pavo::fileSizeOf(image));
    const double read = since(t);
    t = pavo::monotonicNanoseconds();
    const auto loaded = pavo::decodeToBgr8(bytes, pavo::DecodeRole::Shown);
    const double decode = since(t);
    if (!loaded) return 1;
    const cv::Mat& decoded = loaded->image;
    // The size the window gets on a 1920 x 1080 screen with the default frame.
    viewer.shownImage.image = decoded;
    viewer.shownImage.ready = true;
    const pavo::Size window = pavo::windowSizeForImage(viewer, decoded);
    platform.setWindowRect({0, 0, window.width, window.height});
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    const pavo::Size target =
        pavo::fitSizeInClient(pavo::scaleContext(viewer), decoded.cols, decoded.rows, decoded, {});
    t = pavo::monotonicNanoseconds();
    cv::Mat display;
    const QString method = pavo::scaleToSize(pavo::scaleContext(viewer), decoded, display,
                                             target.width, target.height);
    const double resize = since(t);
    QImage canvas(display.cols, display.rows, QImage::Format_RGB32);
    t = pavo::monotonicNanoseconds();
    {
        QPainter painter(&canvas);
        const QImage view(display.data, display.cols, display.rows,
                          static_cast<qsizetype>(display.step), QImage::Format_RGB32);
        painter.drawImage(QPoint(0, 0), view);
    }
    const double paint = since(t);
    std::printf(
        "read %.1f ms, decode to BGR %.1f ms, resize to %dx%d (%s) %.1f ms, paint %.1f ms\n", read,
        decode, display.cols, display.rows, method.toUtf8().constData(), resize, paint);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    processStart = pavo::monotonicNanoseconds();
    pavo::installPixelMemory();
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.size() == 2 && arguments[0] == QStringLiteral("--stages"))
        return stages(arguments[1]);
    if (arguments.size() == 1) return wholeStart(arguments[0]);
    std::fprintf(stderr, "usage: first_frame [--stages] IMAGE\n");
    return 2;
}
