#include "update/http_fetch.h"
#include "update/update.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace pavo {
namespace {

// The servers of update_server.py, started once for all cases: plain HTTP, HTTPS with a
// certificate from the test's own authority (and with two that must not be trusted), a
// CONNECT proxy, and a closed port.
class HttpFetchTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<QTemporaryDir>();
        server = std::make_unique<QProcess>();
        server->start(
            QStringLiteral("python3"),
            {QStringLiteral(PAVO_TEST_SOURCE_DIR "/support/update_server.py"), folder->path()});
        ASSERT_TRUE(server->waitForStarted(10000)) << "python3 could not start";
        while (!server->canReadLine()) {
            ASSERT_TRUE(server->waitForReadyRead(20000))
                << "the test servers did not start: " << server->readAllStandardError().data();
        }
        ports = QJsonDocument::fromJson(server->readLine()).object();
        options.trustedCaFile = ports.value("ca").toString();
    }
    static void TearDownTestSuite() {
        server->closeWriteChannel();  // the servers end when their input closes
        if (!server->waitForFinished(5000)) server->kill();
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

    // Short bounds, so that the trickling server is cut off within seconds; the test
    // authority is added once the servers have made it.
    static FetchOptions shortBounds() {
        FetchOptions bounds;
        bounds.connect = std::chrono::milliseconds(1000);
        bounds.exchange = std::chrono::milliseconds(1000);
        return bounds;
    }
    static inline FetchOptions options = shortBounds();
    static inline std::unique_ptr<QTemporaryDir> folder;
    static inline std::unique_ptr<QProcess> server;
    static inline QJsonObject ports;
};

TEST_F(HttpFetchTest, PagesOverHttpAndHttpsGiveTheirVersion) {
    EXPECT_EQ(extractVersion(fetch(url("http", "/newer"))), "1.3.0");
    EXPECT_EQ(extractVersion(fetch(url("http", "/same"))), "1.2.0");
    EXPECT_EQ(extractVersion(fetch(url("http", "/equals"))), "1.3.0");
    EXPECT_EQ(decideRequested(extractVersion(fetch(url("http", "/same")))),
              UpdateOutcome::UpToDate);
    EXPECT_EQ(extractVersion(fetch(url("https", "/equals"))), "1.3.0");
}

TEST_F(HttpFetchTest, OnlyATrustedCertificateForTheHostAskedForGivesThePage) {
    // Signed by the trusted authority for 127.0.0.1 and localhost.
    EXPECT_EQ(fetch(url("https", "/newer")), "latest version: 1.3.0 ");
    EXPECT_EQ(fetch(url("https", "/newer").replace("127.0.0.1", "localhost")),
              "latest version: 1.3.0 ");
    // Anyone could make these: a certificate signed by itself, and one the authority
    // signed for another host.
    EXPECT_EQ(fetch(url("https-self-signed", "/newer")), "");
    EXPECT_EQ(fetch(url("https-other-host", "/newer")), "");
    // The system's store alone knows nothing of the test authority.
    EXPECT_EQ(fetchText(url("https", "/newer"), shortBounds()), "");
}

TEST_F(HttpFetchTest, PagesWithoutAVersionAndErrorPagesGiveNone) {
    const QString none = fetch(url("http", "/none"));
    EXPECT_EQ(none, "<html><body>No version here</body></html>");
    EXPECT_EQ(extractVersion(none), "");
    // The status is not read: an error page is a page without a version.
    const QString error = fetch(url("http", "/error"));
    EXPECT_EQ(error, "<html>Internal Server Error</html>");
    EXPECT_EQ(decideRequested(extractVersion(error)), UpdateOutcome::Failed);
}

TEST_F(HttpFetchTest, AnAnswerOverOneMebibyteIsNoAnswer) {
    EXPECT_EQ(fetch(url("http", "/huge")), "");
    EXPECT_EQ(fetch(url("http", "/huge-unannounced")), "");
    EXPECT_EQ(fetch(url("https", "/huge-unannounced")), "");
}

TEST_F(HttpFetchTest, ATricklingServerIsCutOffByTheTimeOut) {
    // One byte a second: the page never completes within an attempt, and the text that
    // arrived holds no whole version.
    const QString page = QStringLiteral("<html>latest version: 1.3.0 </html>");
    const QString text = fetch(url("http", "/drip"));
    EXPECT_FALSE(text.isEmpty());
    EXPECT_TRUE(page.startsWith(text) && text.size() < page.size()) << text.toStdString();
    EXPECT_EQ(extractVersion(text), "");
}

TEST_F(HttpFetchTest, NoServerGivesNothing) {
    EXPECT_EQ(fetch(url("http", "/newer")
                        .replace(QString::number(ports.value("http").toInt()),
                                 QString::number(ports.value("closed").toInt()))),
              "");
    EXPECT_EQ(fetch(QStringLiteral("not a url")), "");
    EXPECT_EQ(fetch(QStringLiteral("ftp://127.0.0.1/pavo")), "");
}

TEST_F(HttpFetchTest, APageCutShortIsFetchedAgainUpToThreeTimes) {
    EXPECT_EQ(fetch(url("http", "/cut2/twice")), "<html>latest version: 1.3.0 <p>more</p></html>");
    EXPECT_EQ(requestsSeen("twice"), 3);
    // Cut every time: the last text is kept after the third attempt.
    EXPECT_EQ(fetch(url("http", "/cut9/always")), "<html>latest version: 1.3.0 <p");
    EXPECT_EQ(requestsSeen("always"), 3);
}

TEST_F(HttpFetchTest, TheCharsetDecidesHowTheBodyIsRead) {
    EXPECT_EQ(fetch(url("http", "/latin1")),
              QStringLiteral("<html>caf\u00e9 latest version: 1.3.0 </html>"));
    EXPECT_EQ(fetch(url("http", "/utf8upper")),
              QStringLiteral("<html>caf\u00e9 latest version: 1.3.0 </html>"));
    // "Charset" with a capital is not read: the bytes are taken one by one.
    EXPECT_EQ(fetch(url("http", "/utf8capital")),
              QStringLiteral("<html>caf\u00c3\u00a9 latest version: 1.3.0 </html>"));
}

TEST_F(HttpFetchTest, TheProxyOfTheEnvironmentIsUsedAfterADirectAttemptFails) {
    const QString unreachable =
        QStringLiteral("https://127.0.0.1:%1/newer").arg(ports.value("closed").toInt());
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    EXPECT_EQ(fetch(unreachable), "");
    const int tunnelsBefore = requestsSeen("proxy");
    qputenv("https_proxy",
            QStringLiteral("http://127.0.0.1:%1").arg(ports.value("proxy").toInt()).toUtf8());
    const QString text = fetch(unreachable);
    qunsetenv("https_proxy");
    EXPECT_EQ(text, "latest version: 1.3.0 ");
    EXPECT_EQ(requestsSeen("proxy"), tunnelsBefore + 1);
    // A server that answers directly is never asked through the proxy.
    qputenv("https_proxy",
            QStringLiteral("http://127.0.0.1:%1").arg(ports.value("proxy").toInt()).toUtf8());
    EXPECT_EQ(fetch(url("https", "/newer")), "latest version: 1.3.0 ");
    qunsetenv("https_proxy");
    EXPECT_EQ(requestsSeen("proxy"), tunnelsBefore + 1);
}

}  // namespace
}  // namespace pavo
