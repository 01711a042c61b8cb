#pragma once

// The record of the update check.

#include "platform/jobs.h"
#include "settings/settings.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace pavo {

// Where the latest version is asked for, and the product's web page.
struct UpdateEndpoints {
    QString updateUrl;
    QString websiteUrl;
    // The certificate authority of a local test server, trusted by the fetch; empty in
    // every build but those made to read the test server.
    QString trustedCaFile;
};

// The update check's record. The fetch and the clock are parameters so that tests
// give their own; without a fetch nothing is ever asked of the network.
struct UpdateState {
    bool updateCheckRunning = false;  // a check runs (or shows its outcome); no other starts
    QString latestVersionText = kViewerVersion;
    JobSlot fetchJob;
    UpdateEndpoints endpoints;
    std::function<QString(const QString& url)> fetch;
    std::function<std::int64_t()> now;  // seconds since 1970; the system clock when empty
};

}  // namespace pavo
