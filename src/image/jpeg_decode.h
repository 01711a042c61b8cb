#pragma once

#include "platform/files.h"

#include <opencv2/core/mat.hpp>

#include <optional>

namespace pavo {

// A three-component (YCbCr or RGB) JPEG decoded straight into 8-bit BGRA with opaque
// alpha: the pixels of OpenCV's decode to BGR followed by the BGR to BGRA conversion,
// without the second full-size matrix and pass. Nothing for any other file (grey,
// CMYK, not a JPEG) or for data libjpeg gives up on, which then goes the general way.
std::optional<cv::Mat> decodeColourJpeg(const FileBytes& bytes);

}  // namespace pavo
