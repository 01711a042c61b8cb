#include "image/jpeg_decode.h"

#include <opencv2/core.hpp>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace pavo {
namespace {

struct ErrorJump {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
};

// libjpeg's fatal errors end in exit() unless the handler leaves; it jumps back to
// the decode, which lets the general decoder judge the data.
[[noreturn]] void leaveDecode(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);  // NOLINT
}

void ignoreMessage(j_common_ptr /*info*/) {}

bool startsLikeJpeg(const FileBytes& bytes) {
    return bytes.size() > 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

// The scanlines into the matrix's rows; false when libjpeg gives up or `stop` is set.
// Only plain data lives in this frame, so the jump back skips no destructor.
bool readScanlines(jpeg_decompress_struct& info, ErrorJump& error, const cv::Mat& pixels,
                   const std::atomic<bool>* stop, const RowsDone& rowsDone) {
    if (setjmp(error.jump) != 0) return false;  // NOLINT(cert-err52-cpp)
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        if (info.output_scanline % 64 == 0 && info.output_scanline > 0) {
            if (stop != nullptr && *stop) return false;
            if (rowsDone) rowsDone(pixels, static_cast<int>(info.output_scanline));
        }
        JSAMPROW row = pixels.data + pixels.step[0] * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    if (rowsDone) rowsDone(pixels, static_cast<int>(info.output_height));
    jpeg_finish_decompress(&info);
    return true;
}

// Sets the output to the smallest of 1/8, 1/4 and 1/2 of the size that keeps at least
// `least` pixels each way; false when only the full size does.
bool reduceOutput(jpeg_decompress_struct& info, ReducedSize least) {
    unsigned reduction = 8;
    while (reduction > 1 && (info.image_width / reduction < least.width ||
                             info.image_height / reduction < least.height)) {
        reduction /= 2;
    }
    if (reduction == 1) return false;
    info.scale_num = 1;
    info.scale_denom = reduction;
    return true;
}

// The header, and the output set up at full size.
bool readHeader(jpeg_decompress_struct& info, ErrorJump& error, const FileBytes& bytes,
                int components) {
    if (setjmp(error.jump) != 0) return false;  // NOLINT(cert-err52-cpp)
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
    if (info.num_components != components) return false;
    info.out_color_space = components == 4 ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&info);
    return info.output_components == components && info.output_width > 0 && info.output_height > 0;
}

// libjpeg's decompressor, destroyed however the decode ends: the matrix's allocation may
// throw when memory runs out, and libjpeg's own memory would leak with it.
struct Decompressor {
    jpeg_decompress_struct info{};
    ErrorJump error;
    Decompressor() {
        info.err = jpeg_std_error(&error.manager);
        error.manager.error_exit = leaveDecode;
        error.manager.output_message = ignoreMessage;
        jpeg_create_decompress(&info);
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
    Decompressor(Decompressor&&) = delete;
    Decompressor& operator=(Decompressor&&) = delete;
    ~Decompressor() { jpeg_destroy_decompress(&info); }
};

std::optional<cv::Mat> decodeJpeg(const FileBytes& bytes, const std::atomic<bool>* stop,
                                  int components, bool* adobe = nullptr,
                                  const RowsDone& rowsDone = {}) {
    if (!startsLikeJpeg(bytes)) return std::nullopt;
    Decompressor jpeg;
    if (!readHeader(jpeg.info, jpeg.error, bytes, components)) return std::nullopt;
    cv::Mat pixels(static_cast<int>(jpeg.info.output_height),
                   static_cast<int>(jpeg.info.output_width), CV_8UC(components));
    if (!readScanlines(jpeg.info, jpeg.error, pixels, stop, rowsDone)) return std::nullopt;
    if (adobe != nullptr) *adobe = jpeg.info.saw_Adobe_marker != 0;
    return pixels;
}

}  // namespace

std::optional<cv::Mat> decodeColourJpeg(const FileBytes& bytes, const std::atomic<bool>* stop,
                                        const RowsDone& rowsDone) {
    return decodeJpeg(bytes, stop, 3, nullptr, rowsDone);
}

std::optional<CmykPicture> decodeCmykJpeg(const FileBytes& bytes, const std::atomic<bool>* stop) {
    CmykPicture picture;
    auto pixels = decodeJpeg(bytes, stop, 4, &picture.inverted);
    if (!pixels) return std::nullopt;
    picture.pixels = std::move(*pixels);
    return picture;
}

namespace {

// libjpeg's source, fed from a file a piece at a time. A file cut short ends with an end
// marker, as libjpeg's own file source does, so what was there is decoded.
struct StreamSource {
    static constexpr std::size_t kPiece = std::size_t{64} << 10;
    jpeg_source_mgr manager{};
    FileStream* file = nullptr;
    std::vector<JOCTET> buffer = std::vector<JOCTET>(kPiece);

    static StreamSource& of(j_decompress_ptr info) {
        return *reinterpret_cast<StreamSource*>(info->src);  // NOLINT: manager comes first
    }
    static void start(j_decompress_ptr /*info*/) {}
    static boolean fill(j_decompress_ptr info) {
        StreamSource& source = of(info);
        std::size_t got = source.file->read(source.buffer.data(), source.buffer.size());
        if (got == 0) {
            source.buffer[0] = 0xFF;
            source.buffer[1] = JPEG_EOI;
            got = 2;
        }
        source.manager.next_input_byte = source.buffer.data();
        source.manager.bytes_in_buffer = got;
        return TRUE;
    }
    static void skip(j_decompress_ptr info, long count) {  // NOLINT(google-runtime-int)
        StreamSource& source = of(info);
        while (count > static_cast<long>(source.manager.bytes_in_buffer)) {  // NOLINT
            count -= static_cast<long>(source.manager.bytes_in_buffer);      // NOLINT
            fill(info);
        }
        if (count > 0) {
            source.manager.next_input_byte += count;
            source.manager.bytes_in_buffer -= static_cast<std::size_t>(count);
        }
    }
    static void end(j_decompress_ptr /*info*/) {}

    explicit StreamSource(FileStream& stream) : file(&stream) {
        manager.init_source = start;
        manager.fill_input_buffer = fill;
        manager.skip_input_data = skip;
        manager.resync_to_restart = jpeg_resync_to_restart;
        manager.term_source = end;
    }
};

// How a reduced decode trades quality for time.
enum class Reduction {
    Accurate,  // libjpeg's accurate transform and smooth upsampling: a picture that stays
    Quick,     // the fast transform, plain upsampling: a first look
};

// The header from the stream, and the output set up reduced as readHeader does.
bool readStreamHeader(jpeg_decompress_struct& info, ErrorJump& error, StreamSource& source,
                      ReducedSize least, Reduction reduction) {
    if (setjmp(error.jump) != 0) return false;  // NOLINT(cert-err52-cpp)
    info.src = &source.manager;
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
    if (info.num_components != 3) return false;
    info.out_color_space = JCS_EXT_BGR;
    if (!reduceOutput(info, least)) return false;
    if (reduction == Reduction::Quick) {
        info.dct_method = JDCT_IFAST;
        info.do_fancy_upsampling = FALSE;
    }
    jpeg_calc_output_dimensions(&info);
    return info.output_components == 3 && info.output_width > 0 && info.output_height > 0;
}

// The APP1 and APP2 segments libjpeg kept, written out again as the start of a JPEG.
FileBytes headSegments(const jpeg_decompress_struct& info) {
    FileBytes head{0xFF, 0xD8};
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr;
         marker = marker->next) {
        const unsigned length = marker->data_length + 2;
        head.insert(head.end(), {0xFF, marker->marker, static_cast<unsigned char>(length >> 8),
                                 static_cast<unsigned char>(length & 0xFF)});
        head.insert(head.end(), marker->data, marker->data + marker->data_length);
    }
    head.insert(head.end(), {0xFF, 0xDA});
    return head;
}

// `head`, when given, gets the segments kept (they go with the decode's end).
std::optional<cv::Mat> decodeStreamReduced(StreamSource& source, Decompressor& jpeg,
                                           ReducedSize least, Reduction reduction,
                                           const std::atomic<bool>* stop,
                                           FileBytes* head = nullptr) {
    if (!readStreamHeader(jpeg.info, jpeg.error, source, least, reduction)) return std::nullopt;
    if (head != nullptr) *head = headSegments(jpeg.info);
    cv::Mat pixels(static_cast<int>(jpeg.info.output_height),
                   static_cast<int>(jpeg.info.output_width), CV_8UC3);
    if (!readScanlines(jpeg.info, jpeg.error, pixels, stop, {})) return std::nullopt;
    return pixels;
}

}  // namespace

std::optional<JpegPreview> decodeJpegPreview(FileStream& file, ReducedSize least,
                                             const std::atomic<bool>* stop) {
    if (!file.isOpen()) return std::nullopt;
    StreamSource source(file);
    Decompressor jpeg;
    // A segment's length fits 16 bits: each is kept whole.
    jpeg_save_markers(&jpeg.info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&jpeg.info, JPEG_APP0 + 2, 0xFFFF);
    FileBytes head;
    auto pixels = decodeStreamReduced(source, jpeg, least, Reduction::Quick, stop, &head);
    if (!pixels) return std::nullopt;
    return JpegPreview{std::move(*pixels), std::move(head)};
}

std::optional<cv::Mat> decodeJpegReduced(FileStream& file, ReducedSize least,
                                         const std::atomic<bool>* stop) {
    if (!file.isOpen()) return std::nullopt;
    StreamSource source(file);
    Decompressor jpeg;
    return decodeStreamReduced(source, jpeg, least, Reduction::Accurate, stop);
}

}  // namespace pavo
