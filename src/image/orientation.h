#pragma once

#include "image/image.h"
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

// What rotating and mirroring do to a record's pixels.
// The turn that `turn` followed by a quarter turn clockwise, or by a mirror, makes.
PictureTurn withQuarterTurn(PictureTurn turn);
PictureTurn withMirror(PictureTurn turn);
// Freshly decoded pixels as `turn` leaves them; the matrix given is never changed, and
// is returned itself for no turn at all.
cv::Mat turnedAs(const cv::Mat& decoded, PictureTurn turn);

// A copy turned a quarter clockwise, or mirrored left to right (new pixels: a record's
// matrices may share theirs with another record, which an in-place flip would change too).
cv::Mat turnedClockwise(const cv::Mat& matrix);
cv::Mat mirrored(const cv::Mat& matrix);

}  // namespace pavo
