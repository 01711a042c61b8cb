#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace pavo {

struct Viewer;

// What a failed open reports.
enum class LoadFailure { FailedToLoad, NoSupportedFiles };

// Tells the user that a path could not be loaded ("Failed to load <path>."), or that
// no supported file was found, after a warning beep; the window then shows only its
// background. The playlist is not changed.
void showLoadFailure(Viewer& viewer, const QString& path, LoadFailure failure);
// The beep and the box alone, the picture left as it is.
void tellLoadFailure(Viewer& viewer, const QString& path, LoadFailure failure);

// Runs a handler's work so that nothing it throws ends the program: a picture that could
// not be made is a failed load, reported once the event loop runs again.
void runGuarded(Viewer& viewer, const std::function<void()>& work);

// Gives a decoded file of unsupported extension its place in the playlist, at the
// current index.
void insertOpenedPath(Viewer& viewer, const QString& path);

// Where the paths to open come from. A single file that fails to open from the command
// line ends the program; from the dialog or a drop it only reports.
enum class OpenOrigin { CommandLine, Dialog, Drop };

// Turns absolute paths of images and folders into the playlist and shows its first
// image, reporting failures: one folder opens its supported files, one file opens its
// folder with the file shown, several paths make the playlist in their order.
// `spelledTogether` is what the paths say joined by spaces, made absolute as one path:
// command-line arguments that only spell the program's own folder, split at its
// spaces, open nothing and report nothing.
void openPaths(Viewer& viewer, const QStringList& paths, OpenOrigin origin,
               const QString& spelledTogether = {});

// Shows the file a start opened, once the decode begun for it is there; a failure is
// reported and ends the program.
void finishOpening(Viewer& viewer, const QString& path);

// The desktop's file dialog ("Choose one or more files to open"): one file opens its
// folder with it shown, several become the playlist in the dialog's order. Cancelling
// changes nothing.
void showOpenDialog(Viewer& viewer);

// Lists the shown image's folder again and shows the same file, or the one that took
// its place, or the first when it was the last.
void rescanDirectory(Viewer& viewer);

// The Go-to dialog: jumps to the position typed (clamped into the playlist).
void showGoToDialog(Viewer& viewer);

// Moves the shown file to the trash after the user confirms, then lists the folder
// again; nothing but that file is touched.
void deleteShownFile(Viewer& viewer);

}  // namespace pavo
