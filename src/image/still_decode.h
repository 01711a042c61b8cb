#pragma once

#include "platform/files.h"

#include <opencv2/core/mat.hpp>

#include <atomic>
#include <cstdint>
#include <optional>

namespace pavo {

// PNG and still WebP decoded by their own libraries, with the pixels OpenCV's codecs
// give for the same bytes (cv::IMREAD_UNCHANGED): those codecs bring in GDAL, GDCM and a
// hundred more libraries, 31 MB of a running Pavo, which the common formats need not
// load. Each gives nothing for bytes of another format, and an empty matrix for a file
// of its format that its library gives up on.

// Grey as one channel, colour as BGR, with an alpha channel or a transparent colour as
// BGRA, 16-bit samples kept. Stops with an empty matrix once `stop` is set (looked at
// every 64 rows).
std::optional<cv::Mat> decodePng(const FileBytes& bytes, const std::atomic<bool>* stop = nullptr);

// BGR, or BGRA when the file has alpha. An animated WebP is not a still one: nothing.
std::optional<cv::Mat> decodeStillWebp(const FileBytes& bytes);

// A PNG far larger than the screen reduced while it is read from the file, so that its
// full decode is never held: each block of factor × factor pixels (the largest factor
// that keeps at least `leastWidth` × `leastHeight`) averaged into one 8-bit BGR pixel,
// alpha composited on black first. Nothing for an interlaced PNG (its rows are whole only
// at the last pass), when no factor of 2 or more fits, for a file libpng gives up on, or
// once `stop` is set.
// `channels` is set to those of the file's whole decode (1 grey, 3 colour, 4 with alpha).
std::optional<cv::Mat> decodePngReduced(FileStream& file, int leastWidth, int leastHeight,
                                        const std::atomic<bool>* stop, std::int32_t* channels);

}  // namespace pavo
