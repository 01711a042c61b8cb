#pragma once

// HEIF, AVIF, JPEG XL, GIF and animated WebP pictures are decoded by a module of Pavo's
// own, loaded the first time such a picture is decoded: the libraries behind it (the HEVC,
// AV1 and JPEG XL decoders and theirs) took about 18 ms off every start when linked into
// the program.

#include "platform/files.h"

#include <opencv2/core/mat.hpp>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace pavo {

// Whether a decode to `width` x `height` pixels of `sampleBits` samples fits `budget`
// bytes; the module asks it once the header is read, before any pixel memory is taken.
using FitsBudget = bool (*)(std::uint32_t width, std::uint32_t height, std::uint32_t sampleBits,
                            std::uint64_t budget);

// What the module's entry point answers.
enum class ModuleDecode : int { NotItsFormat = 0, Decoded = 1, Failed = 2 };

// What a file says about the colours its pixels are in.
struct PictureColour {
    enum class Kind {
        Unstated,    // nothing: the pixels are taken to be sRGB
        Srgb,        // said to be sRGB
        Icc,         // an ICC profile, `icc`
        CodePoints,  // ITU-T H.273 colour primaries and transfer (HEIF's and AVIF's nclx)
        Gamma,       // PNG's gAMA, with its cHRM when there is one
        Broken,      // a profile that cannot be read whole
    };
    Kind kind = Kind::Unstated;
    std::vector<unsigned char> icc;
    std::int32_t primaries = 2;  // 2: unspecified
    std::int32_t transfer = 2;
    double gamma = 0;  // the encoding exponent, as gAMA stores it (0.45455 for 2.2)
    // cHRM's white point, red, green and blue as x, y pairs; all 0 when there is none.
    std::array<double, 8> chromaticities{};
    bool operator==(const PictureColour&) const = default;
};

// A picture the module made: 8- or 16-bit BGR, BGRA, grey or grey with alpha, standing as
// the file says it is to be seen; of a file that holds frames, the first.
struct ModulePicture {
    cv::Mat pixels;
    bool animated = false;  // the file holds frames to play (its reader counts them)
    PictureColour colour;
};

// The entry points the module exports, by the names below. A frame reader stands for the
// frames of one file, read one after another, from bytes that outlive it.
using FormatModuleEntry = int(const unsigned char* data, std::size_t size, std::uint64_t budget,
                              FitsBudget fits, const std::atomic<bool>* stop,
                              ModulePicture* picture);
using FramesOpenEntry = void*(const unsigned char* data, std::size_t size, std::uint64_t budget,
                              FitsBudget fits, std::int32_t* frameCount, std::int32_t* plays,
                              PictureColour* colour);
using FramesNextEntry = int(void* reader, cv::Mat* frame, std::int32_t* delayMs);
using FramesCloseEntry = void(void* reader);
// Named by the version of what they exchange, so that a module of another build that
// exchanges other records is refused as lacking them.
inline constexpr const char* kFormatModuleEntry = "pavo_decode_picture_2";
inline constexpr const char* kFramesOpenEntry = "pavo_open_frames_2";
inline constexpr const char* kFramesNextEntry = "pavo_next_frame";
inline constexpr const char* kFramesCloseEntry = "pavo_close_frames";

// The picture the module makes of `bytes`: nothing when they are none of its formats, an
// empty matrix when they are but cannot be shown (broken, cut short, over the budget,
// stopped). Throws std::runtime_error when the module cannot be loaded.
std::optional<ModulePicture> decodeWithFormatModule(const FileBytes& bytes, std::uint64_t budget,
                                                    FitsBudget fits, const std::atomic<bool>* stop);

// The frames of an animation (a GIF, an animated WebP or JPEG XL), composed one after
// another by the module; one thread at a time reads them.
class ModuleFrames {
  public:
    // Nothing when the bytes hold no frames the module reads (a still picture, another
    // format, broken before the first frame, a canvas over the budget). Throws
    // std::runtime_error when the module cannot be loaded.
    static std::unique_ptr<ModuleFrames> open(FileBytes bytes, std::uint64_t budget,
                                              FitsBudget fits);
    ModuleFrames(const ModuleFrames&) = delete;
    ModuleFrames& operator=(const ModuleFrames&) = delete;
    ModuleFrames(ModuleFrames&&) = delete;
    ModuleFrames& operator=(ModuleFrames&&) = delete;
    ~ModuleFrames();

    [[nodiscard]] std::int32_t frameCount() const { return frameCount_; }
    // Times the file asks to be played; 0 for ever.
    [[nodiscard]] std::int32_t plays() const { return plays_; }
    // What the file says of its colours, where the module reads it (JPEG XL).
    [[nodiscard]] const PictureColour& colour() const { return colour_; }
    // The next frame (after the last, the first again) as the module gives pictures, and
    // its delay as the file says, in milliseconds. False when the file fails there.
    bool next(cv::Mat& frame, std::int32_t& delayMs);

  private:
    explicit ModuleFrames(FileBytes bytes) : bytes_(std::move(bytes)) {}

    FileBytes bytes_;  // what the module's reader reads
    void* reader_ = nullptr;
    std::int32_t frameCount_ = 0;
    std::int32_t plays_ = 1;
    PictureColour colour_;
};

}  // namespace pavo
