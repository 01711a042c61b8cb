#include "platform/qt/main_window.h"

#include "platform/files.h"
#include "platform/qt/device_pixels.h"
#include "platform/qt/frame_drag.h"
#include "platform/qt/key_map.h"
#include "platform/qt/x11_colour.h"
#include "platform/qt/x11_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <cmath>

namespace pavo::qt {
namespace {

constexpr int kBorder = 8;  // the sizing border of the image-only level

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
    setAcceptDrops(true);
    setFocusProxy(view_);
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
    watchMonitorProfiles(*this, [this] {
        if (events_ != nullptr) events_->displayProfileChanged();
    });
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
    keys_.attach(events);
    // The smallest size counts device pixels too.
    const qreal ratio = devicePixelsOf(*this).ratio();
    setMinimumSize(static_cast<int>(std::ceil(setup.minimumSize.width / ratio)),
                   static_cast<int>(std::ceil(setup.minimumSize.height / ratio)));
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
    const QRect outer = deviceGeometry().marginsAdded(frameMargins());  // before anything changes
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
            setDeviceGeometry(outer.marginsRemoved(frameMargins()));
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
    keys_.press(key);
    if (key == Key::Other || events_ == nullptr) QMainWindow::keyPressEvent(event);
}

void MainWindow::keyReleaseEvent(QKeyEvent* event) {
    const Key key = keyFor(*event);
    if (!event->isAutoRepeat()) keys_.release(key);
    if (key == Key::Other || events_ == nullptr) QMainWindow::keyReleaseEvent(event);
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    recordNormalOuter();
    // A move is not a drag of the frame: the next size change compares with this place.
    if (lastOuter_.isValid())
        lastOuter_.moveTopLeft(deviceGeometry().topLeft() -
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

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

// Local files go on as the bytes of their names (the URL's percent-encoded path, not
// Qt's lossy decoding); anything else as its address, which the viewer refuses.
void MainWindow::dropEvent(QDropEvent* event) {
    QStringList items;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            items.append(decodeFileName(
                QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())));
        } else {
            items.append(url.toString());
        }
    }
    event->acceptProposedAction();
    if (events_ != nullptr && !items.isEmpty()) events_->filesDropped(items);
}

}  // namespace pavo::qt
