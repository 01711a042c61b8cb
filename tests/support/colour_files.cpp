#include "support/colour_files.h"

#include <zlib.h>

#include <array>

namespace pavo::test {

Bytes saved(cmsHPROFILE profile, const char* name) {
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(text, "en", "US", name);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

Bytes rgbProfile(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, double gamma,
                 const char* name) {
    const std::array<cmsFloat64Number, 5> srgb{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = gamma > 0 ? cmsBuildGamma(nullptr, gamma)
                                    : cmsBuildParametricToneCurve(nullptr, 4, srgb.data());
    std::array<cmsToneCurve*, 3> curves{curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves.data());
    cmsFreeToneCurve(curve);
    return saved(profile, name);
}

Bytes p3Profile() {
    return rgbProfile(kD65, kP3, 0, "Test P3");
}

void append(Bytes& bytes, std::uint32_t value, int count, bool big) {
    for (int k = 0; k < count; ++k)
        bytes.push_back(static_cast<unsigned char>(value >> (8 * (big ? count - 1 - k : k))));
}

Bytes withPngProfile(Bytes png, const Bytes& icc) {
    Bytes packed(compressBound(static_cast<uLong>(icc.size())));
    uLongf packedSize = packed.size();
    compress(packed.data(), &packedSize, icc.data(), static_cast<uLong>(icc.size()));
    Bytes data{'p', '3', 0, 0};
    data.insert(data.end(), packed.begin(), packed.begin() + static_cast<long>(packedSize));
    return withPngChunk(std::move(png), "iCCP", data);
}

Bytes withPngChunk(Bytes png, const char* type, const Bytes& data) {
    Bytes chunk(type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    Bytes whole;
    append(whole, static_cast<std::uint32_t>(chunk.size() - 4), 4);
    whole.insert(whole.end(), chunk.begin(), chunk.end());
    append(whole,
           static_cast<std::uint32_t>(crc32(0, chunk.data(), static_cast<uInt>(chunk.size()))), 4);
    png.insert(png.begin() + 33, whole.begin(), whole.end());  // after IHDR
    return png;
}

}  // namespace pavo::test
