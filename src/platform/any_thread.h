#pragma once

#include "platform/geometry.h"

#include <functional>

namespace pavo {

// What any thread may ask of the window: workers and watchers use nothing else.
class AnyThread {
  public:
    virtual ~AnyThread() = default;

    // One-shot or periodic timer of the main window; re-arming restarts the period.
    virtual void armTimer(int id, int milliseconds) = 0;
    // Runs `task` on the user-interface thread soon.
    virtual void runOnUiThread(std::function<void()> task) = 0;
    // The window's geometry: fresh on the user-interface thread, the last one
    // published elsewhere.
    [[nodiscard]] virtual GeometrySnapshot geometrySnapshot() const = 0;
};

}  // namespace pavo
