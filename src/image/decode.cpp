#include "image/image.h"

#include "platform/files.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <array>
#include <exception>

namespace pavo {
namespace {

// out[alpha][value] = trunc(0 * (1 - a) + value * a) with a = alpha / 255.0, computed
// in double exactly as the per-pixel formula, so the table is bit-identical to it.
using CompositeTable = std::array<std::array<unsigned char, 256>, 256>;

const CompositeTable& compositeTable() {
    static const CompositeTable table = [] {
        CompositeTable t{};
        for (int alpha = 0; alpha < 256; ++alpha) {
            const double a = alpha / 255.0;
            for (int value = 0; value < 256; ++value) {
                t[alpha][value] =
                    a > 0 ? static_cast<unsigned char>(0.0 * (1.0 - a) + value * a) : 0;
            }
        }
        return t;
    }();
    return table;
}

bool isDeeperThan8Bit(int depth) {
    return depth == CV_16U || depth == CV_16S || depth == CV_32S || depth == CV_32F ||
           depth == CV_64F;
}

// Grey with alpha becomes B = G = R = grey with the same alpha, then is composited
// like any image with alpha.
void greyAlphaToBgra(cv::Mat& matrix) {
    std::array<cv::Mat, 2> planes;
    cv::split(matrix, planes.data());
    const std::array<cv::Mat, 4> bgra{planes[0], planes[0], planes[0], planes[1]};
    cv::Mat merged;
    cv::merge(bgra.data(), bgra.size(), merged);
    flattenAlphaOnBlack(merged);
    matrix = merged;
}

}  // namespace

void resetForDecode(ImageBuffer& buffer) {
    buffer.ready = false;
    buffer.displayReady = false;
    buffer.width = buffer.height = 1;
    buffer.displayWidth = buffer.displayHeight = 1;
    buffer.scrollX = buffer.scrollY = 0;
}

cv::Mat decodeImageBytes(const std::vector<unsigned char>& bytes) {
    if (bytes.empty()) return {};
    return cv::imdecode(bytes, cv::IMREAD_UNCHANGED);
}

DecodedFile decodeImageFile(const QString& path) {
    DecodedFile result;
    result.fileSize = fileSizeOf(path);
    if (result.fileSize <= 0) return result;
    result.matrix = decodeImageBytes(readFileBytes(path, result.fileSize));
    return result;
}

std::optional<std::int32_t> convertToBgra8(cv::Mat& matrix, bool isPartner) {
    if (!isPartner && (matrix.empty() || matrix.depth() == CV_32F)) return std::nullopt;
    if (isDeeperThan8Bit(matrix.depth()) && (!isPartner || !matrix.empty())) {
        matrix.convertTo(matrix, CV_8U, 1.0 / 256.0, 0.0);
    }
    const int channels = matrix.channels();
    switch (channels) {
        case 4:
            flattenAlphaOnBlack(matrix);
            break;
        case 3:
            cv::cvtColor(matrix, matrix, cv::COLOR_BGR2BGRA, 4);
            break;
        case 2:
            greyAlphaToBgra(matrix);
            break;
        default:
            // Grey; anything else (an empty partner) makes OpenCV throw, failing the decode.
            cv::cvtColor(matrix, matrix, cv::COLOR_GRAY2BGRA, 4);
            break;
    }
    return channels;
}

void flattenAlphaOnBlack(cv::Mat& matrix) {
    CV_Assert(matrix.type() == CV_8UC4);
    const CompositeTable& table = compositeTable();
    for (int row = 0; row < matrix.rows; ++row) {
        auto* pixel = matrix.ptr<unsigned char>(row);
        auto* const end = pixel + static_cast<std::ptrdiff_t>(matrix.cols) * 4;
        for (; pixel != end; pixel += 4) {
            const unsigned char alpha = pixel[3];
            if (alpha == 255) continue;  // opaque pixels are their own composite
            const auto& scale = table[alpha];
            pixel[0] = scale[pixel[0]];
            pixel[1] = scale[pixel[1]];
            pixel[2] = scale[pixel[2]];
            pixel[3] = scale[alpha];
        }
    }
}

std::optional<LoadedImage> loadImageFile(const QString& path, bool isPartner) {
    if (!fileExists(path)) return std::nullopt;
    try {
        DecodedFile decoded = decodeImageFile(path);
        if (decoded.fileSize <= 0) return std::nullopt;
        const auto channels = convertToBgra8(decoded.matrix, isPartner);
        if (!channels) return std::nullopt;
        return LoadedImage{decoded.matrix, *channels, decoded.fileSize};
    } catch (const std::exception&) {
        return std::nullopt;  // OpenCV errors, exhausted memory: a failed decode
    }
}

}  // namespace pavo
