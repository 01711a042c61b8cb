// Photos from phones and cameras come as the sensor saw them, with the way to turn
// them in their EXIF data; every viewer people compare Pavo with shows them upright.
#include "image/orientation.h"

#include <libexif/exif-data.h>
#include <opencv2/core.hpp>

#include <array>
#include <memory>

namespace pavo {
namespace {

bool isJpeg(const FileBytes& bytes) {
    return bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

struct ExifDataRelease {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

}  // namespace

ExifOrientation exifOrientation(const FileBytes& bytes) {
    if (!isJpeg(bytes)) return 1;
    const std::unique_ptr<ExifData, ExifDataRelease> exif(exif_data_new());
    if (!exif) return 1;
    // Read as written: the library would otherwise add the entries a file leaves out.
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif.get(), bytes.data(), static_cast<unsigned int>(bytes.size()));
    // The first directory describes the main image; the second one its thumbnail.
    const ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 ||
        entry->size < 2)
        return 1;
    const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif.get()));
    return value >= 1 && value <= 8 ? value : 1;
}

void turnUpright(cv::Mat& image, ExifOrientation orientation) {
    if (image.empty() || orientation <= 1 || orientation > 8) return;
    cv::Mat upright;
    switch (orientation) {
        case 2:  // mirrored left to right
            cv::flip(image, upright, 1);
            break;
        case 3:  // upside down
            cv::flip(image, upright, -1);
            break;
        case 4:  // mirrored top to bottom
            cv::flip(image, upright, 0);
            break;
        case 5:  // rows stored as columns
            cv::transpose(image, upright);
            break;
        case 6:  // turned a quarter to the left: a quarter clockwise sets it right
            cv::rotate(image, upright, cv::ROTATE_90_CLOCKWISE);
            break;
        case 7:  // rows stored as columns, from the far corner
            cv::transpose(image, upright);
            cv::flip(upright, upright, -1);
            break;
        default:  // 8: turned a quarter to the right
            cv::rotate(image, upright, cv::ROTATE_90_COUNTERCLOCKWISE);
            break;
    }
    image = upright;
}

cv::Mat turnedClockwise(const cv::Mat& matrix) {
    if (matrix.empty()) return matrix;
    cv::Mat turned;
    cv::transpose(matrix, turned);
    cv::flip(turned, turned, 1);
    return turned;
}

cv::Mat mirrored(const cv::Mat& matrix) {
    if (matrix.empty()) return matrix;
    cv::Mat flipped;
    cv::flip(matrix, flipped, 1);
    return flipped;
}

PictureTurn withQuarterTurn(PictureTurn turn) {
    return {(turn.quarterTurns + 1) % 4, turn.mirrored};
}

// A mirror after turning by t equals turning by -t after a mirror.
PictureTurn withMirror(PictureTurn turn) {
    return {(4 - turn.quarterTurns) % 4, !turn.mirrored};
}

cv::Mat turnedAs(const cv::Mat& decoded, PictureTurn turn) {
    cv::Mat facing = turn.mirrored ? mirrored(decoded) : decoded;
    if (turn.quarterTurns % 4 == 0) return facing;
    static constexpr std::array<int, 3> kRotation{cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180,
                                                  cv::ROTATE_90_COUNTERCLOCKWISE};
    cv::Mat turned;
    cv::rotate(facing, turned, kRotation.at(static_cast<std::size_t>(turn.quarterTurns % 4 - 1)));
    return turned;
}

}  // namespace pavo
