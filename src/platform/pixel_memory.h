#pragma once

#include <cstddef>

namespace pavo {

// Large pixel buffers come from their own mappings with transparent huge pages, and a
// few freed ones are kept for the next image: faulting in fresh memory costs more than
// decoding, so stepping through images should reuse it. Small matrices use the heap.
struct PixelMemoryStats {
    std::size_t cachedBuffers = 0;
    std::size_t cachedBytes = 0;
    std::size_t mappedBuffers = 0;  // live large buffers, cached ones included
    std::size_t reuses = 0;
};

// Makes OpenCV allocate every new matrix through Pavo's pixel memory. Call once at
// start, before any matrix is made.
void installPixelMemory();

// Returns the cached free buffers to the system (the idle release calls this).
void releaseCachedPixelMemory();

PixelMemoryStats pixelMemoryStats();

// Raw pixel memory for other large buffers (whole files read for decoding).
void* takePixelMemory(std::size_t bytes);
void givePixelMemory(void* memory, std::size_t bytes);

// A standard allocator over pixel memory, so a byte vector of a large file reuses the
// buffers of earlier ones instead of faulting in fresh pages.
template <typename T>
struct PixelMemoryAllocator {
    using value_type = T;
    PixelMemoryAllocator() = default;
    template <typename U>
    PixelMemoryAllocator(const PixelMemoryAllocator<U>& /*other*/) {
    }  // NOLINT(google-explicit-constructor)
    T* allocate(std::size_t n) { return static_cast<T*>(takePixelMemory(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { givePixelMemory(p, n * sizeof(T)); }
    template <typename U>
    bool operator==(const PixelMemoryAllocator<U>& /*other*/) const {
        return true;
    }
};

}  // namespace pavo
