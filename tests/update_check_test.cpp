#include "support/viewer_fixture.h"
#include "update/update.h"

#include <QFile>

#include <atomic>
#include <latch>
#include <thread>

namespace pavo {
namespace {

using Version = std::vector<std::int32_t>;

TEST(UpdateVersion, IsFoundAfterEitherKeyInAnyCaseAndEndsAtASpace) {
    EXPECT_EQ(extractVersion("<p>Latest Version: 1.3.0 </p>"), "1.3.0");
    EXPECT_EQ(extractVersion("LATEST VERSION = 2.0.1 x"), "2.0.1");
    // The colon form wins wherever it stands.
    EXPECT_EQ(extractVersion("latest version = 9.9.9 latest version: 1.4.0 "), "1.4.0");
    EXPECT_EQ(extractVersion("latest version: 1.3.0"), "");    // no space after it
    EXPECT_EQ(extractVersion("latest version:  1.3.0 "), "");  // the space follows at once
    EXPECT_EQ(extractVersion("latest version:1.3.0 "), "");
    EXPECT_EQ(extractVersion(""), "");
    EXPECT_EQ(extractVersion("nothing here "), "");
}

TEST(UpdateVersion, ComponentsAreReadUpToTheFirstThatIsNotANumber) {
    EXPECT_EQ(parseVersion("1.3.0"), (Version{1, 3, 0}));
    EXPECT_EQ(parseVersion("2.1beta.4"), (Version{2, 1, 4}));
    EXPECT_EQ(parseVersion("1..2"), (Version{1}));
    EXPECT_EQ(parseVersion("v1.2.0"), Version{});
    EXPECT_EQ(parseVersion(" +1.-2"), (Version{1, -2}));
    EXPECT_EQ(parseVersion("1.2147483647.2147483648"), (Version{1, 2147483647}));
    EXPECT_EQ(parseVersion(""), Version{});
}

TEST(UpdateVersion, OnlyALaterVersionOfTheSameLengthIsNewer) {
    EXPECT_TRUE(isNewer({1, 3, 0}, {1, 2, 0}));
    EXPECT_TRUE(isNewer({1, 10, 0}, {1, 9, 0}));  // not a decimal fraction
    EXPECT_FALSE(isNewer({1, 2, 0}, {1, 2, 0}));
    EXPECT_FALSE(isNewer({1, 1, 5}, {1, 2, 0}));
    EXPECT_FALSE(isNewer({1, 3}, {1, 2, 0}));
    EXPECT_FALSE(isNewer({}, {}));
    EXPECT_EQ(decideRequested("1.3"), UpdateOutcome::UpToDate);
    EXPECT_EQ(decideRequested(""), UpdateOutcome::Failed);
    EXPECT_EQ(decideRequested("x.1"), UpdateOutcome::Failed);
    EXPECT_EQ(decideRequested("1.3.0"), UpdateOutcome::OfferUpdate);
    EXPECT_EQ(decideAutomatic("1.3.0", "1.3.0"), UpdateOutcome::Nothing);
    EXPECT_EQ(decideAutomatic("1.3.1", "1.3.0"), UpdateOutcome::OfferUpdate);
    EXPECT_EQ(shortAddress("https://pavo.invalid/pavo"), "pavo.invalid/pavo");
}

constexpr std::int64_t kNow = 1700000000;

class UpdateCheckTest : public test::ViewerTest {
  protected:
    UpdateCheckTest() {
        viewer.update.endpoints = {QStringLiteral("https://pavo.invalid/pavo/update"),
                                   QStringLiteral("https://pavo.invalid/pavo"), QString()};
        viewer.update.now = [] { return kNow; };
        viewer.update.fetch = [this](const QString& url) {
            fetchedUrls.push_back(url);
            storeAtFetch = storeText();
            return page;
        };
        platform.onDialog = [this](DialogId id, DialogHandler& handler) {
            EXPECT_EQ(id, DialogId::UpdateAvailable);
            return test::runFakeDialog(handler, answer).value_or(0);
        };
    }

    // Runs one check: its job fetches while this thread plays the event loop.
    void check(bool automatic) {
        startUpdateCheck(viewer, automatic);
        settle();
        EXPECT_FALSE(viewer.update.updateCheckRunning);
    }
    QByteArray storeText() {
        QFile file(viewer.store.filePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    [[nodiscard]] std::int32_t inDays(int days) const {
        return static_cast<std::int32_t>(kNow + std::int64_t{days} * 86400);
    }

    QString page;
    int answer = kNotNow;
    std::vector<QString> fetchedUrls;
    QByteArray storeAtFetch;
};

TEST_F(UpdateCheckTest, TheAutomaticCheckWaitsADayBeforeAskingAndSpeaksOnlyOfNews) {
    page = QStringLiteral("latest version: 1.2.0 ");
    check(true);
    ASSERT_EQ(fetchedUrls.size(), 1U);
    EXPECT_EQ(fetchedUrls[0], "https://pavo.invalid/pavo/update");
    // Postponed and stored before the request, so a failed check also waits a day.
    EXPECT_TRUE(storeAtFetch.contains(QByteArray("\"nextUpdateCheck\"=dword:") +
                                      QByteArray::number(inDays(1), 16).rightJustified(8, '0')));
    EXPECT_EQ(viewer.settings.nextUpdateCheck, inDays(1));
    EXPECT_TRUE(platform.dialogsRun.empty());
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(platform.beeps.empty());

    check(true);  // not due yet
    EXPECT_EQ(fetchedUrls.size(), 1U);

    viewer.settings.nextUpdateCheck = 0;
    viewer.settings.checkForUpdate = false;
    check(true);
    EXPECT_EQ(fetchedUrls.size(), 1U);
}

TEST_F(UpdateCheckTest, SkippingAVersionSilencesItUntilALaterOneAppears) {
    page = QStringLiteral("<html>Latest Version = 1.3.0 </html>");
    answer = kSkipVersion;
    check(true);
    ASSERT_EQ(platform.dialogsRun.size(), 1U);
    EXPECT_EQ(platform.beeps, std::vector<BeepKind>{BeepKind::Information});
    EXPECT_EQ(viewer.settings.ignoreVersion, "1.3.0");
    EXPECT_EQ(viewer.settings.nextUpdateCheck, inDays(7));
    EXPECT_TRUE(storeText().contains("\"ignoreVersion\"=\"1.3.0\""));

    viewer.settings.nextUpdateCheck = 0;
    check(true);
    EXPECT_EQ(platform.dialogsRun.size(), 1U);

    // The check the user asks for ignores the skip.
    check(false);
    EXPECT_EQ(platform.dialogsRun.size(), 2U);

    viewer.settings.nextUpdateCheck = 0;
    page = QStringLiteral("latest version: 1.3.1 ");
    answer = kNotNow;
    check(true);
    EXPECT_EQ(platform.dialogsRun.size(), 3U);
    EXPECT_EQ(viewer.settings.ignoreVersion, "1.3.0");
}

TEST_F(UpdateCheckTest, OpenWebsiteOpensTheProductPageAndEveryAnswerWaitsAWeek) {
    page = QStringLiteral("latest version: 1.3.0 ");
    answer = kOpenWebsite;
    check(false);
    EXPECT_EQ(platform.openedUrls, std::vector<QString>{"https://pavo.invalid/pavo"});
    EXPECT_EQ(viewer.settings.nextUpdateCheck, inDays(7));
    EXPECT_EQ(viewer.settings.ignoreVersion, kViewerVersion);

    answer = kCancelButton;  // Esc or the close box
    viewer.settings.nextUpdateCheck = 0;
    check(false);
    EXPECT_EQ(platform.openedUrls.size(), 1U);
    EXPECT_EQ(viewer.settings.nextUpdateCheck, inDays(7));
}

TEST_F(UpdateCheckTest, TheRequestedCheckReportsFailureAndUpToDate) {
    page = QStringLiteral("<html>Service unavailable</html>");
    check(false);
    ASSERT_EQ(platform.boxes.size(), 1U);
    EXPECT_EQ(platform.boxes[0].caption, "Update failed");
    EXPECT_EQ(platform.boxes[0].text,
              "Failed to search for update.\nYou can check manually at pavo.invalid/pavo");
    EXPECT_EQ(platform.boxes[0].owner, BoxOwner::MainWindow);
    EXPECT_EQ(platform.beeps, std::vector<BeepKind>{BeepKind::Failure});

    page = QStringLiteral("latest version: 1.3 ");  // another length: not newer
    check(false);
    ASSERT_EQ(platform.boxes.size(), 2U);
    EXPECT_EQ(platform.boxes[1].caption, "Up-to-date");
    EXPECT_EQ(platform.boxes[1].text, "Pavo is up-to-date.");

    viewer.settings.mute = true;
    check(false);
    EXPECT_EQ(platform.boxes.size(), 3U);
    EXPECT_EQ(platform.beeps.size(), 2U);
    // The requested check neither reads nor moves the next automatic one.
    EXPECT_EQ(viewer.settings.nextUpdateCheck, 0);
}

TEST_F(UpdateCheckTest, AfterTwentyThirtyEightTheDailyLimitStillHolds) {
    const std::int64_t later = std::int64_t{1} << 31;  // January 2038
    viewer.update.now = [later] { return later + 100; };
    page = QStringLiteral("latest version: 1.2.0 ");
    check(true);
    EXPECT_EQ(fetchedUrls.size(), 1U);
    check(true);  // a day has not passed
    EXPECT_EQ(fetchedUrls.size(), 1U);
}

TEST_F(UpdateCheckTest, ASecondCheckDoesNotStartWhileOneRuns) {
    std::latch release(1);
    std::atomic<int> fetches{0};
    viewer.update.fetch = [&](const QString&) {
        ++fetches;
        release.wait();
        return QString();
    };
    viewer.settings.mute = true;
    startUpdateCheck(viewer, false);
    EXPECT_TRUE(viewer.update.updateCheckRunning);
    startUpdateCheck(viewer, false);  // ignored at once, without waiting
    release.count_down();
    while (viewer.update.updateCheckRunning) {
        platform.runQueued();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    settle();
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(platform.boxes.size(), 1U);
}

TEST(UpdateEndpoints, TheTestServerIsReadOnlyWhenAllowedAndOnlyOnThisMachine) {
    qputenv("PAVO_TEST_SERVER", "http://127.0.0.1:8123");
    qputenv("PAVO_TEST_CA_FILE", "/tmp/ca.pem");
    EXPECT_EQ(configuredEndpoints(false).updateUrl, PAVO_UPDATE_URL);
    EXPECT_EQ(configuredEndpoints(false).trustedCaFile, "");
    const UpdateEndpoints local = configuredEndpoints(true);
    EXPECT_EQ(local.updateUrl, "http://127.0.0.1:8123/pavo/update");
    EXPECT_EQ(local.websiteUrl, "http://127.0.0.1:8123/pavo");
    EXPECT_EQ(local.trustedCaFile, "/tmp/ca.pem");
    for (const char* elsewhere :
         {"http://example.org:80", "http://127.evil.example", "file:///x"}) {
        qputenv("PAVO_TEST_SERVER", elsewhere);
        EXPECT_EQ(configuredEndpoints(true).websiteUrl, PAVO_WEBSITE_URL) << elsewhere;
        // The test authority is never trusted for the real server.
        EXPECT_EQ(configuredEndpoints(true).trustedCaFile, "") << elsewhere;
    }
    qunsetenv("PAVO_TEST_SERVER");
    qunsetenv("PAVO_TEST_CA_FILE");
}

}  // namespace
}  // namespace pavo
