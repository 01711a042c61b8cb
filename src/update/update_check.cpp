// The update check: the page is fetched by a job; what it says is decided and shown on the
// user-interface thread once it is there. Quitting meanwhile simply ends the process.
#include "update/update.h"
#include "viewer.h"

#include <ctime>

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
    const auto next = static_cast<std::uint32_t>(viewer.settings.nextUpdateCheck);
    return currentTime(viewer) > static_cast<std::int64_t>(next);
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
    switch (outcome) {
        case UpdateOutcome::OfferUpdate: {
            beep(viewer, BeepKind::Information);
            UpdateDialog dialog;
            const int answer = viewer.platform.runDialog(DialogId::UpdateAvailable, dialog);
            if (answer == kOpenWebsite) viewer.platform.openUrl(viewer.update.endpoints.websiteUrl);
            return answer;
        }
        case UpdateOutcome::Failed:
            beep(viewer, BeepKind::Failure);
            viewer.platform.showMessageBox(
                BoxOwner::MainWindow,
                QStringLiteral("Failed to search for update.\nYou can check manually at ") +
                    shortAddress(viewer.update.endpoints.websiteUrl),
                QStringLiteral("Update failed"));
            return 0;
        case UpdateOutcome::UpToDate:
            beep(viewer, BeepKind::Information);
            viewer.platform.showMessageBox(BoxOwner::MainWindow,
                                           QStringLiteral("Pavo is up-to-date."),
                                           QStringLiteral("Up-to-date"));
            return 0;
        case UpdateOutcome::Nothing:
            return 0;
    }
    return 0;
}

// The page's version arrived: decided, shown, and the answer stored.
void finishUpdateCheck(Viewer& viewer, bool automatic, const QString& versionText) {
    if (!versionText.isEmpty()) viewer.update.latestVersionText = versionText;
    const UpdateOutcome outcome = automatic
                                      ? decideAutomatic(versionText, viewer.settings.ignoreVersion)
                                      : decideRequested(versionText);
    if (const int answer = showOutcome(viewer, outcome); answer != 0) {
        answerUpdateDialog(viewer, answer);
    }
    viewer.update.updateCheckRunning = false;
}

}  // namespace

void answerUpdateDialog(Viewer& viewer, int button) {
    postponeChecks(viewer, kOneWeek);
    if (button == kSkipVersion) viewer.settings.ignoreVersion = viewer.update.latestVersionText;
    writeUpdateState(viewer.store, viewer.settings.nextUpdateCheck, viewer.settings.ignoreVersion);
}

void startUpdateCheck(Viewer& viewer, bool automatic) {
    UpdateState& update = viewer.update;
    if (update.updateCheckRunning) return;
    if (automatic && !(checkDueNow(viewer) && viewer.settings.checkForUpdate)) return;
    update.updateCheckRunning = true;
    // Postponed before asking, so a failed or fruitless check waits a day; the job stores
    // it, off the user-interface thread.
    if (automatic) postponeChecks(viewer, kOneDay);
    const JobSlot::Ticket ticket = update.fetchJob.begin(1);
    startJob<QString>(
        viewer.platform, viewer.platform, ticket.token,
        [automatic, store = viewer.store, next = viewer.settings.nextUpdateCheck,
         ignored = viewer.settings.ignoreVersion, fetch = update.fetch,
         url = update.endpoints.updateUrl](const CancelToken&) -> std::optional<QString> {
            if (automatic) writeUpdateState(store, next, ignored);
            return extractVersion(fetch ? fetch(url) : QString());
        },
        [&viewer, automatic](std::optional<QString> versionText) {
            viewer.update.fetchJob.done();
            finishUpdateCheck(viewer, automatic, versionText.value_or(QString()));
        });
}

}  // namespace pavo
