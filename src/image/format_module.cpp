// The format module: HEIF through libheif (HEVC by libde265), AVIF through libavif (AV1
// by dav1d), JPEG XL through libjxl, GIF through giflib and animated WebP through libwebp's
// demuxer, each the field's own library. Built as a module of its own and loaded when first
// needed (platform/format_module.h). A picture comes out as 8- or 16-bit BGR or BGRA (grey
// and grey with alpha for JPEG XL), turned and mirrored as the file says, for the decode to
// take to 8-bit BGR like any other. Of an animation, the first frame.

#include "platform/format_module.h"
#include "image/header_reading.h"

#include "image/format_module_frames.h"

#include <avif/avif.h>
#include <libheif/heif.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

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

// What the primary image says of its colours: an ICC profile, else nclx code points.
PictureColour heifColour(const heif_image_handle* handle) {
    PictureColour colour;
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_rICC || type == heif_color_profile_type_prof) {
        colour.icc.resize(heif_image_handle_get_raw_color_profile_size(handle));
        const bool read = !colour.icc.empty() &&
                          heif_image_handle_get_raw_color_profile(handle, colour.icc.data()).code ==
                              heif_error_Ok;
        colour.kind = read ? PictureColour::Kind::Icc : PictureColour::Kind::Broken;
        return colour;
    }
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok &&
        nclx != nullptr) {
        colour.kind = PictureColour::Kind::CodePoints;
        colour.primaries = static_cast<std::int32_t>(nclx->color_primaries);
        colour.transfer = static_cast<std::int32_t>(nclx->transfer_characteristics);
    }
    heif_nclx_color_profile_free(nclx);
    return colour;
}

// The primary image, with its rotation, mirror and crop applied (libheif's default).
cv::Mat decodeHeif(header::Bytes bytes, std::uint64_t budget, FitsBudget fits,
                   PictureColour& colour) {
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
    colour = heifColour(primary);
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

// The clean aperture's crop, the rotation, then the mirror, as HEIF orders its transforms
// (libavif leaves them to the caller). A crop that breaks the format's rules is ignored, as
// libheif ignores one.
void applyAvifTransforms(const avifImage& image, cv::Mat& picture) {
    if ((image.transformFlags & AVIF_TRANSFORM_CLAP) != 0) {
        avifCropRect crop{};
        avifDiagnostics diagnostics{};
        if (avifCropRectConvertCleanApertureBox(&crop, &image.clap, image.width, image.height,
                                                image.yuvFormat, &diagnostics) != 0)
            picture = picture(cv::Rect(static_cast<int>(crop.x), static_cast<int>(crop.y),
                                       static_cast<int>(crop.width), static_cast<int>(crop.height)))
                          .clone();
    }
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

// What the image says of its colours: an ICC profile, else its code points.
PictureColour avifColour(const avifImage& image) {
    PictureColour colour;
    if (image.icc.size > 0) {
        colour.kind = PictureColour::Kind::Icc;
        colour.icc.assign(image.icc.data, image.icc.data + image.icc.size);
    } else {
        colour.kind = PictureColour::Kind::CodePoints;
        colour.primaries = image.colorPrimaries;
        colour.transfer = image.transferCharacteristics;
    }
    return colour;
}

// The first image, at 8 bits or, for 10 and 12, at 16; monochrome comes out as grey BGR.
cv::Mat decodeAvif(header::Bytes bytes, std::uint64_t budget, FitsBudget fits,
                   PictureColour& colour) {
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
    colour = avifColour(image);
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

}  // namespace

}  // namespace pavo

namespace pavo {
namespace {

// The first frame of a file that holds frames, and whether there are more.
ModulePicture firstFrame(header::ModuleFormat format, header::Bytes bytes, std::uint64_t budget,
                         FitsBudget fits) {
    ModulePicture picture;
    const auto reader = module::openFrames(format, bytes, budget, fits);
    std::int32_t delay = 0;
    if (reader && reader->next(picture.pixels, delay)) picture.animated = reader->frameCount > 1;
    return picture;
}

}  // namespace
}  // namespace pavo

// The module's entry points (platform/format_module.h). Nothing thrown gets out: a library
// or OpenCV error, or memory running out, is a picture or a frame that cannot be shown.
extern "C" __attribute__((visibility("default"))) int pavo_decode_picture_2(
    const unsigned char* data, std::size_t size, std::uint64_t budget, pavo::FitsBudget fits,
    const std::atomic<bool>* stop, pavo::ModulePicture* picture) {
    using pavo::ModuleDecode;
    using pavo::header::ModuleFormat;
    const pavo::header::Bytes bytes(data, size);
    try {
        switch (const ModuleFormat format = pavo::header::moduleFormat(bytes)) {
            case ModuleFormat::Heif:
                picture->pixels = pavo::decodeHeif(bytes, budget, fits, picture->colour);
                break;
            case ModuleFormat::Avif:
                picture->pixels = pavo::decodeAvif(bytes, budget, fits, picture->colour);
                break;
            case ModuleFormat::JpegXl:
                picture->pixels = pavo::module::decodeJpegXl(bytes, budget, fits, stop,
                                                             picture->animated, picture->colour);
                break;
            case ModuleFormat::Gif:
            case ModuleFormat::AnimatedWebp:
                *picture = pavo::firstFrame(format, bytes, budget, fits);
                break;
            case ModuleFormat::None:
                return static_cast<int>(ModuleDecode::NotItsFormat);
        }
    } catch (const std::exception&) {
        picture->pixels.release();
    }
    return static_cast<int>(picture->pixels.empty() ? ModuleDecode::Failed : ModuleDecode::Decoded);
}

extern "C" __attribute__((visibility("default"))) void* pavo_open_frames_2(
    const unsigned char* data, std::size_t size, std::uint64_t budget, pavo::FitsBudget fits,
    std::int32_t* frameCount, std::int32_t* plays, pavo::PictureColour* colour) {
    const pavo::header::Bytes bytes(data, size);
    try {
        auto reader =
            pavo::module::openFrames(pavo::header::moduleFormat(bytes), bytes, budget, fits);
        if (!reader || reader->frameCount < 2) return nullptr;
        *frameCount = reader->frameCount;
        *plays = reader->plays;
        *colour = reader->colour;
        return reader.release();
    } catch (const std::exception&) {
        return nullptr;
    }
}

extern "C" __attribute__((visibility("default"))) int pavo_next_frame(void* reader, cv::Mat* frame,
                                                                      std::int32_t* delayMs) {
    try {
        return static_cast<pavo::module::FrameReader*>(reader)->next(*frame, *delayMs) ? 1 : 0;
    } catch (const std::exception&) {
        frame->release();
        return 0;
    }
}

extern "C" __attribute__((visibility("default"))) void pavo_close_frames(void* reader) {
    delete static_cast<pavo::module::FrameReader*>(reader);  // NOLINT(*-owning-memory)
}
