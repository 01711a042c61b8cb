#include "platform/qt/main_window.h"

#include "platform/qt/frame_drag.h"
#include "platform/qt/key_map.h"

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
    publishGeometry();
    const auto displayChanged = [this] {
        publishGeometry();
        if (events_ != nullptr) events_->displayChanged();
    };
    connect(qApp, &QGuiApplication::screenAdded, this, displayChanged);
    connect(qApp, &QGuiApplication::screenRemoved, this, displayChanged);
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, displayChanged);
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
    const WindowStyle previous = style_;
    style_ = style;
    const bool frameless = style == WindowStyle::ImageOnly;
    const bool wasFrameless = previous == WindowStyle::ImageOnly;
    menuBar()->setVisible(style == WindowStyle::Normal);
    border_->layout()->setContentsMargins(frameless ? QMargins(kBorder, kBorder, kBorder, kBorder)
                                                    : QMargins());
    if (style == WindowStyle::Fullscreen) {
        showFullScreen();
        return;
    }
    if (frameless != wasFrameless) setWindowFlag(Qt::FramelessWindowHint, frameless);
    // Changing the flags hides the window; showing it again is part of the switch.
    showNormal();
    // The new frame must be in place before the viewer measures it to refit.
    border_->layout()->activate();
    layout()->activate();
    publishGeometry();
}

// The window system's frame around the window of the current style. Fullscreen and
// the moments of a style switch show no frame, so the last one seen for the style
// stands in for it.
QMargins MainWindow::frameMargins() const {
    const auto known = framePerStyle_.find(style_);
    if (!isVisible() || isFullScreen() || style_ == WindowStyle::Fullscreen) {
        return known == framePerStyle_.end() ? QMargins() : known->second;
    }
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(),
                           frame.right() - inner.right(), frame.bottom() - inner.bottom());
    if (known != framePerStyle_.end() && margins.isNull()) return known->second;
    framePerStyle_[style_] = margins;
    return margins;
}

void MainWindow::setOuterGeometry(const Rect& outer) {
    const QMargins frame = frameMargins();
    const QRect inner(outer.left + frame.left(), outer.top + frame.top(),
                      outer.width() - frame.left() - frame.right(),
                      outer.height() - frame.top() - frame.bottom());
    expectedOuter_ = QRect(outer.left, outer.top, outer.width(), outer.height());
    setGeometry(inner);
    if (!isVisible()) show();
    publishGeometry();
}

// Measured as the inner geometry plus the frame Pavo sizes by, so that a window
// asked for an outer size reports exactly that size back.
Rect MainWindow::outerGeometry() const {
    return toRect(geometry().marginsAdded(frameMargins()));
}

Rect MainWindow::outerNormalGeometry() const {
    return toRect(normalGeometry().marginsAdded(frameMargins()));
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
    snapshot.client = {view_->width(), view_->height()};
    snapshot.maximized = isMaximized();
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

void MainWindow::keyPressEvent(QKeyEvent* event) {
    const Key key = virtualKeyFor(event->key(), event->modifiers());
    if (key == Key::Other || events_ == nullptr) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    events_->keyDown(key);
}

void MainWindow::keyReleaseEvent(QKeyEvent* event) {
    const Key key = virtualKeyFor(event->key(), event->modifiers());
    if (event->isAutoRepeat() || key == Key::Other || events_ == nullptr) {
        QMainWindow::keyReleaseEvent(event);
        return;
    }
    events_->keyUp(key);
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
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
    const QRect outer = frameGeometry();
    const bool userDrag = isVisible() && !isMaximized() && !isFullScreen() &&
                          outer != expectedOuter_ && lastOuter_.isValid();
    const auto edge = userDrag ? draggedEdge(lastOuter_, outer) : std::nullopt;
    if (edge && events_ != nullptr) {
        Rect proposed = toRect(outer);
        events_->sizing(*edge, proposed);
        if (proposed != toRect(outer)) {
            lastOuter_ = outer;
            setOuterGeometry(proposed);
            return;
        }
    }
    lastOuter_ = outer;
    if (events_ != nullptr) events_->resized();
}

}  // namespace pavo::qt
