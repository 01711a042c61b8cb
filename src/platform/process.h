#pragma once

#include <cstdint>

namespace pavo {

// Memory that belongs to this process alone (private clean and dirty pages), in
// bytes; 0 when it cannot be read.
std::uint64_t privateMemoryBytes();

}  // namespace pavo
