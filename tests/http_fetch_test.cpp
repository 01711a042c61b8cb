#include "update/http_fetch.h"
#include "update/update.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace pavo {
namespace {

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
