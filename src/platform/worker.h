#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace pavo {

// One background job at a time on its own thread, with a bounded wait for its end.
// The thread is detached: a job that outlives every wait simply finishes on its own,
// and the process may end while it runs.
class Worker {
  public:
    // Starts `job` on a new thread. Only call when the previous job has ended.
    void start(std::function<void()> job);

    // Waits up to `limit` for the job to end; true when it has (or none was started).
    bool waitFor(std::chrono::milliseconds limit) const;

    [[nodiscard]] bool running() const;

  private:
    struct State {
        mutable std::mutex mutex;
        mutable std::condition_variable ended;
        bool done = true;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Every wait for another thread is bounded by this.
inline constexpr std::chrono::milliseconds kWorkerWaitLimit{30000};

}  // namespace pavo
