#pragma once

#include "browse/navigation.h"
#include "image/image.h"
#include "platform/worker.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace pavo {

struct Viewer;

// Waits for the next and then the previous worker (30 s each) and adopts what they
// made, if their hand-over has not done so yet. A worker still running after its wait is left
// alone: its record is dropped and its side stays empty until it has ended.
void waitForWorkers(Viewer& viewer);
// Empties both neighbour records (after waitForWorkers).
void clearNeighbours(Viewer& viewer);
// Empties both neighbour records without waiting: running workers are left to end on
// their own (they stop after their decode), and what they make is never adopted. New
// workers can start at once.
void abandonNeighbourWorkers(Viewer& viewer);
// Whether a side's worker is still decoding, its record not yet handed over.
bool neighbourDecoding(const Viewer& viewer, NeighbourSide side);
// Waits for the abandoned workers and a jump's decode to end (30 s each): they read
// the viewer, which must outlive them.
void waitForAbandonedWorkers(Viewer& viewer);
// Starts both workers for the neighbours of the shown image.
void startNeighbourWorkers(Viewer& viewer);
// Starts the worker of one side (again, after a step).
void startWorker(Viewer& viewer, NeighbourSide side);
// The neighbours were scaled for another window: their pictures are dropped, and the
// next step or the prescale timer scales them again.
void forgetNeighbourScaling(Viewer& viewer);
// Whether either worker or prescale thread is running, or a jump waits for its decode.
bool anyWorkerRunning(const Viewer& viewer);

// What one neighbour worker does, on its own thread, into its own record.
struct NeighbourJob {
    std::int32_t count = 0;  // playlist entries
    QString imagePath;
    QString partnerPath;      // empty while merge is off
    bool fullscreen = false;  // as they were when the worker started
    std::int32_t chromeLevel = 3;
    std::shared_ptr<const std::atomic<bool>> abandoned;  // nothing more is wanted once set
    std::optional<EarlyDecode> decodedBeyond;  // the image's decode, begun by an earlier step
};
NeighbourJob neighbourJob(const Viewer& viewer, NeighbourSide side);
void decodeNeighbour(const Viewer& viewer, const NeighbourJob& job, ImageBuffer& record);
// A worker's finished record, handed to the user-interface thread: it goes into its
// slot unless it was dropped or replaced meanwhile; a picture scaled for an earlier
// window is dropped, and the prescale timer is armed when the record needs scaling.
void handOverNeighbour(Viewer& viewer, NeighbourSide side,
                       const std::shared_ptr<ImageBuffer>& record);

// Scales both neighbours for the present window (timer 7000).
void prescaleNeighbours(Viewer& viewer);
// Arms the prescale timer when a ready neighbour still needs scaling for this window.
void schedulePrescale(Viewer& viewer);

// One round of the idle watcher at calendar time `now` (seconds): asks the
// user-interface thread to empty the neighbour cache and let the shown image's decoded
// pixels go when the viewer has been idle for longer than `bufferTimeout`. The watcher
// thread calls it every minute.
void idleWatcherRound(Viewer& viewer, std::int32_t now);
// The clearing itself, on the user-interface thread; it checks the time again and does
// nothing while a worker runs. The neighbours go only when both are there (a failed one
// keeps them); the shown image keeps the picture on screen (releaseShownPixels).
void clearIdleCache(Viewer& viewer, std::int32_t now);

}  // namespace pavo
