#include "platform/clock.h"

#include <ctime>

namespace pavo {

std::int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::int32_t elapsedMilliseconds(std::int64_t startNs, std::int64_t endNs) {
    return static_cast<std::int32_t>(static_cast<double>(endNs - startNs) / 1e6);
}

}  // namespace pavo
