#pragma once

#include "platform/files.h"

#include <opencv2/core/mat.hpp>

#include <optional>

namespace pavo {

// A three-component (YCbCr or RGB) JPEG decoded straight into 8-bit BGR, with the
// pixels of OpenCV's own decode; a file cut short is filled in the same way every time
// (OpenCV leaves those rows as the memory was). Nothing for any other file (grey,
// CMYK, not a JPEG) or for data libjpeg gives up on, which then goes the general way.
std::optional<cv::Mat> decodeColourJpeg(const FileBytes& bytes);

}  // namespace pavo
