#pragma once

#include "app/app.h"
#include "image/image.h"
#include "platform/platform.h"
#include "platform/settings_store.h"
#include "playlist/playlist.h"
#include "settings/settings.h"
#include "view/view.h"

namespace pavo {

// The whole state of one running viewer. Operations are free functions of their
// subsystem taking a Viewer&; a test builds a fresh Viewer on the fake platform.
struct Viewer {
    Viewer(Platform& platform, SettingsStore store)
        : platform(platform), store(std::move(store)) {}

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

    ViewState view;
    WindowModeState mode;
    InputState input;
    float refreshRate = 60.0F;  // hertz of the window's monitor
};

// The state every run starts from once the options are loaded.
void initialiseRunState(Viewer& viewer);

}  // namespace pavo
