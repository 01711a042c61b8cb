#pragma once

// The update check: fetch the page, find the version in it, decide, show. Each step is
// a function of its own; only the last touches the desktop.

#include "update/update_state.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace pavo {

struct Viewer;

// The buttons of the "Update available" dialog.
enum UpdateButton : int { kOpenWebsite = 1038, kSkipVersion = 1039, kNotNow = 1037 };

// ---- Parse and decide -----------------------------------------------------------

// The version after "latest version: " (or, when the page has no such text, after
// "latest version = "), case ignored, up to the next space; empty when there is none.
QString extractVersion(const QString& page);
// The components of a version text up to the first that is not a number.
std::vector<std::int32_t> parseVersion(const QString& text);
// Whether `a` is a later version than `b`; versions of different lengths never are.
bool isNewer(const std::vector<std::int32_t>& a, const std::vector<std::int32_t>& b);

enum class UpdateOutcome { Nothing, OfferUpdate, Failed, UpToDate };
// The automatic check speaks only of a newer version the user has not skipped.
UpdateOutcome decideAutomatic(const QString& versionText, const QString& ignoredVersion);
// The check the user asked for reports every outcome.
UpdateOutcome decideRequested(const QString& versionText);

// The web page's address as the failure message names it: without its scheme.
QString shortAddress(const QString& url);

// ---- Run ------------------------------------------------------------------------

// What the answer to the "Update available" dialog stores: the next check a week on,
// and the skipped version for "Skip version".
void answerUpdateDialog(Viewer& viewer, int button);
// Starts a check unless one is running (the menu command and the start of the program):
// an automatic check that is due postpones the next one by a day and stores that, then a
// job fetches the page; the outcome is decided and shown once the page is there. Ends
// with `updateCheckRunning` clear.
void startUpdateCheck(Viewer& viewer, bool automatic);

// The endpoints this build was configured with; with `allowTestServer` the variable
// PAVO_TEST_SERVER, when it names a server on this machine, replaces their host, and
// PAVO_TEST_CA_FILE names the authority that signed that server's certificate.
UpdateEndpoints configuredEndpoints(bool allowTestServer);

}  // namespace pavo
