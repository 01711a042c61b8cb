#pragma once

#include "platform/jobs.h"

#include <opencv2/core/mat.hpp>

namespace pavo {

// OpenCV's image codecs, loaded the first time a decode needs them. Their library brings
// in GDAL, GDCM, HDF5 and some hundred more libraries; linked, they took about 60 ms off
// every start before Pavo's first line ran, though a colour JPEG never needs them.

// cv::imdecode(encoded, cv::IMREAD_UNCHANGED). Throws std::runtime_error when the codecs'
// library cannot be loaded (the caller treats it as a failed decode).
cv::Mat decodeWithImageCodecs(const cv::Mat& encoded);

// Starts loading the codecs on a job, so that the first decode that needs them does not
// wait for the loading.
void preloadImageCodecs(JobRunner& runner);

}  // namespace pavo
