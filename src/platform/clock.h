#pragma once

#include <cstdint>

namespace pavo {

// Nanoseconds of a monotonic clock; only differences mean anything.
std::int64_t monotonicNanoseconds();

// Whole milliseconds between two readings of monotonicNanoseconds, truncated.
std::int32_t elapsedMilliseconds(std::int64_t startNs, std::int64_t endNs);

}  // namespace pavo
