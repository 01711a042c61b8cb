#pragma once

#include <QString>

namespace pavo {

// What became of a file sent to the trash.
enum class TrashResult {
    Moved,    // in the trash of its file system, restorable by any file manager
    Refused,  // no trash could take it (read-only folder, no usable trash); nothing deleted
};

// Moves the file to the freedesktop trash of its own file system, with its .trashinfo,
// through GIO (the desktop's own implementation) on the exact bytes of the name: Qt's
// QFile::moveToTrash re-encodes a name that is not UTF-8 and so trashes another file, or
// none. Never deletes outright. Any thread; GLib reads HOME and XDG_DATA_HOME once.
TrashResult moveFileToTrash(const QString& path);

}  // namespace pavo
