#include "platform/stored_text.h"

#include <array>
#include <utility>

namespace pavo {
namespace {

struct ByteOrderMark {
    QByteArrayView bytes;
    TextEncoding encoding = TextEncoding::Utf8;
};

// The marks a file may start with; a UTF-8 file without one matches none.
constexpr std::array<ByteOrderMark, 3> kByteOrderMarks{{
    {"\xef\xbb\xbf", TextEncoding::Utf8},
    {"\xff\xfe", TextEncoding::Utf16LE},
    {"\xfe\xff", TextEncoding::Utf16BE},
}};

TextFormat formatOf(const QByteArray& file) {
    for (const auto& mark : kByteOrderMarks) {
        if (file.startsWith(mark.bytes)) return {mark.encoding, mark.bytes.toByteArray(), {}};
    }
    return {TextEncoding::Utf8, {}, {}};
}

qsizetype unitSize(TextEncoding encoding) {
    return encoding == TextEncoding::Utf8 ? 1 : 2;
}

// The code unit at `at`: a byte in UTF-8, two bytes in the file's byte order in UTF-16.
char16_t unitAt(const QByteArray& bytes, qsizetype at, TextEncoding encoding) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    switch (encoding) {
        case TextEncoding::Utf8:
            return byte(at);
        case TextEncoding::Utf16LE:
            return static_cast<char16_t>(byte(at) | (byte(at + 1) << 8));
        case TextEncoding::Utf16BE:
            return static_cast<char16_t>((byte(at) << 8) | byte(at + 1));
    }
    return 0;
}

// The line's text and whether writing that text back gives the same bytes.
StoredLine storedLine(QByteArray bytes, QByteArray end, TextEncoding encoding) {
    StoredLine line{std::move(bytes), std::move(end), {}, true};
    if (encoding == TextEncoding::Utf8) {
        line.text = QString::fromUtf8(line.bytes);  // invalid bytes read as U+FFFD
        line.exact = line.text.toUtf8() == line.bytes;
        return line;
    }
    for (qsizetype at = 0; at < line.bytes.size(); at += 2) {
        line.text.append(QChar(unitAt(line.bytes, at, encoding)));
    }
    line.exact = QStringView(line.text).isValidUtf16();  // no unpaired surrogate
    return line;
}

}  // namespace

QByteArray TextFormat::encode(const QString& text) const {
    if (encoding == TextEncoding::Utf8) return text.toUtf8();
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        const auto high = static_cast<char>(c.unicode() >> 8);
        const auto low = static_cast<char>(c.unicode() & 0xFF);
        bytes.append(encoding == TextEncoding::Utf16LE ? low : high);
        bytes.append(encoding == TextEncoding::Utf16LE ? high : low);
    }
    return bytes;
}

StoredText readStoredText(const QByteArray& file) {
    StoredText text{formatOf(file), {}, {}};
    const TextEncoding encoding = text.format.encoding;
    const qsizetype unit = unitSize(encoding);
    const qsizetype begin = text.format.byteOrderMark.size();
    const qsizetype end = begin + (file.size() - begin) / unit * unit;
    text.tail = file.mid(end);
    text.format.newline = text.format.encode(QStringLiteral("\n"));

    qsizetype lineStart = begin;
    for (qsizetype at = begin; at < end; at += unit) {
        if (unitAt(file, at, encoding) != u'\n') continue;
        qsizetype lineEnd = at;
        if (lineEnd > lineStart && unitAt(file, lineEnd - unit, encoding) == u'\r') {
            lineEnd -= unit;
        }
        QByteArray lineEndBytes = file.mid(lineEnd, at + unit - lineEnd);
        if (text.lines.empty()) text.format.newline = lineEndBytes;
        text.lines.push_back(storedLine(file.mid(lineStart, lineEnd - lineStart),
                                        std::move(lineEndBytes), encoding));
        lineStart = at + unit;
    }
    if (lineStart < end) {
        text.lines.push_back(storedLine(file.mid(lineStart, end - lineStart), {}, encoding));
    }
    return text;
}

}  // namespace pavo
