#pragma once

#include <opencv2/core/mat.hpp>

#include <algorithm>
#include <atomic>
#include <cstddef>

namespace pavo::test {

// OpenCV's allocator while it lives, so that a failed assertion cannot leave it behind:
// every OpenCV call that makes a matrix (decode, convert, resize, turn, join) allocates
// through it. It records the largest matrix asked for, and while armed makes the n-th new
// allocation throw, as OpenCV does when memory runs out.
class TestAllocator final : public cv::MatAllocator {
  public:
    TestAllocator() : base_(cv::Mat::getDefaultAllocator()) { cv::Mat::setDefaultAllocator(this); }
    ~TestAllocator() override { cv::Mat::setDefaultAllocator(base_); }
    TestAllocator(const TestAllocator&) = delete;
    TestAllocator& operator=(const TestAllocator&) = delete;
    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                           cv::AccessFlag flags, cv::UMatUsageFlags usage) const override {
        std::size_t bytes = CV_ELEM_SIZE(type);
        for (int i = 0; i < dims; ++i) bytes *= static_cast<std::size_t>(sizes[i]);
        std::size_t seen = largest;
        while (seen < bytes && !largest.compare_exchange_weak(seen, bytes)) {
        }
        if (armed_ && data == nullptr && ++made == failAt)
            CV_Error(cv::Error::StsNoMem, "no memory left (injected)");
        return base_->allocate(dims, sizes, type, data, step, flags, usage);
    }
    bool allocate(cv::UMatData* data, cv::AccessFlag flags,
                  cv::UMatUsageFlags usage) const override {
        return base_->allocate(data, flags, usage);
    }
    void deallocate(cv::UMatData* data) const override { base_->deallocate(data); }

    // Arms or disarms it; the state it had before.
    bool arm(bool on) { return armed_.exchange(on); }

    mutable std::atomic<std::size_t> largest{0};  // bytes
    mutable std::atomic<long> made{0};            // while armed
    std::atomic<long> failAt{0};                  // 0: none fails

  private:
    cv::MatAllocator* base_;
    std::atomic<bool> armed_{false};
};

}  // namespace pavo::test
