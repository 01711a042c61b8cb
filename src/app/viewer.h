#pragma once

#include "app/app.h"
#include "image/image.h"
#include "platform/platform.h"
#include "platform/settings_store.h"
#include "platform/worker.h"
#include "playlist/playlist.h"
#include "settings/settings.h"
#include "view/view.h"

namespace pavo {

// The neighbour workers and what they fill. Each worker decodes into a record of its
// own; the user-interface thread takes it over only after waiting for the worker, so
// a worker that outlives a wait never shares a record with anyone.
struct NeighbourWorkers {
    Worker next;
    Worker previous;
    std::shared_ptr<ImageBuffer> nextResult;  // filled by the running next worker
    std::shared_ptr<ImageBuffer> previousResult;
    Worker prescaleNext;
    Worker prescalePrevious;
};

// Navigation state of the user-interface thread.
struct NavigationState {
    std::int64_t navigationStartTime = 0;  // monotonic nanoseconds of the last step's key
    bool swapInProgress = false;           // a prescaled neighbour is being brought on screen
};

// The whole state of one running viewer. Operations are free functions of their
// subsystem taking a Viewer&; a test builds a fresh Viewer on the fake platform.
struct Viewer {
    Viewer(Platform& platform, SettingsStore store) : platform(platform), store(std::move(store)) {}

    Platform& platform;
    SettingsStore store;

    const ViewerSettings defaults{};  // the built-in values, never written
    ViewerSettings settings;          // the options in force

    Playlist playlist;

    ImageBuffer shownImage;
    ImageBuffer nextImage;  // with previousImage, the neighbour cache
    ImageBuffer previousImage;

    Relaxed<std::int32_t> mergeMode{0};  // 0 off, 1 with the next image, -1 with the previous
    Relaxed<bool> reverseMergeActive{false};

    NeighbourWorkers workers;
    NavigationState navigation;

    ViewState view;
    WindowModeState mode;
    InputState input;
    float refreshRate = 60.0F;  // hertz of the window's monitor
};

// The state every run starts from once the options are loaded.
void initialiseRunState(Viewer& viewer);

}  // namespace pavo
