// A still WebP through libwebp, into the layout OpenCV's WebP decoder gave.
#include "image/still_decode.h"

#include <webp/decode.h>

#include <string_view>

namespace pavo {
namespace {

bool isWebp(const FileBytes& bytes) {
    using namespace std::string_view_literals;
    if (bytes.size() < 12) return false;
    const std::string_view head(reinterpret_cast<const char*>(bytes.data()), 12);  // NOLINT
    return head.substr(0, 4) == "RIFF"sv && head.substr(8, 4) == "WEBP"sv;
}

}  // namespace

std::optional<cv::Mat> decodeStillWebp(const FileBytes& bytes) {
    if (!isWebp(bytes)) return std::nullopt;
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK) return cv::Mat();
    if (features.has_animation != 0) return std::nullopt;
    if (features.width <= 0 || features.height <= 0) return cv::Mat();
    cv::Mat pixels(features.height, features.width, features.has_alpha != 0 ? CV_8UC4 : CV_8UC3);
    const auto size = static_cast<std::size_t>(pixels.dataend - pixels.datastart);
    const auto stride = static_cast<int>(pixels.step[0]);
    const std::uint8_t* written =
        features.has_alpha != 0
            ? WebPDecodeBGRAInto(bytes.data(), bytes.size(), pixels.data, size, stride)
            : WebPDecodeBGRInto(bytes.data(), bytes.size(), pixels.data, size, stride);
    if (written != pixels.data) return cv::Mat();
    return pixels;
}

}  // namespace pavo
