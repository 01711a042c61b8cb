#pragma once

#include "platform/files.h"

#include <opencv2/core/mat.hpp>

namespace pavo {

// How a camera stored a photo relative to the way it is meant to be seen: the EXIF
// orientation, 1 (as stored) to 8.
using ExifOrientation = int;

// The orientation a JPEG's EXIF data gives its main image; 1 for any other file, a
// JPEG without EXIF data, and a value outside 1 to 8.
ExifOrientation exifOrientation(const FileBytes& bytes);

// Turns and mirrors a decoded image so that it stands as its orientation says it is
// meant to be seen (5 to 8 swap width and height). Orientation 1 leaves it untouched.
void turnUpright(cv::Mat& image, ExifOrientation orientation);

}  // namespace pavo
