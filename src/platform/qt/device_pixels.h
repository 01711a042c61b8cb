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
class DevicePixels {
  public:
    // The mapping of `screen`; none (ratio 1) without a screen.
    explicit DevicePixels(const QScreen* screen);

    [[nodiscard]] qreal ratio() const { return ratio_; }
    [[nodiscard]] QPoint toDevice(QPoint logical) const;
    [[nodiscard]] QPoint toLogical(QPoint device) const;
    [[nodiscard]] QSize toDevice(QSize logical) const;
    [[nodiscard]] QRect toDevice(const QRect& logical) const;
    [[nodiscard]] QRect toLogical(const QRect& device) const;
    [[nodiscard]] QMargins toDevice(const QMargins& logical) const;
    // Lengths inside a widget (no screen origin): a logical point to device pixels, and a
    // device area to the logical area that covers it.
    [[nodiscard]] QPoint lengthsToDevice(QPointF logical) const;
    [[nodiscard]] QRect coveringLogical(const QRect& device) const;

  private:
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
