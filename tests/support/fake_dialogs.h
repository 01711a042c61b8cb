#pragma once

#include "platform/dialogs.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>

namespace pavo::test {

// Dialog controls a test can read and fill as a user would, by id. Like the real
// forms, a combo box's selection writes its item into the edit field, and a field that
// does not hold a number reads as 0.
class FakeDialogControls final : public DialogControls {
  public:
    [[nodiscard]] bool checked(int id) const override {
        return checks.contains(id) && checks.at(id);
    }
    void setChecked(int id, bool on) override { checks[id] = on; }
    [[nodiscard]] int intValue(int id) const override { return text(id).trimmed().toInt(); }
    void setInt(int id, int value) override { texts[id] = QString::number(value); }
    [[nodiscard]] QString text(int id) const override {
        return texts.contains(id) ? texts.at(id) : QString();
    }
    void setText(int id, const QString& text) override { texts[id] = text; }
    void setItems(int id, const QStringList& list, int selected) override {
        texts[id] = list.value(selected);
    }
    int runChild(DialogId id, DialogHandler& handler) override {
        if (onChild) return onChild(id, handler);
        FakeDialogControls child;
        handler.opened(child);
        return handler.pressed(child, kCancelButton).value_or(kCancelButton);
    }

    std::map<int, bool> checks;
    std::map<int, QString> texts;
    // What the user does in a dialog this one opens; cancels it when not set.
    std::function<int(DialogId, DialogHandler&)> onChild;
};

// Opens `handler` on fresh controls, lets `act` change them, then presses `button`;
// the result the dialog ended with, or nothing when it stayed open.
inline std::optional<int> runFakeDialog(
    DialogHandler& handler, int button,
    const std::function<void(FakeDialogControls&)>& act = [](FakeDialogControls&) {}) {
    FakeDialogControls controls;
    handler.opened(controls);
    act(controls);
    return handler.pressed(controls, button);
}

}  // namespace pavo::test
