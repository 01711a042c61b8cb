#pragma once

// Background work has one shape, a job: it copies everything it reads when it starts,
// runs on a pool thread, and hands exactly one result back to the user-interface thread
// by one posted call, which drops the result when a later start (or a cancel) of the same
// kind of work made it stale. Jobs never touch the live viewer or a window.

#include "platform/any_thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace pavo {

// Tells a job that nobody wants its result any more; decoders that look at it stop early.
class CancelToken {
  public:
    void cancel() const { flag_->store(true, std::memory_order_relaxed); }
    [[nodiscard]] bool cancelled() const { return flag_->load(std::memory_order_relaxed); }
    [[nodiscard]] const std::atomic<bool>* flag() const { return flag_.get(); }

  private:
    std::shared_ptr<std::atomic<bool>> flag_ = std::make_shared<std::atomic<bool>>(false);
};

// Where jobs run. The program's is a thread pool; tests may run them when they choose.
class JobRunner {
  public:
    virtual ~JobRunner() = default;
    // Runs `work` on a background thread soon.
    virtual void runJob(std::function<void()> work) = 0;
};

// A pool of threads that grows to as many jobs as run at once and keeps its threads for
// the next ones. A thread never lets an exception out: a job's work catches its own.
// Destroying the pool waits for the jobs under way (tests); the program leaves through
// std::_Exit and never destroys it.
class ThreadPool final : public JobRunner {
  public:
    ThreadPool() = default;
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;
    ThreadPool(ThreadPool&&) = delete;
    ThreadPool& operator=(ThreadPool&&) = delete;
    ~ThreadPool() override;

    void runJob(std::function<void()> work) override;
    // Jobs started and not yet ended.
    [[nodiscard]] int jobsUnderWay() const;

  private:
    void serve();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    std::vector<std::thread> threads_;
    int idleThreads_ = 0;
    int underWay_ = 0;
    bool stopping_ = false;
};

// The one job of a kind whose result is wanted. Starting a new one cancels the one before,
// and a result is taken only from the job the slot still wants. User-interface thread only.
class JobSlot {
  public:
    struct Ticket {
        std::uint64_t id = 0;
        CancelToken token;
    };
    // Wants a new job with this id (unique among the viewer's jobs); the one wanted before
    // is cancelled.
    Ticket begin(std::uint64_t id);
    // Wants nothing: the job under way, if any, is cancelled and its result will be dropped.
    void cancel();
    [[nodiscard]] bool wants(std::uint64_t id) const { return id != 0 && wanted_ == id; }
    // Whether a wanted job has not handed its result back yet.
    [[nodiscard]] bool busy() const { return wanted_ != 0; }
    // The wanted job's result has arrived: nothing is wanted any more.
    void done() { wanted_ = 0; }
    // Hands the wanted job, with its token, to another slot (which wants nothing now).
    void handOverTo(JobSlot& other);

  private:
    std::uint64_t wanted_ = 0;
    CancelToken token_;
};

// A job ready to run: `work` runs on a pool thread with what it captured (copies taken
// now) and the job's token, and its result (nothing when it threw) comes back to
// `deliver` on the user-interface thread by one posted call. `deliver` decides whether the
// result is still wanted (JobSlot::wants).
template <typename Result>
std::function<void()> makeJob(AnyThread& ui, CancelToken token,
                              std::function<std::optional<Result>(const CancelToken&)> work,
                              std::function<void(std::optional<Result>)> deliver) {
    return [&ui, token = std::move(token), work = std::move(work),
            deliver = std::move(deliver)]() mutable {
        std::optional<Result> result;
        try {
            if (!token.cancelled()) result = work(token);
        } catch (const std::exception&) {
            result.reset();  // OpenCV errors, exhausted memory: the work failed
        }
        ui.runOnUiThread([deliver = std::move(deliver), result = std::move(result)]() mutable {
            deliver(std::move(result));
        });
    };
}

// Starts a job made as makeJob makes it.
template <typename Result>
void startJob(JobRunner& runner, AnyThread& ui, CancelToken token,
              std::function<std::optional<Result>(const CancelToken&)> work,
              std::function<void(std::optional<Result>)> deliver) {
    runner.runJob(makeJob<Result>(ui, std::move(token), std::move(work), std::move(deliver)));
}

}  // namespace pavo
