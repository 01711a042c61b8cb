// One page over HTTP or HTTPS with libcurl, synchronously on the update thread.
#include "platform/http_fetch.h"

#include <QFile>

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace pavo {
namespace {

struct Transfer {
    QByteArray headers;  // the final response's, lines ending in CR LF
    QByteArray body;
    std::size_t maxBody = 0;
    bool tooLong = false;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (static_cast<std::size_t>(transfer->body.size()) + bytes > transfer->maxBody) {
        transfer->tooLong = true;
        return 0;  // ends the transfer
    }
    transfer->body.append(data, static_cast<qsizetype>(bytes));
    return bytes;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const QByteArrayView line(data, static_cast<qsizetype>(size * count));
    // A redirect's or an interim answer's headers give way to the next response's.
    if (line.startsWith("HTTP/")) transfer->headers.clear();
    transfer->headers.append(line);
    return size * count;
}

bool isCharsetChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// The run of name characters after the first "charset=" (lower case only) that has any.
QByteArray charsetOf(const QByteArray& headers) {
    static constexpr QByteArrayView kKey("charset=");
    for (qsizetype at = headers.indexOf(kKey); at >= 0; at = headers.indexOf(kKey, at + 1)) {
        qsizetype end = at + kKey.size();
        while (end < headers.size() && isCharsetChar(headers[end])) ++end;
        if (end > at + kKey.size()) return headers.mid(at + kKey.size(), end - at - kKey.size());
    }
    return {};
}

// UTF-8 when the server says so, otherwise Latin-1, which gives every byte a
// character; the text ends at its first NUL.
QString decodeBody(const QByteArray& body, const QByteArray& charset) {
    QString text;
    if (charset.left(5).compare("utf-8", Qt::CaseInsensitive) == 0) text = QString::fromUtf8(body);
    if (text.isEmpty()) text = QString::fromLatin1(body);
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) text.truncate(nul);
    return text;
}

bool isIncomplete(const QString& text) {
    return text.contains(QStringLiteral("<html>")) && !text.contains(QStringLiteral("</html>"));
}

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void configure(CURL* curl, const QByteArray& url, const FetchOptions& options, Transfer& transfer) {
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects are followed as far as a browser would, never from HTTPS to HTTP.
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR,
                     url.startsWith("https:") ? "https" : "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connect.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS,
                     static_cast<long>((options.connect + options.exchange).count()));
    // Anyone on the way could otherwise answer for the update server: its certificate
    // must lead to a trusted authority (the system's store) and name the host asked for.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.trustedCaFile.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO,
                         QFile::encodeName(options.trustedCaFile).constData());
    }
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBody));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    // The first attempt goes direct, whatever the environment names.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
}

QString fetchOverCurl(const QString& url, const FetchOptions& options) {
    initialiseCurlOnce();
    const std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) return {};
    Transfer transfer;
    transfer.maxBody = options.maxBody;
    configure(curl.get(), url.toUtf8(), options, transfer);

    QString result;
    for (int attempt = 0; attempt < options.attempts; ++attempt) {
        transfer.headers.clear();
        transfer.body.clear();
        const CURLcode code = curl_easy_perform(curl.get());
        if (code == CURLE_URL_MALFORMAT || code == CURLE_UNSUPPORTED_PROTOCOL) return {};
        if (transfer.tooLong || code == CURLE_FILESIZE_EXCEEDED) return {};
        if (transfer.headers.isEmpty()) {
            long sent = 0;
            curl_easy_getinfo(curl.get(), CURLINFO_REQUEST_SIZE, &sent);
            // A request that never left takes the user's proxy from the next attempt on.
            if (sent == 0) curl_easy_setopt(curl.get(), CURLOPT_PROXY, nullptr);
            continue;
        }
        // A body cut short (closed early, timed out) is still what arrived.
        const QString text = decodeBody(transfer.body, charsetOf(transfer.headers));
        if (!text.isEmpty()) result = text;
        if (!isIncomplete(result)) break;
    }
    return result;
}

}  // namespace

}  // namespace pavo

extern "C" __attribute__((visibility("default"))) void pavo_fetch_text_1(
    const QString* url, const pavo::FetchOptions* options, QString* text) {
    *text = pavo::fetchOverCurl(*url, *options);
}
