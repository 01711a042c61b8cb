#pragma once

#include <QString>

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
};

}  // namespace pavo
