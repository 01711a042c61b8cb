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

}  // namespace pavo
