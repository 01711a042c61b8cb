#pragma once

#include "platform/platform.h"

#include <QString>

#include <optional>
#include <vector>

namespace pavo::test {

struct RecordedBox {
    BoxOwner owner;
    QString text;
    QString caption;
};

// A platform that records what the logic asks of it instead of showing anything.
class FakePlatform : public Platform {
public:
    void showMessageBox(BoxOwner owner, const QString& text, const QString& caption) override {
        boxes.push_back({owner, text, caption});
    }
    void beep(BeepKind kind) override { beeps.push_back(kind); }
    [[nodiscard]] std::optional<WindowPlacement> windowPlacement() const override { return placement; }

    std::vector<RecordedBox> boxes;
    std::vector<BeepKind> beeps;
    std::optional<WindowPlacement> placement;  // nothing: the window cannot be asked
};

}  // namespace pavo::test
