#pragma once

// The top floor: the window procedure, the key, command and menu tables, start-up and
// the window modes. Only this floor and the entry point know every subsystem.

#include "browse/load.h"
#include "platform/window.h"

#include <QStringList>

#include <array>
#include <cstdint>

namespace pavo {

struct Viewer;

// Menu commands and the Ctrl+O accelerator, by their identifiers.
enum class Command : int {
    Open = 32775,
    GoTo = 32774,
    Options = 32773,
    Exit = 105,
    FitToggle = 32789,
    Rotate = 32781,
    Flip = 32782,
    MergeForward = 32783,
    MergeBackward = 32786,
    ReverseMerge = 32785,
    Reload = 32787,
    FullReload = 32788,
    CheckForUpdate = 32792,
    Shortcuts = 32771,
    About = 104,
};

// The three popups in order, "&File", "&Image", "&Help", and their items.
const std::array<MenuEntry, 17>& menuEntries();
// The menu, the accelerator and the minimum size the main window is built with.
WindowSetup windowSetup();

// ---- Start-up ----------------------------------------------------------------------

// Settings first, then the window's first place: where the user left it, or the
// default corner. Returns the rectangle and whether to show it maximised.
struct InitialWindow {
    Rect outer;
    bool maximized = false;
};
InitialWindow initialWindow(const Viewer& viewer);

// The state every run starts from once the options are loaded.
void initialiseRunState(Viewer& viewer);

// The options from the store, and the run state they start.
void loadRunState(Viewer& viewer);
// Whether the file a start opens is worth a quick preview first: only a window that keeps
// its size for any image shows one.
StartPreview startPreviewFor(const Viewer& viewer);
// The window at its first place, once the run state is loaded, and the refresh rate of
// its monitor.
void launchWindow(Viewer& viewer, WindowEvents& events);

// Turns the command-line arguments (without the program name), relative to the folder
// the program was started in, into the playlist and the first shown image, reporting
// failures.
void openCommandLine(Viewer& viewer, const QStringList& arguments, const QString& workingFolder);

// ---- The options in the store ---------------------------------------------------

// Fills the options in force from the store; the defaults stay where it cannot be read.
void loadSettings(Viewer& viewer);
// Stores every option but the update state.
void saveSettings(Viewer& viewer);
// Records the main window's placement into the five placement options.
void recordWindowPlacement(Viewer& viewer);
// Records the main window's placement into the options and stores those five values.
void saveWindowPlacement(Viewer& viewer);

// ---- The window procedure -------------------------------------------------------

// Keys that scroll or step (arrows, Space).
bool isStepKey(Key key);
void onKeyDown(Viewer& viewer, Key key, int presses = 1);
void onKeyUp(Viewer& viewer, Key key);
void onCommand(Viewer& viewer, int command);
void onTimer(Viewer& viewer, int id);
void onSize(Viewer& viewer);
void onMove(Viewer& viewer);
void onPaint(Viewer& viewer, Painter& painter);
void onFocusChange(Viewer& viewer, bool gained);
void onMouseMove(Viewer& viewer, int x, int y);
void onMouseButton(Viewer& viewer, MouseButton button, MouseAction action);
void onWheel(Viewer& viewer, int delta, bool ctrl, bool shift);
void onDisplayChange(Viewer& viewer);
void onDisplayProfileChange(Viewer& viewer);
void onDestroy(Viewer& viewer);
void onSizing(Viewer& viewer, SizingEdge edge, Rect& proposed);
void onDrop(Viewer& viewer, const QStringList& items);

void markActivity(Viewer& viewer);
// Reads the refresh rate of the window's monitor; 60 Hz when it is not known.
void measureRefreshRate(Viewer& viewer);

}  // namespace pavo
