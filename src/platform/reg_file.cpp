#include "platform/reg_file.h"

#include <QStringList>

#include <algorithm>
#include <utility>

namespace pavo {
namespace {

const QString kHeader = QStringLiteral("Windows Registry Editor Version 5.00");

QByteArray utf16le(const QString& text) {
    QByteArray bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    bytes.append('\0');
    bytes.append('\0');
    return bytes;
}

// The text of a REG_SZ that a quoted string can carry: even length, one terminating
// null at the end and nowhere else, no control characters.
std::optional<QString> quotableText(const QByteArray& data) {
    if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
    QString text;
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                                (static_cast<unsigned char>(data[i + 1]) << 8));
        const bool last = i + 2 == data.size();
        if (last) return unit == 0 ? std::optional<QString>(text) : std::nullopt;
        if (unit < 0x20 || unit == 0x7F) return std::nullopt;
        text.append(QChar(unit));
    }
    return std::nullopt;
}

QString quoted(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"') out.append(u'\\');
        out.append(c);
    }
    out.append(u'"');
    return out;
}

QString hexBytes(const QByteArray& data) {
    QStringList parts;
    parts.reserve(data.size());
    for (const char b : data) {
        parts.append(QStringLiteral("%1").arg(static_cast<unsigned char>(b), 2, 16, QChar(u'0')));
    }
    return parts.join(u',');
}

QString valueText(const RegValue& value) {
    if (value.type == RegDword && value.data.size() == 4) {
        std::uint32_t bits = 0;
        for (int i = 3; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(value.data[i]);
        return QStringLiteral("dword:%1").arg(bits, 8, 16, QChar(u'0'));
    }
    if (value.type == RegSz) {
        if (const auto text = quotableText(value.data)) return quoted(*text);
    }
    if (value.type == RegBinary) return QStringLiteral("hex:") + hexBytes(value.data);
    return QStringLiteral("hex(%1):").arg(value.type, 0, 16) + hexBytes(value.data);
}

QString lineText(const QString& name, const RegValue& value) {
    return (name.isEmpty() ? QStringLiteral("@") : quoted(name)) + u'=' + valueText(value);
}

// Reads a quoted string starting at `pos` (which holds the opening quote); on success
// `pos` ends just past the closing quote.
std::optional<QString> readQuoted(const QString& line, qsizetype& pos) {
    if (pos >= line.size() || line[pos] != u'"') return std::nullopt;
    QString out;
    for (qsizetype i = pos + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'"') {
            pos = i + 1;
            return out;
        }
        if (c == u'\\') {
            if (i + 1 >= line.size()) return std::nullopt;
            const QChar next = line[++i];
            if (next != u'\\' && next != u'"') return std::nullopt;
            out.append(next);
        } else {
            out.append(c);
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> readHexBytes(QStringView text) {
    QByteArray bytes;
    const QString compact = text.toString().remove(u'\\').remove(u' ').remove(u'\t').remove(u'\n');
    if (compact.isEmpty()) return bytes;
    for (const QString& part : compact.split(u',')) {
        bool ok = false;
        const uint b = part.toUInt(&ok, 16);
        if (!ok || part.size() > 2 || b > 0xFF) return std::nullopt;
        bytes.append(static_cast<char>(b));
    }
    return bytes;
}

std::optional<RegValue> readValue(const QString& line, qsizetype pos) {
    const QStringView rest = QStringView(line).mid(pos).trimmed();
    if (rest.startsWith(u'"')) {
        qsizetype at = line.indexOf(u'"', pos);
        const auto text = readQuoted(line, at);
        if (!text || !QStringView(line).mid(at).trimmed().isEmpty()) return std::nullopt;
        return textValue(*text);
    }
    if (rest.startsWith(u"dword:")) {
        const QStringView digits = rest.mid(6);
        bool ok = false;
        const uint bits = digits.toUInt(&ok, 16);
        if (!ok || digits.isEmpty() || digits.size() > 8) return std::nullopt;
        return dwordValue(static_cast<std::int32_t>(bits));
    }
    if (rest.startsWith(u"hex:")) {
        auto bytes = readHexBytes(rest.mid(4));
        if (!bytes) return std::nullopt;
        return RegValue{RegBinary, *bytes};
    }
    if (rest.startsWith(u"hex(")) {
        const qsizetype close = rest.indexOf(u"):");
        if (close < 0) return std::nullopt;
        bool ok = false;
        const uint type = rest.mid(4, close - 4).toUInt(&ok, 16);
        auto bytes = readHexBytes(rest.mid(close + 2));
        if (!ok || !bytes) return std::nullopt;
        return RegValue{type, *bytes};
    }
    return std::nullopt;
}

// The value name and value of a line, when it is a well-formed value line.
std::optional<std::pair<QString, RegValue>> readValueLine(const QString& line) {
    qsizetype pos = 0;
    while (pos < line.size() && line[pos].isSpace()) ++pos;
    QString name;
    if (pos < line.size() && line[pos] == u'@') {
        ++pos;
    } else {
        auto quotedName = readQuoted(line, pos);
        if (!quotedName) return std::nullopt;
        name = *quotedName;
    }
    while (pos < line.size() && line[pos].isSpace()) ++pos;
    if (pos >= line.size() || line[pos] != u'=') return std::nullopt;
    auto value = readValue(line, pos + 1);
    if (!value) return std::nullopt;
    return std::make_pair(name, *value);
}

// Physical lines joined where a hex list continues on the next line (",\" at the end).
std::vector<StoredLine> logicalLines(std::vector<StoredLine> physical) {
    std::vector<StoredLine> logical;
    for (StoredLine& line : physical) {
        if (logical.empty() || !logical.back().text.trimmed().endsWith(QStringLiteral(",\\"))) {
            logical.push_back(std::move(line));
            continue;
        }
        StoredLine& joined = logical.back();
        joined.bytes.append(joined.end).append(line.bytes);
        joined.end = std::move(line.end);
        joined.text.append(u'\n').append(line.text);
        joined.exact = joined.exact && line.exact;
    }
    return logical;
}

}  // namespace

RegValue dwordValue(std::int32_t number) {
    const auto bits = static_cast<std::uint32_t>(number);
    QByteArray data(4, '\0');
    for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    return {RegDword, data};
}

RegValue flagValue(bool on) {
    return {RegBinary, QByteArray(1, on ? '\1' : '\0')};
}

RegValue textValue(const QString& text) {
    return {RegSz, utf16le(text)};
}

RegDocument RegDocument::parse(const QByteArray& file, const QString& keyPath) {
    StoredText stored = readStoredText(file);
    RegDocument doc;
    doc.keyPath_ = keyPath;
    doc.format_ = std::move(stored.format);
    doc.tail_ = std::move(stored.tail);
    bool inKey = false;
    for (StoredLine& read : logicalLines(std::move(stored.lines))) {
        Line line{std::move(read), false, std::nullopt, {}};
        const QString trimmed = line.stored.text.trimmed();
        if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
            inKey = trimmed.mid(1, trimmed.size() - 2).compare(keyPath, Qt::CaseInsensitive) == 0;
            line.inKey = inKey;
        } else if (inKey) {
            line.inKey = true;
            auto parsed = line.stored.exact ? readValueLine(line.stored.text) : std::nullopt;
            if (parsed) {
                line.name = parsed->first;
                line.value = parsed->second;
            }
        }
        doc.lines_.push_back(std::move(line));
    }
    return doc;
}

std::optional<RegValue> RegDocument::value(const QString& name) const {
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (it->name && it->name->compare(name, Qt::CaseInsensitive) == 0) return it->value;
    }
    return std::nullopt;
}

void RegDocument::setValue(const QString& name, const RegValue& value) {
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (it->name && it->name->compare(name, Qt::CaseInsensitive) == 0) {
            it->stored = written(lineText(*it->name, value), it->stored.end);
            it->value = value;
            return;
        }
    }
    const std::size_t at = insertionPoint();
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                  Line{written(lineText(name, value)), true, name, value});
}

StoredLine RegDocument::written(const QString& text, QByteArray end) const {
    return {format_.encode(text), std::move(end), text, true};
}

StoredLine RegDocument::written(const QString& text) const {
    return written(text, format_.newline);
}

// Just after the last non-blank line of the key's last block, creating the block
// (and the file header) when the key is not there yet.
std::size_t RegDocument::insertionPoint() {
    for (std::size_t i = lines_.size(); i > 0; --i) {
        const Line& line = lines_[i - 1];
        if (line.inKey && !line.stored.text.trimmed().isEmpty()) return i;
    }
    if (lines_.empty()) lines_.push_back(Line{written(kHeader), false, std::nullopt, {}});
    if (!lines_.back().stored.text.trimmed().isEmpty()) {
        lines_.push_back(Line{written({}), false, std::nullopt, {}});
    }
    lines_.push_back(Line{written(u'[' + keyPath_ + u']'), true, std::nullopt, {}});
    return lines_.size();
}

QByteArray RegDocument::toBytes() const {
    QByteArray bytes = format_.byteOrderMark;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const StoredLine& line = lines_[i].stored;
        // A last line without an end gets one when lines were added after it.
        const bool endless = line.end.isEmpty() && i + 1 < lines_.size();
        bytes.append(line.bytes).append(endless ? format_.newline : line.end);
    }
    return bytes.append(tail_);
}

}  // namespace pavo
