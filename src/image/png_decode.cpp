// PNG through libpng, with the transformations OpenCV's PNG decoder asks for, in its
// order, so that every sample comes out as it did when OpenCV decoded Pavo's PNGs.
#include "image/still_decode.h"

#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace pavo {
namespace {

constexpr int kRowsBetweenStopChecks = 64;

struct MemorySource {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (length > source->size - source->position) png_error(png, "PNG cut short");
    std::memcpy(out, source->data + source->position, length);
    source->position += length;
}

// A file libpng gives up on is refused as a whole; what it says about it is not for the
// user's terminal.
[[noreturn]] void giveUp(png_structp png, png_const_charp /*message*/) {
    png_longjmp(png, 1);
}
void ignoreWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// libpng's structures, destroyed however the decode ends.
struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop endInfo = nullptr;
    PngReader() {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, giveUp, ignoreWarning);
        if (png == nullptr) return;
        info = png_create_info_struct(png);
        endInfo = png_create_info_struct(png);
    }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;
    PngReader(PngReader&&) = delete;
    PngReader& operator=(PngReader&&) = delete;
    ~PngReader() { png_destroy_read_struct(&png, &info, &endInfo); }
    [[nodiscard]] bool made() const {
        return png != nullptr && info != nullptr && endInfo != nullptr;
    }
};

struct PngLayout {
    int width = 0;
    int height = 0;
    int colourType = 0;
    int bitDepth = 0;
    int type = 0;  // of the matrix decoded into
};

// The matrix type OpenCV chose for the file: four channels for alpha or a transparent
// colour (but one for grey with a transparent grey), 16 bits kept.
int matrixTypeOf(png_structp png, png_infop info, int colourType, int bitDepth) {
    int channels = 1;
    if (colourType == PNG_COLOR_TYPE_RGB || colourType == PNG_COLOR_TYPE_PALETTE) {
        png_bytep transparent = nullptr;
        int transparentCount = 0;
        png_color_16p transparentValues = nullptr;
        png_get_tRNS(png, info, &transparent, &transparentCount, &transparentValues);
        channels = transparentCount > 0 ? 4 : 3;
    } else if (colourType == PNG_COLOR_TYPE_GRAY_ALPHA || colourType == PNG_COLOR_TYPE_RGB_ALPHA) {
        channels = 4;
    }
    return CV_MAKETYPE(bitDepth == 16 ? CV_16U : CV_8U, channels);
}

// libpng reports errors by longjmp: the two functions that call it hold nothing with a
// destructor, and return false when it gave up.
bool readPngHeader(png_structp png, png_infop info, PngLayout& layout) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;  // NOLINT(cert-err52-cpp): libpng's way
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    png_get_IHDR(png, info, &width, &height, &layout.bitDepth, &layout.colourType, nullptr, nullptr,
                 nullptr);
    if (layout.bitDepth > 8 && layout.bitDepth != 16) return false;
    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);
    layout.type = matrixTypeOf(png, info, layout.colourType, layout.bitDepth);
    return true;
}

enum class RowsRead { All, GaveUp, Stopped };

RowsRead readPngRows(png_structp png, png_infop info, png_infop endInfo, const PngLayout& layout,
                     cv::Mat& pixels, const std::atomic<bool>* stop) {
    if (setjmp(png_jmpbuf(png)) != 0) return RowsRead::GaveUp;  // NOLINT(cert-err52-cpp)
    const int channels = CV_MAT_CN(layout.type);
    png_set_swap(png);  // 16-bit samples in the machine's order (a no-op for 8 bits)
    if (channels < 4) {
        png_set_strip_alpha(png);
    } else {
        png_set_tRNS_to_alpha(png);
    }
    if (layout.colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    const bool colourFile = (layout.colourType & PNG_COLOR_MASK_COLOR) != 0;
    if (!colourFile && layout.bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (colourFile && channels > 1) {
        png_set_bgr(png);
    } else if (channels > 1) {
        png_set_gray_to_rgb(png);
    } else {
        png_set_rgb_to_gray(png, 1, 0.299, 0.587);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < layout.height; ++y) {
            if (stop != nullptr && y % kRowsBetweenStopChecks == 0 && stop->load())
                return RowsRead::Stopped;
            png_read_row(png, pixels.ptr(y), nullptr);
        }
    }
    // A file without its end is refused, as OpenCV refused it.
    png_read_end(png, endInfo);
    return RowsRead::All;
}

void readFromStream(png_structp png, png_bytep out, png_size_t length) {
    auto* file = static_cast<FileStream*>(png_get_io_ptr(png));
    while (length > 0) {
        const std::size_t got = file->read(out, length);
        if (got == 0) png_error(png, "PNG cut short");
        out += got;
        length -= got;
    }
}

// Sums of blocks of `factor` rows, one output row at a time.
struct BlockSums {
    int factor = 1;
    int width = 0;                    // of the file
    std::vector<std::uint32_t> sums;  // three a reduced pixel
    std::vector<unsigned char> row;   // one decoded row, BGR or BGRA
    int channels = 3;
    int rowsInBlock = 0;

    void add(const unsigned char* pixels) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* pixel = pixels + static_cast<std::ptrdiff_t>(x) * channels;
            std::uint32_t* sum = &sums[static_cast<std::size_t>(x / factor) * 3];
            if (channels == 4) {
                const unsigned alpha = pixel[3];  // composited on black, as a whole decode is
                for (int c = 0; c < 3; ++c) sum[c] += pixel[c] * alpha / 255U;
            } else {
                for (int c = 0; c < 3; ++c) sum[c] += pixel[c];
            }
        }
        ++rowsInBlock;
    }
    void emit(unsigned char* out) {
        const int columns = static_cast<int>(sums.size() / 3);
        for (int x = 0; x < columns; ++x) {
            const int wide = std::min(factor, width - x * factor);
            const std::uint32_t count = static_cast<std::uint32_t>(wide) * rowsInBlock;
            for (int c = 0; c < 3; ++c) {
                std::uint32_t& sum = sums[static_cast<std::size_t>(x) * 3 + c];
                out[x * 3 + c] = static_cast<unsigned char>((sum + count / 2) / count);
                sum = 0;
            }
        }
        rowsInBlock = 0;
    }
};

RowsRead readReducedRows(png_structp png, png_infop info, png_infop endInfo,
                         const PngLayout& layout, BlockSums& blocks, cv::Mat& reduced,
                         const std::atomic<bool>* stop) {
    if (setjmp(png_jmpbuf(png)) != 0) return RowsRead::GaveUp;  // NOLINT(cert-err52-cpp)
    png_set_expand(png);  // palettes and low bit depths to 8 bits, a transparent colour to alpha
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_read_update_info(png, info);
    for (int y = 0; y < layout.height; ++y) {
        if (stop != nullptr && y % kRowsBetweenStopChecks == 0 && stop->load())
            return RowsRead::Stopped;
        png_read_row(png, blocks.row.data(), nullptr);
        blocks.add(blocks.row.data());
        if (blocks.rowsInBlock == blocks.factor || y == layout.height - 1)
            blocks.emit(reduced.ptr(y / blocks.factor));
    }
    png_read_end(png, endInfo);
    return RowsRead::All;
}

bool isPng(const FileBytes& bytes) {
    return bytes.size() >= 8 && png_sig_cmp(bytes.data(), 0, 8) == 0;
}

}  // namespace

std::optional<cv::Mat> decodePng(const FileBytes& bytes, const std::atomic<bool>* stop) {
    if (!isPng(bytes)) return std::nullopt;
    PngReader reader;
    if (!reader.made()) return cv::Mat();
    MemorySource source{bytes.data(), bytes.size(), 0};
    png_set_read_fn(reader.png, &source, readFromMemory);
    PngLayout layout;
    if (!readPngHeader(reader.png, reader.info, layout) || layout.width <= 0 || layout.height <= 0)
        return cv::Mat();
    cv::Mat pixels(layout.height, layout.width, layout.type);
    if (readPngRows(reader.png, reader.info, reader.endInfo, layout, pixels, stop) != RowsRead::All)
        return cv::Mat();
    return pixels;
}

std::optional<cv::Mat> decodePngReduced(FileStream& file, int leastWidth, int leastHeight,
                                        const std::atomic<bool>* stop, std::int32_t* channels) {
    if (!file.isOpen()) return std::nullopt;
    PngReader reader;
    if (!reader.made()) return std::nullopt;
    png_set_read_fn(reader.png, &file, readFromStream);
    PngLayout layout;
    if (!readPngHeader(reader.png, reader.info, layout) || layout.width <= 0 ||
        layout.height <= 0 || png_get_interlace_type(reader.png, reader.info) != PNG_INTERLACE_NONE)
        return std::nullopt;
    int factor = 1;
    while (layout.width / (factor + 1) >= leastWidth && layout.height / (factor + 1) >= leastHeight)
        ++factor;
    if (factor < 2) return std::nullopt;
    *channels = CV_MAT_CN(layout.type);
    BlockSums blocks;
    blocks.factor = factor;
    blocks.width = layout.width;
    blocks.channels =
        CV_MAT_CN(layout.type) == 4 || png_get_valid(reader.png, reader.info, PNG_INFO_tRNS) != 0
            ? 4
            : 3;
    const int columns = (layout.width + factor - 1) / factor;
    blocks.sums.assign(static_cast<std::size_t>(columns) * 3, 0);
    blocks.row.resize(static_cast<std::size_t>(layout.width) * 4);
    cv::Mat reduced((layout.height + factor - 1) / factor, columns, CV_8UC3);
    if (readReducedRows(reader.png, reader.info, reader.endInfo, layout, blocks, reduced, stop) !=
        RowsRead::All)
        return std::nullopt;
    return reduced;
}

}  // namespace pavo
