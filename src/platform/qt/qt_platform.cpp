#include "platform/qt/qt_platform.h"

#include "platform/files.h"
#include "platform/trash.h"

#include "platform/qt/device_pixels.h"
#include "platform/qt/dialog_form.h"
#include "platform/qt/go_to_dialog.h"
#include "platform/qt/x11_colour.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <cstdio>

namespace pavo::qt {
namespace {

// Ends a wait once the window it watches is on screen.
class ExposureWatch final : public QObject {
  public:
    explicit ExposureWatch(QEventLoop& loop) : loop_(loop) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed())
            loop_.quit();
        return false;
    }

  private:
    QEventLoop& loop_;
};

// Until the window manager has mapped (and, when asked, maximised) the window, its
// client size is not final: an image scaled before then would be scaled twice.
void waitUntilExposed(QWidget& window) {
    constexpr int kLimitMs = 400;  // a window manager that never maps it does not hold the start
    QWindow* handle = window.windowHandle();
    if (handle == nullptr || handle->isExposed()) return;
    QEventLoop loop;
    ExposureWatch watch(loop);
    handle->installEventFilter(&watch);
    QTimer::singleShot(kLimitMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);  // input waits for the first image
    handle->removeEventFilter(&watch);
}

QRect toQRect(const Rect& r) {
    return {r.left, r.top, r.width(), r.height()};
}

}  // namespace

QtPlatform::QtPlatform() : window_(std::make_unique<MainWindow>()) {}

QtPlatform::~QtPlatform() = default;

void QtPlatform::attach(WindowEvents& events, const WindowSetup& setup) {
    window_->attach(events, setup);
}

void QtPlatform::showInitial(const Rect& outer, bool maximized) {
    window_->setOuterGeometry(outer);
    if (maximized) window_->showMaximized();
    waitUntilExposed(*window_);
}

void QtPlatform::refreshGeometry() {
    window_->syncGeometryWithServer();
}

void QtPlatform::runJob(std::function<void()> work) {
    jobs_.runJob(std::move(work));
}

void QtPlatform::showMessageBox(BoxOwner owner, const QString& text, const QString& caption) {
    QMessageBox box(owner == BoxOwner::MainWindow ? dialogOwner() : nullptr);
    box.setIcon(QMessageBox::NoIcon);
    // Texts may carry file names the file system gave as bytes that are not text.
    box.setWindowTitle(displayName(caption));
    box.setText(displayName(text));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void QtPlatform::beep(BeepKind /*kind*/) {
    QApplication::beep();
}

std::optional<WindowPlacement> QtPlatform::windowPlacement() const {
    window_->syncGeometryWithServer();
    // Fullscreen is a maximised window over its normal rectangle.
    const int show = window_->isMinimized()                              ? 2
                     : window_->isMaximized() || window_->isFullScreen() ? 3
                                                                         : 1;
    return WindowPlacement{window_->outerNormalGeometry(), show};
}

void QtPlatform::restorePlacement(const WindowPlacement& placement) {
    window_->setOuterGeometry(placement.normal);
    if (placement.showCommand == 3) window_->showMaximized();
}

double QtPlatform::refreshRate() const {
    const QScreen* screen = window_->screen();
    return screen == nullptr ? 0.0 : screen->refreshRate();
}

void QtPlatform::setWindowRect(const Rect& outer) {
    window_->setOuterGeometry(outer);
}

void QtPlatform::moveWindow(int left, int top) {
    window_->moveOuterTo({left, top});
}

void QtPlatform::setWindowStyle(WindowStyle style) {
    window_->applyStyle(style);
}

void QtPlatform::setTitle(const QString& title) {
    window_->setWindowTitle(displayName(title));
}

void QtPlatform::invalidate(const Rect& area, bool erase) {
    window_->view()->invalidate(toQRect(area), erase);
}

void QtPlatform::redrawNow(const Rect& area) {
    window_->view()->redrawNow(toQRect(area));
}

void QtPlatform::armTimer(int id, int milliseconds) {
    window_->armTimer(id, milliseconds);
}

void QtPlatform::killTimer(int id) {
    window_->stopTimer(id);
}

int QtPlatform::changeCursorCounter(bool show) {
    cursorCounter_ += show ? 1 : -1;
    if (cursorCounter_ < 0) {
        window_->view()->setCursor(Qt::BlankCursor);
    } else {
        window_->view()->unsetCursor();
    }
    return cursorCounter_;
}

std::optional<bool> QtPlatform::cursorShowing() const {
    return cursorCounter_ >= 0;
}

bool QtPlatform::isActiveWindow() const {
    return window_->isActiveWindow();
}

bool QtPlatform::modifierHeld(Modifier key) const {
    const Qt::KeyboardModifiers held = QGuiApplication::queryKeyboardModifiers();
    return held.testFlag(key == Modifier::Ctrl ? Qt::ControlModifier : Qt::ShiftModifier);
}

GeometrySnapshot QtPlatform::geometrySnapshot() const {
    return window_->geometrySnapshot();
}

// The tasks pass through a queue of Pavo's own under a standard mutex: what a worker
// wrote before asking is then visibly ordered before the task runs, also for
// ThreadSanitizer, which cannot see into Qt's own event-queue locking.
void QtPlatform::runOnUiThread(std::function<void()> task) {
    {
        const std::lock_guard lock(uiTasksMutex_);
        uiTasks_.push_back(std::move(task));
    }
    QMetaObject::invokeMethod(
        window_.get(), [this] { runUiTasks(); }, Qt::QueuedConnection);
}

void QtPlatform::runUiTasks() {
    std::vector<std::function<void()>> tasks;
    {
        const std::lock_guard lock(uiTasksMutex_);
        tasks.swap(uiTasks_);
    }
    for (auto& task : tasks) {
        try {
            task();
        } catch (const std::exception& error) {
            // The viewer's own hand-overs catch what they can report; nothing else may
            // end the program from the event loop.
            std::fprintf(stderr, "pavo: %s\n", error.what());
        }
    }
}

Point QtPlatform::cursorPosition() const {
    const QPoint logical = QCursor::pos();
    const QPoint p = devicePixelsAt(logical).toDevice(logical);
    return {p.x(), p.y()};
}

Point QtPlatform::cursorInClient() const {
    const ImageView& view = *window_->view();
    const QPoint p = view.toDevice(view.mapFromGlobal(QCursor::pos()));
    return {p.x(), p.y()};
}

void QtPlatform::captureMouse() {
    window_->view()->grabMouse();
}

void QtPlatform::releaseMouse() {
    window_->view()->releaseMouse();
}

void QtPlatform::dragWindowTo(int left, int top) {
    window_->moveOuterTo({left, top});
    window_->raise();
}

bool QtPlatform::leftButtonHeld() const {
    return QGuiApplication::mouseButtons().testFlag(Qt::LeftButton);
}

bool QtPlatform::rightButtonHeld() const {
    return QGuiApplication::mouseButtons().testFlag(Qt::RightButton);
}

void QtPlatform::postQuit(int code) {
    quitRequested_ = true;
    quitCode_ = code;
    // Queued, so that it also ends a loop that starts only after this call; tied to
    // the window, so that it goes with it.
    QMetaObject::invokeMethod(
        window_.get(), [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
}

void QtPlatform::destroyWindow() {
    window_->close();
}

QString QtPlatform::executableDirectory() const {
    return QCoreApplication::applicationDirPath() + u'/';
}

// Owned by the main window once it is visible, like the message boxes.
QWidget* QtPlatform::dialogOwner() const {
    return window_->isVisible() ? window_.get() : nullptr;
}

bool QtPlatform::askYesNo(const QString& text, const QString& caption) {
    QMessageBox box(dialogOwner());
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(displayName(caption));
    box.setText(displayName(text));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QStringList QtPlatform::chooseFiles(const QString& title) {
    return QFileDialog::getOpenFileNames(dialogOwner(), title, QString(),
                                         QStringLiteral("Any File (*)"));
}

std::optional<QString> QtPlatform::askPosition(std::int32_t position, std::int32_t count) {
    return runGoToDialog(dialogOwner(), position, count);
}

TrashResult QtPlatform::moveToTrash(const QString& path) {
    return moveFileToTrash(path);
}

void QtPlatform::bringToFront() {
    window_->raise();
    window_->activateWindow();
}

void QtPlatform::openUrl(const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
}

QByteArray QtPlatform::displayProfile(const Rect& area) const {
    return monitorProfile(toQRect(area));
}

int QtPlatform::runDialog(DialogId id, DialogHandler& handler) {
    DialogForm form(id, handler, window_.get());
    return form.run();
}

}  // namespace pavo::qt
