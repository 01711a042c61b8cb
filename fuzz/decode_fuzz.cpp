// libFuzzer target: arbitrary bytes through decode and normalisation, as the shown
// image and as a merge partner, and through an animation's frames. Any crash, leak or sanitizer
// report is a finding.
#include "image/image.h"
#include "platform/pixel_memory.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

// Within libFuzzer's 4 GiB: on a machine with more available, headers that declare
// pictures the viewer would decode there would only end the run out of memory.
constexpr std::uint64_t kBudget = std::uint64_t{1} << 30;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool installed = [] {
        pavo::installPixelMemory();
        return true;
    }();
    (void)installed;
    const pavo::FileBytes bytes(data, data + size);
    for (const auto role : {pavo::DecodeRole::Shown, pavo::DecodeRole::Partner}) {
        try {
            // The viewer's own decode: Pavo's JPEG path, OpenCV's, and the EXIF turn.
            if (const auto loaded = pavo::decodeToBgr8(bytes, role, nullptr, kBudget)) {
                if (loaded->image.type() != CV_8UC3 || !loaded->image.isContinuous() ||
                    loaded->channels < 1 || loaded->channels > 4) {
                    std::terminate();  // a decode that claims success must give 8-bit BGR
                }
            }
        } catch (const std::exception&) {
            // A failed decode, as the viewer treats it.
        }
    }
    // Frames of an animation, twice round (the second after the reader went back to the
    // start), as the viewer plays them.
    if (auto source = pavo::openFrameSource(bytes, kBudget)) {
        const int frames = std::min(source->frames->frameCount(), 32) * 2;
        for (int i = 0; i < frames; ++i) {
            const auto frame = pavo::readFrame(*source);
            if (!frame) break;
            if (frame->image.type() != CV_8UC3 || frame->delayMs < 20) std::terminate();
        }
    }
    return 0;
}
