#include "platform/qt/x11_colour.h"

#include "platform/qt/x11_connection.h"

#include <xcb/xinerama.h>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pavo::qt {
namespace {

// Desktop colour managers publish monitor n's profile as the root window property
// _ICC_PROFILE (n = 0) or _ICC_PROFILE_n, 8-bit data holding the ICC file's bytes.
constexpr char kProfilePrefix[] = "_ICC_PROFILE";
constexpr std::uint32_t kMostProfileBytes = 8U << 20;  // real profiles are kilobytes
constexpr int kSettleMs = 50;

QByteArray profileName(int monitor) {
    QByteArray name(kProfilePrefix);
    if (monitor > 0) name += '_' + QByteArray::number(monitor);
    return name;
}

// The monitors as Xinerama lists them, since colour managers number the properties by that
// list. Qt's screen list is no substitute: Qt builds it from RandR and moves the primary
// screen to the front, so its order can differ, and its geometry is in logical pixels,
// while Xinerama's rectangles are the server's pixels that the area comes in. Empty when
// Xinerama is off: then the screen is the one monitor.
std::vector<QRect> xineramaMonitors(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_xinerama_id);
    if (extension == nullptr || extension->present == 0) return {};
    const Reply<xcb_xinerama_is_active_reply_t> active(
        xcb_xinerama_is_active_reply(c, xcb_xinerama_is_active(c), nullptr));
    if (!active || active->state == 0) return {};
    const Reply<xcb_xinerama_query_screens_reply_t> screens(
        xcb_xinerama_query_screens_reply(c, xcb_xinerama_query_screens(c), nullptr));
    if (!screens) return {};
    const xcb_xinerama_screen_info_t* info = xcb_xinerama_query_screens_screen_info(screens.get());
    const int count = xcb_xinerama_query_screens_screen_info_length(screens.get());
    std::vector<QRect> monitors;
    monitors.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        monitors.emplace_back(info[i].x_org, info[i].y_org, info[i].width, info[i].height);
    }
    return monitors;
}

// The monitor holding `point`, else the one nearest to it; 0 when there is no list.
int monitorAt(const std::vector<QRect>& monitors, QPoint point) {
    int best = 0;
    qint64 bestDistance = -1;
    for (int i = 0; i < static_cast<int>(monitors.size()); ++i) {
        const QRect& m = monitors[static_cast<std::size_t>(i)];
        const qint64 dx = std::max({m.left() - point.x(), 0, point.x() - m.right()});
        const qint64 dy = std::max({m.top() - point.y(), 0, point.y() - m.bottom()});
        const qint64 distance = dx * dx + dy * dy;
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

QByteArray readProfile(xcb_connection_t* c, int monitor) {
    // An atom nobody has interned names no property, and need not be made.
    const xcb_atom_t atom = internAtom(c, profileName(monitor).constData(), true);
    if (atom == XCB_ATOM_NONE) return {};
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, rootWindow(c), atom, XCB_GET_PROPERTY_TYPE_ANY, 0,
                         kMostProfileBytes / 4),
        nullptr));
    // A larger value is no profile a monitor has; a cut one would not parse.
    if (!reply || reply->format != 8 || reply->bytes_after != 0) return {};
    return {static_cast<const char*>(xcb_get_property_value(reply.get())),
            xcb_get_property_value_length(reply.get())};
}

// Hears every property change of the root window, and reports those of the profiles once
// they have settled.
class ProfileWatch final : public QObject, public QAbstractNativeEventFilter {
  public:
    ProfileWatch(QObject& owner, xcb_connection_t* c, std::function<void()> changed)
        : QObject(&owner), c_(c), root_(rootWindow(c)), changed_(std::move(changed)) {
        settle_.setSingleShot(true);
        settle_.setInterval(kSettleMs);
        connect(&settle_, &QTimer::timeout, this, [this] { changed_(); });
        selectPropertyChanges();
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message,
                           qintptr* /*result*/) override {
        if (eventType != "xcb_generic_event_t" || message == nullptr) return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) return false;
        const auto* property = static_cast<const xcb_property_notify_event_t*>(message);
        if (property->window == root_ && isProfile(property->atom)) settle_.start();
        return false;  // Qt handles the event as usual
    }

  private:
    // Qt selects the root's property changes itself; its own mask is kept either way.
    void selectPropertyChanges() {
        const Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, root_), nullptr));
        const std::uint32_t had = attributes ? attributes->your_event_mask : 0;
        const std::uint32_t mask = had | XCB_EVENT_MASK_PROPERTY_CHANGE;
        if (mask == had) return;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c_);
    }

    // _ICC_PROFILE or _ICC_PROFILE_ and digits. The root's other properties change all the
    // time (the active window, the client list), so each atom's name is asked only once.
    bool isProfile(xcb_atom_t atom) {
        if (const auto known = names_.find(atom); known != names_.end()) return known->second;
        const Reply<xcb_get_atom_name_reply_t> reply(
            xcb_get_atom_name_reply(c_, xcb_get_atom_name(c_, atom), nullptr));
        if (!reply) return false;  // asked again next time
        const QByteArray name(xcb_get_atom_name_name(reply.get()),
                              xcb_get_atom_name_name_length(reply.get()));
        bool profile = false;
        if (name.startsWith(kProfilePrefix)) {
            const QByteArray rest = name.mid(qsizetype(sizeof(kProfilePrefix) - 1));
            profile = rest.isEmpty() || (rest.size() > 1 && rest[0] == '_' &&
                                         std::all_of(rest.begin() + 1, rest.end(), [](char ch) {
                                             return ch >= '0' && ch <= '9';
                                         }));
        }
        names_.emplace(atom, profile);
        return profile;
    }

    xcb_connection_t* c_;
    xcb_window_t root_;
    std::function<void()> changed_;
    QTimer settle_;
    std::unordered_map<xcb_atom_t, bool> names_;
};

}  // namespace

QByteArray monitorProfile(const QRect& area) {
    xcb_connection_t* c = x11Connection();
    if (c == nullptr) return {};
    return readProfile(c, monitorAt(xineramaMonitors(c), area.center()));
}

void watchMonitorProfiles(QObject& owner, std::function<void()> changed) {
    if (xcb_connection_t* c = x11Connection()) new ProfileWatch(owner, c, std::move(changed));
}

}  // namespace pavo::qt
