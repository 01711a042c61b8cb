#pragma once

// The ground floor: the record every subsystem works on. Each record it holds is
// declared in its own subsystem's header; the two records of the application shell
// (input, window modes) are declared here because the subsystems below the shell read
// them.

#include "browse/browse_state.h"
#include "image/image.h"
#include "platform/platform.h"
#include "platform/settings_store.h"
#include "playlist/playlist.h"
#include "settings/settings.h"
#include "update/update_state.h"
#include "view/view_state.h"

#include <cstdint>
#include <deque>
#include <functional>

namespace pavo {

struct Viewer;

// Timers of the main window.
enum TimerId : int {
    PrescaleTimer = 7000,
    CursorHideTimer = 7001,
    OverlayTimer = 7002,
    AnchorScrollTimer = 7003,
    IdleReleaseTimer = 7004,  // every minute: the idle release of the neighbour cache
    CursorWatchTimer = 7005,  // every half second: arms the cursor hide check in fullscreen
    JumpRestTimer = 7006,     // a held key's jump target at rest: its decode starts
    AnimationTimer = 7007,    // the shown frame's time is up
};

// An input that waits until it can act on the image the index names (a step under way)
// or until the input being handled is done (its dialog's event loop delivered it).
struct DeferredInput {
    std::function<void(Viewer&, int presses)> run;
    Key key = Key::Other;  // presses of one key that wait one after another go together
    int presses = 1;
};

// Input state of the window procedure.
struct InputState {
    std::int32_t lastActivityTime = 0;  // seconds since 1970, low 32 bits
    bool ctrlHeld = false;
    bool shiftHeld = false;
    int lastMouseX = 0;  // client coordinates of the last real move
    int lastMouseY = 0;
    std::int64_t lastMouseMoveTime = 0;  // monotonic nanoseconds
    bool mouseCaptured = false;
    bool windowDragActive = false;
    bool panDragActive = false;
    bool anchorScrollActive = false;
    Point dragOrigin;   // window drag: cursor minus the window's corner; pan: last cursor
    Point anchorPoint;  // where anchor scrolling started (screen)
    bool middleDownSeen = false;
    bool xButtonDownSeen = false;
    bool wasMaximized = false;
    int handlerDepth = 0;  // inputs being handled (a dialog's event loop nests them)
    std::deque<DeferredInput> deferred;
};

// Chrome level and fullscreen.
struct WindowModeState {
    std::int32_t chromeLevel = 3;
    bool fullscreenActive = false;
    WindowPlacement savedPlacement;  // taken when fullscreen is entered
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

    MergeState merge;
    NeighbourJobs neighbours;
    NavigationState navigation;
    AnimationState animation;
    ColourState colour;

    ViewState view;
    WindowModeState mode;
    InputState input;
    float refreshRate = 60.0F;  // hertz of the window's monitor

    UpdateState update;
};

}  // namespace pavo
