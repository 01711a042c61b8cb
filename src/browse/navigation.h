#pragma once

#include "browse/browse_state.h"
#include "image/image.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace pavo {

struct Viewer;

// Stops a decode of its own thread, if one runs, and lets the thread end on its own.
void abandonDecode(Viewer& viewer, std::optional<EarlyDecode>& decode);
// Stops the early or jump decode, if one runs, and lets its thread end on its own.
void abandonEarlyDecode(Viewer& viewer);
// The decode beyond the image ahead, when it is of `path`: the caller takes it over.
std::optional<EarlyDecode> takeDecodeBeyond(Viewer& viewer, const QString& path);

// Starts decoding `path` on a thread of its own: a preview first, then the image. One
// thread leaves the other core to the window's set-up.
EarlyDecode startEarlyDecode(const QString& path);

// While the early decode runs: shows its preview, once there, fitted to the window, when
// the window will not change size for the image (maximised or fullscreen, fit on). The
// load replaces it with the image as it is really scaled. True once shown.
bool showEarlyPreview(Viewer& viewer, const EarlyDecode& early);

// A quick reduced decode of a large JPEG (at least 1280 x 720); empty for any other
// file or on any failure.
cv::Mat previewOfBytes(const FileBytes& bytes);
cv::Mat previewOfFile(const QString& path);
// Whether a preview can stand for the image: the window keeps its size for any image
// (maximised or fullscreen), fit is on and merge off.
bool previewFits(const Viewer& viewer);
// Draws a reduced decode fitted to the window as the shown picture, when it fits so.
bool drawPreview(Viewer& viewer, const cv::Mat& reduced);

// How the shown image came to be loaded: opened by the user (command line, dialog,
// drop) or reached by stepping.
enum class LoadOrigin { Opened, Step };

// Decodes `path` on the user-interface thread into the shown image, sizes the
// window, scales and shows it. False when nothing could be shown; the caller reports.
bool loadShownImage(Viewer& viewer, const QString& path, LoadOrigin origin);
// A tall image opened directly starts at its own size.
void applyAutoShowOriginal(Viewer& viewer, LoadOrigin origin);

// The idle release of the shown image: its decoded pixels and partner go, the picture on
// screen stays. Nothing goes while that picture is the decoded image itself.
void releaseShownPixels(Viewer& viewer);
// Whether the record is shown with its decoded pixels released.
bool shownPixelsReleased(const ImageBuffer& record);
// Decodes released pixels again from the file, turned as they were. When the file no
// longer gives a picture of that size, the picture stays on screen but no longer counts
// as shown, as after a failed load.
void restoreShownPixels(Viewer& viewer);

// While the decode of the image ahead still runs, draws a quick reduced decode of it
// (a large JPEG, where the window keeps its size); the step then shows the image as
// really scaled. The shown record keeps its own picture for when it is left behind.
void previewAhead(Viewer& viewer, bool forward);
// After the index moved one step, brings the neighbour ahead on screen.
bool showNeighbour(Viewer& viewer, bool forward);
// Next and previous: scroll by (dx, dy) if the view can move, else step. Of several
// presses, those the view cannot scroll for step together: one step shows the cached
// neighbour, more jump straight to where the presses lead.
void moveForward(Viewer& viewer, int dx, int dy, int presses = 1);
void moveBackward(Viewer& viewer, int dx, int dy, int presses = 1);
// Jumps `count` steps: the target decodes on a thread of its own and is shown once
// it is there, while keys go on being handled; a jump during the decode stops it and
// decodes its own target instead. The neighbour workers of the image left are not
// waited for.
void moveBy(Viewer& viewer, std::int32_t count);
// Before anything but a step acts on the shown image: brings a jump under way on screen
// (waiting for its decode), so that it acts on the image the index names, and decodes
// pixels the idle release let go.
void settleShownImage(Viewer& viewer);
void goToFirst(Viewer& viewer);
void goToLast(Viewer& viewer);

}  // namespace pavo
