// The format module: HEIF through libheif (HEVC by libde265), AVIF through libavif (AV1
// by dav1d), JPEG XL through libjxl, GIF through giflib and animated WebP through libwebp's
// demuxer, each the field's own library. Built as a module of its own and loaded when first
// needed (platform/format_module.h). A picture comes out as 8- or 16-bit BGR or BGRA (grey
// and grey with alpha for JPEG XL), turned and mirrored as the file says, for the decode to
// take to 8-bit BGR like any other. Of an animation, the first frame.

#include "platform/format_module.h"
#include "image/header_reading.h"

#include <avif/avif.h>
#include <gif_lib.h>
#include <jxl/decode.h>
#include <libheif/heif.h>
#include <webp/demux.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <memory>

namespace pavo {
namespace {

constexpr std::uint32_t sampleBitsFor(int bits) {
    return bits > 8 ? 16 : 8;
}

// Samples of `bits` significant bits in 16-bit words, spread over the whole 16 bits as a
// 16-bit PNG's are, so that the decode takes them to 8 bits the same way.
void widenTo16Bits(cv::Mat& picture, int bits) {
    if (bits > 8 && bits < 16) picture.convertTo(picture, -1, double(1 << (16 - bits)));
}

// ---- HEIF -----------------------------------------------------------------------------

struct HeifFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
    void operator()(heif_image* image) const { heif_image_release(image); }
};

// The primary image, with its rotation, mirror and crop applied (libheif's default).
cv::Mat decodeHeif(header::Bytes bytes, std::uint64_t budget, FitsBudget fits) {
    // Registers the decoders once, before the first context: left to the first context,
    // two jobs decoding their first HEIF at once would both register them. Never undone;
    // the module lives as long as the process.
    static const bool initialised = heif_init(nullptr).code == heif_error_Ok;
    if (!initialised) return {};
    const std::unique_ptr<heif_context, HeifFree> context(heif_context_alloc());
    if (!context || heif_context_read_from_memory_without_copy(context.get(), bytes.data(),
                                                               bytes.size(), nullptr)
                            .code != heif_error_Ok)
        return {};
    heif_image_handle* primary = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok)
        return {};
    const std::unique_ptr<heif_image_handle, HeifFree> handle(primary);
    const int width = heif_image_handle_get_width(primary);
    const int height = heif_image_handle_get_height(primary);
    const int bits = heif_image_handle_get_luma_bits_per_pixel(primary);
    const bool alpha = heif_image_handle_has_alpha_channel(primary) != 0;
    if (width <= 0 || height <= 0 ||
        !fits(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
              sampleBitsFor(bits), budget))
        return {};
    const bool deep = bits > 8;
    const heif_chroma chroma =
        deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
             : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image* decoded = nullptr;
    if (heif_decode_image(primary, &decoded, heif_colorspace_RGB, chroma, nullptr).code !=
        heif_error_Ok)
        return {};
    const std::unique_ptr<heif_image, HeifFree> image(decoded);
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const int planeWidth = heif_image_get_width(decoded, heif_channel_interleaved);
    const int planeHeight = heif_image_get_height(decoded, heif_channel_interleaved);
    if (plane == nullptr || planeWidth <= 0 || planeHeight <= 0) return {};
    const cv::Mat stored(planeHeight, planeWidth, CV_MAKETYPE(deep ? CV_16U : CV_8U, alpha ? 4 : 3),
                         const_cast<std::uint8_t*>(plane), static_cast<std::size_t>(stride));
    cv::Mat picture;
    cv::cvtColor(stored, picture, alpha ? cv::COLOR_RGBA2BGRA : cv::COLOR_RGB2BGR);
    widenTo16Bits(picture, bits);
    return picture;
}

// ---- AVIF -----------------------------------------------------------------------------

struct AvifFree {
    void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};

// The rotation, then the mirror, as HEIF orders its transforms (libavif leaves them to
// the caller).
void applyAvifTransforms(const avifImage& image, cv::Mat& picture) {
    if ((image.transformFlags & AVIF_TRANSFORM_IROT) != 0) {
        // Quarter turns anticlockwise.
        switch (image.irot.angle % 4) {
            case 1:
                cv::rotate(picture, picture, cv::ROTATE_90_COUNTERCLOCKWISE);
                break;
            case 2:
                cv::rotate(picture, picture, cv::ROTATE_180);
                break;
            case 3:
                cv::rotate(picture, picture, cv::ROTATE_90_CLOCKWISE);
                break;
            default:
                break;
        }
    }
    // Mode 0 exchanges top and bottom, mode 1 left and right.
    if ((image.transformFlags & AVIF_TRANSFORM_IMIR) != 0)
        cv::flip(picture, picture, image.imir.mode == 0 ? 0 : 1);
}

// The first image, at 8 bits or, for 10 and 12, at 16; monochrome comes out as grey BGR.
cv::Mat decodeAvif(header::Bytes bytes, std::uint64_t budget, FitsBudget fits) {
    const std::unique_ptr<avifDecoder, AvifFree> decoder(avifDecoderCreate());
    if (!decoder) return {};
    decoder->maxThreads = 1;  // the jobs are the parallelism
    // Pictures the web carries break small rules of the format that do not hurt a decode.
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    if (avifDecoderSetIOMemory(decoder.get(), bytes.data(), bytes.size()) != AVIF_RESULT_OK ||
        avifDecoderParse(decoder.get()) != AVIF_RESULT_OK)
        return {};
    const avifImage& header = *decoder->image;
    if (header.width == 0 || header.height == 0 ||
        !fits(header.width, header.height, sampleBitsFor(static_cast<int>(header.depth)), budget))
        return {};
    if (avifDecoderNextImage(decoder.get()) != AVIF_RESULT_OK) return {};
    avifImage& image = *decoder->image;
    const bool alpha = image.alphaPlane != nullptr;
    const bool deep = image.depth > 8;
    cv::Mat picture(static_cast<int>(image.height), static_cast<int>(image.width),
                    CV_MAKETYPE(deep ? CV_16U : CV_8U, alpha ? 4 : 3));
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, &image);
    rgb.format = alpha ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
    rgb.depth = deep ? 16 : 8;  // libavif spreads 10 and 12 bits over the 16
    rgb.pixels = picture.data;
    rgb.rowBytes = static_cast<std::uint32_t>(picture.step[0]);
    if (avifImageYUVToRGB(&image, &rgb) != AVIF_RESULT_OK) return {};
    applyAvifTransforms(image, picture);
    return picture;
}

// ---- JPEG XL --------------------------------------------------------------------------

struct JxlFree {
    void operator()(JxlDecoder* decoder) const { JxlDecoderDestroy(decoder); }
};

// The first frame, turned as its orientation says (libjxl's default), with as many
// channels as it has: grey, grey with alpha, colour, colour with alpha.
cv::Mat decodeJpegXl(header::Bytes bytes, std::uint64_t budget, FitsBudget fits,
                     const std::atomic<bool>* stop) {
    const std::unique_ptr<JxlDecoder, JxlFree> decoder(JxlDecoderCreate(nullptr));
    if (!decoder ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
        return {};
    JxlDecoderCloseInput(decoder.get());
    JxlBasicInfo info{};
    JxlPixelFormat format{};
    cv::Mat picture;
    for (;;) {
        if (stop != nullptr && *stop) return {};
        switch (JxlDecoderProcessInput(decoder.get())) {
            case JXL_DEC_BASIC_INFO: {
                if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS ||
                    info.xsize == 0 || info.ysize == 0 ||
                    !fits(info.xsize, info.ysize,
                          sampleBitsFor(static_cast<int>(info.bits_per_sample)), budget))
                    return {};
                const bool deep = info.bits_per_sample > 8;
                format = {info.num_color_channels + (info.alpha_bits > 0 ? 1U : 0U),
                          deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
                break;
            }
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                const int type = CV_MAKETYPE(format.data_type == JXL_TYPE_UINT16 ? CV_16U : CV_8U,
                                             static_cast<int>(format.num_channels));
                picture.create(static_cast<int>(info.ysize), static_cast<int>(info.xsize), type);
                std::size_t needed = 0;
                if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &needed) !=
                    JXL_DEC_SUCCESS)
                    return {};
                // Turned a quarter, the picture has the other shape.
                if (needed != picture.total() * picture.elemSize())
                    picture.create(static_cast<int>(info.xsize), static_cast<int>(info.ysize),
                                   type);
                if (needed != picture.total() * picture.elemSize() ||
                    JxlDecoderSetImageOutBuffer(decoder.get(), &format, picture.data, needed) !=
                        JXL_DEC_SUCCESS)
                    return {};
                break;
            }
            case JXL_DEC_FULL_IMAGE:
                if (picture.channels() >= 3)
                    cv::cvtColor(picture, picture,
                                 picture.channels() == 4 ? cv::COLOR_RGBA2BGRA : cv::COLOR_RGB2BGR);
                return picture;
            default:  // an error, a file cut short, or one that ends without a frame
                return {};
        }
    }
}

// ---- GIF ------------------------------------------------------------------------------

// Hands giflib the bytes as if read from a file.
struct GifSource {
    header::Bytes bytes;
    std::size_t read = 0;
};

int readGifBytes(GifFileType* gif, GifByteType* into, int wanted) {
    auto* source = static_cast<GifSource*>(gif->UserData);
    const std::size_t count = std::min(static_cast<std::size_t>(std::max(wanted, 0)),
                                       source->bytes.size() - source->read);
    std::memcpy(into, source->bytes.data() + source->read, count);
    source->read += count;
    return static_cast<int>(count);
}

struct GifClose {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// The transparent colour the graphics control block before the frame names, or -1.
int transparentIndex(const GifByteType* block) {
    constexpr int kTransparentFlag = 0x01;
    return block[0] >= 4 && (block[1] & kTransparentFlag) != 0 ? block[4] : -1;
}

// The rows of the frame in the order the file stores them: an interlaced frame in four
// passes.
std::vector<int> gifRowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int row = 0; row < height; ++row) rows.push_back(row);
        return rows;
    }
    constexpr std::array<int, 4> kStart{0, 4, 2, 1};
    constexpr std::array<int, 4> kStep{8, 8, 4, 2};
    for (std::size_t pass = 0; pass < kStart.size(); ++pass)
        for (int row = kStart[pass]; row < height; row += kStep[pass]) rows.push_back(row);
    return rows;
}

// The first frame on the logical screen, BGRA: what it leaves uncovered and its
// transparent colour are transparent, as browsers show it.
cv::Mat decodeGif(header::Bytes bytes, std::uint64_t budget, FitsBudget fits) {
    GifSource source{bytes};
    int error = 0;
    const std::unique_ptr<GifFileType, GifClose> gif(DGifOpen(&source, readGifBytes, &error));
    if (!gif || gif->SWidth <= 0 || gif->SHeight <= 0 ||
        !fits(static_cast<std::uint32_t>(gif->SWidth), static_cast<std::uint32_t>(gif->SHeight), 8,
              budget))
        return {};
    cv::Mat picture(gif->SHeight, gif->SWidth, CV_8UC4, cv::Scalar::all(0));
    int transparent = -1;
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    do {
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) return {};
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return {};
            if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr)
                transparent = transparentIndex(block);
            while (block != nullptr)
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return {};
        } else if (record == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return {};
            const GifImageDesc& frame = gif->Image;
            const ColorMapObject* colours =
                frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
            if (colours == nullptr || frame.Width <= 0 || frame.Height <= 0) return {};
            std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
            for (const int row : gifRowOrder(frame.Height, frame.Interlace)) {
                if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return {};
                const int y = frame.Top + row;
                if (y < 0 || y >= picture.rows) continue;
                auto* pixels = picture.ptr<cv::Vec4b>(y);
                for (int column = 0; column < frame.Width; ++column) {
                    const int x = frame.Left + column;
                    const int index = line[static_cast<std::size_t>(column)];
                    if (x < 0 || x >= picture.cols || index == transparent ||
                        index >= colours->ColorCount)
                        continue;
                    const GifColorType& colour = colours->Colors[index];
                    pixels[x] = cv::Vec4b(colour.Blue, colour.Green, colour.Red, 255);
                }
            }
            return picture;
        }
    } while (record != TERMINATE_RECORD_TYPE);
    return {};  // no frame at all
}

// ---- Animated WebP ---------------------------------------------------------------------

struct WebpFree {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// The first frame on its canvas, BGRA. The canvas size is read from the extended header
// first: the decoder takes the canvas's memory as it is made.
cv::Mat decodeAnimatedWebp(header::Bytes bytes, std::uint64_t budget, FitsBudget fits) {
    const auto width = header::littleEndian(bytes, 24, 3);
    const auto height = header::littleEndian(bytes, 27, 3);
    if (!width || !height ||
        !fits(static_cast<std::uint32_t>(*width + 1), static_cast<std::uint32_t>(*height + 1), 8,
              budget))
        return {};
    WebPAnimDecoderOptions options;
    if (WebPAnimDecoderOptionsInit(&options) == 0) return {};
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData data{bytes.data(), bytes.size()};
    const std::unique_ptr<WebPAnimDecoder, WebpFree> decoder(WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info{};
    if (!decoder || WebPAnimDecoderGetInfo(decoder.get(), &info) == 0) return {};
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) == 0 || canvas == nullptr)
        return {};
    return cv::Mat(static_cast<int>(info.canvas_height), static_cast<int>(info.canvas_width),
                   CV_8UC4, canvas)
        .clone();
}

}  // namespace

}  // namespace pavo

// The module's one entry point (platform/format_module.h). Nothing thrown gets out: a
// library or OpenCV error, or memory running out, is a picture that cannot be shown.
extern "C" __attribute__((visibility("default"))) int pavo_decode_picture(
    const unsigned char* data, std::size_t size, std::uint64_t budget, pavo::FitsBudget fits,
    const std::atomic<bool>* stop, cv::Mat* picture) {
    using pavo::ModuleDecode;
    const pavo::header::Bytes bytes(data, size);
    try {
        switch (pavo::header::moduleFormat(bytes)) {
            case pavo::header::ModuleFormat::Heif:
                *picture = pavo::decodeHeif(bytes, budget, fits);
                break;
            case pavo::header::ModuleFormat::Avif:
                *picture = pavo::decodeAvif(bytes, budget, fits);
                break;
            case pavo::header::ModuleFormat::JpegXl:
                *picture = pavo::decodeJpegXl(bytes, budget, fits, stop);
                break;
            case pavo::header::ModuleFormat::Gif:
                *picture = pavo::decodeGif(bytes, budget, fits);
                break;
            case pavo::header::ModuleFormat::AnimatedWebp:
                *picture = pavo::decodeAnimatedWebp(bytes, budget, fits);
                break;
            case pavo::header::ModuleFormat::None:
                return static_cast<int>(ModuleDecode::NotItsFormat);
        }
    } catch (const std::exception&) {
        picture->release();
    }
    return static_cast<int>(picture->empty() ? ModuleDecode::Failed : ModuleDecode::Decoded);
}
