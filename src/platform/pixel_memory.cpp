#include "platform/pixel_memory.h"

#include <opencv2/core/types_c.h>  // CV_AUTO_STEP
#include <opencv2/core.hpp>
#include <opencv2/core/mat.hpp>

#include <algorithm>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <sys/mman.h>

namespace pavo {
namespace {

constexpr std::size_t kLargeBuffer = std::size_t{1} << 20;  // below this, the heap
constexpr std::size_t kHugePage = std::size_t{2} << 20;     // mapping granularity
constexpr std::size_t kMaxCachedBuffers = 2;  // a step frees one image and decodes one
constexpr std::size_t kMaxCachedBytes = std::size_t{256} << 20;  // never hoard more than this

std::size_t roundToHugePages(std::size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

// A matrix allocator in the shape of OpenCV's standard one; only the pixel memory of
// large buffers comes from elsewhere.
class PixelAllocator final : public cv::MatAllocator {
  public:
    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data0, size_t* step,
                           cv::AccessFlag /*flags*/, cv::UMatUsageFlags /*usage*/) const override {
        size_t total = CV_ELEM_SIZE(type);
        for (int i = dims - 1; i >= 0; --i) {
            if (step != nullptr) {
                if (data0 != nullptr && step[i] != CV_AUTO_STEP) {
                    CV_Assert(total <= step[i]);
                    total = step[i];
                } else {
                    step[i] = total;
                }
            }
            total *= static_cast<size_t>(sizes[i]);
        }
        auto* data = static_cast<uchar*>(data0);
        if (data == nullptr)
            data = total >= kLargeBuffer ? takeLarge(total)
                                         : static_cast<uchar*>(cv::fastMalloc(total));
        auto* u = new cv::UMatData(this);
        u->data = u->origdata = data;
        u->size = total;
        if (data0 != nullptr) u->flags |= cv::UMatData::USER_ALLOCATED;
        return u;
    }

    bool allocate(cv::UMatData* u, cv::AccessFlag /*flags*/,
                  cv::UMatUsageFlags /*usage*/) const override {
        return u != nullptr;
    }

    void deallocate(cv::UMatData* u) const override {
        if (u == nullptr) return;
        CV_Assert(u->urefcount == 0 && u->refcount == 0);
        if ((u->flags & cv::UMatData::USER_ALLOCATED) == 0) {
            if (u->size >= kLargeBuffer) {
                giveBackLarge(u->origdata);
            } else {
                cv::fastFree(u->origdata);
            }
            u->origdata = nullptr;
        }
        delete u;
    }

    // Memory for something other than a matrix: large sizes from the pool, the rest
    // from the heap.
    void* takeBytes(std::size_t bytes) const {
        return bytes >= kLargeBuffer ? takeLarge(bytes) : ::operator new(bytes);
    }
    void giveBytes(void* memory, std::size_t bytes) const {
        if (bytes >= kLargeBuffer) {
            giveBackLarge(static_cast<uchar*>(memory));
        } else {
            ::operator delete(memory);
        }
    }

    void releaseCached() const {
        std::vector<std::pair<uchar*, std::size_t>> doomed;
        {
            const std::lock_guard lock(mutex_);
            doomed = takeCachedSmallerThan(std::numeric_limits<std::size_t>::max());
        }
        for (const auto& [buffer, bytes] : doomed) munmap(buffer, bytes);
    }

    PixelMemoryStats stats() const {
        const std::lock_guard lock(mutex_);
        return {cached_.size(), cachedBytes_, mapped_.size(), reuses_};
    }

  private:
    // The smallest cached buffer that holds `bytes` without wasting more than half
    // again; otherwise a fresh mapping, made after the cached buffers smaller than it
    // have gone back to the system: pictures larger than the ones freed are being
    // decoded, and those buffers would only wait beside them (after a 16-bit PNG, its
    // file and decode stayed cached while two 24 MP photos decoded: 66 MB more at the
    // peak).
    uchar* takeLarge(std::size_t bytes) const {
        const std::size_t wanted = roundToHugePages(bytes);
        std::vector<std::pair<uchar*, std::size_t>> outgrown;
        {
            const std::lock_guard lock(mutex_);
            auto best = cached_.end();
            for (auto it = cached_.begin(); it != cached_.end(); ++it) {
                const std::size_t size = mapped_.at(*it);
                if (size >= wanted && size <= wanted + wanted / 2 &&
                    (best == cached_.end() || size < mapped_.at(*best))) {
                    best = it;
                }
            }
            if (best != cached_.end()) {
                uchar* buffer = *best;
                cachedBytes_ -= mapped_.at(buffer);
                cached_.erase(best);
                ++reuses_;
                return buffer;
            }
            outgrown = takeCachedSmallerThan(wanted);
        }
        for (const auto& [buffer, size] : outgrown) munmap(buffer, size);
        void* mapping =
            mmap(nullptr, wanted, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) throw std::bad_alloc();
        madvise(mapping, wanted, MADV_HUGEPAGE);
        auto* buffer = static_cast<uchar*>(mapping);
        const std::lock_guard lock(mutex_);
        mapped_.emplace(buffer, wanted);
        return buffer;
    }

    // Under the lock: the cached buffers below `size`, out of the pool.
    std::vector<std::pair<uchar*, std::size_t>> takeCachedSmallerThan(std::size_t size) const {
        std::vector<std::pair<uchar*, std::size_t>> taken;
        std::erase_if(cached_, [&](uchar* buffer) {
            const std::size_t bytes = mapped_.at(buffer);
            if (bytes >= size) return false;
            taken.emplace_back(buffer, bytes);
            mapped_.erase(buffer);
            cachedBytes_ -= bytes;
            return true;
        });
        return taken;
    }

    void giveBackLarge(uchar* buffer) const {
        std::size_t unmapBytes = 0;
        {
            const std::lock_guard lock(mutex_);
            const std::size_t size = mapped_.at(buffer);
            if (cached_.size() < kMaxCachedBuffers && cachedBytes_ + size <= kMaxCachedBytes) {
                cached_.push_back(buffer);
                cachedBytes_ += size;
                return;
            }
            mapped_.erase(buffer);
            unmapBytes = size;
        }
        munmap(buffer, unmapBytes);
    }

    mutable std::mutex mutex_;
    mutable std::unordered_map<uchar*, std::size_t> mapped_;  // every live large mapping
    mutable std::vector<uchar*> cached_;                      // freed, kept for reuse
    mutable std::size_t cachedBytes_ = 0;
    mutable std::size_t reuses_ = 0;
};

// OpenCV keeps a raw pointer to its default allocator for the life of the process,
// so this one is never destroyed.
PixelAllocator& pixelAllocator() {
    static auto* allocator = new PixelAllocator();
    return *allocator;
}

}  // namespace

void installPixelMemory() {
    cv::Mat::setDefaultAllocator(&pixelAllocator());
}

void releaseCachedPixelMemory() {
    pixelAllocator().releaseCached();
}

PixelMemoryStats pixelMemoryStats() {
    return pixelAllocator().stats();
}

void* takePixelMemory(std::size_t bytes) {
    return pixelAllocator().takeBytes(bytes);
}

void givePixelMemory(void* memory, std::size_t bytes) {
    pixelAllocator().giveBytes(memory, bytes);
}

}  // namespace pavo
