#pragma once

#include "platform/files.h"

#include <opencv2/core/mat.hpp>

#include <atomic>
#include <functional>
#include <optional>

namespace pavo {

// A three-component (YCbCr or RGB) JPEG decoded straight into 8-bit BGR, with the
// pixels of OpenCV's own decode; a file cut short is filled in the same way every time
// (OpenCV leaves those rows as the memory was). Nothing for any other file (grey,
// CMYK, not a JPEG) or for data libjpeg gives up on, which then goes the general way;
// nothing either once `stop` is set, which is looked at every 64 rows. `rowsDone`, when
// given, hears of the pixels' matrix and how many of its rows are decoded, every 64 rows
// and once all are.
using RowsDone = std::function<void(const cv::Mat& pixels, int rows)>;
std::optional<cv::Mat> decodeColourJpeg(const FileBytes& bytes,
                                        const std::atomic<bool>* stop = nullptr,
                                        const RowsDone& rowsDone = {});

// A CMYK (or YCCK) JPEG's ink as libjpeg gives it, for a conversion through a profile.
struct CmykPicture {
    cv::Mat pixels;         // CV_8UC4
    bool inverted = false;  // Adobe's: 255 for no ink, as Photoshop writes them
};
std::optional<CmykPicture> decodeCmykJpeg(const FileBytes& bytes,
                                          const std::atomic<bool>* stop = nullptr);

struct ReducedSize {
    unsigned width = 0;
    unsigned height = 0;
};

// A quick, rough decode of such a JPEG for a first look, read from the file a piece at a
// time: reduced by 2, 4 or 8 in the DCT (the most that keeps at least `least` pixels each
// way), with the fast integer transform. Nothing when no reduction is possible or for any
// other file. With it comes the file's head as the readers of EXIF orientation and
// colour profiles look at it: its APP1 and APP2 segments, between a start and a scan marker.
struct JpegPreview {
    cv::Mat pixels;
    FileBytes head;
};
std::optional<JpegPreview> decodeJpegPreview(FileStream& file, ReducedSize least,
                                             const std::atomic<bool>* stop = nullptr);

// The same reduction with libjpeg's accurate transform and smoothing, for a picture that
// stays on screen (a 600 MP JPEG is 200 MB of file); nothing when no reduction is
// possible, or once `stop` is set.
std::optional<cv::Mat> decodeJpegReduced(FileStream& file, ReducedSize least,
                                         const std::atomic<bool>* stop = nullptr);

}  // namespace pavo
