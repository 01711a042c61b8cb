#pragma once

#include "image/image.h"

#include <opencv2/core/mat.hpp>

namespace pavo {

struct Viewer;

// What the user does to the picture on screen. Rotation and mirroring change the shown
// record's pixels, not in place (they travel with it into the neighbour cache, and a fresh
// decode is never transformed); merging changes which files are decoded together.

// A quarter turn clockwise, the partner too while merged; the window is refitted.
void rotateQuarter(Viewer& viewer);
// Mirrors left to right, the picture on screen included; nothing is rescaled.
void mirrorImage(Viewer& viewer);
// Merges with the next (+1) or the previous (-1) image, switches to the other side, or
// switches merging off when it is already on that side.
void toggleMerge(Viewer& viewer, int direction);
// Swaps the sides of a merged pair (right to left reading); nothing while not merged.
void toggleReverseMerge(Viewer& viewer);

}  // namespace pavo
