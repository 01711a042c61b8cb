#pragma once

// Following the monitor's colour profile: pictures are converted where they are decoded,
// for the monitor the window is on; when the window moves to a monitor with another
// profile, or a profile is set, the pictures held are decoded again for it.

#include "platform/geometry.h"

namespace pavo {

struct Viewer;

// The colour target at start, for the monitor `window` (outer) opens on, before it exists.
void setUpColour(Viewer& viewer, const Rect& window);
// Reads the profile of the window's monitor again (always when `force`, else only when the
// window is on another monitor than the last read) and converts for it when it changed.
void followDisplayProfile(Viewer& viewer, bool force);
// Decodes again, for the present target, the neighbours and the shown image converted for
// another: the shown picture stays on screen until its new pixels are there.
void keepColourCurrent(Viewer& viewer);

}  // namespace pavo
