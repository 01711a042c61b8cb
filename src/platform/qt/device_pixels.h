#pragma once

#include <QMargins>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

class QScreen;
class QWidget;

namespace pavo::qt {

// Pavo's geometry counts device pixels, so that one image pixel covers one pixel of
// the screen whatever scale Qt gives its widgets (QT_SCALE_FACTOR, a 2× screen); Qt's
// widget geometry counts logical pixels. A screen's top-left corner is the same in
// both; within the screen, logical lengths are multiplied by its ratio.
//
// Inside a window Qt draws each edge of a widget on the device pixel edge nearest to the
// logical edge times the ratio: at 1.5 a menu bar 19 logical pixels high ends at device
// row 29 (28.5 rounded), and the window, 153 logical pixels high, is 230 device rows.
// So a widget's device size is the difference of its rounded edges, not its rounded size.
class DevicePixels {
  public:
    // The mapping of `screen`; none (ratio 1) without a screen.
    explicit DevicePixels(const QScreen* screen);

    [[nodiscard]] qreal ratio() const { return ratio_; }
    [[nodiscard]] QPoint toDevice(QPoint logical) const;
    [[nodiscard]] QPoint toLogical(QPoint device) const;
    [[nodiscard]] QRect toDevice(const QRect& logical) const;
    [[nodiscard]] QRect toLogical(const QRect& device) const;
    [[nodiscard]] QMargins toDevice(const QMargins& logical) const;
    // A window's geometry as Qt hands it to the window system: its place mapped as a
    // point, its size on its own; and the logical size Qt makes of a window's device size.
    [[nodiscard]] QRect windowToDevice(const QRect& logical) const;
    [[nodiscard]] QSize windowSizeToLogical(QSize device) const;
    // Inside a window (no screen origin): the device area Qt draws a widget on, from the
    // widget's logical rectangle in window coordinates; a logical point of the widget at
    // `widgetOrigin` as a device point of that area; and a device area of that widget to
    // the logical area of the widget that covers it.
    [[nodiscard]] QRect drawnArea(const QRect& logicalInWindow) const;
    [[nodiscard]] QPoint toDeviceInWidget(QPointF logical, QPoint widgetOrigin) const;
    [[nodiscard]] QRect coveringLogical(const QRect& device, QPoint widgetOrigin) const;

  private:
    // Where Qt draws logical edges of a window's content: the nearest device edges.
    [[nodiscard]] QPoint edgesToDevice(QPoint logicalInWindow) const;

    QPoint origin_;
    qreal ratio_ = 1.0;
};

// The mapping of the screen the widget is on (the primary screen before it has one).
DevicePixels devicePixelsOf(const QWidget& widget);
// The mapping of the screen that holds a logical point of the desktop.
DevicePixels devicePixelsAt(QPoint logical);
// The mapping of the screen that holds a device point (the widget's screen when none
// does): a window sent to another monitor is mapped by that monitor, as Qt maps it.
DevicePixels devicePixelsAtDevice(QPoint device, const QWidget& fallback);

}  // namespace pavo::qt
