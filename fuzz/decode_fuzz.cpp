// libFuzzer target: arbitrary bytes through decode and normalisation, as the shown
// image and as a merge partner. Any crash, leak or sanitizer report is a finding.
#include "image/image.h"
#include "platform/pixel_memory.h"

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool installed = [] {
        pavo::installPixelMemory();
        return true;
    }();
    (void)installed;
    const pavo::FileBytes bytes(data, data + size);
    for (const auto role : {pavo::DecodeRole::Shown, pavo::DecodeRole::Partner}) {
        try {
            cv::Mat matrix = pavo::decodeImageBytes(bytes);
            if (const auto channels = pavo::convertToBgra8(matrix, role)) {
                if (matrix.type() != CV_8UC4 || !matrix.isContinuous() || *channels < 1 ||
                    *channels > 4) {
                    std::terminate();  // a decode that claims success must give 8-bit BGRA
                }
            }
        } catch (const std::exception&) {
            // A failed decode, as the viewer treats it.
        }
    }
    return 0;
}
