#pragma once

#include "browse/browse_state.h"

#include <cstdint>

namespace pavo {

struct Viewer;

// Whether a step or a jump waits for its image. Meanwhile the image left stays on screen,
// and every input that acts on the shown image waits for it (runDeferredInputs).
bool stepUnderWay(const Viewer& viewer);
// Whether step keys now move the target of the step or jump under way instead of waiting.
// While the image ahead of a step decodes, one more press is the next step, taken once
// that image is shown (the cache keeps up); a second is a held key, and the step becomes
// a jump, so that only where the presses end is decoded.
bool stepKeysMoveTarget(const Viewer& viewer);
// The keys rested on a jump's target that they moved: its decode starts.
void decodeRestingTarget(Viewer& viewer);
// Shows the image the step under way waits for, once its decode is there (a neighbour's
// record or the jump's own decode), and then runs the inputs that waited for it.
void landPendingStep(Viewer& viewer);
// Runs the inputs that waited, in order, until none is left or one of them starts a step
// that waits in turn. Nothing runs while an input is being handled (inside its dialog).
void runDeferredInputs(Viewer& viewer);

// While the decode of the image ahead still runs, draws a quick reduced decode of it
// (a large JPEG, where the window keeps its size); the step then shows the image as
// really scaled. The shown record keeps its own picture for when it is left behind.
// True when it drew one.
bool previewAhead(Viewer& viewer, bool forward);
// After the index moved one step, brings the neighbour ahead on screen. False when the
// file at the index could not be shown (the caller reports).
bool showNeighbour(Viewer& viewer, bool forward);
// Next and previous: scroll by (dx, dy) if the view can move, else step. Of several
// presses, those the view cannot scroll for step together: one step shows the cached
// neighbour (waiting for it when it is still decoding), more jump straight to where the
// presses lead.
void moveForward(Viewer& viewer, int dx, int dy, int presses = 1);
void moveBackward(Viewer& viewer, int dx, int dy, int presses = 1);
// Jumps `count` steps: the target decodes on a job and is shown once it is there, while
// keys go on being handled; a jump meanwhile stops that decode and decodes its own target
// instead. A jump that fails to load is not reported: the window shows its background.
void moveBy(Viewer& viewer, std::int32_t count);
void goToFirst(Viewer& viewer);
void goToLast(Viewer& viewer);

}  // namespace pavo
