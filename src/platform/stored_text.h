#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace pavo {

// How a text file stores its characters. The registry editor exports UTF-16LE with a
// byte-order mark; a file edited by hand is mostly UTF-8.
enum class TextEncoding { Utf8, Utf16LE, Utf16BE };

// How a text file is written: its encoding, the byte-order mark it starts with (empty
// when none) and the line end that new lines take, already encoded.
struct TextFormat {
    TextEncoding encoding = TextEncoding::Utf8;
    QByteArray byteOrderMark;
    QByteArray newline = "\n";

    [[nodiscard]] QByteArray encode(const QString& text) const;
};

// One line of a text file as it is stored: joined back, the lines give the file's exact
// bytes, whatever the text read from them.
struct StoredLine {
    QByteArray bytes;   // the line without its end
    QByteArray end;     // its line end as stored; empty for a last line that has none
    QString text;       // the characters read from `bytes`
    bool exact = true;  // false when `bytes` are not valid in the encoding: `text` is then
                        // only an approximation, and writing it would change the line
};

struct StoredText {
    TextFormat format;
    std::vector<StoredLine> lines;
    QByteArray tail;  // a last odd byte of a UTF-16 file, which no line can hold
};

// Splits a file into lines. A byte-order mark tells UTF-16 in either byte order, or
// UTF-8; without one the file is read as UTF-8. New lines take the end of the file's
// first line (LF or CRLF), or LF when it has none.
StoredText readStoredText(const QByteArray& file);

}  // namespace pavo
