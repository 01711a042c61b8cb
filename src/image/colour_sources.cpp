// Where each container keeps what it says about its pixels' colours. Every read checks its
// bounds; a profile that cannot be read whole is Broken, so the picture shows as stored.

#include "image/header_reading.h"

#include <zlib.h>

#include <map>
#include <string_view>

namespace pavo::header {
namespace {

using namespace std::string_view_literals;
using Kind = PictureColour::Kind;

constexpr std::size_t kMostProfileBytes = 8U << 20U;

PictureColour iccColour(std::vector<unsigned char> icc) {
    PictureColour colour;
    colour.kind = icc.empty() ? Kind::Broken : Kind::Icc;
    colour.icc = std::move(icc);
    return colour;
}

PictureColour brokenColour() {
    PictureColour colour;
    colour.kind = Kind::Broken;
    return colour;
}

std::vector<unsigned char> copyOf(Bytes bytes, std::uint64_t pos, std::uint64_t count) {
    const auto* start = bytes.data() + pos;
    return {start, start + count};
}

// JPEG: "ICC_PROFILE\0", the segment's number from 1 and the count, then a piece of the
// profile; the pieces join in their numbers' order, whatever order the file has them in.
PictureColour jpegColour(Bytes bytes) {
    constexpr auto kSignature = "ICC_PROFILE\0"sv;
    std::map<unsigned, Bytes> pieces;
    unsigned count = 0;
    bool malformed = false;
    std::uint64_t pos = 2;
    for (;;) {
        while (has(bytes, pos, 1) && bytes[pos] != 0xFF) ++pos;
        while (has(bytes, pos, 1) && bytes[pos] == 0xFF) ++pos;
        if (!has(bytes, pos, 1)) break;
        const unsigned marker = bytes[pos++];
        if (marker == 0x00 || marker == 0x01 || marker == 0xD8 ||
            (marker >= 0xD0 && marker <= 0xD7))
            continue;
        if (marker == 0xD9 || marker == 0xDA) break;  // the profile comes before the scan
        const auto length = bigEndian(bytes, pos, 2);
        if (!length || *length < 2 || !has(bytes, pos, *length)) break;
        const std::uint64_t header = kSignature.size() + 2;
        if (marker == 0xE2 && *length >= 2 + header && matches(bytes, pos + 2, kSignature)) {
            const unsigned number = bytes[pos + 2 + kSignature.size()];
            const unsigned total = bytes[pos + 3 + kSignature.size()];
            malformed = malformed || number == 0 || number > total ||
                        (count != 0 && total != count) || pieces.count(number) != 0;
            count = total;
            pieces[number] = bytes.subspan(pos + 2 + header, *length - 2 - header);
        }
        pos += *length;
    }
    if (pieces.empty()) return {};
    std::size_t total = 0;
    for (const auto& [number, piece] : pieces) total += piece.size();
    if (malformed || pieces.size() != count || total > kMostProfileBytes) return brokenColour();
    std::vector<unsigned char> icc;
    for (const auto& [number, piece] : pieces) icc.insert(icc.end(), piece.begin(), piece.end());
    return iccColour(std::move(icc));
}

// A zlib stream inflated whole within the profile's cap; empty when it is not.
std::vector<unsigned char> inflated(Bytes compressed) {
    std::vector<unsigned char> out(
        std::min<std::size_t>(compressed.size() * 4 + 4096, kMostProfileBytes));
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return {};
    stream.next_in = const_cast<unsigned char*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    int result = Z_OK;
    while (result == Z_OK) {
        if (stream.total_out == out.size()) {
            if (out.size() == kMostProfileBytes) break;
            out.resize(std::min(out.size() * 2, kMostProfileBytes));
        }
        stream.next_out = out.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(out.size() - stream.total_out);
        result = inflate(&stream, Z_NO_FLUSH);
    }
    const bool whole = result == Z_STREAM_END;
    out.resize(whole ? stream.total_out : 0);
    inflateEnd(&stream);
    return out;
}

double pngFraction(Bytes bytes, std::uint64_t pos) {
    return static_cast<double>(bigEndian(bytes, pos, 4).value_or(0)) / 100000.0;
}

// PNG: the chunks before the first IDAT. An iCCP comes before sRGB, which comes before
// gAMA with cHRM, as PNG decoders rank them.
PictureColour pngColour(Bytes bytes) {
    PictureColour srgb;
    PictureColour gamma;
    for (std::uint64_t pos = 8;;) {
        const auto length = bigEndian(bytes, pos, 4);
        if (!length || !has(bytes, pos + 8, *length) || matches(bytes, pos + 4, "IDAT"sv)) break;
        const std::uint64_t data = pos + 8;
        if (matches(bytes, pos + 4, "iCCP"sv)) {
            const Bytes chunk = bytes.subspan(data, *length);
            const auto nameEnd = std::find(chunk.begin(), chunk.end(), 0);
            const auto nameLength = static_cast<std::size_t>(nameEnd - chunk.begin());
            // A name of 1 to 79 bytes, its end, compression method 0, the stream.
            if (nameLength == 0 || nameLength > 79 || nameLength + 2 > chunk.size() ||
                chunk[nameLength + 1] != 0)
                return brokenColour();
            return iccColour(inflated(chunk.subspan(nameLength + 2)));
        }
        if (matches(bytes, pos + 4, "sRGB"sv)) srgb.kind = Kind::Srgb;
        if (matches(bytes, pos + 4, "gAMA"sv) && *length == 4) {
            gamma.kind = Kind::Gamma;
            gamma.gamma = pngFraction(bytes, data);
        }
        if (matches(bytes, pos + 4, "cHRM"sv) && *length == 32) {
            for (std::size_t k = 0; k < gamma.chromaticities.size(); ++k)
                gamma.chromaticities[k] = pngFraction(bytes, data + 4 * k);
        }
        pos = data + *length + 4;  // past the CRC
    }
    if (srgb.kind == Kind::Srgb) return srgb;
    if (gamma.kind == Kind::Gamma && gamma.gamma > 0) return gamma;
    return {};
}

// WebP: an ICCP chunk in an extended file.
PictureColour webpColour(Bytes bytes) {
    if (!matches(bytes, 12, "VP8X"sv)) return {};
    for (std::uint64_t pos = 12;;) {
        const auto length = littleEndian(bytes, pos + 4, 4);
        if (!length || !has(bytes, pos + 8, *length)) return {};
        if (matches(bytes, pos, "ICCP"sv))
            return *length > kMostProfileBytes ? brokenColour()
                                               : iccColour(copyOf(bytes, pos + 8, *length));
        pos += 8 + *length + (*length & 1U);  // chunks are padded to even lengths
    }
}

// TIFF: the profile tag, 34675, of undefined or byte type.
PictureColour tiffColour(Bytes bytes) {
    constexpr std::uint64_t kIccTag = 34675;
    PictureColour colour;
    visitTiffDirectory(bytes, [&](const TiffDirectory& directory, const TiffEntry& entry) {
        if (entry.tag != kIccTag) return true;
        const auto pos = directory.valuePos(bytes, entry, 1);
        const bool readable = (entry.type == 1 || entry.type == 7) && pos &&
                              has(bytes, *pos, entry.count) && entry.count <= kMostProfileBytes;
        colour = readable ? iccColour(copyOf(bytes, *pos, entry.count)) : brokenColour();
        return false;
    });
    return colour;
}

}  // namespace

PictureColour colourOf(Bytes bytes) {
    if (matches(bytes, 0, "\xFF\xD8"sv)) return jpegColour(bytes);
    if (matches(bytes, 0, "\x89PNG\r\n\x1A\n"sv)) return pngColour(bytes);
    if (matches(bytes, 0, "RIFF"sv) && matches(bytes, 8, "WEBP"sv)) return webpColour(bytes);
    if (matches(bytes, 0, "II"sv) || matches(bytes, 0, "MM"sv)) return tiffColour(bytes);
    return {};
}

}  // namespace pavo::header
