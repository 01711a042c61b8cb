#pragma once

#include <QString>

#include <optional>

namespace pavo {

// The sound that precedes a message: a failure, or a piece of information.
enum class BeepKind { Failure = 0x30, Information = 0x40 };

// Whether a message box belongs to the main window or stands alone (before the
// window exists, or when the store cannot be read at start).
enum class BoxOwner { None, MainWindow };

// The normal (restored) rectangle of the main window and how it is shown:
// 1 normal, 2 minimised, 3 maximised.
struct WindowPlacement {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int showCommand = 1;
};

// Everything the logic asks of the desktop. The real implementation lives in
// platform/qt, the test fake in tests/support; logic never includes a widget header.
class Platform {
public:
    Platform() = default;
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;
    virtual ~Platform() = default;

    // A modal box with one OK button, no icon, the given text and caption.
    virtual void showMessageBox(BoxOwner owner, const QString& text, const QString& caption) = 0;
    virtual void beep(BeepKind kind) = 0;
    // The main window's placement, or nothing when there is no window to ask.
    [[nodiscard]] virtual std::optional<WindowPlacement> windowPlacement() const = 0;

protected:
    Platform(Platform&&) = default;
    Platform& operator=(Platform&&) = default;
};

}  // namespace pavo
