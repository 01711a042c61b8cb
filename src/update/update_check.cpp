// The update check on its own thread. What it shows is shown by the user-interface
// thread at its request while it waits; quitting meanwhile simply ends the process.
#include "update/update.h"
#include "viewer.h"

#include <ctime>
#include <future>

namespace pavo {
namespace {

constexpr std::int64_t kOneDay = 86400;
constexpr std::int64_t kOneWeek = 604800;

std::int64_t currentTime(const Viewer& viewer) {
    return viewer.update.now ? viewer.update.now() : static_cast<std::int64_t>(std::time(nullptr));
}

// The next check as stored: the low 32 bits of the time.
void postponeChecks(Viewer& viewer, std::int64_t seconds) {
    const auto next = static_cast<std::uint32_t>(currentTime(viewer) + seconds);
    viewer.settings.nextUpdateCheck = static_cast<std::int32_t>(next);
}

// Whether the stored next check lies ahead. The stored word is read as unsigned, so
// the once-a-day limit still holds after 2038.
bool checkDueNow(const Viewer& viewer) {
    const auto next = static_cast<std::uint32_t>(viewer.settings.nextUpdateCheck.load());
    return currentTime(viewer) > static_cast<std::int64_t>(next);
}

QString fetchVersion(Viewer& viewer) {
    const UpdateState& update = viewer.update;
    const QString page = update.fetch ? update.fetch(update.endpoints.updateUrl) : QString();
    QString text = extractVersion(page);
    if (!text.isEmpty()) viewer.update.latestVersionText.set(text);
    return text;
}

// Runs `task` on the user-interface thread and waits for it to end.
void onUiThreadAndWait(Viewer& viewer, const std::function<void()>& task) {
    std::promise<void> done;
    viewer.platform.runOnUiThread([&] {
        task();
        done.set_value();
    });
    done.get_future().wait();
}

class UpdateDialog final : public DialogHandler {
  public:
    void opened(DialogControls& /*controls*/) override {}
    // Every button, Esc and the close box end the dialog with their own id.
    std::optional<int> pressed(DialogControls& /*controls*/, int button) override { return button; }
};

void beep(Viewer& viewer, BeepKind kind) {
    if (!viewer.settings.mute) viewer.platform.beep(kind);
}

// Shows the outcome; the answer to the update dialog, or 0 when none was asked.
int showOutcome(Viewer& viewer, UpdateOutcome outcome) {
    if (outcome == UpdateOutcome::Nothing) return 0;
    int answer = 0;
    onUiThreadAndWait(viewer, [&] {
        switch (outcome) {
            case UpdateOutcome::OfferUpdate: {
                beep(viewer, BeepKind::Information);
                UpdateDialog dialog;
                answer = viewer.platform.runDialog(DialogId::UpdateAvailable, dialog);
                if (answer == kOpenWebsite) {
                    viewer.platform.openUrl(viewer.update.endpoints.websiteUrl);
                }
                break;
            }
            case UpdateOutcome::Failed:
                beep(viewer, BeepKind::Failure);
                viewer.platform.showMessageBox(
                    BoxOwner::MainWindow,
                    QStringLiteral("Failed to search for update.\nYou can check manually at ") +
                        shortAddress(viewer.update.endpoints.websiteUrl),
                    QStringLiteral("Update failed"));
                break;
            case UpdateOutcome::UpToDate:
                beep(viewer, BeepKind::Information);
                viewer.platform.showMessageBox(BoxOwner::MainWindow,
                                               QStringLiteral("Pavo is up-to-date."),
                                               QStringLiteral("Up-to-date"));
                break;
            case UpdateOutcome::Nothing:
                break;
        }
    });
    return answer;
}

}  // namespace

void answerUpdateDialog(Viewer& viewer, int button) {
    postponeChecks(viewer, kOneWeek);
    if (button == kSkipVersion) {
        viewer.settings.ignoreVersion.set(viewer.update.latestVersionText.get());
    }
    writeUpdateState(viewer.store, viewer.settings.nextUpdateCheck,
                     viewer.settings.ignoreVersion.get());
}

void runUpdateCheck(Viewer& viewer, bool automatic) {
    viewer.update.updateCheckRunning = true;
    UpdateOutcome outcome = UpdateOutcome::Nothing;
    if (!automatic) {
        outcome = decideRequested(fetchVersion(viewer));
    } else if (checkDueNow(viewer) && viewer.settings.checkForUpdate) {
        // Postponed before asking, so a failed or fruitless check waits a day.
        postponeChecks(viewer, kOneDay);
        writeUpdateState(viewer.store, viewer.settings.nextUpdateCheck,
                         viewer.settings.ignoreVersion.get());
        outcome = decideAutomatic(fetchVersion(viewer), viewer.settings.ignoreVersion.get());
    }
    if (const int answer = showOutcome(viewer, outcome); answer != 0) {
        answerUpdateDialog(viewer, answer);
    }
    viewer.update.updateCheckRunning = false;
}

void startUpdateCheck(Viewer& viewer, bool automatic) {
    UpdateState& update = viewer.update;
    if (update.updateCheckRunning) return;
    update.thread.waitFor(kWorkerWaitLimit);
    // Set before the thread starts, so that a second command right after this one
    // finds the check running.
    update.updateCheckRunning = true;
    update.thread.start([&viewer, automatic] { runUpdateCheck(viewer, automatic); });
}

}  // namespace pavo
