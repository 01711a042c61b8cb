#pragma once

#include <opencv2/core/mat.hpp>

namespace pavo {

// OpenCV's image codecs, loaded the first time a decode needs them (a BMP, TIFF, Netpbm
// or grey JPEG). Their library brings in GDAL, GDCM, HDF5 and some hundred more
// libraries; linked, they took about 60 ms off every start before Pavo's first line ran,
// and loaded they hold 31 MB, though colour JPEGs, PNGs and WebPs never need them.

// cv::imdecode(encoded, cv::IMREAD_UNCHANGED). Throws std::runtime_error when the codecs'
// library cannot be loaded (the caller treats it as a failed decode).
cv::Mat decodeWithImageCodecs(const cv::Mat& encoded);

}  // namespace pavo
