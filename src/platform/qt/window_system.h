#pragma once

namespace pavo::qt {

// Chooses the window system before the application object exists. Pavo places, snaps
// and remembers its window, which only X11 lets a program do: with an X display at
// hand (XWayland on a Wayland desktop) it runs there; with Wayland alone it says on
// standard error what it gives up. A platform the user named in QT_QPA_PLATFORM is kept.
// True when the choice was Pavo's own.
bool chooseWindowSystem();

// Takes Pavo's own choice back once Qt has started, so that the programs Pavo starts
// (the browser for the update page) choose for themselves.
void releaseWindowSystemChoice(bool chosen);

}  // namespace pavo::qt
