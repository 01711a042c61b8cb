#pragma once

// Reading image headers, shared by the readers of each format. Every read checks its
// bounds, so a short or hostile header gives nothing instead of a read past the buffer.
// Each reader accepts at least what the decoder behind it accepts, so no decodable
// image escapes the memory check.

#include "image/image.h"
#include "platform/format_module.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace pavo::header {

using Bytes = std::span<const unsigned char>;

inline bool has(Bytes bytes, std::uint64_t pos, std::uint64_t count) {
    return pos <= bytes.size() && count <= bytes.size() - pos;
}

inline bool matches(Bytes bytes, std::uint64_t pos, std::string_view text) {
    if (!has(bytes, pos, text.size())) return false;
    return std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                      [](char c, unsigned char b) { return static_cast<unsigned char>(c) == b; });
}

// An unsigned number of `count` bytes (at most 8) at `pos`.
inline std::optional<std::uint64_t> number(Bytes bytes, std::uint64_t pos, std::size_t count,
                                           bool bigEndian) {
    if (!has(bytes, pos, count)) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t k = 0; k < count; ++k) {
        value = (value << 8) | bytes[pos + (bigEndian ? k : count - 1 - k)];
    }
    return value;
}

inline std::optional<std::uint64_t> bigEndian(Bytes bytes, std::uint64_t pos, std::size_t count) {
    return number(bytes, pos, count, true);
}

inline std::optional<std::uint64_t> littleEndian(Bytes bytes, std::uint64_t pos,
                                                 std::size_t count) {
    return number(bytes, pos, count, false);
}

// Sizes beyond 32 bits saturate: no decoder takes them, and the estimate refuses them.
// Samples are rounded up to the depths a matrix has.
inline std::optional<DeclaredImage> declared(std::uint64_t width, std::uint64_t height,
                                             std::uint64_t bits) {
    constexpr std::uint64_t most = std::numeric_limits<std::uint32_t>::max();
    const std::uint32_t sampleBits = bits <= 8 ? 8 : bits <= 16 ? 16 : bits <= 32 ? 32 : 64;
    return DeclaredImage{static_cast<std::uint32_t>(std::min(width, most)),
                         static_cast<std::uint32_t>(std::min(height, most)), sampleBits};
}

// The readers of the formats OpenCV recognises by their content.
std::optional<DeclaredImage> pngSize(Bytes bytes);
std::optional<DeclaredImage> jpegSize(Bytes bytes);
std::optional<DeclaredImage> bmpSize(Bytes bytes);
std::optional<DeclaredImage> webpSize(Bytes bytes);
std::optional<DeclaredImage> tiffSize(Bytes bytes);

// One entry of a TIFF directory: `field` is where its value or the offset of it sits.
struct TiffEntry {
    std::uint64_t tag = 0;
    std::uint64_t type = 0;
    std::uint64_t count = 0;
    std::uint64_t field = 0;
};
struct TiffDirectory {
    bool bigEndian = false;
    std::size_t offsetSize = 4;  // 8 in BigTIFF
    [[nodiscard]] std::optional<std::uint64_t> read(Bytes bytes, std::uint64_t pos,
                                                    std::size_t count) const {
        return number(bytes, pos, count, bigEndian);
    }
    // Where the values of `entry` start, each `valueSize` bytes long.
    [[nodiscard]] std::optional<std::uint64_t> valuePos(Bytes bytes, const TiffEntry& entry,
                                                        std::uint64_t valueSize) const;
};
// Visits the entries of a TIFF's (or BigTIFF's, either byte order) first directory, in
// order, until `visit` returns false; false when the header or an entry on the way is cut
// short or malformed. Entries are not kept: a directory may claim billions of them.
using TiffVisit = std::function<bool(const TiffDirectory&, const TiffEntry&)>;
bool visitTiffDirectory(Bytes bytes, const TiffVisit& visit);
std::optional<DeclaredImage> netpbmSize(Bytes bytes);
std::optional<DeclaredImage> sunRasterSize(Bytes bytes);
std::optional<DeclaredImage> radianceSize(Bytes bytes);
std::optional<DeclaredImage> codestreamSize(Bytes bytes, std::uint64_t pos);
std::optional<DeclaredImage> jp2Size(Bytes bytes);

// The formats Pavo's format module decodes, told by their first bytes: HEIF and AVIF are
// ISO base media files whose brands name them, JPEG XL a bare codestream or its container.
// So are GIF and animated WebP (a WebP file whose extended header says it is animated; a
// still WebP stays OpenCV's).
enum class ModuleFormat { None, Heif, Avif, JpegXl, Gif, AnimatedWebp };

inline ModuleFormat moduleFormat(Bytes bytes) {
    using namespace std::string_view_literals;
    if (matches(bytes, 0, "\xFF\x0A"sv) || matches(bytes, 0, "\0\0\0\x0CJXL \r\n\x87\n"sv))
        return ModuleFormat::JpegXl;
    if (matches(bytes, 0, "GIF87a"sv) || matches(bytes, 0, "GIF89a"sv)) return ModuleFormat::Gif;
    constexpr unsigned char kAnimationFlag = 0x02;
    if (matches(bytes, 0, "RIFF"sv) && matches(bytes, 8, "WEBPVP8X"sv) && has(bytes, 20, 1) &&
        (bytes[20] & kAnimationFlag) != 0)
        return ModuleFormat::AnimatedWebp;
    const auto boxSize = bigEndian(bytes, 0, 4);
    if (!boxSize || !matches(bytes, 4, "ftyp"sv)) return ModuleFormat::None;
    // The major brand, then the compatible ones after the minor version.
    bool heif = false;
    const std::uint64_t end = std::min<std::uint64_t>(*boxSize, bytes.size());
    for (std::uint64_t pos = 8; pos + 4 <= end; pos += pos == 8 ? 8 : 4) {
        for (const std::string_view brand : {"avif"sv, "avis"sv})
            if (matches(bytes, pos, brand)) return ModuleFormat::Avif;
        for (const std::string_view brand :
             {"heic"sv, "heix"sv, "heim"sv, "heis"sv, "hevc"sv, "hevx"sv, "mif1"sv, "msf1"sv})
            heif = heif || matches(bytes, pos, brand);
    }
    return heif ? ModuleFormat::Heif : ModuleFormat::None;
}

// What the file says about its colours: a JPEG's APP2 profile, a PNG's iCCP, sRGB, gAMA
// and cHRM, a WebP's ICCP, a TIFF's profile tag. Unstated for other formats (the format
// module reads its own).
PictureColour colourOf(Bytes bytes);

}  // namespace pavo::header
