#pragma once

namespace pavo::qt {

// Chooses the window system before the application object exists. Pavo places, snaps
// and remembers its window, which only X11 lets a program do: with an X display at
// hand (XWayland on a Wayland desktop) it runs there; with Wayland alone it says on
// standard error what it gives up. A platform the user named in QT_QPA_PLATFORM is kept.
void chooseWindowSystem();

}  // namespace pavo::qt
