// The two information dialogs of the Help menu.
#include "app/info_dialogs.h"

#include "platform/dialogs.h"
#include "viewer.h"

namespace pavo {
namespace {

// Shows one text and ends on OK or Cancel.
class InformationDialog final : public DialogHandler {
  public:
    explicit InformationDialog(QString text) : text_(std::move(text)) {}
    void opened(DialogControls& controls) override { controls.setText(kInformationText, text_); }
    std::optional<int> pressed(DialogControls& /*controls*/, int button) override {
        if (button == kOkButton || button == kCancelButton) return button;
        return std::nullopt;
    }

  private:
    QString text_;
};

}  // namespace

QString aboutText() {
    return QStringLiteral("Pavo ") + kViewerVersion;
}

const QStringList& shortcutLines() {
    static const QStringList lines{
        QStringLiteral("Fullscreen = double click / F11 / Enter / middle mouse button"),
        QStringLiteral("Open options = ctrl + O"),
        QStringLiteral("Fit to screen toggle = F"),
        QStringLiteral("Move forward = arrow keys / scroll wheel / spacebar"),
        QStringLiteral("Move backward = arrow keys / scroll wheel"),
        QStringLiteral("Move forward / backward by 5 = shift + move forward / backward"),
        QStringLiteral("First image in playlist = Home"),
        QStringLiteral("Last image in playlist = End"),
        QStringLiteral("Go to file = G"),
        QStringLiteral("Scroll / pan image = arrow keys / scroll wheel / right-click"),
        QStringLiteral("Slow scroll = ctrl + scroll"),
        QStringLiteral("Fast scroll = shift + scroll"),
        QStringLiteral("Scroll to top = Page up"),
        QStringLiteral("Scroll to bottom = Page down"),
        QStringLiteral("Rotate image = T"),
        QStringLiteral("Flip image = Y"),
        QStringLiteral("Increase image size = +"),
        QStringLiteral("Decrease image size = -"),
        QStringLiteral("Re-render image = R"),
        QStringLiteral("Merge with next image = ."),
        QStringLiteral("Merge with previous image = ,"),
        QStringLiteral("Flip merge position = L"),
        QStringLiteral("Show only image = 1"),
        QStringLiteral("Show less = 2"),
        QStringLiteral("Show normal = 3"),
        QStringLiteral("Hide / Show cursor = Q"),
        QStringLiteral("Image information = I"),
        QStringLiteral("Full reload = F5"),
        QStringLiteral("Pause / play animation = P"),
        QStringLiteral("Next / previous frame of animation = N / B"),
        QStringLiteral("Free form resize = ctrl + resize window"),
        QStringLiteral("Delete file = Del"),
        QStringLiteral("Exit fullscreen / program = ESC"),
    };
    return lines;
}

void showAbout(Viewer& viewer) {
    InformationDialog dialog(aboutText());
    viewer.platform.runDialog(DialogId::About, dialog);
}

void showShortcuts(Viewer& viewer) {
    InformationDialog dialog(shortcutLines().join(u'\n'));
    viewer.platform.runDialog(DialogId::Shortcuts, dialog);
}

}  // namespace pavo
