#pragma once

// Pictures and profiles for the colour tests, made with Little CMS and zlib.

#include <lcms2.h>

#include <cstdint>
#include <vector>

namespace pavo::test {

using Bytes = std::vector<unsigned char>;

inline constexpr cmsCIExyY kD65{0.3127, 0.3290, 1};
inline constexpr cmsCIExyYTRIPLE kP3{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};

// The profile's bytes, described as `name`; the profile is closed.
Bytes saved(cmsHPROFILE profile, const char* name);
// A matrix-shaper RGB profile; a gamma of 0 is sRGB's curve.
Bytes rgbProfile(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, double gamma,
                 const char* name);
// Display P3 primaries with sRGB's curve, described as "Test P3".
Bytes p3Profile();
// `count` bytes of `value`, big-endian unless said otherwise.
void append(Bytes& bytes, std::uint32_t value, int count, bool big = true);
// A PNG with `icc` in an iCCP chunk after its header.
Bytes withPngProfile(Bytes png, const Bytes& icc);
// A PNG with a chunk of `type` holding `data` after its header.
Bytes withPngChunk(Bytes png, const char* type, const Bytes& data);

}  // namespace pavo::test
