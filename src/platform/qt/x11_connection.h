#pragma once

// The X connection Qt already has, and what every file that asks the X server itself
// needs of it. Only src/platform/qt/ includes this.

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace pavo::qt {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }  // NOLINT: xcb replies are malloc'd
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// None offscreen, on Wayland, or before the application exists.
inline xcb_connection_t* x11Connection() {
    if (qGuiApp == nullptr) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

// XCB_ATOM_NONE when the server fails, or, with `onlyIfExists`, when nobody has named the
// atom yet (then no window can carry it).
inline xcb_atom_t internAtom(xcb_connection_t* c, const char* name, bool onlyIfExists = false) {
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c,
                              xcb_intern_atom(c, onlyIfExists ? 1 : 0,
                                              static_cast<std::uint16_t>(std::strlen(name)), name),
                              nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

inline xcb_window_t rootWindow(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

}  // namespace pavo::qt
