#pragma once

#include "browse/browse_state.h"
#include "image/image.h"
#include "image/jpeg_decode.h"
#include "platform/files.h"
#include "platform/jobs.h"

#include <QString>
#include <opencv2/core/mat.hpp>

namespace pavo {

struct Viewer;

// Decodes `path` on the user-interface thread into the shown image (or takes the decode
// a start or a jump made of it), sizes the window, scales and shows it. False when
// nothing could be shown; the caller reports.
bool loadShownImage(Viewer& viewer, const QString& path, LoadOrigin origin);
// A tall image opened directly starts at its own size.
void applyAutoShowOriginal(Viewer& viewer, LoadOrigin origin);
// The picture on screen no longer stands for the file at the index (its load failed):
// nothing acts on it any more, and the window shows only its background.
void dropShownPicture(Viewer& viewer);

// Starts decoding `path` on a job, for the load of that path to take (a jump's image);
// a decode of another file is stopped.
void startFileDecode(Viewer& viewer, const QString& path);
// The same for the file a start opens. With a preview, a quick reduced decode of a large
// JPEG comes first and is shown while the image decodes; a start asks for it only where
// the window will keep its size for the image (maximised, fit on, merge off).
enum class StartPreview { None, First };
void startEarlyDecode(Viewer& viewer, const QString& path, StartPreview preview);
// Whether a decode of `path` was started and its image has not been taken yet.
bool decodeStarted(const Viewer& viewer, const QString& path);
// Whether that decode's image is there to take.
bool decodeDone(const Viewer& viewer, const QString& path);
// Stops the decode under way and drops what it made.
void cancelFileDecode(Viewer& viewer);

// A quick reduced decode of a large JPEG (at least 1280 x 720), upright and in the
// target's colours; empty for any other file or on any failure.
cv::Mat previewOfFile(const QString& path, const ColourTarget& colour = {});
// The same in two halves: the reduced decode (nothing for another file, on any failure or
// once `stop` is set), then its colours and orientation.
std::optional<JpegPreview> decodeFirstLook(const QString& path,
                                           const std::atomic<bool>* stop = nullptr);
cv::Mat finishFirstLook(std::optional<JpegPreview> look, const ColourTarget& colour);

// Starts the decode of a first look at `path` on `runner`, for a start to take once the
// viewer is set up (see EarlyFirstLook).
EarlyFirstLook beginFirstLook(JobRunner& runner, const QString& path);
// Whether a preview can stand for the image: the window keeps its size for any image
// (maximised or fullscreen), fit is on and merge off.
bool previewFits(const Viewer& viewer);
// Draws a reduced decode fitted to the window as the shown picture, when it fits so.
bool drawPreview(Viewer& viewer, const cv::Mat& reduced);
// Draws the start's preview, once it is there, while the start waits for its image.
// True when it drew it.
bool showStartPreview(Viewer& viewer);

// The idle release of the shown image: its decoded pixels and partner go, the picture on
// screen stays. Nothing goes while that picture is the decoded image itself.
void releaseShownPixels(Viewer& viewer);
// Whether the record is shown with its decoded pixels released.
bool shownPixelsReleased(const ImageBuffer& record);
// A record's files decoded again for `target`, turned as the record's pixels are; nothing
// unless the file still gives a picture of the record's size. Throws when the partner
// fails. Any thread: it reads only the record it is given.
struct ShownPixels {
    cv::Mat image;
    cv::Mat partner;
    QString profileName;
};
std::optional<ShownPixels> decodeShownPixelsAgain(const ImageBuffer& record,
                                                  const ColourTarget& target,
                                                  const std::atomic<bool>* stop);
// Decodes released pixels again from their file, turned as they were. When the file no
// longer gives a picture of that size, the picture stays on screen but no longer counts
// as shown, as after a failed load.
void restoreShownPixels(Viewer& viewer);

}  // namespace pavo
