#pragma once

#include <QString>
#include <QStringList>

namespace pavo {

struct Viewer;

// The line of the About dialog: the product and its version.
QString aboutText();
// The lines of the Shortcuts dialog, from the top.
const QStringList& shortcutLines();

// The About and Shortcuts dialogs over the main window; OK, Esc and the close box end them.
void showAbout(Viewer& viewer);
void showShortcuts(Viewer& viewer);

}  // namespace pavo
