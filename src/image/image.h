#pragma once

#include "image/colour.h"
#include "platform/files.h"
#include "platform/format_module.h"

#include <QString>
#include <opencv2/core/mat.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace pavo {

// What rotating and mirroring did to a record's pixels since they were decoded:
// mirrored left to right first (when `mirrored`), then turned clockwise `quarterTurns`
// times. Kept so that pixels decoded again can be brought back to the same picture.
struct PictureTurn {
    std::int32_t quarterTurns = 0;  // 0 to 3
    bool mirrored = false;
    bool operator==(const PictureTurn&) const = default;
};

// One image slot: the shown image or one of its two neighbours. Copying a record
// copies every field; the matrices are reference-counted, so pixels are shared, never
// duplicated.
struct ImageBuffer {
    bool ready = false;   // holds a finished decode
    bool failed = false;  // the last decode into this record failed
    cv::Mat image;        // decoded, 8-bit BGR
    cv::Mat partner;      // decoded merge partner, empty while merge is off
    cv::Mat display;      // the scaled matrix that is drawn
    // The files the pixels were decoded from: a record stands only for these.
    QString path;
    QString partnerPath;     // empty while merge is off
    std::int32_t width = 1;  // columns and rows of `image`
    std::int32_t height = 1;
    std::int32_t displayWidth = 1;  // of `display`; 1 while none is made
    std::int32_t displayHeight = 1;
    std::int32_t scrollX = 0;  // pan offsets, 0 after every load
    std::int32_t scrollY = 0;
    std::int32_t channels = 0;  // of the file, after depth and before colour conversion
    std::int32_t loadTimeMs = 0;
    bool displayReady = false;    // `display` fits the present window
    std::int32_t fileSize = 0;    // bytes, with the partner's when merged
    PictureTurn turn;             // of `image` and `partner`
    bool animated = false;        // the file holds frames to play (a partner's never play)
    std::int32_t frameIndex = 0;  // the frame of the file `image` is, counted from 0
    QString profileName;          // of the colours the file says it has, for the overlay
    std::uint64_t colourId = 0;   // what the pixels were converted for (ColourTarget::id)
};

// The state a record is put in before it is filled again: nothing ready, no sizes.
void resetForDecode(ImageBuffer& buffer);

// A decoded, normalised image ready to go into a record.
struct LoadedImage {
    cv::Mat image;  // 8-bit BGR, continuous; of an animation, the first frame
    std::int32_t channels = 0;
    std::int32_t fileSize = 0;
    bool animated = false;  // the file holds frames to play
    QString profileName;
    std::uint64_t colourId = 0;
};

// What an encoded image's header says it decodes to.
struct DeclaredImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t sampleBits = 8;  // of the decoded matrix's samples: 8, 16, 32 or 64
    bool deep() const { return sampleBits > 8; }
};

// The size declared in the header of a PNG, JPEG (MPO, JPS), BMP, WebP, Netpbm (PBM,
// PGM, PPM, PAM, PFM), TIFF, Sun raster, Radiance HDR or JPEG 2000 file, read without
// decoding; nothing for other formats or a header that is cut short or malformed.
std::optional<DeclaredImage> declaredImageSize(const FileBytes& bytes);

// Bytes a decode of such an image holds at its peak: the decoder's matrix (taken as four
// samples a pixel) and the 8-bit copy made from it. Saturates instead of overflowing.
std::uint64_t decodeMemoryEstimate(const DeclaredImage& image);

// The file's bytes decoded as they are (depth, channels and alpha kept); an empty
// matrix for undecodable bytes, and for an image whose decode would need more than
// `memoryBudget` bytes (then nothing is allocated for its pixels).
// A PNG's decode stops with an empty matrix once `stop` is set.
cv::Mat decodeImageBytes(const FileBytes& bytes, std::uint64_t memoryBudget,
                         const std::atomic<bool>* stop = nullptr);

// The same within the memory the system has available now.
cv::Mat decodeImageBytes(const FileBytes& bytes);

// Which image of a record a decode is for: the image itself, or its merge partner.
enum class DecodeRole { Shown, Partner };

// Brings a decoded matrix to 8-bit BGR in place (an alpha channel composited on black
// and dropped) and returns the channel count it had
// after the depth conversion. For the shown image (not a partner) an empty matrix or
// one of 32-bit float depth is refused: nothing is returned. Throws cv::Exception when
// OpenCV refuses a conversion (an empty partner).
std::optional<std::int32_t> convertToBgr8(cv::Mat& matrix, DecodeRole role);

// Composites a BGRA matrix on a black, fully transparent background, in place:
// every channel c becomes trunc(c * (A / 255.0)) and transparent pixels (0, 0, 0, 0).
void flattenAlphaOnBlack(cv::Mat& matrix);

// The file's bytes decoded, brought to 8-bit BGR and turned upright as a JPEG's EXIF
// orientation says, with the channel count they had (the file size is left 0). Fails as
// convertToBgr8 does, for the role given. A decode asked to `stop` (when it may) gives nothing.
// The memory budget is what the system has available, or the one given (the fuzzer's).
// Its colours are converted for `colour`.
std::optional<LoadedImage> decodeToBgr8(const FileBytes& bytes, DecodeRole role,
                                        const std::atomic<bool>* stop = nullptr,
                                        const ColourTarget& colour = {});
std::optional<LoadedImage> decodeToBgr8(const FileBytes& bytes, DecodeRole role,
                                        const std::atomic<bool>* stop, std::uint64_t memoryBudget,
                                        const ColourTarget& colour = {});

// Reads, decodes and normalises the merge partner at `path` into the record, adding
// its size to the record's and naming it the record's partner. Throws when the partner
// cannot be read or decoded.
void decodePartnerInto(ImageBuffer& record, const QString& path, const ColourTarget& colour = {});

// The first half of loading a file: readable test and read. Nothing for a missing, empty
// or unreadable file.
std::optional<FileBytes> readImageFile(const QString& path);
// The second half: decode and normalise, with the file size set; nothing on any failure.
std::optional<LoadedImage> loadImageBytes(const FileBytes& bytes,
                                          DecodeRole role = DecodeRole::Shown,
                                          const std::atomic<bool>* stop = nullptr,
                                          const ColourTarget& colour = {});

// A JPEG or PNG of at least this many pixels is far larger than any screen: a picture of
// it for the screen is made from a reduced decode instead of from its full decode.
inline constexpr std::int64_t kHugePicturePixels = 64'000'000;

// Such a picture (of at least `fromPixels`) decoded reduced to at least `least` pixels
// each way once upright (a JPEG by 2, 4 or 8 in its DCT, a PNG by block averages), read
// from the file a piece at a time, turned upright and converted for `colour`, with the
// size of its full decode; nothing for smaller pictures, other files, grey or CMYK JPEGs,
// interlaced PNGs, or a failed or stopped decode.
struct ReducedPicture {
    LoadedImage loaded;
    std::int32_t fullWidth = 0;  // upright
    std::int32_t fullHeight = 0;
};
std::optional<ReducedPicture> loadReducedPicture(const QString& path, std::int32_t leastWidth,
                                                 std::int32_t leastHeight,
                                                 const std::atomic<bool>* stop,
                                                 const ColourTarget& colour,
                                                 std::int64_t fromPixels = kHugePicturePixels);

// Whether the file's name says its decode stops part way once asked: JPEGs and PNGs
// decode row by row and look at `stop`; the other decoders, once begun, run to their end.
bool decodeStopsWhenAsked(QStringView path);

// The whole pipeline for one file: readable test, read, decode, normalise. Every
// failure (missing, empty, too large, undecodable, refused, or an exception from
// OpenCV or the allocator) gives nothing; nothing is half-published.
std::optional<LoadedImage> loadImageFile(const QString& path, DecodeRole role = DecodeRole::Shown,
                                         const std::atomic<bool>* stop = nullptr,
                                         const ColourTarget& colour = {});

// One frame of an animation as the viewer shows it.
struct AnimationFrame {
    cv::Mat image;  // 8-bit BGR, upright, the canvas's size
    std::int32_t index = 0;
    std::int32_t delayMs = 100;  // a file's delay under 20 ms is shown for 100, as browsers do
};

// The frames of one animation file, read in order by one thread at a time.
struct FrameSource {
    std::shared_ptr<ModuleFrames> frames;
    std::int32_t nextIndex = 0;
    PreparedColour colour;  // every frame's conversion
};

// Reads the file and opens its frames: nothing for a file of fewer than two frames, one that
// fails, or one whose canvas does not fit the memory available.
std::optional<FrameSource> openFrameSource(const QString& path, const ColourTarget& colour = {});
// The same for bytes read already, within `memoryBudget` (the fuzzer's).
std::optional<FrameSource> openFrameSource(FileBytes bytes, std::uint64_t memoryBudget,
                                           const ColourTarget& colour = {});
// The next frame (after the last, the first again); nothing when the file fails there.
std::optional<AnimationFrame> readFrame(FrameSource& source);

}  // namespace pavo
