#pragma once

#include <functional>

namespace pavo {

// What a job's thread may ask of the user-interface thread: nothing but to run its
// result's hand-over there.
class AnyThread {
  public:
    virtual ~AnyThread() = default;

    // Runs `task` on the user-interface thread soon, after what was asked before it.
    virtual void runOnUiThread(std::function<void()> task) = 0;
};

}  // namespace pavo
