#pragma once

#include "platform/geometry.h"
#include "platform/trash.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace pavo {

// The sound that precedes a message: a failure, or a piece of information.
enum class BeepKind { Failure = 0x30, Information = 0x40 };

// Whether a message box belongs to the main window or stands alone (before the
// window exists, or when the store cannot be read at start).
enum class BoxOwner { None, MainWindow };

// The desktop's services around the window. User-interface thread only.
class Desktop {
  public:
    virtual ~Desktop() = default;

    // A modal box with one OK button, no icon, the given text and caption.
    virtual void showMessageBox(BoxOwner owner, const QString& text, const QString& caption) = 0;
    virtual void beep(BeepKind kind) = 0;
    // The folder of the running program, ending in "/".
    [[nodiscard]] virtual QString executableDirectory() const = 0;

    // A modal question owned by the main window with Yes and No; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& caption) = 0;
    // The desktop's own dialog for choosing one or more existing files; nothing when
    // the user cancels. Full paths, in the dialog's order.
    virtual QStringList chooseFiles(const QString& title) = 0;
    // The Go-to dialog over the main window: position and count shown, the position
    // editable (digits only); the text the user left in it, or nothing on Cancel.
    virtual std::optional<QString> askPosition(std::int32_t position, std::int32_t count) = 0;
    // Moves the file to the freedesktop trash of its file system; never deletes it
    // outright.
    virtual TrashResult moveToTrash(const QString& path) = 0;
    // Opens a web page in the user's browser.
    virtual void openUrl(const QString& url) = 0;
    // The ICC profile set for the monitor holding the centre of `area` (device pixels), as
    // the X11 _ICC_PROFILE atoms give it; empty when none is set, and then the monitor is
    // taken to be sRGB.
    [[nodiscard]] virtual QByteArray displayProfile(const Rect& area) const = 0;
};

}  // namespace pavo
