// The main window's geometry: the frame, outer rectangles, the geometry snapshot and
// frame drags, kept true under real window managers.
#include "platform/qt/main_window.h"

#include "platform/qt/device_pixels.h"
#include "platform/qt/frame_drag.h"
#include "platform/qt/x11_frame.h"

#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <optional>

namespace pavo::qt {
namespace {

Rect toRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// At a fractional scale Qt tells the window manager to size the window in steps of the
// ratio rounded (2 device pixels at 1.5 and 1.75) from a base size, and a manager rounds a
// size between two steps down (openbox, which takes the minimum size for Qt's negative
// base): a picture 301 rows high got 300. The logical base size that puts a window of
// `native` device pixels on a step; none at whole ratios, whose sizes are always on one.
std::optional<QSize> baseSizeOnStep(QSize native, qreal ratio) {
    const int step = qRound(ratio);
    if (step <= 1 || qFuzzyCompare(ratio, step)) return std::nullopt;
    const auto baseFor = [&](int length) -> std::optional<int> {
        for (int base = 1; base <= 4 * step; ++base)
            if (qRound(base * ratio) % step == length % step) return base;
        return std::nullopt;
    };
    const auto width = baseFor(native.width());
    const auto height = baseFor(native.height());
    if (!width || !height) return std::nullopt;
    return QSize(*width, *height);
}

}  // namespace

// Everything below counts device pixels (the X server's, the frame's); Qt's own
// geometry is mapped on the way in and out.
QRect MainWindow::deviceGeometry() const {
    return {devicePixelsOf(*this).windowToDevice(geometry()).topLeft(), deviceSize()};
}

// The size the window system reported while it is the one Qt's logical size was made of
// (a window manager may size the window a device pixel off Qt's rounding); else the size
// Qt's logical size asks for, before the window system has answered.
QSize MainWindow::deviceSize() const {
    const DevicePixels pixels = devicePixelsOf(*this);
    if (reportedSize_.isValid() && pixels.windowSizeToLogical(reportedSize_) == size())
        return reportedSize_;
    return pixels.windowToDevice(geometry()).size();
}

// Qt reports no resize when the window system's size changes by less than a logical
// pixel; the client may still have gained or lost a row of device pixels.
bool MainWindow::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (const auto size = configuredSize(eventType, message, *this);
        size && *size != reportedSize_) {
        reportedSize_ = *size;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (notifiedClient_.isValid() && clientSize() != notifiedClient_) clientResized();
            },
            Qt::QueuedConnection);
    }
    return QMainWindow::nativeEvent(eventType, message, result);
}

void MainWindow::setDeviceGeometry(const QRect& inner) {
    const DevicePixels pixels = devicePixelsAtDevice(inner.center(), *this);
    const QRect logical = pixels.toLogical(inner);
    const auto base = baseSizeOnStep(pixels.windowToDevice(logical).size(), pixels.ratio());
    if (base && *base != baseSize()) setBaseSize(*base);
    setGeometry(logical);
}

// QWidget::move places the frame's top-left corner, as the outer rectangle counts.
void MainWindow::moveOuterTo(QPoint topLeft) {
    move(devicePixelsAtDevice(topLeft, *this).toLogical(topLeft));
}

void MainWindow::syncGeometryWithServer() {
    if (!isVisible() || isFullScreen() || isMaximized()) return;
    const auto server = serverGeometry(*this);
    // A difference smaller than a logical pixel (a scaled screen) is no difference to Qt:
    // setting it would only move the window by a device pixel.
    if (!server || devicePixelsOf(*this).toLogical(*server) == geometry()) return;
    // The window is already there: this only corrects what Qt believes.
    expectedOuter_ = server->marginsAdded(frameMargins());
    setDeviceGeometry(*server);
    publishGeometry();
}

void MainWindow::learnFrameBeforeMapping() {
    if (decoratedFrame_ || windowFlags().testFlag(Qt::FramelessWindowHint)) return;
    decoratedFrame_ = frameBeforeMapping(*this);
}

QMargins MainWindow::frameMargins() const {
    return isFullScreen() ? QMargins() : frameOf(style_);
}

// Fullscreen and the image-only level have no frame. A decorated window has the frame
// the window manager named before mapping; a manager that names none is measured once
// it has framed the window (never during a state change, when Qt still reports none).
QMargins MainWindow::frameOf(WindowStyle style) const {
    if (style == WindowStyle::Fullscreen || style == WindowStyle::ImageOnly) return {};
    if (!decoratedFrame_ && isVisible() && !isFullScreen() && !isMaximized() &&
        windowHandle() != nullptr && windowHandle()->isExposed()) {
        const QRect frame = frameGeometry();
        const QRect inner = geometry();
        const QMargins measured = devicePixelsOf(*this).toDevice(
            QMargins(inner.left() - frame.left(), inner.top() - frame.top(),
                     frame.right() - inner.right(), frame.bottom() - inner.bottom()));
        if (!measured.isNull()) decoratedFrame_ = measured;
    }
    return decoratedFrame_.value_or(QMargins());
}

void MainWindow::setOuterGeometry(const Rect& outer) {
    // A window not yet mapped learns its frame first: the window manager keeps the
    // client where it is asked and puts the frame around it.
    if (!isVisible()) learnFrameBeforeMapping();
    const QMargins frame = frameMargins();
    const QRect inner(outer.left + frame.left(), outer.top + frame.top(),
                      outer.width() - frame.left() - frame.right(),
                      outer.height() - frame.top() - frame.bottom());
    expectedOuter_ = QRect(outer.left, outer.top, outer.width(), outer.height());
    normalOuter_ = expectedOuter_;
    setDeviceGeometry(inner);
    if (!isVisible()) show();
    publishGeometry();
}

// Measured as the inner geometry plus the frame Pavo sizes by, so that a window
// asked for an outer size reports exactly that size back.
Rect MainWindow::outerGeometry() const {
    return toRect(deviceGeometry().marginsAdded(frameMargins()));
}

// Fullscreen keeps the normal rectangle of the chrome level it returns to.
Rect MainWindow::outerNormalGeometry() const {
    if (normalOuter_.isValid()) return toRect(normalOuter_);
    return toRect(
        devicePixelsOf(*this).windowToDevice(normalGeometry()).marginsAdded(frameOf(levelStyle_)));
}

void MainWindow::recordNormalOuter() {
    if (!isVisible() || isMaximized() || isFullScreen()) return;
    if (serverSaysMaximized(*this).value_or(false)) return;
    normalOuter_ = deviceGeometry().marginsAdded(frameMargins());
}

// The image view's size in device pixels as the layout gives it for the present geometry: known at
// once after a geometry change, before the layout has run. Counted between the device
// edges Qt draws the view's logical edges on, so that it is the view as drawn: on a
// screen scaled by a fraction its rounded logical size can be a pixel more or less.
QSize MainWindow::clientSize() const {
    QRect view(QPoint(0, 0), geometry().size());
    if (menuBar()->isVisibleTo(this)) view.setTop(menuBar()->sizeHint().height());
    view = view.marginsRemoved(border_->layout()->contentsMargins());
    const QRect drawn = devicePixelsOf(*this).drawnArea(view) & QRect(QPoint(0, 0), deviceSize());
    return drawn.size().expandedTo(QSize(0, 0));
}

// The user-interface thread gets the geometry as it is now (the window manager may
// have changed the frame since the last event); other threads get the last published.
GeometrySnapshot MainWindow::geometrySnapshot() const {
    if (QThread::currentThread() == thread()) publishGeometry();
    const std::lock_guard lock(snapshotMutex_);
    return snapshot_;
}

void MainWindow::publishGeometry() const {
    if (view_ == nullptr) return;  // still being built
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    GeometrySnapshot snapshot;
    snapshot.window = outerGeometry();
    const QSize client = clientSize();
    snapshot.client = {client.width(), client.height()};
    // Fullscreen covers the monitor as a maximised window does, and counts as one.
    snapshot.maximized = isMaximized() || isFullScreen();
    const DevicePixels monitor(screen);
    snapshot.monitor = {toRect(monitor.toDevice(screen->geometry())),
                        toRect(monitor.toDevice(screen->availableGeometry()))};
    const QScreen* primary = QGuiApplication::primaryScreen();
    snapshot.primaryScreen = toRect(DevicePixels(primary).toDevice(primary->geometry()));
    const std::lock_guard lock(snapshotMutex_);
    snapshot_ = snapshot;
}

// A size change Pavo did not ask for is the user dragging the frame: the dragged edge
// is read from which sides moved, and the viewer may correct the proposed rectangle.
void MainWindow::clientResized() {
    publishGeometry();
    notifiedClient_ = clientSize();
    // Qt learns the frame only some events after mapping; the outer rectangle comes
    // from the frame Pavo sizes by, as every other outer rectangle does.
    const QRect outer = deviceGeometry().marginsAdded(frameMargins());
    recordNormalOuter();
    // A frame drag holds a mouse button; a size change without one is the window
    // manager's late answer to an earlier request, not the user.
    const bool userDrag = isVisible() && !isMaximized() && !isFullScreen() &&
                          outer != expectedOuter_ && lastOuter_.isValid() &&
                          serverButtonHeld().value_or(true);
    const auto edge = userDrag ? draggedEdge(lastOuter_, outer) : std::nullopt;
    lastOuter_ = outer;
    if (edge && events_ != nullptr) {
        // The edge is the one the drag started with: a window manager that pulls the
        // window on screen as the drag goes on moves other sides too. The rectangle is
        // corrected once the button is up: a request during the drag keeps Qt from
        // answering the manager's sync request, and openbox then stops following the
        // pointer and ends the drag at a size from its middle.
        if (!dragSettle_->isActive()) lastDragEdge_ = *edge;
        dragSettle_->start();
    }
    if (events_ != nullptr) events_->resized();
}

// Lets the viewer correct the rectangle a frame drag left.
void MainWindow::correctFrameDrag(SizingEdge edge) {
    const QRect outer = deviceGeometry().marginsAdded(frameMargins());
    Rect proposed = toRect(outer);
    events_->sizing(edge, proposed);
    if (proposed != toRect(outer)) setOuterGeometry(proposed);
}

void MainWindow::dragSettled() {
    if (serverButtonHeld().value_or(false)) {
        dragSettle_->start();
        return;
    }
    if (events_ == nullptr || isMaximized() || isFullScreen()) return;
    // Qt may not have seen the size the manager ended its drag with.
    syncGeometryWithServer();
    correctFrameDrag(lastDragEdge_);
}

}  // namespace pavo::qt
