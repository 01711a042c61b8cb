// What the less common formats OpenCV decodes declare about their size: the Netpbm
// family, Sun raster, Radiance HDR and JPEG 2000.
#include "image/header_reading.h"

namespace pavo::header {
namespace {

bool isSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Decimal digits at `pos`, saturating past 32 bits; they must be followed by some
// byte, which ends them and is passed over, as the Netpbm reader does.
std::optional<std::uint64_t> decimal(Bytes bytes, std::uint64_t& pos) {
    constexpr std::uint64_t most = std::uint64_t{1} << 32;
    std::uint64_t value = 0;
    const std::uint64_t start = pos;
    while (has(bytes, pos, 1) && isDigit(bytes[pos])) {
        value = std::min(value * 10 + (bytes[pos] - '0'), most);
        ++pos;
    }
    if (pos == start || !has(bytes, pos, 1)) return std::nullopt;
    ++pos;
    return value;
}

// The next number of a Netpbm header, past white space and comments.
std::optional<std::uint64_t> netpbmNumber(Bytes bytes, std::uint64_t& pos) {
    while (has(bytes, pos, 1) && !isDigit(bytes[pos])) {
        if (bytes[pos] == '#') {
            while (has(bytes, pos, 1) && bytes[pos] != '\n' && bytes[pos] != '\r') ++pos;
        } else if (!isSpace(bytes[pos])) {
            return std::nullopt;
        }
        ++pos;
    }
    return decimal(bytes, pos);
}

// PAM: "NAME value" lines up to ENDHDR.
std::optional<DeclaredImage> pamSize(Bytes bytes) {
    std::optional<std::uint64_t> width;
    std::optional<std::uint64_t> height;
    std::optional<std::uint64_t> maxval;
    std::uint64_t pos = 3;
    for (;;) {
        while (has(bytes, pos, 1) && isSpace(bytes[pos])) ++pos;
        if (!has(bytes, pos, 1)) return std::nullopt;
        if (bytes[pos] == '#') {
            while (has(bytes, pos, 1) && bytes[pos] != '\n' && bytes[pos] != '\r') ++pos;
            continue;
        }
        const std::uint64_t start = pos;
        while (has(bytes, pos, 1) && !isSpace(bytes[pos])) ++pos;
        const auto name = bytes.subspan(start, pos - start);
        const auto is = [&](std::string_view field) {
            return name.size() == field.size() && matches(bytes, start, field);
        };
        if (is("ENDHDR")) break;
        if (!is("WIDTH") && !is("HEIGHT") && !is("MAXVAL")) {
            while (has(bytes, pos, 1) && bytes[pos] != '\n' && bytes[pos] != '\r') ++pos;
            continue;
        }
        while (has(bytes, pos, 1) && (bytes[pos] == ' ' || bytes[pos] == '\t')) ++pos;
        const auto value = decimal(bytes, pos);
        if (!value) return std::nullopt;
        (is("WIDTH") ? width : is("HEIGHT") ? height : maxval) = *value;
    }
    if (!width || !height) return std::nullopt;
    return declared(*width, *height, maxval.value_or(0) > 255 ? 16 : 8);
}

}  // namespace

// Netpbm: PBM, PGM, PPM (plain or raw), PAM and PFM.
std::optional<DeclaredImage> netpbmSize(Bytes bytes) {
    if (!has(bytes, 0, 3) || !isSpace(bytes[2])) return std::nullopt;
    const unsigned char kind = bytes[1];
    if (kind == '7') return pamSize(bytes);
    if (!(kind >= '1' && kind <= '6') && kind != 'F' && kind != 'f') return std::nullopt;
    std::uint64_t pos = 2;
    const auto width = netpbmNumber(bytes, pos);
    const auto height = width ? netpbmNumber(bytes, pos) : std::nullopt;
    if (!height) return std::nullopt;
    if (kind == 'F' || kind == 'f') return declared(*width, *height, 32);  // float samples
    if (kind == '1' || kind == '4') return declared(*width, *height, 8);
    const auto maxval = netpbmNumber(bytes, pos);
    if (!maxval) return std::nullopt;
    return declared(*width, *height, *maxval > 255 ? 16 : 8);
}

// Sun raster: width and height follow the magic number.
std::optional<DeclaredImage> sunRasterSize(Bytes bytes) {
    const auto width = bigEndian(bytes, 4, 4);
    const auto height = bigEndian(bytes, 8, 4);
    if (!width || !height) return std::nullopt;
    return declared(*width, *height, 8);
}

// Radiance HDR: header lines up to an empty one, then a resolution line such as
// "-Y 480 +X 640"; the samples decode to float.
std::optional<DeclaredImage> radianceSize(Bytes bytes) {
    std::uint64_t pos = 0;
    for (bool emptyLine = false; !emptyLine;) {
        const std::uint64_t start = pos;
        while (has(bytes, pos, 1) && bytes[pos] != '\n') ++pos;
        if (!has(bytes, pos, 1)) return std::nullopt;
        emptyLine = pos == start;
        ++pos;
    }
    std::optional<std::uint64_t> width;
    std::optional<std::uint64_t> height;
    for (int axis = 0; axis < 2; ++axis) {
        while (has(bytes, pos, 1) && (bytes[pos] == ' ' || bytes[pos] == '\t')) ++pos;
        if (!has(bytes, pos, 2) || (bytes[pos] != '-' && bytes[pos] != '+')) return std::nullopt;
        const unsigned char name = bytes[pos + 1];
        pos += 2;
        while (has(bytes, pos, 1) && (bytes[pos] == ' ' || bytes[pos] == '\t')) ++pos;
        if (has(bytes, pos, 1) && bytes[pos] == '+') ++pos;
        const auto value = decimal(bytes, pos);
        if (!value || (name != 'X' && name != 'Y')) return std::nullopt;
        (name == 'X' ? width : height) = *value;
    }
    if (!width || !height) return std::nullopt;
    return declared(*width, *height, 32);
}

// A JPEG 2000 codestream at `pos`: the image area of its SIZ segment and its widest
// component.
std::optional<DeclaredImage> codestreamSize(Bytes bytes, std::uint64_t pos) {
    if (!matches(bytes, pos, "\xFF\x4F\xFF\x51")) return std::nullopt;
    const auto right = bigEndian(bytes, pos + 8, 4);
    const auto bottom = bigEndian(bytes, pos + 12, 4);
    const auto left = bigEndian(bytes, pos + 16, 4);
    const auto top = bigEndian(bytes, pos + 20, 4);
    const auto components = bigEndian(bytes, pos + 36, 2);
    if (!right || !bottom || !left || !top || !components) return std::nullopt;
    if (*left > *right || *top > *bottom) return std::nullopt;
    std::uint64_t bits = 1;
    for (std::uint64_t c = 0; c < *components; ++c) {
        const auto precision = bigEndian(bytes, pos + 38 + 3 * c, 1);
        if (!precision) return std::nullopt;
        bits = std::max(bits, (*precision & 0x7F) + 1);
    }
    return declared(*right - *left, *bottom - *top, bits);
}

// JP2: the codestream box, wherever it lies among the top-level boxes.
std::optional<DeclaredImage> jp2Size(Bytes bytes) {
    std::uint64_t pos = 0;
    while (has(bytes, pos, 8)) {
        std::uint64_t length = *bigEndian(bytes, pos, 4);
        std::uint64_t header = 8;
        if (length == 1) {
            const auto extended = bigEndian(bytes, pos + 8, 8);
            if (!extended) return std::nullopt;
            length = *extended;
            header = 16;
        } else if (length == 0) {
            length = bytes.size() - pos;  // the last box runs to the end
        }
        if (length < header) return std::nullopt;
        if (matches(bytes, pos + 4, "jp2c")) return codestreamSize(bytes, pos + header);
        if (!has(bytes, pos, length)) return std::nullopt;
        pos += length;
    }
    return std::nullopt;
}

}  // namespace pavo::header
