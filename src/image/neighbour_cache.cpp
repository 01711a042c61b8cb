#include "app/viewer.h"
#include "image/image.h"

namespace pavo {

// The neighbour workers that decode and prescale the next and previous images come
// with navigation; until then no worker ever runs, so there is nothing to wait for.
void waitForWorkers(Viewer& /*viewer*/) {}

void clearNeighbours(Viewer& viewer) {
    for (ImageBuffer* neighbour : {&viewer.nextImage, &viewer.previousImage}) {
        neighbour->image.release();
        neighbour->partner.release();
        neighbour->display.release();
        neighbour->ready = false;
        neighbour->displayReady = false;
    }
}

// Starting the workers also drops a merge partner the shown image no longer has.
void startNeighbourWorkers(Viewer& viewer) {
    if (viewer.mergeMode == 0) viewer.shownImage.partner.release();
}

// Without workers no neighbour is ever ready, so there is nothing to prescale.
void prescaleNeighbours(Viewer& /*viewer*/) {}

}  // namespace pavo
