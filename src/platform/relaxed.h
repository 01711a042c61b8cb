#pragma once

#include <atomic>

namespace pavo {

// A value the user-interface thread writes and worker threads read. Each access is one
// atomic word with relaxed ordering: readers tolerate seeing the old or the new value,
// never a torn one. Copying loads and stores, so records of such values stay copyable.
template <typename T>
class Relaxed {
  public:
    Relaxed() = default;
    Relaxed(T value) : value_(value) {}  // NOLINT(google-explicit-constructor): reads like T
    Relaxed(const Relaxed& other) : value_(other.load()) {}
    Relaxed& operator=(const Relaxed& other) {
        store(other.load());
        return *this;
    }
    Relaxed& operator=(T value) {
        store(value);
        return *this;
    }
    ~Relaxed() = default;

    operator T() const { return load(); }  // NOLINT(google-explicit-constructor)
    [[nodiscard]] T load() const { return value_.load(std::memory_order_relaxed); }
    void store(T value) { value_.store(value, std::memory_order_relaxed); }

  private:
    std::atomic<T> value_{};
};

}  // namespace pavo
