// Reading a version out of the update page, and comparing versions as lists of
// integers (so that 1.10 is later than 1.9).
#include "update/update.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include <limits>
#include <optional>
#include <string>

namespace pavo {
namespace {

QString asciiLower(QString text) {
    for (QChar& c : text) {
        if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() - u'A' + u'a');
    }
    return text;
}

// A number as wcstol reads one: leading white space, a sign, at least one digit, and
// anything after the digits ignored; nothing when there is no digit or the value
// leaves the 32-bit range.
std::optional<std::int32_t> leadingNumber(const std::u16string& part) {
    std::size_t i = 0;
    while (i < part.size() && QChar(part[i]).isSpace()) ++i;
    bool negative = false;
    if (i < part.size() && (part[i] == u'+' || part[i] == u'-')) negative = part[i++] == u'-';
    const std::size_t firstDigit = i;
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < part.size() && part[i] >= u'0' && part[i] <= u'9'; ++i) {
        value = value * 10 + (part[i] - u'0');
        if (value > kLimit) return std::nullopt;
    }
    if (i == firstDigit) return std::nullopt;
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

}  // namespace

QString extractVersion(const QString& page) {
    if (page.isEmpty()) return {};
    const QString lower = asciiLower(page);
    QString key = QStringLiteral("latest version: ");
    if (!lower.contains(key)) key = QStringLiteral("latest version = ");
    const qsizetype at = lower.indexOf(key);
    if (at < 0) return {};
    const qsizetype start = at + key.size();
    const qsizetype space = lower.indexOf(u' ', start);
    if (space < 0) return {};
    return lower.mid(start, space - start);
}

std::vector<std::int32_t> parseVersion(const QString& text) {
    std::vector<std::int32_t> components;
    if (text.isEmpty()) return components;
    std::vector<std::u16string> parts;
    const std::u16string whole = text.toStdU16String();
    boost::algorithm::split(parts, whole, boost::algorithm::is_any_of(u"."));
    for (const std::u16string& part : parts) {
        const auto number = leadingNumber(part);
        if (!number) break;
        components.push_back(*number);
    }
    return components;
}

bool isNewer(const std::vector<std::int32_t>& a, const std::vector<std::int32_t>& b) {
    if (a.empty() || a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) return a[i] > b[i];
    }
    return false;
}

UpdateOutcome decideAutomatic(const QString& versionText, const QString& ignoredVersion) {
    const auto latest = parseVersion(versionText);
    const bool offer = isNewer(latest, parseVersion(kViewerVersion)) &&
                       isNewer(latest, parseVersion(ignoredVersion));
    return offer ? UpdateOutcome::OfferUpdate : UpdateOutcome::Nothing;
}

UpdateOutcome decideRequested(const QString& versionText) {
    const auto latest = parseVersion(versionText);
    if (isNewer(latest, parseVersion(kViewerVersion))) return UpdateOutcome::OfferUpdate;
    if (latest.empty()) return UpdateOutcome::Failed;
    return UpdateOutcome::UpToDate;
}

QString shortAddress(const QString& url) {
    const qsizetype scheme = url.indexOf(QStringLiteral("://"));
    return scheme < 0 ? url : url.mid(scheme + 3);
}

}  // namespace pavo
