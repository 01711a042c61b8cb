#pragma once

#include "platform/dialogs.h"

#include <QDialog>
#include <QIcon>

#include <map>
#include <span>

namespace pavo::qt {

// What a control of a dialog template is.
enum class ControlKind {
    CheckBox,          // box, then text
    CheckBoxRight,     // box and text flush with the right edge of their place
    CheckBoxTextLeft,  // text, then box at the right edge
    NumberEdit,        // digits only, centred
    Label,
    LabelRight,    // text flush right
    WrappedLabel,  // text broken into lines to fit its width
    Button,
    DefaultButton,
    Combo,            // editable drop-down; placed in pixels, see below
    Icon,             // the program's icon
    InformationText,  // a text the logic fills; the dialog grows to show it all
};

// One control: its id (0 for a static), kind, text, place in dialog units (for combo
// boxes in pixels of a dialog font whose base units are 6 x 13), and tooltip.
struct ControlEntry {
    int id = 0;
    ControlKind kind = ControlKind::Label;
    const char16_t* text = nullptr;
    int x = 0, y = 0, width = 0, height = 0;
    const char16_t* toolTip = nullptr;
};

// A dialog: caption, client size in dialog units, controls in tab order.
struct DialogTemplate {
    const char16_t* caption;
    int width, height;
    std::span<const ControlEntry> controls;
};

const DialogTemplate& optionsTemplate();
const DialogTemplate& scalingTemplate();
const DialogTemplate& aboutTemplate();
const DialogTemplate& shortcutsTemplate();
const DialogTemplate& updateTemplate();
const DialogTemplate& dialogTemplate(DialogId id);

// The program's icon, drawn rather than shipped as a file.
QIcon programIcon();

// A modal dialog built from its template and driven by the logic's handler. Controls
// carry their id as object name, so tests find them as the logic does.
class DialogForm final : public QDialog, public DialogControls {
    Q_OBJECT
  public:
    DialogForm(DialogId id, DialogHandler& handler, QWidget* owner);

    // Fills the controls and centres the form over its owner, without showing it.
    void prepare();
    // prepare(), then runs modally; the result the handler ended it with.
    int run();
    // What a press of the button with this id does (also Esc and the close box: Cancel).
    void press(int button);

    [[nodiscard]] bool checked(int id) const override;
    void setChecked(int id, bool on) override;
    [[nodiscard]] int intValue(int id) const override;
    void setInt(int id, int value) override;
    [[nodiscard]] QString text(int id) const override;
    void setText(int id, const QString& text) override;
    void setItems(int id, const QStringList& items, int selected) override;
    int runChild(DialogId id, DialogHandler& handler) override;

  protected:
    void reject() override;

  private:
    void build(const DialogTemplate& form);
    void fitInformationText();
    void centreOverOwner();
    [[nodiscard]] QWidget* control(int id) const;

    DialogHandler& handler_;
    std::map<int, QWidget*> controls_;
    QSize baseUnits_;  // the dialog font's average character width and height
};

}  // namespace pavo::qt
