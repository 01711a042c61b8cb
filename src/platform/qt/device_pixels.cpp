#include "platform/qt/device_pixels.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace pavo::qt {
namespace {

int scaled(int length, qreal ratio) {
    return static_cast<int>(std::lround(length * ratio));
}

}  // namespace

DevicePixels::DevicePixels(const QScreen* screen) {
    if (screen == nullptr) return;
    origin_ = screen->geometry().topLeft();
    ratio_ = screen->devicePixelRatio();
}

QPoint DevicePixels::toDevice(QPoint logical) const {
    const QPoint within = logical - origin_;
    return origin_ + QPoint(scaled(within.x(), ratio_), scaled(within.y(), ratio_));
}

QPoint DevicePixels::toLogical(QPoint device) const {
    const QPoint within = device - origin_;
    return origin_ + QPoint(scaled(within.x(), 1.0 / ratio_), scaled(within.y(), 1.0 / ratio_));
}

// Corners are mapped, not the size, so that rectangles side by side stay side by side.
QRect DevicePixels::toDevice(const QRect& logical) const {
    const QPoint topLeft = toDevice(logical.topLeft());
    const QPoint bottomRight =
        toDevice(logical.topLeft() + QPoint(logical.width(), logical.height()));
    return {topLeft, QSize(bottomRight.x() - topLeft.x(), bottomRight.y() - topLeft.y())};
}

// Qt sizes windows in whole logical pixels: a size between two is rounded up, so that
// the window is never smaller than asked (an odd size at 2x gets one device pixel more).
QRect DevicePixels::toLogical(const QRect& device) const {
    const auto up = [this](int length) {
        return static_cast<int>(std::ceil(length / ratio_ - 1e-9));
    };
    return {toLogical(device.topLeft()), QSize(up(device.width()), up(device.height()))};
}

QMargins DevicePixels::toDevice(const QMargins& logical) const {
    return {scaled(logical.left(), ratio_), scaled(logical.top(), ratio_),
            scaled(logical.right(), ratio_), scaled(logical.bottom(), ratio_)};
}

QRect DevicePixels::windowToDevice(const QRect& logical) const {
    return {toDevice(logical.topLeft()),
            QSize(scaled(logical.width(), ratio_), scaled(logical.height(), ratio_))};
}

QSize DevicePixels::windowSizeToLogical(QSize device) const {
    return {scaled(device.width(), 1.0 / ratio_), scaled(device.height(), 1.0 / ratio_)};
}

QPoint DevicePixels::edgesToDevice(QPoint logicalInWindow) const {
    return {scaled(logicalInWindow.x(), ratio_), scaled(logicalInWindow.y(), ratio_)};
}

QRect DevicePixels::drawnArea(const QRect& logicalInWindow) const {
    const QPoint topLeft = edgesToDevice(logicalInWindow.topLeft());
    const QPoint end = edgesToDevice(logicalInWindow.topLeft() +
                                     QPoint(logicalInWindow.width(), logicalInWindow.height()));
    return {topLeft, QSize(end.x() - topLeft.x(), end.y() - topLeft.y())};
}

// From Qt's fractional positions, so that odd device pixels are not lost.
QPoint DevicePixels::toDeviceInWidget(QPointF logical, QPoint widgetOrigin) const {
    return ((logical + widgetOrigin) * ratio_).toPoint() - edgesToDevice(widgetOrigin);
}

QRect DevicePixels::coveringLogical(const QRect& device, QPoint widgetOrigin) const {
    const QRectF inWindow(QRectF(device.translated(edgesToDevice(widgetOrigin))).topLeft() / ratio_,
                          QSizeF(device.size()) / ratio_);
    return inWindow.toAlignedRect().translated(-widgetOrigin);
}

DevicePixels devicePixelsOf(const QWidget& widget) {
    const QScreen* screen = widget.screen();
    return DevicePixels(screen != nullptr ? screen : QGuiApplication::primaryScreen());
}

DevicePixels devicePixelsAtDevice(QPoint device, const QWidget& fallback) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        const DevicePixels pixels(screen);
        if (pixels.toDevice(screen->geometry()).contains(device)) return pixels;
    }
    return devicePixelsOf(fallback);
}

DevicePixels devicePixelsAt(QPoint logical) {
    const QScreen* screen = QGuiApplication::screenAt(logical);
    return DevicePixels(screen != nullptr ? screen : QGuiApplication::primaryScreen());
}

}  // namespace pavo::qt
