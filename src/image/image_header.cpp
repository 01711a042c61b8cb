// What an image file declares about its size before any pixel is decoded: the common
// formats, and the dispatch by content.
#include "image/header_reading.h"

namespace pavo {
namespace header {

// PNG: the IHDR chunk, which must come first.
std::optional<DeclaredImage> pngSize(Bytes bytes) {
    if (!matches(bytes, 12, "IHDR")) return std::nullopt;
    const auto width = bigEndian(bytes, 16, 4);
    const auto height = bigEndian(bytes, 20, 4);
    const auto bitDepth = bigEndian(bytes, 24, 1);
    if (!width || !height || !bitDepth) return std::nullopt;
    return declared(*width, *height, *bitDepth);
}

// JPEG (and MPO, JPS): the first frame header, baseline, progressive or any other
// kind. Stray bytes and fill bytes before a marker are skipped, as the decoder does.
std::optional<DeclaredImage> jpegSize(Bytes bytes) {
    std::uint64_t pos = 2;  // past the start-of-image marker
    for (;;) {
        while (has(bytes, pos, 1) && bytes[pos] != 0xFF) ++pos;
        while (has(bytes, pos, 1) && bytes[pos] == 0xFF) ++pos;
        if (!has(bytes, pos, 1)) return std::nullopt;
        const unsigned marker = bytes[pos++];
        // A stuffed zero, temporary marker, restart or repeated start carry no segment.
        if (marker == 0x00 || marker == 0x01 || marker == 0xD8 ||
            (marker >= 0xD0 && marker <= 0xD7)) {
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // no frame before end or scan
        const auto length = bigEndian(bytes, pos, 2);
        if (!length || *length < 2) return std::nullopt;
        const bool frameHeader =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frameHeader) {
            const auto precision = bigEndian(bytes, pos + 2, 1);
            const auto height = bigEndian(bytes, pos + 3, 2);
            const auto width = bigEndian(bytes, pos + 5, 2);
            if (!precision || !height || !width) return std::nullopt;
            return declared(*width, *height, *precision);
        }
        pos += *length;
    }
}

// BMP: the OS/2 core header (16-bit sizes) or any Windows info header (32-bit, a
// negative height meaning top-down rows).
std::optional<DeclaredImage> bmpSize(Bytes bytes) {
    const auto headerSize = littleEndian(bytes, 14, 4);
    if (!headerSize) return std::nullopt;
    if (*headerSize == 12) {
        const auto width = littleEndian(bytes, 18, 2);
        const auto height = littleEndian(bytes, 20, 2);
        if (!width || !height) return std::nullopt;
        return declared(*width, *height, 8);
    }
    if (*headerSize < 36) return std::nullopt;
    const auto width = littleEndian(bytes, 18, 4);
    const auto height = littleEndian(bytes, 22, 4);
    if (!width || !height) return std::nullopt;
    const auto magnitude = [](std::uint64_t field) {
        const std::int64_t value = static_cast<std::int32_t>(static_cast<std::uint32_t>(field));
        return static_cast<std::uint64_t>(value < 0 ? -value : value);
    };
    return declared(magnitude(*width), magnitude(*height), 8);
}

// WebP: the first chunk, lossy (VP8), lossless (VP8L) or extended (VP8X canvas).
std::optional<DeclaredImage> webpSize(Bytes bytes) {
    if (matches(bytes, 12, "VP8 ")) {
        if (!matches(bytes, 23, "\x9D\x01\x2A")) return std::nullopt;
        const auto width = littleEndian(bytes, 26, 2);
        const auto height = littleEndian(bytes, 28, 2);
        if (!width || !height) return std::nullopt;
        return declared(*width & 0x3FFF, *height & 0x3FFF, 8);
    }
    if (matches(bytes, 12, "VP8L")) {
        if (!matches(bytes, 20, "\x2F")) return std::nullopt;
        const auto sizes = littleEndian(bytes, 21, 4);
        if (!sizes) return std::nullopt;
        return declared((*sizes & 0x3FFF) + 1, ((*sizes >> 14) & 0x3FFF) + 1, 8);
    }
    if (matches(bytes, 12, "VP8X")) {
        const auto width = littleEndian(bytes, 24, 3);
        const auto height = littleEndian(bytes, 27, 3);
        if (!width || !height) return std::nullopt;
        return declared(*width + 1, *height + 1, 8);
    }
    return std::nullopt;
}

bool visitTiffDirectory(Bytes bytes, const TiffVisit& visit) {
    TiffDirectory directory;
    directory.bigEndian = bytes[0] == 'M';
    const auto magic = directory.read(bytes, 2, 2);
    if (!magic) return false;
    std::optional<std::uint64_t> start;
    if (*magic == 42) {
        start = directory.read(bytes, 4, 4);
    } else if (*magic == 43 && directory.read(bytes, 4, 2) == std::uint64_t{8}) {
        directory.offsetSize = 8;
        start = directory.read(bytes, 8, 8);
    } else {
        return false;
    }
    if (!start) return false;
    const std::size_t countSize = directory.offsetSize == 4 ? 2 : 8;
    const std::uint64_t entrySize = directory.offsetSize == 4 ? 12 : 20;
    const auto entries = directory.read(bytes, *start, countSize);
    if (!entries) return false;
    const std::uint64_t first = *start + countSize;
    for (std::uint64_t i = 0; i < *entries; ++i) {
        // Entries past the end stop the walk, whatever count the directory claims.
        const std::uint64_t entry = first + i * entrySize;
        if (!has(bytes, entry, entrySize)) return false;
        const TiffEntry read{*directory.read(bytes, entry, 2), *directory.read(bytes, entry + 2, 2),
                             *directory.read(bytes, entry + 4, directory.offsetSize),
                             entry + 4 + directory.offsetSize};
        if (!visit(directory, read)) return true;
    }
    return true;
}

std::optional<std::uint64_t> TiffDirectory::valuePos(Bytes bytes, const TiffEntry& entry,
                                                     std::uint64_t valueSize) const {
    // The value sits in the entry when it fits there, elsewhere at the offset it holds.
    if (entry.count > offsetSize / valueSize) return read(bytes, entry.field, offsetSize);
    return entry.field;
}

// Width, length and bits per sample of the first directory. A tag written twice counts
// with its larger value.
std::optional<DeclaredImage> tiffSize(Bytes bytes) {
    std::optional<std::uint64_t> width;
    std::optional<std::uint64_t> height;
    std::uint64_t bitsPerSample = 1;
    bool malformed = false;
    const bool walked =
        visitTiffDirectory(bytes, [&](const TiffDirectory& directory, const TiffEntry& entry) {
            if (entry.tag != 256 && entry.tag != 257 && entry.tag != 258) return true;
            std::size_t valueSize = 0;  // the integer types a reader may take a size from
            if (entry.type == 1 || entry.type == 6) valueSize = 1;
            if (entry.type == 3 || entry.type == 8) valueSize = 2;
            if (entry.type == 4 || entry.type == 9) valueSize = 4;
            if (entry.type == 16 || entry.type == 17) valueSize = 8;
            const auto pos = valueSize == 0 || entry.count == 0
                                 ? std::nullopt
                                 : directory.valuePos(bytes, entry, valueSize);
            const auto value = pos ? directory.read(bytes, *pos, valueSize) : std::nullopt;
            malformed = !value;
            if (entry.tag == 256 && value) width = std::max(width.value_or(0), *value);
            if (entry.tag == 257 && value) height = std::max(height.value_or(0), *value);
            if (entry.tag == 258 && value) bitsPerSample = std::max(bitsPerSample, *value);
            return !malformed;
        });
    if (!walked || malformed || !width || !height) return std::nullopt;
    return declared(*width, *height, bitsPerSample);
}

}  // namespace header

std::optional<DeclaredImage> declaredImageSize(const FileBytes& bytes) {
    const header::Bytes b(bytes.data(), bytes.size());
    using namespace std::string_view_literals;
    if (header::matches(b, 0, "\x89PNG\r\n\x1A\n"sv)) return header::pngSize(b);
    if (header::matches(b, 0, "\xFF\xD8"sv)) return header::jpegSize(b);
    if (header::matches(b, 0, "BM"sv)) return header::bmpSize(b);
    if (header::matches(b, 0, "RIFF"sv) && header::matches(b, 8, "WEBP"sv))
        return header::webpSize(b);
    if (header::matches(b, 0, "II"sv) || header::matches(b, 0, "MM"sv)) return header::tiffSize(b);
    if (header::matches(b, 0, "P"sv)) return header::netpbmSize(b);
    if (header::matches(b, 0, "\x59\xA6\x6A\x95"sv)) return header::sunRasterSize(b);
    if (header::matches(b, 0, "#?"sv)) return header::radianceSize(b);
    if (header::matches(b, 0, "\xFF\x4F\xFF\x51"sv)) return header::codestreamSize(b, 0);
    if (header::matches(b, 0, "\0\0\0\x0CjP  \r\n\x87\n"sv)) return header::jp2Size(b);
    return std::nullopt;
}

std::uint64_t decodeMemoryEstimate(const DeclaredImage& image) {
    // Up to four samples per pixel from the decoder plus the 8-bit copy made from them
    // (four bytes while an alpha channel is composited, three once it is BGR).
    const std::uint64_t perPixel = 4 * (std::uint64_t{image.sampleBits} / 8) + 4;
    const std::uint64_t pixels = std::uint64_t{image.width} * image.height;
    constexpr std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    return pixels > most / perPixel ? most : pixels * perPixel;
}

}  // namespace pavo
