#pragma once

// The records of browsing: the step under way, the decodes it waits for, and the
// neighbour cache's jobs.

#include "image/image.h"
#include "image/jpeg_decode.h"
#include "platform/jobs.h"
#include "view/view_state.h"

#include <QByteArray>
#include <QString>
#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

namespace pavo {

// How the shown image came to be loaded: opened by the user (command line, dialog,
// drop) or reached by stepping.
enum class LoadOrigin { Opened, Step };

// A step or jump under way: the index already names its image, which is shown once the
// decode it waits for is there. Meanwhile the picture of the image left stays on screen.
struct PendingStep {
    enum class Awaits { Neighbour, Decode };
    Awaits awaits = Awaits::Decode;
    bool forward = true;                   // the side whose neighbour record is awaited
    LoadOrigin origin = LoadOrigin::Step;  // Opened: the file a start opens
    QString path;  // the image it shows, so that a changed playlist is noticed
    // Step presses that came while the image ahead decodes, and where they lead from it:
    // one is the next step, taken once this one is shown; more are a held key.
    int pressesSince = 0;
    std::int32_t stepsSince = 0;
};

// A decoded file waiting for the load of its path.
struct DecodedFile {
    QString path;
    std::optional<LoadedImage> image;  // nothing when the decode failed
};

// A first look at the file a start opens whose decode began at process start, while Qt
// started: the start's preview takes it instead of decoding again, and a start that shows
// no preview stops it.
struct EarlyFirstLook {
    QString path;
    CancelToken token;
    std::shared_future<std::optional<JpegPreview>> decoded;
};

// Navigation state of the user-interface thread.
struct NavigationState {
    std::int64_t navigationStartTime = 0;  // monotonic nanoseconds of the last step's key
    bool swapInProgress = false;           // a prescaled neighbour is being brought on screen
    std::optional<PendingStep> pending;
    // The decode of the file a start opens or a jump lands on, on a job of its own; its
    // result waits in `decoded` for the load of that path.
    JobSlot decode;
    QString decodePath;
    std::optional<DecodedFile> decoded;
    // Held by the JPEG or PNG decode under way: the one a press starts begins when the one
    // it stopped has let go of its pixels, and so takes them over instead of new memory.
    std::shared_ptr<std::mutex> decodeTurn = std::make_shared<std::mutex>();
    // A held key moved a jump's target: its decode starts once the keys rest.
    bool decodeWaitsForRest = false;
    // A quick reduced decode of the file a start opens, shown until the image is there.
    std::optional<EarlyFirstLook> earlyFirstLook;
    JobSlot preview;
    cv::Mat startPreview;
    // The folder of the file a start opens, listed on a job: until it is there the
    // playlist holds that file alone, and steps asked for meanwhile wait for it.
    JobSlot folderScan;
    std::int32_t stepsAwaitingScan = 0;
    // Two steps in a row that find the image ahead still decoding mean the keys outrun
    // the cache: the image beyond it starts decoding at once.
    bool lastStepOutran = false;
};

// The two neighbour slots of the cache.
enum class NeighbourSide { Next, Previous };

// The jobs that fill the neighbour cache. A neighbour job decodes a record of its own and
// hands it over whole; the user-interface thread adopts it into its slot.
struct NeighbourJobs {
    std::uint64_t lastJobId = 0;  // every job of the viewer gets the next number
    JobSlot next;
    JobSlot previous;
    JobSlot prescaleNext;
    JobSlot prescalePrevious;
    // The image beyond the one ahead, decoded while keys outrun the cache; the step that
    // makes it the image ahead takes it over (`beyondRecord` once it is done).
    JobSlot beyond;
    QString beyondPath;
    std::shared_ptr<ImageBuffer> beyondRecord;
    std::uint32_t beyondEpoch = 0;
    // The image the last decode beyond was taken over for: a step to it was served only
    // because the keys had outrun the cache.
    QString takenOverPath;
    // The side whose job waits for the other side's to end: two neighbour decodes at
    // once held two full decodes beside the shown image for steps not yet asked for.
    std::optional<NeighbourSide> waiting;
    // Counts the times the neighbours' scaling went stale; a picture scaled under an older
    // count was made for another window.
    std::uint32_t scalingEpoch = 0;
};

// A frame composed ahead of its time, with its picture made for the window as it stood.
struct ComposedFrame {
    AnimationFrame frame;  // upright
    PictureTurn turn;      // of `turned` and `display`
    cv::Mat turned;        // the frame as the record shows it, turned as it was
    cv::Mat display;
    ScaleContext context;  // what `display` was scaled for
};

// The animation of the shown image, played while one picture is shown. Its frames come
// from a job, a few at a time: at most `ahead` of them are held, never the whole file.
struct AnimationState {
    QString path;                 // the file played; empty while none is
    std::int32_t frameCount = 0;  // 0 until the first frames came
    std::int32_t plays = 1;       // asked for by the file; 0 for ever
    std::int32_t playsDone = 0;
    bool paused = false;
    bool finished = false;       // rests on its last frame after the plays the file asked for
    std::int32_t delayMs = 100;  // of the shown frame
    bool frameDue = false;       // the shown frame's time is up and the next has not come yet
    std::deque<ComposedFrame> ahead;
    std::vector<cv::Mat> spareDisplays;  // of frames shown and gone, scaled into again
    std::optional<FrameSource> source;   // between jobs; a job under way holds it
    JobSlot compose;
};

// What the pictures' colours are converted for: the monitor the window is on.
struct ColourState {
    ColourTarget target;
    Rect monitor;      // the monitor `target` was read for
    QByteArray icc;    // its profile as read, empty for none
    JobSlot recolour;  // the shown image decoded again for a new target
};

}  // namespace pavo
