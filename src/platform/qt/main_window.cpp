#include "platform/qt/main_window.h"

#include "app/app.h"

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

// Draws into the image view for one paint.
class QtPainter final : public Painter {
  public:
    QtPainter(QPainter& painter, QSize client) : painter_(painter), client_(client) {}

    void blit(const cv::Mat& image, int x, int y, int sourceX, int sourceY) override {
        if (image.empty() || image.type() != CV_8UC4) return;
        // A header over the display matrix: Qt reads its pixels where they are.
        const QImage view(image.data, image.cols, image.rows, static_cast<qsizetype>(image.step),
                          QImage::Format_RGB32);
        const QRect source(sourceX, sourceY, client_.width() - x, client_.height() - y);
        painter_.drawImage(QPoint(x, y), view, source);
    }

    void drawText(const QString& text) override {
        const QFontMetrics metrics(painter_.font());
        const QRect box = metrics.boundingRect(QRect(0, 0, client_.width(), client_.height()),
                                               Qt::AlignLeft | Qt::AlignTop, text);
        painter_.fillRect(box, Qt::white);
        painter_.setPen(Qt::black);
        painter_.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
    }

  private:
    QPainter& painter_;
    QSize client_;
};

Rect toRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

int virtualKeyFor(int qtKey, Qt::KeyboardModifiers modifiers) {
    if (modifiers.testFlag(Qt::KeypadModifier) || modifiers.testFlag(Qt::AltModifier)) return 0;
    static const std::map<int, Key> keys{
        {Qt::Key_Return, Key::Enter},  {Qt::Key_F11, Key::F11},
        {Qt::Key_Shift, Key::Shift},   {Qt::Key_Control, Key::Ctrl},
        {Qt::Key_Escape, Key::Esc},    {Qt::Key_Space, Key::Space},
        {Qt::Key_PageUp, Key::PageUp}, {Qt::Key_PageDown, Key::PageDown},
        {Qt::Key_End, Key::End},       {Qt::Key_Home, Key::Home},
        {Qt::Key_Left, Key::Left},     {Qt::Key_Up, Key::Up},
        {Qt::Key_Right, Key::Right},   {Qt::Key_Down, Key::Down},
        {Qt::Key_Delete, Key::Delete}, {Qt::Key_1, Key::Digit1},
        {Qt::Key_2, Key::Digit2},      {Qt::Key_3, Key::Digit3},
        {Qt::Key_F, Key::F},           {Qt::Key_G, Key::G},
        {Qt::Key_I, Key::I},           {Qt::Key_L, Key::L},
        {Qt::Key_Q, Key::Q},           {Qt::Key_R, Key::R},
        {Qt::Key_T, Key::T},           {Qt::Key_Y, Key::Y},
        {Qt::Key_F5, Key::F5},         {Qt::Key_Equal, Key::Plus},
        {Qt::Key_Plus, Key::Plus},     {Qt::Key_Comma, Key::Comma},
        {Qt::Key_Minus, Key::Minus},   {Qt::Key_Period, Key::Period},
    };
    const auto found = keys.find(qtKey);
    return found == keys.end() ? 0 : static_cast<int>(found->second);
}

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    // Pavo paints every pixel itself: the background only where it erases.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
}

void ImageView::invalidate(const QRect& area, bool erase) {
    if (erase) pendingErase_ += area;
    update(area);
}

void ImageView::redrawNow(const QRect& area) {
    ownRedraw_ = true;
    repaint(area);
    ownRedraw_ = false;
}

void ImageView::paintEvent(QPaintEvent* event) {
    if (auto* window = qobject_cast<MainWindow*>(this->window())) window->publishGeometry();
    QPainter painter(this);
    // A paint the window system asked for (exposure, resize) erases what it covers;
    // Pavo's own redraws erase only what was marked for erasing.
    const QRegion erase =
        (ownRedraw_ ? pendingErase_ : pendingErase_ + event->region()) & event->region();
    for (const QRect& r : erase) painter.fillRect(r, Qt::black);
    pendingErase_ -= event->region();
    if (events_ != nullptr) {
        QtPainter adaptor(painter, size());
        events_->paint(adaptor);
    }
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
    if (events_ != nullptr)
        events_->mouseMoved(event->position().toPoint().x(), event->position().toPoint().y());
}

void ImageView::forwardButton(QMouseEvent* event, MouseAction action) {
    if (events_ == nullptr) return;
    static const std::map<Qt::MouseButton, MouseButton> buttons{
        {Qt::LeftButton, MouseButton::Left},       {Qt::RightButton, MouseButton::Right},
        {Qt::MiddleButton, MouseButton::Middle},   {Qt::BackButton, MouseButton::Back},
        {Qt::ForwardButton, MouseButton::Forward},
    };
    const auto found = buttons.find(event->button());
    if (found != buttons.end()) events_->mouseButton(found->second, action);
}

void ImageView::mousePressEvent(QMouseEvent* event) {
    forwardButton(event, MouseAction::Press);
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
    forwardButton(event, MouseAction::Release);
}

void ImageView::mouseDoubleClickEvent(QMouseEvent* event) {
    forwardButton(event, MouseAction::DoubleClick);
}

void ImageView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (events_ == nullptr || delta == 0) return;
    const Qt::KeyboardModifiers held = event->modifiers();
    events_->wheel(delta, held.testFlag(Qt::ControlModifier), held.testFlag(Qt::ShiftModifier));
}

void ImageView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (auto* window = qobject_cast<MainWindow*>(this->window())) window->clientResized();
}

MainWindow::MainWindow() : view_(nullptr), border_(new QWidget(this)) {
    setWindowTitle(QStringLiteral("Pavo"));
    setMinimumSize(kMinimumWindowSize.width, kMinimumWindowSize.height);
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
    buildMenu();
    publishGeometry();
    auto* options = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this);
    connect(options, &QShortcut::activated, this, [this] {
        if (events_ != nullptr) events_->command(static_cast<int>(Command::Options));
    });
    const auto displayChanged = [this] {
        publishGeometry();
        if (events_ != nullptr) events_->displayChanged();
    };
    connect(qApp, &QGuiApplication::screenAdded, this, displayChanged);
    connect(qApp, &QGuiApplication::screenRemoved, this, displayChanged);
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, displayChanged);
}

void MainWindow::setEvents(WindowEvents* events) {
    events_ = events;
    view_->setEvents(events);
}

void MainWindow::buildMenu() {
    std::map<QString, QMenu*> popups;
    for (const MenuEntry& entry : menuEntries()) {
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
    const int key = virtualKeyFor(event->key(), event->modifiers());
    if (key == 0 || events_ == nullptr) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    events_->keyDown(key);
}

void MainWindow::keyReleaseEvent(QKeyEvent* event) {
    const int key = virtualKeyFor(event->key(), event->modifiers());
    if (event->isAutoRepeat() || key == 0 || events_ == nullptr) {
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
                          outer != expectedOuter_ && lastOuter_.isValid() &&
                          outer.size() != lastOuter_.size();
    if (userDrag && events_ != nullptr) {
        const bool leftMoved = outer.left() != lastOuter_.left();
        const bool topMoved = outer.top() != lastOuter_.top();
        const bool widthChanged = outer.width() != lastOuter_.width();
        const bool heightChanged = outer.height() != lastOuter_.height();
        int edge = 0;
        if (widthChanged && heightChanged) {
            edge = topMoved ? (leftMoved ? 4 : 5) : (leftMoved ? 7 : 8);
        } else if (widthChanged) {
            edge = leftMoved ? 1 : 2;
        } else {
            edge = topMoved ? 3 : 6;
        }
        Rect proposed = toRect(outer);
        events_->sizing(edge, proposed);
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
