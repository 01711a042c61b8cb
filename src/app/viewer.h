#pragma once

#include "image/image.h"
#include "platform/platform.h"
#include "platform/settings_store.h"
#include "playlist/playlist.h"
#include "settings/settings.h"

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
};

}  // namespace pavo
