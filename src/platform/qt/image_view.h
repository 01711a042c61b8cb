#pragma once

#include "platform/window.h"

#include <QRegion>
#include <QWidget>

#include <functional>

namespace pavo::qt {

// The client area: draws the display matrix through the viewer's paint handler and
// forwards the mouse.
class ImageView final : public QWidget {
    Q_OBJECT
  public:
    explicit ImageView(QWidget* parent);

    void setEvents(WindowEvents* events) { events_ = events; }
    // Called before every paint and after every resize of the view.
    void setWindowHooks(std::function<void()> beforePaint, std::function<void()> resized) {
        beforePaint_ = std::move(beforePaint);
        resized_ = std::move(resized);
    }
    // Marks an area (in device pixels); `erase` fills it with the background before the
    // next paint.
    void invalidate(const QRect& deviceArea, bool erase);
    // Paints the area (and what is marked) before returning.
    void redrawNow(const QRect& deviceArea);
    // A logical point of the view as the device pixel of the view it falls on.
    QPoint toDevice(QPointF logical) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void forwardButton(QMouseEvent* event, MouseAction action);
    // Where the view sits in its window, in logical pixels.
    QPoint originInWindow() const;

    WindowEvents* events_ = nullptr;
    std::function<void()> beforePaint_;
    std::function<void()> resized_;
    QRegion pendingErase_;
    bool ownRedraw_ = false;
};

}  // namespace pavo::qt
