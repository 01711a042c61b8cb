#include "platform/qt/image_view.h"

#include "platform/qt/device_pixels.h"

#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <map>

namespace pavo::qt {
namespace {

// Draws into the image view for one paint: images pixel for pixel in device pixels,
// text at the size Qt gives every other text.
class QtPainter final : public Painter {
  public:
    // `size` is the view's logical size.
    QtPainter(QPainter& painter, QSize size) : painter_(painter) {
        // The view's logical edges fall between device pixels on a screen scaled by a
        // fraction; Qt draws it between the nearest device edges, and so do the images.
        const QTransform toDevice = painter.deviceTransform();
        const QPointF origin = toDevice.map(QPointF(0, 0));
        const QPoint start = origin.toPoint();
        const QPoint end = toDevice.map(QPointF(size.width(), size.height())).toPoint();
        client_ = QSize(end.x() - start.x(), end.y() - start.y());
        shift_ = QPointF(start) - origin;
        ratio_ = toDevice.m11();
    }

    void blit(const cv::Mat& image, int x, int y, int sourceX, int sourceY) override {
        if (image.empty() || (image.type() != CV_8UC4 && image.type() != CV_8UC3)) return;
        // A header over the display matrix: Qt reads its pixels where they are, and
        // converts a picture shown at its own size (BGR) only where it is drawn.
        const QImage view(image.data, image.cols, image.rows, static_cast<qsizetype>(image.step),
                          image.type() == CV_8UC4 ? QImage::Format_RGB32 : QImage::Format_BGR888);
        const QRect source(sourceX, sourceY, client_.width() - x, client_.height() - y);
        painter_.save();
        painter_.scale(1.0 / ratio_, 1.0 / ratio_);
        painter_.translate(shift_);
        painter_.drawImage(QPoint(x, y), view, source);
        painter_.restore();
    }

    void drawText(const QString& text) override {
        const QFontMetrics metrics(painter_.font());
        const QRect logicalClient(0, 0, static_cast<int>(client_.width() / ratio_),
                                  static_cast<int>(client_.height() / ratio_));
        const QRect box = metrics.boundingRect(logicalClient, Qt::AlignLeft | Qt::AlignTop, text);
        painter_.fillRect(box, Qt::white);
        painter_.setPen(Qt::black);
        painter_.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
    }

  private:
    QPainter& painter_;
    QSize client_;   // device pixels
    QPointF shift_;  // from the view's origin to the device edge it is drawn from
    qreal ratio_ = 1.0;
};

}  // namespace

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    // Pavo paints every pixel itself: the background only where it erases.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    // The view holds the keyboard focus, so keys come back to the window after a menu
    // or a dialog has had them; it ignores them and they go on to the main window.
    setFocusPolicy(Qt::StrongFocus);
}

void ImageView::invalidate(const QRect& deviceArea, bool erase) {
    const QRect area = devicePixelsOf(*this).coveringLogical(deviceArea, originInWindow());
    if (erase) pendingErase_ += area;
    update(area);
}

void ImageView::redrawNow(const QRect& deviceArea) {
    ownRedraw_ = true;
    repaint(devicePixelsOf(*this).coveringLogical(deviceArea, originInWindow()));
    ownRedraw_ = false;
}

QPoint ImageView::toDevice(QPointF logical) const {
    return devicePixelsOf(*this).toDeviceInWidget(logical, originInWindow());
}

QPoint ImageView::originInWindow() const {
    return mapTo(window(), QPoint(0, 0));
}

void ImageView::paintEvent(QPaintEvent* event) {
    if (beforePaint_) beforePaint_();
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
    if (events_ == nullptr) return;
    const QPoint p = toDevice(event->position());
    events_->mouseMoved(p.x(), p.y());
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
    if (resized_) resized_();
}

}  // namespace pavo::qt
