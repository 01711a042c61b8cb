#pragma once

#include "platform/files.h"
#include "platform/relaxed.h"

#include <QString>
#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <optional>
#include <vector>

namespace pavo {

// One image slot: the shown image or one of its two neighbours. Copying a record
// copies every field; the matrices are reference-counted, so pixels are shared, never
// duplicated.
struct ImageBuffer {
    Relaxed<bool> ready{false};   // holds a finished decode; set last
    Relaxed<bool> failed{false};  // the last decode into this record failed
    cv::Mat image;                // decoded, 8-bit BGRA
    cv::Mat partner;              // decoded merge partner, empty while merge is off
    cv::Mat display;              // the scaled matrix that is drawn
    std::int32_t width = 1;       // columns and rows of `image`
    std::int32_t height = 1;
    Relaxed<std::int32_t> displayWidth{1};  // of `display`; 1 while none is made
    Relaxed<std::int32_t> displayHeight{1};
    std::int32_t scrollX = 0;  // pan offsets, 0 after every load
    std::int32_t scrollY = 0;
    std::int32_t channels = 0;  // of the file, after depth and before colour conversion
    std::int32_t loadTimeMs = 0;
    Relaxed<bool> displayReady{false};  // `display` fits the present window
    std::int32_t fileSize = 0;          // bytes, with the partner's when merged
};

// The state a worker puts its record in before it decodes.
void resetForDecode(ImageBuffer& buffer);

// What reading and decoding one file gives, before normalisation.
struct DecodedFile {
    cv::Mat matrix;              // empty when the bytes could not be decoded
    std::int32_t fileSize = -1;  // -1 when the size could not be queried
};

// A decoded, normalised image ready to go into a record.
struct LoadedImage {
    cv::Mat image;  // 8-bit BGRA, continuous
    std::int32_t channels = 0;
    std::int32_t fileSize = 0;
};

// The file's bytes decoded as they are (depth, channels and alpha kept); an empty
// matrix for undecodable bytes.
cv::Mat decodeImageBytes(const FileBytes& bytes);

// Size query, whole-file read and decode. A failed size query (-1) or an empty file
// gives an empty matrix.
DecodedFile decodeImageFile(const QString& path);

// Brings a decoded matrix to 8-bit BGRA in place and returns the channel count it had
// after the depth conversion. For the shown image (not a partner) an empty matrix or
// one of 32-bit float depth is refused: nothing is returned. Throws cv::Exception when
// OpenCV refuses a conversion (an empty partner).
std::optional<std::int32_t> convertToBgra8(cv::Mat& matrix, bool isPartner);

// Composites a BGRA matrix on a black, fully transparent background, in place:
// every channel c becomes trunc(c * (A / 255.0)) and transparent pixels (0, 0, 0, 0).
void flattenAlphaOnBlack(cv::Mat& matrix);

// Reads, decodes and normalises the merge partner at `path` into the record, adding
// its size to the record's. Throws when the partner cannot be read or decoded.
void decodePartnerInto(ImageBuffer& record, const QString& path);

// The whole pipeline for one file: readable test, read, decode, normalise. Every
// failure (missing, empty, too large, undecodable, refused, or an exception from
// OpenCV or the allocator) gives nothing; nothing is half-published.
std::optional<LoadedImage> loadImageFile(const QString& path, bool isPartner = false);

}  // namespace pavo

namespace pavo {

struct Viewer;

// The index after |steps| single steps through n entries, wrapping at both ends.
std::int32_t stepIndex(std::int32_t count, std::int32_t index, std::int32_t steps);

// Decodes `path` on the user-interface thread into the shown image, sizes the
// window, scales and shows it. False when nothing could be shown; the caller reports.
bool loadShownImage(Viewer& viewer, const QString& path, bool openedDirectly);

// ---- The neighbour cache -------------------------------------------------------------

// Waits for the next and then the previous worker (30 s each) and takes over what they
// made. A worker still running after its wait is left alone: its record is dropped and
// its side stays empty until it has ended.
void waitForWorkers(Viewer& viewer);
// Empties both neighbour records (after waitForWorkers).
void clearNeighbours(Viewer& viewer);
// Starts both workers for the neighbours of the shown image.
void startNeighbourWorkers(Viewer& viewer);
// Starts the worker of one side again after a step.
void restartWorker(Viewer& viewer, bool next);
// The neighbours were scaled for another window: the next step or the prescale
// timer scales them again.
void forgetNeighbourScaling(Viewer& viewer);
// Whether either worker or prescale thread is running.
bool anyWorkerRunning(const Viewer& viewer);

// What one neighbour worker does, on its own thread, into its own record.
struct NeighbourJob {
    std::int32_t count = 0;  // playlist entries
    QString imagePath;
    QString partnerPath;      // empty while merge is off
    bool fullscreen = false;  // as they were when the worker started
    std::int32_t chromeLevel = 3;
};
NeighbourJob neighbourJob(const Viewer& viewer, bool next);
void decodeNeighbour(const Viewer& viewer, const NeighbourJob& job, ImageBuffer& record);

// ---- Navigation ----------------------------------------------------------------------

// After the index moved one step, brings the neighbour ahead on screen.
bool showNeighbour(Viewer& viewer, bool forward);
// Next and previous: scroll by (dx, dy) if the view can move, else step.
void moveForward(Viewer& viewer, int dx, int dy);
void moveBackward(Viewer& viewer, int dx, int dy);
// Jumps `count` steps and decodes on the user-interface thread.
void moveBy(Viewer& viewer, std::int32_t count);
void goToFirst(Viewer& viewer);
void goToLast(Viewer& viewer);
// Scales both neighbours for the present window (timer 7000).
void prescaleNeighbours(Viewer& viewer);

}  // namespace pavo
