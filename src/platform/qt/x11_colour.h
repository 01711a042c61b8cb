#pragma once

#include <QByteArray>
#include <QRect>

#include <functional>

class QObject;

namespace pavo::qt {

// The ICC profile that the desktop's colour manager set on the X root window for the
// monitor holding the centre of `area` (device pixels, which are the X server's), or for
// the nearest monitor when none holds it; empty when none is set or when not on X11.
QByteArray monitorProfile(const QRect& area);

// Calls `changed` on the user-interface thread shortly after any monitor's profile is set,
// changed or removed; a burst of changes (a colour manager setting every monitor) gives
// one call. The watch lasts as long as `owner`. Nothing is watched when not on X11.
void watchMonitorProfiles(QObject& owner, std::function<void()> changed);

}  // namespace pavo::qt
