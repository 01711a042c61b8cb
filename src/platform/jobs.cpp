#include "platform/jobs.h"

namespace pavo {

ThreadPool::~ThreadPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void ThreadPool::runJob(std::function<void()> work) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
        ++underWay_;
        // A job never waits for a thread that another job holds.
        if (idleThreads_ < static_cast<int>(queue_.size())) {
            threads_.emplace_back([this] { serve(); });
            ++idleThreads_;
        }
    }
    wake_.notify_one();
}

int ThreadPool::jobsUnderWay() const {
    const std::lock_guard lock(mutex_);
    return underWay_;
}

void ThreadPool::serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, with nothing left to do
        std::function<void()> work = std::move(queue_.front());
        queue_.pop_front();
        --idleThreads_;
        lock.unlock();
        try {
            work();
        } catch (...) {  // NOLINT(bugprone-empty-catch): nothing may end the thread
        }
        work = nullptr;  // what the job captured goes before it counts as ended
        lock.lock();
        ++idleThreads_;
        --underWay_;
    }
}

JobSlot::Ticket JobSlot::begin(std::uint64_t id) {
    cancel();
    token_ = CancelToken{};
    wanted_ = id;
    return {id, token_};
}

void JobSlot::cancel() {
    token_.cancel();
    wanted_ = 0;
}

void JobSlot::handOverTo(JobSlot& other) {
    other.cancel();
    other.wanted_ = wanted_;
    other.token_ = token_;
    wanted_ = 0;
    token_ = CancelToken{};
}

}  // namespace pavo
