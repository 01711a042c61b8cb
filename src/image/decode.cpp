#include "image/image.h"

#include "image/header_reading.h"
#include "image/jpeg_decode.h"
#include "image/orientation.h"
#include "image/still_decode.h"
#include "platform/files.h"
#include "platform/format_module.h"
#include "platform/image_codecs.h"
#include "platform/process.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <array>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <span>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>

namespace pavo {
namespace {

// out[alpha][value] = trunc(0 * (1 - a) + value * a) with a = alpha / 255.0, computed
// in double exactly as the per-pixel formula, so the table is bit-identical to it.
using CompositeTable = std::array<std::array<unsigned char, 256>, 256>;

const CompositeTable& compositeTable() {
    static const CompositeTable table = [] {
        CompositeTable t{};
        for (int alpha = 0; alpha < 256; ++alpha) {
            const double a = alpha / 255.0;
            for (int value = 0; value < 256; ++value) {
                t[alpha][value] =
                    a > 0 ? static_cast<unsigned char>(0.0 * (1.0 - a) + value * a) : 0;
            }
        }
        return t;
    }();
    return table;
}

// One pixel through the table.
void flattenAlphaPixel(unsigned char* pixel, const CompositeTable& table) {
    const auto& scale = table[pixel[3]];
    pixel[0] = scale[pixel[0]];
    pixel[1] = scale[pixel[1]];
    pixel[2] = scale[pixel[2]];
    pixel[3] = scale[pixel[3]];
}

#if defined(__SSE2__)
// The composite in exact integers, four pixels at a time: trunc(c * (A / 255.0)) equals
// floor(c * A / 255), which is (c * A * 0x8081) >> 23, for every pair except twelve
// where c * A is a multiple of 255 and the double product falls just short of it. All
// twelve have one of five alphas; pixels with those alphas go through the table.
void flattenAlphaRow(unsigned char* pixels, std::size_t count) {
    const CompositeTable& table = compositeTable();
    const __m128i zero = _mm_setzero_si128();
    const __m128i divide255 = _mm_set1_epi16(static_cast<short>(0x8081));
    const __m128i inexactAlphas[] = {_mm_set1_epi32(147), _mm_set1_epi32(155), _mm_set1_epi32(171),
                                     _mm_set1_epi32(187), _mm_set1_epi32(195)};
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000U));
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        unsigned char* block = pixels + 4 * i;
        const __m128i source = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
        // Opaque pixels stay as they are; most pictures with alpha are mostly opaque.
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(source, opaque), opaque)) == 0xFFFF)
            continue;
        const __m128i alpha = _mm_srli_epi32(source, 24);
        __m128i inexact = zero;
        for (const __m128i& a : inexactAlphas)
            inexact = _mm_or_si128(inexact, _mm_cmpeq_epi32(alpha, a));
        __m128i alphaEveryByte = _mm_or_si128(alpha, _mm_slli_epi32(alpha, 16));
        alphaEveryByte = _mm_or_si128(alphaEveryByte, _mm_slli_epi32(alphaEveryByte, 8));
        const auto half = [&](__m128i values, __m128i alphas) {
            return _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(values, alphas), divide255), 7);
        };
        const __m128i low =
            half(_mm_unpacklo_epi8(source, zero), _mm_unpacklo_epi8(alphaEveryByte, zero));
        const __m128i high =
            half(_mm_unpackhi_epi8(source, zero), _mm_unpackhi_epi8(alphaEveryByte, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block), _mm_packus_epi16(low, high));

        const int inexactMask = _mm_movemask_ps(_mm_castsi128_ps(inexact));
        if (inexactMask != 0) {
            std::array<unsigned char, 16> original{};
            _mm_storeu_si128(reinterpret_cast<__m128i*>(original.data()), source);
            for (std::size_t k = 0; k < 4; ++k) {
                if ((inexactMask & (1 << k)) == 0) continue;
                std::memcpy(block + 4 * k, original.data() + 4 * k, 4);
                flattenAlphaPixel(block + 4 * k, table);
            }
        }
    }
    for (; i < count; ++i) flattenAlphaPixel(pixels + 4 * i, table);
}
#else
void flattenAlphaRow(unsigned char* pixels, std::size_t count) {
    const CompositeTable& table = compositeTable();
    for (std::size_t i = 0; i < count; ++i) flattenAlphaPixel(pixels + 4 * i, table);
}
#endif

bool isDeeperThan8Bit(int depth) {
    return depth == CV_16U || depth == CV_16S || depth == CV_32S || depth == CV_32F ||
           depth == CV_64F;
}

// OpenCV copies the source of a conversion made in place first: a new matrix saves that.
cv::Mat convertedCopy(const cv::Mat& source, int code) {
    cv::Mat converted;
    cv::cvtColor(source, converted, code);
    return converted;
}

// An image with alpha, composited on black; the alpha it leaves is dropped, as the
// screen shows none.
void flattenToBgr(cv::Mat& bgra) {
    flattenAlphaOnBlack(bgra);
    bgra = convertedCopy(bgra, cv::COLOR_BGRA2BGR);
}

// Grey with alpha becomes B = G = R = grey with the same alpha, then is composited
// like any image with alpha.
void greyAlphaToBgr(cv::Mat& matrix) {
    std::array<cv::Mat, 2> planes;
    cv::split(matrix, planes.data());
    const std::array<cv::Mat, 4> bgra{planes[0], planes[0], planes[0], planes[1]};
    cv::Mat merged;
    cv::merge(bgra.data(), bgra.size(), merged);
    flattenToBgr(merged);
    matrix = merged;
}

}  // namespace

void resetForDecode(ImageBuffer& buffer) {
    buffer.ready = false;
    buffer.displayReady = false;
    buffer.width = buffer.height = 1;
    buffer.displayWidth = buffer.displayHeight = 1;
    buffer.scrollX = buffer.scrollY = 0;
    buffer.turn = {};
}

cv::Mat decodeImageBytes(const FileBytes& bytes) {
    return decodeImageBytes(bytes, availableMemoryBytes());
}

// Refused before the decoder takes any pixel memory, so the kernel never has to kill
// the viewer for a small file that declares a huge image. Bytes of no format Pavo reads a
// header of never reach OpenCV: it would hand them to decoders Pavo does not open files
// for, such as GDCM's for DICOM, which aborts the process on some broken files.
bool fitsMemoryBudget(const FileBytes& bytes, std::uint64_t memoryBudget) {
    const auto declaredImage = declaredImageSize(bytes);
    return declaredImage && decodeMemoryEstimate(*declaredImage) <= memoryBudget;
}

cv::Mat decodeImageBytes(const FileBytes& bytes, std::uint64_t memoryBudget,
                         const std::atomic<bool>* stop) {
    if (bytes.empty() || !fitsMemoryBudget(bytes, memoryBudget)) return {};
    if (auto png = decodePng(bytes, stop)) return *png;
    if (auto webp = decodeStillWebp(bytes)) return *webp;
    // A header over the bytes, not a copy of them.
    const cv::Mat encoded(1, static_cast<int>(bytes.size()), CV_8UC1,
                          const_cast<unsigned char*>(bytes.data()));
    return decodeWithImageCodecs(encoded);
}

namespace {

bool fitsBudget(std::uint32_t width, std::uint32_t height, std::uint32_t sampleBits,
                std::uint64_t budget) {
    return decodeMemoryEstimate({width, height, sampleBits}) <= budget;
}

// A colour JPEG whose rows are converted as they come, on a thread of the decode's own
// started with its first rows, while the decode goes on: the conversion ends a few rows
// after the decode instead of starting then. (Not on OpenCV's workers: a task that waits
// would hold one of them.) Without a thread to be had, converted after the decode.
std::optional<cv::Mat> decodeJpegConverting(const FileBytes& bytes, const std::atomic<bool>* stop,
                                            const PreparedColour& prepared) {
    constexpr int kGaveUp = -1;
    struct Progress {
        cv::Mat pixels;             // set by the decode before the converter starts
        std::atomic<int> rows = 0;  // rows decoded so far, kGaveUp once it ended without all
        void tell(int count) {
            rows.store(count, std::memory_order_release);
            rows.notify_one();
        }
    } progress;
    const auto convert = [&progress, &prepared] {
        for (int converted = 0;;) {
            const int rows = progress.rows.load(std::memory_order_acquire);
            if (rows == kGaveUp) return;
            if (rows == converted) {
                progress.rows.wait(rows, std::memory_order_acquire);
                continue;
            }
            applyColourToRows(prepared, progress.pixels, converted, rows);
            converted = rows;
            if (converted == progress.pixels.rows) return;
        }
    };
    std::optional<std::jthread> converter;  // joined before `progress` goes
    bool alone = false;
    std::optional<cv::Mat> decoded;
    try {
        decoded = decodeColourJpeg(bytes, stop, [&](const cv::Mat& pixels, int rows) {
            if (!converter && !alone) {
                progress.pixels = pixels;
                try {
                    converter.emplace(convert);
                } catch (const std::system_error&) {
                    alone = true;
                }
            }
            progress.tell(rows);
        });
    } catch (...) {
        progress.tell(kGaveUp);
        throw;
    }
    if (!decoded) progress.tell(kGaveUp);
    converter.reset();  // joined: every row is converted
    if (decoded && alone) applyColour(prepared, *decoded);
    return decoded;
}

// The pixels as the file stores them; a CMYK JPEG's, while colours are managed, as ink.
// A large colour JPEG comes converted already: `converted` then says how.
ModulePicture decodeStoredPixels(const FileBytes& bytes, const std::atomic<bool>* stop,
                                 std::uint64_t budget, const ColourTarget& target,
                                 std::optional<CmykPicture>& cmyk,
                                 std::optional<PreparedColour>& converted) {
    using namespace std::string_view_literals;
    const header::Bytes view{bytes.data(), bytes.size()};
    ModulePicture picture;
    if (header::moduleFormat(view) != header::ModuleFormat::None) {
        picture = decodeWithFormatModule(bytes, budget, fitsBudget, stop).value_or(ModulePicture{});
        // An animated WebP's profile is in its container, which the module does not read.
        if (target.enabled && picture.colour.kind == PictureColour::Kind::Unstated)
            picture.colour = header::colourOf({bytes.data(), bytes.size()});
        return picture;
    }
    if (target.enabled) picture.colour = header::colourOf(view);
    if (!bytes.empty() && fitsMemoryBudget(bytes, budget)) {
        const auto jpeg = target.enabled && header::matches(view, 0, "\xFF\xD8"sv)
                              ? header::jpegSize(view)
                              : std::nullopt;
        if (jpeg && std::int64_t{jpeg->width} * jpeg->height >= kLargePicturePixels) {
            PreparedColour prepared = prepareColour(picture.colour, ColourPixels::Bgr, target);
            if (prepared.transform) {
                if (auto pixels = decodeJpegConverting(bytes, stop, prepared)) {
                    picture.pixels = std::move(*pixels);
                    converted = std::move(prepared);
                    return picture;
                }
            }
        }
        if (auto jpeg = decodeColourJpeg(bytes, stop)) {
            picture.pixels = std::move(*jpeg);
            return picture;
        }
        if (target.enabled && (cmyk = decodeCmykJpeg(bytes, stop))) return picture;
    }
    if (stop == nullptr || !*stop) picture.pixels = decodeImageBytes(bytes, budget, stop);
    return picture;
}

// Decoded, brought to 8-bit BGR and converted to the target's colours.
std::optional<LoadedImage> decodeAsStored(const FileBytes& bytes, DecodeRole role,
                                          const std::atomic<bool>* stop, std::uint64_t budget,
                                          const ColourTarget& target) {
    std::optional<CmykPicture> cmyk;
    std::optional<PreparedColour> converted;
    ModulePicture picture = decodeStoredPixels(bytes, stop, budget, target, cmyk, converted);
    if (cmyk) {
        const auto ink = cmyk->inverted ? ColourPixels::InvertedCmyk : ColourPixels::Cmyk;
        PreparedColour prepared = prepareColour(picture.colour, ink, target);
        return LoadedImage{cmykToBgr(cmyk->pixels, prepared), 3,          0, false,
                           std::move(prepared.profileName),   target.id()};
    }
    if (stop != nullptr && *stop) return std::nullopt;
    if (converted) {
        return LoadedImage{picture.pixels, 3, 0, false, std::move(converted->profileName),
                           target.id()};
    }
    const auto channels = convertToBgr8(picture.pixels, role);
    if (!channels) return std::nullopt;
    PreparedColour prepared = prepareColour(
        picture.colour, *channels <= 2 ? ColourPixels::GreyInBgr : ColourPixels::Bgr, target);
    applyColour(prepared, picture.pixels);
    return LoadedImage{
        picture.pixels, *channels, 0, picture.animated, std::move(prepared.profileName),
        target.id()};
}

}  // namespace

std::optional<LoadedImage> decodeToBgr8(const FileBytes& bytes, DecodeRole role,
                                        const std::atomic<bool>* stop, const ColourTarget& colour) {
    return decodeToBgr8(bytes, role, stop, availableMemoryBytes(), colour);
}

std::optional<LoadedImage> decodeToBgr8(const FileBytes& bytes, DecodeRole role,
                                        const std::atomic<bool>* stop, std::uint64_t memoryBudget,
                                        const ColourTarget& colour) {
    auto loaded = decodeAsStored(bytes, role, stop, memoryBudget, colour);
    // A decoder may give up after it has chosen its matrix type: no pixels is a failure.
    if (!loaded || loaded->image.empty()) return std::nullopt;
    turnUpright(loaded->image, exifOrientation(bytes));
    return loaded;
}

std::optional<std::int32_t> convertToBgr8(cv::Mat& matrix, DecodeRole role) {
    const bool isPartner = role == DecodeRole::Partner;
    if (!isPartner && (matrix.empty() || matrix.depth() == CV_32F)) return std::nullopt;
    if (isDeeperThan8Bit(matrix.depth()) && (!isPartner || !matrix.empty())) {
        matrix.convertTo(matrix, CV_8U, 1.0 / 256.0, 0.0);
    }
    const int channels = matrix.channels();
    switch (channels) {
        case 4:
            flattenToBgr(matrix);
            break;
        case 3:
            break;  // decoded as BGR already
        case 2:
            greyAlphaToBgr(matrix);
            break;
        default:
            // Grey; anything else (an empty partner) makes OpenCV throw, failing the decode.
            matrix = convertedCopy(matrix, cv::COLOR_GRAY2BGR);
            break;
    }
    return channels;
}

void flattenAlphaOnBlack(cv::Mat& matrix) {
    CV_Assert(matrix.type() == CV_8UC4);
    for (int row = 0; row < matrix.rows; ++row) {
        flattenAlphaRow(matrix.ptr<unsigned char>(row), static_cast<std::size_t>(matrix.cols));
    }
}

void decodePartnerInto(ImageBuffer& record, const QString& path, const ColourTarget& colour) {
    const std::int32_t size = fileSizeOf(path);
    if (size < 0) throw std::length_error("partner size unknown");
    FileBytes bytes;
    if (size > 0) bytes = readFileBytes(path, size);
    // An empty or undecodable partner makes the conversion throw.
    auto partner = decodeToBgr8(bytes, DecodeRole::Partner, nullptr, colour);
    if (!partner) throw std::invalid_argument("partner not decodable");
    record.partner = partner->image;
    record.partnerPath = path;
    record.fileSize += size;
}

bool decodeStopsWhenAsked(QStringView path) {
    static constexpr std::array<QStringView, 7> kRowByRow{u".jpg", u".jpeg", u".jpe", u".jfif",
                                                          u".mpo", u".jps",  u".png"};
    return std::any_of(kRowByRow.begin(), kRowByRow.end(), [path](QStringView extension) {
        return path.endsWith(extension, Qt::CaseInsensitive);
    });
}

std::optional<FileBytes> readImageFile(const QString& path) {
    if (!fileExists(path)) return std::nullopt;
    try {
        const std::int32_t size = fileSizeOf(path);
        if (size <= 0) return std::nullopt;
        return readFileBytes(path, size);
    } catch (const std::exception&) {
        return std::nullopt;  // unreadable, or no memory for its bytes
    }
}

std::optional<LoadedImage> loadImageBytes(const FileBytes& bytes, DecodeRole role,
                                          const std::atomic<bool>* stop,
                                          const ColourTarget& colour) {
    try {
        auto loaded = decodeToBgr8(bytes, role, stop, colour);
        if (loaded) loaded->fileSize = static_cast<std::int32_t>(bytes.size());
        return loaded;
    } catch (const std::exception&) {
        return std::nullopt;  // OpenCV errors, exhausted memory: a failed decode
    }
}

std::optional<LoadedImage> loadImageFile(const QString& path, DecodeRole role,
                                         const std::atomic<bool>* stop,
                                         const ColourTarget& colour) {
    const auto bytes = readImageFile(path);
    if (!bytes) return std::nullopt;
    return loadImageBytes(*bytes, role, stop, colour);
}

namespace {

// The reduced pixels of a huge JPEG or PNG, as stored, with the channels the file has;
// nothing for any other file.
std::optional<cv::Mat> decodeReduced(const QString& path, header::Bytes head, bool sideways,
                                     std::int32_t leastWidth, std::int32_t leastHeight,
                                     const std::atomic<bool>* stop, std::int32_t& channels) {
    using namespace std::string_view_literals;
    FileStream file(path);
    if (header::matches(head, 0, "\xFF\xD8"sv)) {
        channels = 3;
        const ReducedSize least{static_cast<unsigned>(sideways ? leastHeight : leastWidth),
                                static_cast<unsigned>(sideways ? leastWidth : leastHeight)};
        return decodeJpegReduced(file, least, stop);
    }
    return decodePngReduced(file, leastWidth, leastHeight, stop, &channels);
}

}  // namespace

std::optional<ReducedPicture> loadReducedPicture(const QString& path, std::int32_t leastWidth,
                                                 std::int32_t leastHeight,
                                                 const std::atomic<bool>* stop,
                                                 const ColourTarget& colour,
                                                 std::int64_t fromPixels) {
    constexpr ExifOrientation kFirstSideways = 5;  // 5 to 8 swap width and height
    // Its size, orientation and colours are read from the file's first bytes.
    constexpr std::int32_t kHeadBytes = std::int32_t{1} << 20;
    try {
        const std::int32_t size = fileSizeOf(path);
        if (size <= 0) return std::nullopt;
        const FileBytes head = readFileBytes(path, std::min(size, kHeadBytes));
        const header::Bytes view{head.data(), head.size()};
        const auto declared = declaredImageSize(head);
        if (!declared || std::int64_t{declared->width} * declared->height < fromPixels)
            return std::nullopt;
        const ExifOrientation orientation = exifOrientation(head);
        const bool sideways = orientation >= kFirstSideways;
        std::int32_t channels = 3;
        auto pixels = decodeReduced(path, view, sideways, leastWidth, leastHeight, stop, channels);
        if (!pixels) return std::nullopt;
        turnUpright(*pixels, orientation);
        PreparedColour prepared =
            prepareColour(colour.enabled ? header::colourOf(view) : PictureColour{},
                          channels <= 2 ? ColourPixels::GreyInBgr : ColourPixels::Bgr, colour);
        applyColour(prepared, *pixels);
        const auto width = static_cast<std::int32_t>(declared->width);
        const auto height = static_cast<std::int32_t>(declared->height);
        return ReducedPicture{LoadedImage{*pixels, channels, size, false,
                                          std::move(prepared.profileName), colour.id()},
                              sideways ? height : width, sideways ? width : height};
    } catch (const std::exception&) {
        return std::nullopt;  // no memory for it: the general way decides
    }
}

std::optional<FrameSource> openFrameSource(const QString& path, const ColourTarget& colour) {
    auto bytes = readImageFile(path);
    if (!bytes) return std::nullopt;
    return openFrameSource(std::move(*bytes), availableMemoryBytes(), colour);
}

std::optional<FrameSource> openFrameSource(FileBytes bytes, std::uint64_t memoryBudget,
                                           const ColourTarget& colour) {
    // Playing holds about three times what a still decode does: the canvas and the canvas
    // a frame may ask back, the frame being composed, and the frames ahead with their
    // pictures for the window.
    constexpr std::uint64_t kPlayingToStill = 3;
    try {
        // An animated WebP's profile is in its container; JPEG XL's, the module reads.
        const PictureColour webp =
            colour.enabled ? header::colourOf({bytes.data(), bytes.size()}) : PictureColour{};
        auto frames =
            ModuleFrames::open(std::move(bytes), memoryBudget / kPlayingToStill, fitsBudget);
        if (!frames) return std::nullopt;
        const PictureColour& said =
            frames->colour().kind != PictureColour::Kind::Unstated ? frames->colour() : webp;
        return FrameSource{std::move(frames), 0, prepareColour(said, ColourPixels::Bgr, colour)};
    } catch (const std::exception&) {
        return std::nullopt;  // the module is missing
    }
}

std::optional<AnimationFrame> readFrame(FrameSource& source) {
    constexpr std::int32_t kShortestDelayMs = 20;
    constexpr std::int32_t kDelayForShorterMs = 100;
    AnimationFrame frame;
    frame.index = source.nextIndex;
    try {
        const auto channels = source.frames->next(frame.image, frame.delayMs)
                                  ? convertToBgr8(frame.image, DecodeRole::Shown)
                                  : std::nullopt;
        if (!channels) return std::nullopt;
        applyColour(source.colour, frame.image);
    } catch (const std::exception&) {
        return std::nullopt;  // no memory for the conversion
    }
    if (frame.delayMs < kShortestDelayMs) frame.delayMs = kDelayForShorterMs;
    source.nextIndex = (source.nextIndex + 1) % source.frames->frameCount();
    return frame;
}

}  // namespace pavo
