#pragma once

#include "browse/browse_state.h"
#include "image/image.h"
#include "platform/jobs.h"
#include "view/view_state.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace pavo {

struct Viewer;

// Empties both neighbour records; their jobs are stopped and what they make is dropped.
void clearNeighbours(Viewer& viewer);
// Whether a side's job is still decoding, or waits to, its record not yet handed over.
bool neighbourDecoding(const Viewer& viewer, NeighbourSide side);
// A step wants the side that waits for the other's decode: its job starts now.
void hurryNeighbour(Viewer& viewer, NeighbourSide side);
// Starts the jobs of both sides for the neighbours of the shown image.
void startNeighbourWorkers(Viewer& viewer);
// Starts the job of one side (again, after a step); the record it had is emptied.
// While the other side's job decodes, it waits for that one to end.
void startWorker(Viewer& viewer, NeighbourSide side);
// Stops one side's job; its record keeps what it holds.
void stopWorker(Viewer& viewer, NeighbourSide side);
// The neighbours were scaled for another window: their pictures are dropped, and the
// next step or the prescale timer scales them again.
void forgetNeighbourScaling(Viewer& viewer);
// Whether any job of the viewer is under way, or a step waits for its image.
bool anyJobUnderWay(const Viewer& viewer);
// The next number for a job of this viewer.
std::uint64_t nextJobId(Viewer& viewer);

// A record whose picture on screen is a small part of its decode keeps only that
// picture once it is a neighbour: a 24 MP photo's 72 MB come back from its file only
// when something after a step needs them (restoreShownPixels). Pictures of at least this
// many image pixels per pixel on screen qualify; smaller images, animations and merged
// pairs keep their pixels.
constexpr std::int64_t kPicturePixelsPerPixel = 4;
bool keepsOnlyItsPicture(const ImageBuffer& record);

// Whether a record holds the image (and, while merged, the partner) of playlist entry
// `index`: only then may a step show it.
bool holdsEntry(const Viewer& viewer, const ImageBuffer& record, std::int32_t index);

// What one neighbour job reads, copied when it starts.
struct NeighbourJob {
    std::int32_t count = 0;  // playlist entries
    QString imagePath;
    QString partnerPath;    // empty while merge is off
    bool prescale = false;  // scale for the screen once decoded
    ScaleContext context;   // the window and options as they were at the start
    ColourTarget colour;
    // A JPEG or PNG of this many pixels and more is decoded reduced for the screen.
    std::int64_t reducedFromPixels = kHugePicturePixels;
};
NeighbourJob neighbourJob(const Viewer& viewer, NeighbourSide side);
// The job's work, on its own thread: a record decoded (and scaled) from the job alone.
ImageBuffer decodeNeighbour(const NeighbourJob& job, const CancelToken& token);
// A neighbour job's record, back on the user-interface thread: it goes into the slot that
// still wants job `id` (a picture scaled under an older scaling count is dropped), and a
// step waiting for it lands. Nothing (the job threw) is a failed record.
void handOverNeighbour(Viewer& viewer, std::uint64_t id, std::uint32_t epoch,
                       std::optional<ImageBuffer> record);

// Keys outrunning the cache: starts the job of the image beyond the one ahead now, for the
// step's own job to take over. True when it did.
bool decodeBeyondAhead(Viewer& viewer, bool forward);
// The decode beyond, when nobody took it over, is stopped.
void dropDecodeBeyond(Viewer& viewer);

// Scales the neighbours that need it for the present window, on jobs (timer 7000).
void prescaleNeighbours(Viewer& viewer);
// Arms the prescale timer when a ready neighbour still needs scaling for this window.
void schedulePrescale(Viewer& viewer);

// The idle release at calendar time `now` (seconds), once a minute: after `bufferTimeout`
// seconds without input the neighbours go (only when both are there: a failed one keeps
// them) and the shown image keeps only the picture on screen (releaseShownPixels).
// Nothing happens while a job is under way.
void clearIdleCache(Viewer& viewer, std::int32_t now);

}  // namespace pavo
