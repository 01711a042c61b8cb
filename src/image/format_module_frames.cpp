// The formats of the format module whose files hold frames: JPEG XL through libjxl, GIF
// through giflib and animated WebP through libwebp's demuxer. Frames are composed one after
// another on one canvas, so a long animation costs the memory of one frame, never of all.

#include "image/format_module_frames.h"

#include <gif_lib.h>
#include <jxl/decode.h>
#include <webp/demux.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace pavo::module {
namespace {

constexpr std::uint32_t sampleBitsFor(std::uint32_t bits) {
    return bits > 8 ? 16 : 8;
}

// ---- JPEG XL --------------------------------------------------------------------------

struct JxlFree {
    void operator()(JxlDecoder* decoder) const { JxlDecoderDestroy(decoder); }
};
using JxlHandle = std::unique_ptr<JxlDecoder, JxlFree>;

JxlHandle jxlDecoder(header::Bytes bytes, int events) {
    JxlHandle decoder(JxlDecoderCreate(nullptr));
    if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
        return {};
    JxlDecoderCloseInput(decoder.get());
    return decoder;
}

// The header's facts a decode needs: the size, checked against the budget, and the pixel
// format frames come out in (as many channels as the file has, 8 or 16 bits).
bool readJxlInfo(JxlDecoder* decoder, std::uint64_t budget, FitsBudget fits, JxlBasicInfo& info,
                 JxlPixelFormat& format) {
    if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS || info.xsize == 0 ||
        info.ysize == 0 ||
        !fits(info.xsize, info.ysize, sampleBitsFor(info.bits_per_sample), budget))
        return false;
    format = {info.num_color_channels + (info.alpha_bits > 0 ? 1U : 0U),
              info.bits_per_sample > 8 ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    return true;
}

// Gives libjxl a matrix for the frame; a frame turned a quarter has the other shape.
bool setJxlOutput(JxlDecoder* decoder, const JxlBasicInfo& info, const JxlPixelFormat& format,
                  cv::Mat& frame) {
    const int type = CV_MAKETYPE(format.data_type == JXL_TYPE_UINT16 ? CV_16U : CV_8U,
                                 static_cast<int>(format.num_channels));
    std::size_t needed = 0;
    if (JxlDecoderImageOutBufferSize(decoder, &format, &needed) != JXL_DEC_SUCCESS) return false;
    frame.create(static_cast<int>(info.ysize), static_cast<int>(info.xsize), type);
    if (needed != frame.total() * frame.elemSize())
        frame.create(static_cast<int>(info.xsize), static_cast<int>(info.ysize), type);
    return needed == frame.total() * frame.elemSize() &&
           JxlDecoderSetImageOutBuffer(decoder, &format, frame.data, needed) == JXL_DEC_SUCCESS;
}

// A lossy picture whose original colours are an ICC profile comes out of libjxl as linear
// sRGB unless asked otherwise, which at 8 bits bands the shadows: asked for Display P3's
// gamut with sRGB's curve instead, and converted from there like any picture.
void preferCurvedOutput(JxlDecoder* decoder, const JxlBasicInfo& info) {
    JxlColorEncoding original{};
    if (info.uses_original_profile != 0 || info.num_color_channels != 3 ||
        JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                           &original) == JXL_DEC_SUCCESS)
        return;
    JxlColorEncoding wanted{};
    wanted.color_space = JXL_COLOR_SPACE_RGB;
    wanted.white_point = JXL_WHITE_POINT_D65;
    wanted.primaries = JXL_PRIMARIES_P3;
    wanted.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
    wanted.rendering_intent = JXL_RENDERING_INTENT_RELATIVE;
    JxlDecoderSetPreferredColorProfile(decoder, &wanted);
}

// The colours of the pixels libjxl gives (of XYB pictures, the ones it converts them to):
// sRGB when it says so in code points, else the ICC profile it makes of them.
PictureColour jxlColour(const JxlDecoder* decoder) {
    PictureColour colour;
    JxlColorEncoding encoding{};
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           &encoding) == JXL_DEC_SUCCESS &&
        encoding.color_space != JXL_COLOR_SPACE_XYB &&
        encoding.white_point == JXL_WHITE_POINT_D65 &&
        (encoding.color_space == JXL_COLOR_SPACE_GRAY ||
         encoding.primaries == JXL_PRIMARIES_SRGB) &&
        encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB) {
        colour.kind = PictureColour::Kind::Srgb;
        return colour;
    }
    std::size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        size == 0) {
        colour.kind = PictureColour::Kind::Broken;
        return colour;
    }
    colour.icc.resize(size);
    const bool read =
        JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       colour.icc.data(), size) == JXL_DEC_SUCCESS;
    colour.kind = read ? PictureColour::Kind::Icc : PictureColour::Kind::Broken;
    return colour;
}

void jxlToBgr(cv::Mat& frame) {
    if (frame.channels() >= 3)
        cv::cvtColor(frame, frame, frame.channels() == 4 ? cv::COLOR_RGBA2BGRA : cv::COLOR_RGB2BGR);
}

// A frame's duration in milliseconds from its ticks.
std::int32_t jxlDelay(const JxlBasicInfo& info, std::uint32_t ticks) {
    const std::uint64_t perSecond = std::max<std::uint32_t>(info.animation.tps_numerator, 1);
    const std::uint64_t ms = std::uint64_t{ticks} * 1000 *
                             std::max<std::uint32_t>(info.animation.tps_denominator, 1) / perSecond;
    return static_cast<std::int32_t>(std::min<std::uint64_t>(ms, 60'000));
}

class JxlFrames final : public FrameReader {
    static constexpr int kFrameEvents = JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME | JXL_DEC_FULL_IMAGE;

  public:
    explicit JxlFrames(header::Bytes bytes) : bytes_(bytes) {}

    bool open(std::uint64_t budget, FitsBudget fits) {
        // A pass over the frame headers only counts them; libjxl decodes no pixels for it.
        const JxlHandle counter =
            jxlDecoder(bytes_, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME);
        if (!counter) return false;
        for (;;) {
            const JxlDecoderStatus status = JxlDecoderProcessInput(counter.get());
            if (status == JXL_DEC_BASIC_INFO) {
                if (!readJxlInfo(counter.get(), budget, fits, info_, format_)) return false;
                plays = static_cast<std::int32_t>(info_.animation.num_loops);
            } else if (status == JXL_DEC_COLOR_ENCODING) {
                preferCurvedOutput(counter.get(), info_);
                colour = jxlColour(counter.get());
            } else if (status == JXL_DEC_FRAME) {
                ++frameCount;
            } else {
                break;  // the end, or a frame cut short: the count so far stands
            }
        }
        decoder_ = jxlDecoder(bytes_, kFrameEvents);
        return decoder_ != nullptr && info_.have_animation && frameCount > 0;
    }

    bool next(cv::Mat& frame, std::int32_t& delayMs) override {
        frame.release();  // the caller may keep the last frame: this one needs its own pixels
        if (index_ == frameCount) {
            // A fresh decoder: libjxl 0.7's rewind forgets the events asked for.
            decoder_ = jxlDecoder(bytes_, kFrameEvents);
            if (!decoder_) return false;
            index_ = 0;
        }
        for (;;) {
            switch (JxlDecoderProcessInput(decoder_.get())) {
                case JXL_DEC_COLOR_ENCODING:
                    preferCurvedOutput(decoder_.get(), info_);
                    break;
                case JXL_DEC_FRAME: {
                    JxlFrameHeader header{};
                    if (JxlDecoderGetFrameHeader(decoder_.get(), &header) != JXL_DEC_SUCCESS)
                        return false;
                    delayMs = jxlDelay(info_, header.duration);
                    break;
                }
                case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                    if (!setJxlOutput(decoder_.get(), info_, format_, frame)) return false;
                    break;
                case JXL_DEC_FULL_IMAGE:
                    jxlToBgr(frame);
                    ++index_;
                    return true;
                default:
                    return false;
            }
        }
    }

  private:
    header::Bytes bytes_;
    JxlHandle decoder_;
    JxlBasicInfo info_{};
    JxlPixelFormat format_{};
    std::int32_t index_ = 0;
};

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
using GifHandle = std::unique_ptr<GifFileType, GifClose>;

// What a graphics control block says of the frame after it.
struct GifControl {
    int transparent = -1;  // the colour index drawn as nothing
    int disposal = 0;      // 2: cleared after it is shown, 3: the canvas before it restored
    std::int32_t delayMs = 0;
};

GifControl gifControl(const GifByteType* block) {
    constexpr int kTransparentFlag = 0x01;
    if (block[0] < 4) return {};
    return {(block[1] & kTransparentFlag) != 0 ? block[4] : -1, (block[1] >> 2) & 0x07,
            10 * (block[2] | (block[3] << 8))};
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

// The plays a NETSCAPE2.0 block asks for: its count is of repeats after the first play,
// 0 for ever (browsers read it so).
bool readLoopBlock(GifFileType* gif, GifByteType* block, std::int32_t& plays) {
    const bool netscape =
        block != nullptr && block[0] == 11 && std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0;
    while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
        if (netscape && block != nullptr && block[0] >= 3 && block[1] == 1) {
            const int repeats = block[2] | (block[3] << 8);
            plays = repeats == 0 ? 0 : repeats + 1;
        }
    }
    return true;
}

class GifFrames final : public FrameReader {
  public:
    explicit GifFrames(header::Bytes bytes) : source_{bytes} {}

    // The canvas is made only once a whole frame is found: thirteen bytes of header may
    // declare a screen of gigabytes.
    bool open(std::uint64_t budget, FitsBudget fits) {
        if (!reopen() || gif_->SWidth <= 0 || gif_->SHeight <= 0 ||
            !fits(static_cast<std::uint32_t>(gif_->SWidth),
                  static_cast<std::uint32_t>(gif_->SHeight), 8, budget))
            return false;
        countFrames();
        return frameCount > 0 && rewind();
    }

    bool next(cv::Mat& frame, std::int32_t& delayMs) override {
        if (index_ == frameCount && !rewind()) return false;
        GifControl control;
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        while (record != IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetRecordType(gif_.get(), &record) == GIF_ERROR ||
                record == TERMINATE_RECORD_TYPE)
                return false;
            if (record == EXTENSION_RECORD_TYPE && !readExtension(control)) return false;
        }
        if (DGifGetImageDesc(gif_.get()) == GIF_ERROR) return false;
        disposePrevious();
        const GifImageDesc& desc = gif_->Image;
        const cv::Rect area = cv::Rect(desc.Left, desc.Top, desc.Width, desc.Height) &
                              cv::Rect(0, 0, canvas_.cols, canvas_.rows);
        if (control.disposal == 3) saved_ = canvas_(area).clone();
        if (!drawFrame(control.transparent)) return false;
        disposal_ = control.disposal;
        area_ = area;
        frame = canvas_.clone();
        delayMs = control.delayMs;
        ++index_;
        return true;
    }

  private:
    bool reopen() {
        source_.read = 0;
        int error = 0;
        gif_.reset(DGifOpen(&source_, readGifBytes, &error));
        return gif_ != nullptr;
    }

    // Back to the first frame, on a canvas cleared to nothing.
    bool rewind() {
        if (!reopen()) return false;
        canvas_.create(gif_->SHeight, gif_->SWidth, CV_8UC4);
        canvas_.setTo(cv::Scalar::all(0));
        disposal_ = 0;
        index_ = 0;
        return true;
    }

    // Walks the file without decoding a pixel: frames whose data is whole, and the plays.
    void countFrames() {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        do {
            if (DGifGetRecordType(gif_.get(), &record) == GIF_ERROR) return;
            if (record == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* block = nullptr;
                if (DGifGetExtension(gif_.get(), &code, &block) == GIF_ERROR) return;
                if (code == APPLICATION_EXT_FUNC_CODE) {
                    if (!readLoopBlock(gif_.get(), block, plays)) return;
                } else {
                    while (block != nullptr)
                        if (DGifGetExtensionNext(gif_.get(), &block) == GIF_ERROR) return;
                }
            } else if (record == IMAGE_DESC_RECORD_TYPE) {
                int codeSize = 0;
                GifByteType* code = nullptr;
                if (DGifGetImageDesc(gif_.get()) == GIF_ERROR ||
                    DGifGetCode(gif_.get(), &codeSize, &code) == GIF_ERROR)
                    return;
                while (code != nullptr)
                    if (DGifGetCodeNext(gif_.get(), &code) == GIF_ERROR) return;
                ++frameCount;
            }
        } while (record != TERMINATE_RECORD_TYPE);
    }

    bool readExtension(GifControl& control) {
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif_.get(), &code, &block) == GIF_ERROR) return false;
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) control = gifControl(block);
        while (block != nullptr)
            if (DGifGetExtensionNext(gif_.get(), &block) == GIF_ERROR) return false;
        return true;
    }

    // What the frame before asked to leave once it was shown.
    void disposePrevious() {
        if (disposal_ == 2) canvas_(area_).setTo(cv::Scalar::all(0));
        if (disposal_ == 3 && saved_.size() == area_.size()) saved_.copyTo(canvas_(area_));
        disposal_ = 0;
    }

    // The frame's pixels over the canvas; its transparent colour leaves the canvas as it is.
    bool drawFrame(int transparent) {
        const GifImageDesc& desc = gif_->Image;
        const ColorMapObject* colours = desc.ColorMap != nullptr ? desc.ColorMap : gif_->SColorMap;
        if (colours == nullptr || desc.Width <= 0 || desc.Height <= 0) return false;
        std::vector<GifPixelType> line(static_cast<std::size_t>(desc.Width));
        for (const int row : gifRowOrder(desc.Height, desc.Interlace)) {
            if (DGifGetLine(gif_.get(), line.data(), desc.Width) == GIF_ERROR) return false;
            const int y = desc.Top + row;
            if (y < 0 || y >= canvas_.rows) continue;
            auto* pixels = canvas_.ptr<cv::Vec4b>(y);
            for (int column = 0; column < desc.Width; ++column) {
                const int x = desc.Left + column;
                const int index = line[static_cast<std::size_t>(column)];
                if (x < 0 || x >= canvas_.cols || index == transparent ||
                    index >= colours->ColorCount)
                    continue;
                const GifColorType& colour = colours->Colors[index];
                pixels[x] = cv::Vec4b(colour.Blue, colour.Green, colour.Red, 255);
            }
        }
        return true;
    }

    GifSource source_;
    GifHandle gif_;
    cv::Mat canvas_;  // BGRA; what no frame covered is transparent, as browsers show it
    cv::Mat saved_;   // the canvas under a frame that asks for it back
    cv::Rect area_;   // of the frame shown last
    int disposal_ = 0;
    std::int32_t index_ = 0;
};

// ---- Animated WebP ---------------------------------------------------------------------

struct WebpFree {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

class WebpFrames final : public FrameReader {
  public:
    explicit WebpFrames(header::Bytes bytes) : bytes_(bytes) {}

    // The canvas size is read from the extended header first: libwebp takes the canvas's
    // memory as it makes the decoder.
    bool open(std::uint64_t budget, FitsBudget fits) {
        const auto width = header::littleEndian(bytes_, 24, 3);
        const auto height = header::littleEndian(bytes_, 27, 3);
        if (!width || !height ||
            !fits(static_cast<std::uint32_t>(*width + 1), static_cast<std::uint32_t>(*height + 1),
                  8, budget))
            return false;
        WebPAnimDecoderOptions options;
        if (WebPAnimDecoderOptionsInit(&options) == 0) return false;
        options.color_mode = MODE_BGRA;
        options.use_threads = 0;
        const WebPData data{bytes_.data(), bytes_.size()};
        decoder_.reset(WebPAnimDecoderNew(&data, &options));
        if (!decoder_ || WebPAnimDecoderGetInfo(decoder_.get(), &info_) == 0) return false;
        frameCount = static_cast<std::int32_t>(info_.frame_count);
        plays = static_cast<std::int32_t>(info_.loop_count);
        return frameCount > 0;
    }

    // libwebp gives each frame's end on the animation's time line.
    bool next(cv::Mat& frame, std::int32_t& delayMs) override {
        if (WebPAnimDecoderHasMoreFrames(decoder_.get()) == 0) {
            WebPAnimDecoderReset(decoder_.get());
            lastEnd_ = 0;
        }
        std::uint8_t* canvas = nullptr;
        int end = 0;
        if (WebPAnimDecoderGetNext(decoder_.get(), &canvas, &end) == 0 || canvas == nullptr)
            return false;
        frame = cv::Mat(static_cast<int>(info_.canvas_height), static_cast<int>(info_.canvas_width),
                        CV_8UC4, canvas)
                    .clone();
        delayMs = std::max(end - lastEnd_, 0);
        lastEnd_ = end;
        return true;
    }

  private:
    header::Bytes bytes_;
    std::unique_ptr<WebPAnimDecoder, WebpFree> decoder_;
    WebPAnimInfo info_{};
    int lastEnd_ = 0;
};

template <typename Reader>
std::unique_ptr<FrameReader> opened(header::Bytes bytes, std::uint64_t budget, FitsBudget fits) {
    auto reader = std::make_unique<Reader>(bytes);
    if (!reader->open(budget, fits)) return nullptr;
    return reader;
}

}  // namespace

std::unique_ptr<FrameReader> openFrames(header::ModuleFormat format, header::Bytes bytes,
                                        std::uint64_t budget, FitsBudget fits) {
    switch (format) {
        case header::ModuleFormat::JpegXl:
            return opened<JxlFrames>(bytes, budget, fits);
        case header::ModuleFormat::Gif:
            return opened<GifFrames>(bytes, budget, fits);
        case header::ModuleFormat::AnimatedWebp:
            return opened<WebpFrames>(bytes, budget, fits);
        default:
            return nullptr;
    }
}

cv::Mat decodeJpegXl(header::Bytes bytes, std::uint64_t budget, FitsBudget fits,
                     const std::atomic<bool>* stop, bool& animated, PictureColour& colour) {
    const JxlHandle decoder =
        jxlDecoder(bytes, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE);
    if (!decoder) return {};
    JxlBasicInfo info{};
    JxlPixelFormat format{};
    cv::Mat picture;
    for (;;) {
        if (stop != nullptr && *stop) return {};
        switch (JxlDecoderProcessInput(decoder.get())) {
            case JXL_DEC_BASIC_INFO:
                if (!readJxlInfo(decoder.get(), budget, fits, info, format)) return {};
                animated = info.have_animation != 0;
                break;
            case JXL_DEC_COLOR_ENCODING:
                preferCurvedOutput(decoder.get(), info);
                colour = jxlColour(decoder.get());
                break;
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                if (!setJxlOutput(decoder.get(), info, format, picture)) return {};
                break;
            case JXL_DEC_FULL_IMAGE:
                jxlToBgr(picture);
                return picture;
            default:  // an error, a file cut short, or one that ends without a frame
                return {};
        }
    }
}

}  // namespace pavo::module
