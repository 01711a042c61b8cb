#include "platform/worker.h"

#include <thread>

namespace pavo {

void Worker::start(std::function<void()> job) {
    auto state = std::make_shared<State>();
    state->done = false;
    state_ = state;
    std::thread([state, job = std::move(job)] {
        job();
        const std::lock_guard lock(state->mutex);
        state->done = true;
        state->ended.notify_all();
    }).detach();
}

bool Worker::waitFor(std::chrono::milliseconds limit) const {
    std::unique_lock lock(state_->mutex);
    return state_->ended.wait_for(lock, limit, [&] { return state_->done; });
}

bool Worker::running() const {
    const std::lock_guard lock(state_->mutex);
    return !state_->done;
}

}  // namespace pavo
