#pragma once

#include <QString>

#include <chrono>
#include <cstddef>

namespace pavo {

// The bounds of one fetch and whom it trusts. The defaults are the program's; tests
// shorten the bounds and name their own certificate authority.
struct FetchOptions {
    std::chrono::milliseconds connect{60000};
    // Sending the request and receiving the whole answer, per attempt: a server that
    // trickles its answer cannot hold the check for longer.
    std::chrono::milliseconds exchange{60000};
    int attempts = 3;
    // A longer answer is no answer: nothing the update page needs comes near it.
    std::size_t maxBody = std::size_t{1} << 20;
    // A file of certificate authorities to trust in place of the system's bundle; only
    // builds made for tests set it, for their local server. Empty: the system's store.
    QString trustedCaFile;
};

// The body of the page at `url` as text, or empty when nothing could be fetched.
// The first attempt goes direct; after a request that could not be sent the next
// attempts use the proxy the environment names (https_proxy, http_proxy, all_proxy,
// no_proxy, as libcurl reads them). An HTML page cut short before "</html>" is fetched
// again while attempts remain. The server's certificate and host name are verified, so
// no one on the way can answer for it. Blocks the calling thread.
// The fetch is made by a module of Pavo's own, loaded at the first fetch: libcurl and the
// TLS, Kerberos and LDAP libraries behind it took about 6 ms off every start when linked
// into the program. Without the module nothing is fetched.
QString fetchText(const QString& url, const FetchOptions& options = {});

// The module's entry point, by the name below; named by the version of what it exchanges.
using FetchEntry = void(const QString* url, const FetchOptions* options, QString* text);
inline constexpr const char* kFetchEntry = "pavo_fetch_text_1";

}  // namespace pavo
