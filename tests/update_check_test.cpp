#include "platform/http_fetch.h"
#include "support/viewer_fixture.h"
#include "update/update.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <memory>

namespace pavo {
namespace {

using Version = std::vector<std::int32_t>;

// The version follows either key in any case and ends at a space; its components are read up
// to the first that is not a number and compared in order, never as decimal fractions.
TEST(UpdateVersion, IsFoundAfterEitherKeyAndComparedComponentByComponent) {
    EXPECT_EQ(extractVersion("LATEST VERSION = 2.0.1 x"), "2.0.1");
    EXPECT_EQ(extractVersion("latest version = 9.9.9 latest version: 1.4.0 "), "1.4.0");  // colon
    EXPECT_EQ(extractVersion("latest version: 1.3.0"), "");    // no space after it
    EXPECT_EQ(extractVersion("latest version:  1.3.0 "), "");  // the space follows at once
    EXPECT_EQ(extractVersion("latest version:1.3.0 "), "");
    EXPECT_EQ(parseVersion("2.1beta.4"), (Version{2, 1, 4}));
    EXPECT_EQ(parseVersion("1..2"), (Version{1}));
    EXPECT_EQ(parseVersion("v1.2.0"), Version{});
    EXPECT_EQ(parseVersion(" +1.-2"), (Version{1, -2}));
    EXPECT_EQ(parseVersion("1.2147483647.2147483648"), (Version{1, 2147483647}));
    EXPECT_TRUE(isNewer({1, 10, 0}, {1, 9, 0}));
    EXPECT_FALSE(isNewer({1, 1, 5}, {1, 2, 0}));
    EXPECT_FALSE(isNewer({}, {}));
}

constexpr std::int64_t kNow = 1700000000;

// The update page is `page`, fetched by a job; the "Update available" dialog gets `answer`.
class UpdateCheckTest : public test::ViewerTest {
  protected:
    UpdateCheckTest() {
        viewer.update.endpoints = {"https://pavo.invalid/update", "https://pavo.invalid/pavo", {}};
        viewer.update.now = [] { return kNow; };
        viewer.update.fetch = [this](const QString& url) {
            fetchedUrls.push_back(url);
            storeAtFetch = test::readBytes(viewer.store.filePath());
            return page;
        };
        platform.onDialog = [this](DialogId id, DialogHandler& handler) {
            EXPECT_EQ(id, DialogId::UpdateAvailable);
            return test::runFakeDialog(handler, answer).value_or(0);
        };
    }
    void check(bool automatic) {
        startUpdateCheck(viewer, automatic);
        settle();
    }

    QString page = QStringLiteral("latest version: 1.3.0 ");
    int answer = kNotNow;
    std::vector<QString> fetchedUrls;
    QByteArray storeAtFetch;
};

TEST_F(UpdateCheckTest, TheAutomaticCheckAsksOnceADayAndSpeaksOnlyOfNews) {
    page = QStringLiteral("latest version: 1.2.0 ");
    check(true);
    EXPECT_EQ(fetchedUrls, std::vector<QString>{"https://pavo.invalid/update"});
    // Postponed and stored before the request, so a failed check also waits a day.
    EXPECT_TRUE(storeAtFetch.contains(QByteArray("\"nextUpdateCheck\"=dword:") +
                                      QByteArray::number(kNow + 86400, 16).rightJustified(8, '0')));
    EXPECT_TRUE(platform.dialogsRun.empty() && platform.boxes.empty() && platform.beeps.empty());
    // From January 2038 a time read as signed 32 bits is negative: the day must still pass.
    viewer.update.now = [] { return (std::int64_t{1} << 31) + 100; };
    viewer.settings.checkForUpdate = false;
    check(true);
    EXPECT_EQ(fetchedUrls.size(), 1U) << "turned off";
    viewer.settings.checkForUpdate = true;
    check(true);
    check(true);
    EXPECT_EQ(fetchedUrls.size(), 2U) << "due, then not";
}

// Every answer waits a week; a skipped version is offered again only on request or when later.
TEST_F(UpdateCheckTest, EveryAnswerWaitsAWeekAndASkippedVersionIsOfferedOnlyOnRequest) {
    for (const int given :
         std::initializer_list<int>{kSkipVersion, kNotNow, kCancelButton, kOpenWebsite}) {
        answer = given;
        viewer.settings.nextUpdateCheck = 0;
        check(false);
        EXPECT_EQ(viewer.settings.nextUpdateCheck, kNow + std::int64_t{7} * 86400) << given;
        EXPECT_EQ(viewer.settings.ignoreVersion, "1.3.0") << given;
    }
    EXPECT_EQ(platform.openedUrls, std::vector<QString>{"https://pavo.invalid/pavo"});
    EXPECT_TRUE(test::readBytes(viewer.store.filePath()).contains("\"ignoreVersion\"=\"1.3.0\""));

    viewer.settings.nextUpdateCheck = 0;
    check(true);  // the skipped version: no dialog, no beep
    EXPECT_EQ(platform.beeps, std::vector<BeepKind>(4, BeepKind::Information));
    viewer.settings.nextUpdateCheck = 0;
    page = QStringLiteral("latest version: 1.3.1 ");
    check(true);
    EXPECT_EQ(platform.dialogsRun.size(), 5U);
}

// A check runs alone: a second one asked for while the first has not begun is not started.
TEST_F(UpdateCheckTest, TheRequestedCheckRunsAloneAndReportsFailureAndUpToDate) {
    holdJobs();
    page = QStringLiteral("<html>Service unavailable</html>");
    startUpdateCheck(viewer, false);
    startUpdateCheck(viewer, false);
    settle();
    page = QStringLiteral("latest version: 1.3 ");  // another length: not newer
    viewer.settings.mute = true;
    check(false);
    EXPECT_EQ(boxes(), (QStringList{"Update failed: Failed to search for update.\nYou can check "
                                    "manually at pavo.invalid/pavo",
                                    "Up-to-date: Pavo is up-to-date."}));
    EXPECT_EQ(platform.boxes[0].owner, BoxOwner::MainWindow);
    EXPECT_EQ(platform.beeps, std::vector<BeepKind>{BeepKind::Failure}) << "then muted";
    EXPECT_EQ(viewer.settings.nextUpdateCheck, 0) << "the requested check leaves the automatic one";
}

TEST(UpdateEndpoints, TheTestServerIsReadOnlyWhenAllowedAndOnlyOnThisMachine) {
    const auto endpoints = [](bool allowed) {
        const UpdateEndpoints e = configuredEndpoints(allowed);
        return QStringList{e.updateUrl, e.websiteUrl, e.trustedCaFile};
    };
    qputenv("PAVO_TEST_SERVER", "http://127.0.0.1:8123");
    qputenv("PAVO_TEST_CA_FILE", "/tmp/ca.pem");
    EXPECT_EQ(endpoints(false), (QStringList{PAVO_UPDATE_URL, PAVO_WEBSITE_URL, ""}));
    EXPECT_EQ(endpoints(true), (QStringList{"http://127.0.0.1:8123/pavo/update",
                                            "http://127.0.0.1:8123/pavo", "/tmp/ca.pem"}));
    for (const char* elsewhere :
         {"http://example.org:80", "http://127.evil.example", "file:///x"}) {
        qputenv("PAVO_TEST_SERVER", elsewhere);
        EXPECT_EQ(endpoints(true), endpoints(false)) << elsewhere;  // and not its authority
    }
    qunsetenv("PAVO_TEST_SERVER");
    qunsetenv("PAVO_TEST_CA_FILE");
}

using namespace std::chrono_literals;

// The servers of update_server.py, started once: HTTP, HTTPS with a certificate from the test's
// own authority (and two that must not be trusted), a CONNECT proxy, and a closed port.
class HttpFetchTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<QTemporaryDir>();
        server = std::make_unique<QProcess>();
        server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server->start(
            QStringLiteral("python3"),
            {QStringLiteral(PAVO_TEST_SOURCE_DIR "/support/update_server.py"), folder->path()});
        ASSERT_TRUE(server->waitForReadyRead(30000)) << "the test servers did not start";
        ports = QJsonDocument::fromJson(server->readLine()).object();
        options.trustedCaFile = ports.value("ca").toString();
    }
    static void TearDownTestSuite() {
        server->closeWriteChannel();  // the servers end when their input closes
        server->waitForFinished(5000);
        server.reset();
        folder.reset();
    }

    // A page of one of the servers, named as update_server.py names them.
    static QString url(const char* serverName, const char* path) {
        const QString name = QLatin1String(serverName);
        return QStringLiteral("%1://127.0.0.1:%2%3")
            .arg(name.section(u'-', 0, 0))
            .arg(ports.value(name).toInt())
            .arg(QLatin1String(path));
    }
    static QString fetch(const QString& address) { return fetchText(address, options); }
    static int requestsSeen(const char* key) {
        return fetch(url("http", "/count/") + QLatin1String(key)).toInt();
    }

    // Short bounds cut the trickling server off within seconds; the authority comes at the start.
    static inline FetchOptions options{.connect = 1s, .exchange = 1s, .trustedCaFile = {}};
    static inline std::unique_ptr<QTemporaryDir> folder;
    static inline std::unique_ptr<QProcess> server;
    static inline QJsonObject ports;
};

// Only a server that answers for the host asked for, with a certificate from a trusted
// authority, over HTTP or HTTPS, gives its page; anyone could make the refused certificates.
TEST_F(HttpFetchTest, OnlyATrustedCertificateForTheHostAskedForGivesThePage) {
    EXPECT_EQ(fetch(url("https", "/newer")), "latest version: 1.3.0 ");
    EXPECT_EQ(fetch(url("https", "/newer").replace("127.0.0.1", "localhost")),
              "latest version: 1.3.0 ");
    for (const QString& refused : {url("https-self-signed", "/newer"),
                                   url("https-other-host", "/newer"), url("https-closed", "/newer"),
                                   QStringLiteral("not a url"), QStringLiteral("ftp://127.0.0.1/")})
        EXPECT_EQ(fetch(refused), "") << refused.toStdString();
    FetchOptions systemStore = options;  // which knows nothing of the test authority
    systemStore.trustedCaFile.clear();
    EXPECT_EQ(fetchText(url("https", "/newer"), systemStore), "");
}

// The status is not read: an error page is a page without a version. A body is read as UTF-8
// when its charset says so, in any case; otherwise byte by byte.
TEST_F(HttpFetchTest, AnyPageIsReadByItsCharsetAndAnAnswerOverOneMebibyteIsNone) {
    EXPECT_EQ(fetch(url("http", "/error")), "<html>Internal Server Error</html>");
    EXPECT_EQ(fetch(url("http", "/huge")), "") << "announced";
    EXPECT_EQ(fetch(url("http", "/huge-unannounced")), "");
    const QString page = QStringLiteral("<html>caf\u00e9 latest version: 1.3.0 </html>");
    EXPECT_EQ(fetch(url("http", "/latin1")), page);
    EXPECT_EQ(fetch(url("http", "/utf8upper")), page);
    EXPECT_EQ(fetch(url("http", "/utf8capital")),  // "Charset" with a capital is not read
              QStringLiteral("<html>caf\u00c3\u00a9 latest version: 1.3.0 </html>"));
}

// A page cut short is fetched again up to three times, the last text kept. A server sending
// one byte a second is cut off: what arrived holds no whole version.
TEST_F(HttpFetchTest, APageCutShortIsFetchedAgainAndATricklingOneCutOff) {
    EXPECT_EQ(fetch(url("http", "/cut2/twice")), "<html>latest version: 1.3.0 <p>more</p></html>");
    EXPECT_EQ(requestsSeen("twice"), 3);
    EXPECT_EQ(fetch(url("http", "/cut9/always")), "<html>latest version: 1.3.0 <p");
    EXPECT_EQ(requestsSeen("always"), 3);
    const QString text = fetch(url("http", "/drip"));
    EXPECT_FALSE(text.isEmpty());
    EXPECT_TRUE(QStringLiteral("<html>latest version: 1.3.0 </html>").startsWith(text));
    EXPECT_EQ(extractVersion(text), "") << text.toStdString();
}

// The proxy tunnels to the HTTPS server whatever was asked: a closed port answers through it.
TEST_F(HttpFetchTest, TheProxyOfTheEnvironmentIsUsedAfterADirectAttemptFails) {
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    qputenv("https_proxy", url("http-proxy", "").toUtf8());
    const int tunnels = requestsSeen("proxy");
    EXPECT_EQ(fetch(url("https-closed", "/newer")), "latest version: 1.3.0 ");
    EXPECT_EQ(fetch(url("https", "/newer")), "latest version: 1.3.0 ");
    qunsetenv("https_proxy");
    EXPECT_EQ(requestsSeen("proxy"), tunnels + 1) << "a server that answers is asked directly";
}

}  // namespace
}  // namespace pavo
