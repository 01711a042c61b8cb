#pragma once

namespace pavo {

struct Viewer;

// Chrome levels 1 to 3 and fullscreen.
void setChromeLevel(Viewer& viewer, int level);
void toggleFullscreen(Viewer& viewer);

// The cursor's display counter and its hiding after rest in fullscreen.
void hideCursor(Viewer& viewer);
void showCursor(Viewer& viewer);
void toggleCursor(Viewer& viewer);
void showCursorAgain(Viewer& viewer);
void cursorHideCheck(Viewer& viewer);
// One round of the cursor watcher: arms the hide check when the mouse rests in
// fullscreen. The watcher thread calls it every 500 ms.
void cursorWatcherRound(Viewer& viewer);

}  // namespace pavo
