#pragma once

// Playing the shown image when its file holds frames (GIF, animated WebP, JPEG XL): the
// frames are composed on a job a few at a time, turned and scaled for the window, and
// shown at the file's delays on the user-interface thread.

#include <cstdint>

namespace pavo {

struct Viewer;

// Plays the shown image when it is an animation and one picture is shown (a merged pair
// shows first frames); nothing when it already plays.
void playShownAnimation(Viewer& viewer);
// The shown image is going (a step, a load, a failure): its frames and job go with it, and
// the frame on screen stays in its record.
void stopAnimation(Viewer& viewer);
// The shown frame's time is up.
void animationTimeUp(Viewer& viewer);
// Pauses or resumes; a finished animation starts again.
void togglePlayback(Viewer& viewer);
// Pauses and shows the next or the previous frame.
void stepFrame(Viewer& viewer, bool forward);
// Whether the shown image is played (paused or not).
bool animationPlays(const Viewer& viewer);

}  // namespace pavo
