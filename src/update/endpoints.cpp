// Where the update check asks, as the build configured it.
#include "update/update.h"

#include <QRegularExpression>
#include <QUrl>

namespace pavo {
namespace {

// A test server must be on this machine: the variable can never send the check, or
// the browser, anywhere else.
bool isLocalServer(const QUrl& url) {
    if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https")) return false;
    const QString host = url.host();
    static const QRegularExpression loopback(QStringLiteral("^127(\\.[0-9]{1,3}){3}$"));
    return host == u"localhost" || host == u"::1" || loopback.match(host).hasMatch();
}

}  // namespace

UpdateEndpoints configuredEndpoints(bool allowTestServer) {
    UpdateEndpoints endpoints{QStringLiteral(PAVO_UPDATE_URL), QStringLiteral(PAVO_WEBSITE_URL),
                              QString()};
    if (!allowTestServer) return endpoints;
    const QString server = qEnvironmentVariable("PAVO_TEST_SERVER");
    const QUrl base(server);
    if (server.isEmpty() || !isLocalServer(base)) return endpoints;
    QString root = base.toString(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
    return {root + QStringLiteral("/pavo/update"), root + QStringLiteral("/pavo"),
            qEnvironmentVariable("PAVO_TEST_CA_FILE")};
}

}  // namespace pavo
