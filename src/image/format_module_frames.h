#pragma once

// Inside the format module: the formats whose files hold frames (JPEG XL, GIF, animated
// WebP), read one composed frame after another.

#include "image/header_reading.h"
#include "platform/format_module.h"

#include <opencv2/core/mat.hpp>

#include <atomic>
#include <cstdint>
#include <memory>

namespace pavo::module {

// The frames of one file, each composed on the canvas as the file says (disposal,
// blending, transparency) and standing as it is to be seen. Reads the bytes it was
// opened on, which outlive it; used by one thread at a time.
class FrameReader {
  public:
    FrameReader() = default;
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;
    FrameReader(FrameReader&&) = delete;
    FrameReader& operator=(FrameReader&&) = delete;
    virtual ~FrameReader() = default;

    // The next frame and how long it stays, in milliseconds as the file says; after the
    // last frame the first again. False when the file fails there.
    virtual bool next(cv::Mat& frame, std::int32_t& delayMs) = 0;

    // Frames counted when opened: a frame cut short or broken ends the count.
    std::int32_t frameCount = 0;
    std::int32_t plays = 1;  // times the file asks to be played; 0 for ever
    PictureColour colour;    // what the file says of its colours, where the module reads it
};

// A reader for the file's frames, or nothing when the bytes are not of `format`, are
// broken before the first frame, or their canvas does not fit `budget`.
std::unique_ptr<FrameReader> openFrames(header::ModuleFormat format, header::Bytes bytes,
                                        std::uint64_t budget, FitsBudget fits);

// The first frame of a JPEG XL file, still or animated, and whether it is animated.
cv::Mat decodeJpegXl(header::Bytes bytes, std::uint64_t budget, FitsBudget fits,
                     const std::atomic<bool>* stop, bool& animated, PictureColour& colour);

}  // namespace pavo::module
