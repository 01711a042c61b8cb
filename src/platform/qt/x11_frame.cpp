#include "platform/qt/x11_frame.h"

#include "platform/qt/x11_connection.h"

#include <QElapsedTimer>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <thread>

namespace pavo::qt {
namespace {

// Whether the running window manager lists the atom in _NET_SUPPORTED.
bool managerSupports(xcb_connection_t* c, xcb_atom_t wanted) {
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, rootWindow(c), internAtom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 0,
                         4096),
        nullptr));
    if (!reply || reply->format != 32) return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < count; ++i) {
        if (atoms[i] == wanted) return true;
    }
    return false;
}

// _NET_FRAME_EXTENTS holds left, right, top, bottom.
std::optional<QMargins> readFrameExtents(xcb_connection_t* c, xcb_window_t window,
                                         xcb_atom_t extents) {
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr));
    if (!reply || reply->format != 32 || reply->value_len != 4) return std::nullopt;
    const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return QMargins(static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]),
                    static_cast<int>(v[3]));
}

}  // namespace

std::optional<QMargins> frameBeforeMapping(QWidget& window, int timeoutMs) {
    xcb_connection_t* c = x11Connection();
    if (c == nullptr) return std::nullopt;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t request = internAtom(c, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_atom_t extents = internAtom(c, "_NET_FRAME_EXTENTS");
    if (!managerSupports(c, request)) return std::nullopt;
    xcb_delete_property(c, id, extents);  // a value left from an earlier mapping is stale
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = request;
    xcb_send_event(c, 0, rootWindow(c),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c);
    // Qt's reader thread owns the event queue, so the answer is polled by round trips;
    // window managers answer within a few milliseconds.
    QElapsedTimer waited;
    waited.start();
    do {
        if (auto margins = readFrameExtents(c, id, extents)) return margins;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    } while (waited.elapsed() < timeoutMs);
    return std::nullopt;
}

std::optional<QRect> serverGeometry(QWidget& window) {
    xcb_connection_t* c = x11Connection();
    if (c == nullptr || !window.testAttribute(Qt::WA_WState_Created)) return std::nullopt;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const Reply<xcb_get_geometry_reply_t> size(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr));
    const Reply<xcb_translate_coordinates_reply_t> place(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, id, rootWindow(c), 0, 0), nullptr));
    if (!size || !place) return std::nullopt;
    return QRect(place->dst_x, place->dst_y, size->width, size->height);
}

std::optional<QSize> configuredSize(const QByteArray& eventType, const void* message,
                                    const QWidget& window) {
    if (eventType != "xcb_generic_event_t" || message == nullptr) return std::nullopt;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_CONFIGURE_NOTIFY) return std::nullopt;
    const auto* configure = static_cast<const xcb_configure_notify_event_t*>(message);
    if (configure->window != static_cast<xcb_window_t>(window.internalWinId())) return std::nullopt;
    return QSize(configure->width, configure->height);
}

std::optional<bool> serverButtonHeld() {
    xcb_connection_t* c = x11Connection();
    if (c == nullptr) return std::nullopt;
    const Reply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, rootWindow(c)), nullptr));
    constexpr std::uint16_t kButtons = XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3;
    return reply && (reply->mask & kButtons) != 0;
}

std::optional<bool> serverSaysMaximized(QWidget& window) {
    xcb_connection_t* c = x11Connection();
    if (c == nullptr || !window.testAttribute(Qt::WA_WState_Created)) return std::nullopt;
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, static_cast<xcb_window_t>(window.winId()),
                         internAtom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64),
        nullptr));
    if (!reply || reply->format != 32) return false;
    const xcb_atom_t states[] = {internAtom(c, "_NET_WM_STATE_MAXIMIZED_VERT"),
                                 internAtom(c, "_NET_WM_STATE_MAXIMIZED_HORZ"),
                                 internAtom(c, "_NET_WM_STATE_FULLSCREEN")};
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < count; ++i) {
        for (const xcb_atom_t state : states) {
            if (atoms[i] == state) return true;
        }
    }
    return false;
}

}  // namespace pavo::qt
