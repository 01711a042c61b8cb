#pragma once

#include <QByteArray>
#include <QMargins>
#include <QRect>
#include <QSize>

#include <optional>

class QWidget;

namespace pavo::qt {

// The frame the X11 window manager will put around `window`, asked for before the
// window is mapped (_NET_REQUEST_FRAME_EXTENTS), so the first placement and the one
// after a frame switch are right at once. Call after the native window exists and
// before it is shown. Nothing when not on X11, when the window manager does not offer
// the request, or when it does not answer within `timeoutMs`.
// The bound is generous: a manager that offers the request answers within milliseconds
// when idle, but a busy machine can delay it, and an unanswered request places the first
// window by its client instead of its frame.
std::optional<QMargins> frameBeforeMapping(QWidget& window, int timeoutMs = 500);

// Where the X server has the window (inside the frame), in screen coordinates; nothing
// when not on X11. Qt may miss a move the window manager makes while it frames a
// window, and believes a size a window manager ignored during its frame drag, so what
// matters is asked of the server.
std::optional<QRect> serverGeometry(QWidget& window);

// The size (inside the frame) that an X event of `window` reports the window now has, if
// it is a ConfigureNotify; nothing for other events or when not on X11. For
// QWidget::nativeEvent: Qt turns the size into whole logical pixels, which at a
// fractional scale may draw a device pixel more or less than the window has.
std::optional<QSize> configuredSize(const QByteArray& eventType, const void* message,
                                    const QWidget& window);

// Whether a mouse button is held, as the X server sees it (a window manager's frame
// drag keeps the pointer to itself); nothing when not on X11.
std::optional<bool> serverButtonHeld();

// Whether the window manager has the window maximised or fullscreen (_NET_WM_STATE);
// nothing when not on X11. Qt's own state lags behind the manager's for a moment.
std::optional<bool> serverSaysMaximized(QWidget& window);

}  // namespace pavo::qt
