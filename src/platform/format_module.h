#pragma once

// HEIF, AVIF, JPEG XL, GIF and animated WebP pictures are decoded by a module of Pavo's
// own, loaded the first time such a picture is decoded: the libraries behind it (the HEVC,
// AV1 and JPEG XL decoders and theirs) took about 18 ms off every start when linked into
// the program.

#include "platform/files.h"

#include <opencv2/core/mat.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace pavo {

// Whether a decode to `width` x `height` pixels of `sampleBits` samples fits `budget`
// bytes; the module asks it once the header is read, before any pixel memory is taken.
using FitsBudget = bool (*)(std::uint32_t width, std::uint32_t height, std::uint32_t sampleBits,
                            std::uint64_t budget);

// What the module's entry point answers.
enum class ModuleDecode : int { NotItsFormat = 0, Decoded = 1, Failed = 2 };

// The entry point the module exports, by the name kFormatModuleEntry. `picture` gets 8- or
// 16-bit BGR, BGRA, grey or grey with alpha, standing as the file says it is to be seen.
using FormatModuleEntry = int(const unsigned char* data, std::size_t size, std::uint64_t budget,
                              FitsBudget fits, const std::atomic<bool>* stop, cv::Mat* picture);
inline constexpr const char* kFormatModuleEntry = "pavo_decode_picture";

// The picture the module makes of `bytes` (of an animation, the first frame): nothing when
// they are none of its formats, an
// empty matrix when they are but cannot be shown (broken, cut short, over the budget,
// stopped). Throws std::runtime_error when the module cannot be loaded.
std::optional<cv::Mat> decodeWithFormatModule(const FileBytes& bytes, std::uint64_t budget,
                                              FitsBudget fits, const std::atomic<bool>* stop);

}  // namespace pavo
