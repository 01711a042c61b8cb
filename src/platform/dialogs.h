#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace pavo {

// The viewer's dialogs, numbered as their templates.
enum class DialogId : int {
    About = 103,
    Shortcuts = 129,
    Options = 132,
    Scaling = 134,
    UpdateAvailable = 149,
};

// Buttons every dialog shares; Cancel also stands for Esc and the close box.
inline constexpr int kOkButton = 1;
inline constexpr int kCancelButton = 2;
// The text line of the About and Shortcuts dialogs, which their logic fills.
inline constexpr int kInformationText = 1100;

// The controls of an open dialog, addressed by their ids. User-interface thread only.
class DialogHandler;
class DialogControls {
  public:
    virtual ~DialogControls() = default;

    [[nodiscard]] virtual bool checked(int id) const = 0;
    virtual void setChecked(int id, bool on) = 0;
    // The signed number in a field, saturated to 32 bits; 0 when it is not a number.
    [[nodiscard]] virtual int intValue(int id) const = 0;
    virtual void setInt(int id, int value) = 0;
    // The text of a field, a label or a combo box's edit field.
    [[nodiscard]] virtual QString text(int id) const = 0;
    virtual void setText(int id, const QString& text) = 0;
    // Fills a combo box's list and selects one of its items (its text replaces the edit
    // field's until setText).
    virtual void setItems(int id, const QStringList& items, int selected) = 0;
    // Runs another dialog modally, owned by this one; the id of the button that ended it.
    virtual int runChild(DialogId id, DialogHandler& handler) = 0;
};

// The logic of one dialog while it is open.
class DialogHandler {
  public:
    virtual ~DialogHandler() = default;

    // Fills the controls as the dialog opens.
    virtual void opened(DialogControls& controls) = 0;
    // A button was pressed (Cancel for Esc and the close box): the result that ends the
    // dialog, or nothing to keep it open.
    virtual std::optional<int> pressed(DialogControls& controls, int button) = 0;
};

// Modal dialogs over the main window. User-interface thread only.
class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // Runs a dialog centred over the main window; the result its handler ended it with.
    virtual int runDialog(DialogId id, DialogHandler& handler) = 0;
};

}  // namespace pavo
