// Sending a file to the trash with GIO, by the bytes of its name.
#include "platform/trash.h"

#include "platform/files.h"

#include <gio/gio.h>

#include <memory>

namespace pavo {
namespace {

struct ObjectUnref {
    void operator()(GFile* file) const { g_object_unref(file); }
};

}  // namespace

TrashResult moveFileToTrash(const QString& path) {
    const QByteArray bytes = encodeFileName(path);
    // A NUL would end the name early, at another file.
    if (bytes.isEmpty() || bytes.contains('\0')) return TrashResult::Refused;
    const std::unique_ptr<GFile, ObjectUnref> file(g_file_new_for_path(bytes.constData()));
    GError* error = nullptr;
    // GIO never deletes instead: a file no trash takes stays where it is, and the
    // caller's box says so (the reason is not shown).
    const bool moved = g_file_trash(file.get(), nullptr, &error) != FALSE;
    g_clear_error(&error);
    return moved ? TrashResult::Moved : TrashResult::Refused;
}

}  // namespace pavo
