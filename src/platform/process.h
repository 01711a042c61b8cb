#pragma once

#include <cstdint>

namespace pavo {

// Memory that belongs to this process alone (private clean and dirty pages), in
// bytes; 0 when it cannot be read.
std::uint64_t privateMemoryBytes();

// Memory this process can still take without the kernel killing it or an allocation
// failing: the system's available memory (MemAvailable), or less when an address-space
// limit (RLIMIT_AS) leaves less room. The largest value when nothing can be read, so an
// unknown amount refuses nothing.
std::uint64_t availableMemoryBytes();

}  // namespace pavo
