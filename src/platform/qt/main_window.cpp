#include "platform/qt/main_window.h"

#include "platform/qt/frame_drag.h"
#include "platform/qt/key_map.h"
#include "platform/qt/x11_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace pavo::qt {
namespace {

constexpr int kBorder = 8;  // the sizing border of the image-only level

Rect toRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

MainWindow::MainWindow() : view_(nullptr), border_(new QWidget(this)) {
    setWindowTitle(QStringLiteral("Pavo"));
    auto* layout = new QVBoxLayout(border_);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new ImageView(border_);
    layout->addWidget(view_);
    border_->setAutoFillBackground(true);
    QPalette black = border_->palette();
    black.setColor(QPalette::Window, Qt::black);
    border_->setPalette(black);
    border_->setMouseTracking(true);
    setCentralWidget(border_);
    setMouseTracking(true);
    view_->setWindowHooks([this] { publishGeometry(); }, [this] { clientResized(); });
    dragSettle_ = new QTimer(this);
    dragSettle_->setSingleShot(true);
    dragSettle_->setInterval(100);
    connect(dragSettle_, &QTimer::timeout, this, &MainWindow::dragSettled);
    publishGeometry();
    connect(qApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watchScreen(screen);
        displayChanged();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, &MainWindow::displayChanged);
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, &MainWindow::displayChanged);
    for (QScreen* screen : QGuiApplication::screens()) watchScreen(screen);
}

void MainWindow::displayChanged() {
    publishGeometry();
    if (events_ != nullptr) events_->displayChanged();
}

// A new resolution or refresh rate of the window's own monitor is a display change too.
void MainWindow::watchScreen(QScreen* screen) {
    const auto changed = [this, screen] {
        if (this->screen() == screen) displayChanged();
    };
    connect(screen, &QScreen::geometryChanged, this, changed);
    connect(screen, &QScreen::refreshRateChanged, this, changed);
}

void MainWindow::attach(WindowEvents& events, const WindowSetup& setup) {
    events_ = &events;
    view_->setEvents(&events);
    setMinimumSize(setup.minimumSize.width, setup.minimumSize.height);
    buildMenu(setup);
    auto* accelerator = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this);
    connect(accelerator, &QShortcut::activated, this, [this, id = setup.acceleratorCommand] {
        if (events_ != nullptr) events_->command(id);
    });
}

void MainWindow::buildMenu(const WindowSetup& setup) {
    std::map<QString, QMenu*> popups;
    for (const MenuEntry& entry : setup.menu) {
        const QString popupName = QString::fromUtf16(entry.popup);
        QMenu*& popup = popups[popupName];
        if (popup == nullptr) popup = menuBar()->addMenu(popupName);
        if (entry.text == nullptr) {
            popup->addSeparator();
            continue;
        }
        QAction* action = popup->addAction(QString::fromUtf16(entry.text));
        const int id = entry.command;
        connect(action, &QAction::triggered, this, [this, id] {
            if (events_ != nullptr) events_->command(id);
        });
    }
}

void MainWindow::applyStyle(WindowStyle style) {
    const QRect outer = geometry().marginsAdded(frameMargins());  // before anything changes
    const bool wasFullscreen = style_ == WindowStyle::Fullscreen;
    style_ = style;
    const bool frameless = style == WindowStyle::ImageOnly;
    menuBar()->setVisible(style == WindowStyle::Normal);
    border_->layout()->setContentsMargins(frameless ? QMargins(kBorder, kBorder, kBorder, kBorder)
                                                    : QMargins());
    if (style == WindowStyle::Fullscreen) {
        showFullScreen();
        publishGeometry();
        return;
    }
    levelStyle_ = style;
    if (frameless != windowFlags().testFlag(Qt::FramelessWindowHint)) {
        // Changing the flags hides the window; it comes back with the same outer
        // rectangle, the client growing or shrinking by the frame.
        setWindowFlag(Qt::FramelessWindowHint, frameless);
        learnFrameBeforeMapping();
        if (!wasFullscreen) {
            expectedOuter_ = outer;
            setGeometry(outer.marginsRemoved(frameMargins()));
        }
        // The window manager frames the window again and may place the frame after Qt
        // asked where the window is: check once it has settled.
        QTimer::singleShot(200, this, &MainWindow::syncGeometryWithServer);
    }
    showNormal();
    // The new frame must be in place before the viewer measures it to refit.
    border_->layout()->activate();
    layout()->activate();
    publishGeometry();
}

void MainWindow::syncGeometryWithServer() {
    if (!isVisible() || isFullScreen() || isMaximized()) return;
    const auto server = serverGeometry(*this);
    if (!server || *server == geometry()) return;
    // The window is already there: this only corrects what Qt believes.
    expectedOuter_ = server->marginsAdded(frameMargins());
    setGeometry(*server);
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
        const QMargins measured(inner.left() - frame.left(), inner.top() - frame.top(),
                                frame.right() - inner.right(), frame.bottom() - inner.bottom());
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
    setGeometry(inner);
    if (!isVisible()) show();
    publishGeometry();
}

// Measured as the inner geometry plus the frame Pavo sizes by, so that a window
// asked for an outer size reports exactly that size back.
Rect MainWindow::outerGeometry() const {
    return toRect(geometry().marginsAdded(frameMargins()));
}

// Fullscreen keeps the normal rectangle of the chrome level it returns to.
Rect MainWindow::outerNormalGeometry() const {
    if (normalOuter_.isValid()) return toRect(normalOuter_);
    return toRect(normalGeometry().marginsAdded(frameOf(levelStyle_)));
}

void MainWindow::recordNormalOuter() {
    if (!isVisible() || isMaximized() || isFullScreen()) return;
    if (serverSaysMaximized(*this).value_or(false)) return;
    normalOuter_ = geometry().marginsAdded(frameMargins());
}

// The image view's size as the layout gives it for the present geometry: known at once
// after a geometry change, before the layout has run.
QSize MainWindow::clientSize() const {
    QSize client = geometry().size();
    if (menuBar()->isVisibleTo(this)) client.rheight() -= menuBar()->sizeHint().height();
    const QMargins border = border_->layout()->contentsMargins();
    client -= QSize(border.left() + border.right(), border.top() + border.bottom());
    return client.expandedTo(QSize(0, 0));
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
    snapshot.monitor = {toRect(screen->geometry()), toRect(screen->availableGeometry())};
    snapshot.primaryScreen = toRect(QGuiApplication::primaryScreen()->geometry());
    const std::lock_guard lock(snapshotMutex_);
    snapshot_ = snapshot;
}

void MainWindow::armTimer(int id, int milliseconds) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, id, milliseconds] { armTimer(id, milliseconds); }, Qt::QueuedConnection);
        return;
    }
    QTimer*& timer = timers_[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (events_ != nullptr) events_->timer(id);
        });
    }
    timer->start(milliseconds);
}

void MainWindow::stopTimer(int id) {
    if (const auto found = timers_.find(id); found != timers_.end()) found->second->stop();
}

// Every key counts as activity, handled or not; keys the viewer has no use for still
// reach Qt's own handling.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    const Key key = keyFor(*event);
    if (events_ != nullptr) events_->keyDown(key);
    if (key == Key::Other || events_ == nullptr) QMainWindow::keyPressEvent(event);
}

void MainWindow::keyReleaseEvent(QKeyEvent* event) {
    const Key key = keyFor(*event);
    if (!event->isAutoRepeat() && events_ != nullptr) events_->keyUp(key);
    if (key == Key::Other || events_ == nullptr) QMainWindow::keyReleaseEvent(event);
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    recordNormalOuter();
    // A move is not a drag of the frame: the next size change compares with this place.
    if (lastOuter_.isValid())
        lastOuter_.moveTopLeft(geometry().topLeft() -
                               QPoint(frameMargins().left(), frameMargins().top()));
    publishGeometry();
    if (events_ != nullptr) events_->moved();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    publishGeometry();
    if (events_ == nullptr) return;
    if (event->type() == QEvent::ActivationChange) events_->focusChanged(isActiveWindow());
    if (event->type() == QEvent::WindowStateChange) events_->resized();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (events_ != nullptr) events_->destroyed();
    event->accept();
}

// Level 1 has no frame: its border starts a resize by the window system.
Qt::Edges MainWindow::borderEdgesAt(QPoint p) const {
    Qt::Edges edges;
    if (style_ != WindowStyle::ImageOnly) return edges;
    if (p.x() < kBorder) edges |= Qt::LeftEdge;
    if (p.x() >= width() - kBorder) edges |= Qt::RightEdge;
    if (p.y() < kBorder) edges |= Qt::TopEdge;
    if (p.y() >= height() - kBorder) edges |= Qt::BottomEdge;
    return edges;
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    const Qt::Edges edges = borderEdgesAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && edges != Qt::Edges() && windowHandle() != nullptr) {
        windowHandle()->startSystemResize(edges);
        return;
    }
    QMainWindow::mousePressEvent(event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    const Qt::Edges edges = borderEdgesAt(event->position().toPoint());
    const bool horizontal = edges.testFlag(Qt::LeftEdge) || edges.testFlag(Qt::RightEdge);
    const bool vertical = edges.testFlag(Qt::TopEdge) || edges.testFlag(Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool mainDiagonal =
            edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge);
        setCursor(mainDiagonal ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    } else if (horizontal || vertical) {
        setCursor(horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    } else {
        unsetCursor();
    }
    QMainWindow::mouseMoveEvent(event);
}

// A size change Pavo did not ask for is the user dragging the frame: the dragged edge
// is read from which sides moved, and the viewer may correct the proposed rectangle.
void MainWindow::clientResized() {
    publishGeometry();
    // Qt learns the frame only some events after mapping; the outer rectangle comes
    // from the frame Pavo sizes by, as every other outer rectangle does.
    const QRect outer = geometry().marginsAdded(frameMargins());
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
        // window on screen as the drag goes on moves other sides too.
        if (!dragSettle_->isActive()) lastDragEdge_ = *edge;
        dragSettle_->start();
        if (correctFrameDrag(lastDragEdge_)) return;
    }
    if (events_ != nullptr) events_->resized();
}

// Lets the viewer correct the rectangle a frame drag left; true when it did.
bool MainWindow::correctFrameDrag(SizingEdge edge) {
    const QRect outer = geometry().marginsAdded(frameMargins());
    Rect proposed = toRect(outer);
    events_->sizing(edge, proposed);
    if (proposed == toRect(outer)) return false;
    setOuterGeometry(proposed);
    return true;
}

void MainWindow::dragSettled() {
    if (serverButtonHeld().value_or(false)) {
        dragSettle_->start();
        return;
    }
    if (events_ == nullptr || isMaximized() || isFullScreen()) return;
    // The window manager may have ignored the corrections asked for during its drag.
    syncGeometryWithServer();
    correctFrameDrag(lastDragEdge_);
}

}  // namespace pavo::qt
