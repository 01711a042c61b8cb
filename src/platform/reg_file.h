#pragma once

#include "platform/stored_text.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace pavo {

// Value types, numbered as the registry numbers them.
enum RegType : std::uint32_t { RegSz = 1, RegBinary = 3, RegDword = 4 };

// One stored value: its type and its bytes exactly as the registry would hold them
// (a REG_SZ is UTF-16LE with its terminating null, a REG_DWORD 4 little-endian bytes).
struct RegValue {
    std::uint32_t type = RegBinary;
    QByteArray data;
    bool operator==(const RegValue&) const = default;
};

RegValue dwordValue(std::int32_t number);
RegValue flagValue(bool on);
RegValue textValue(const QString& text);

// A file in registry-export syntax ("Windows Registry Editor Version 5.00", [key]
// headers, "name"=value lines). It is kept line by line, each as its bytes: a rewrite
// replaces only the lines of the values it sets, so comments, other keys, unknown types
// and lines it cannot read survive byte for byte, and the file keeps its encoding and
// line ends (see readStoredText).
class RegDocument {
  public:
    // Reads as much as is valid; a line that cannot be read, or whose bytes are not
    // valid in the file's encoding, is kept as it is stored and ignored.
    static RegDocument parse(const QByteArray& file, const QString& keyPath);

    // The value of that name inside the key (names compare without regard to case,
    // a later line overriding an earlier one).
    [[nodiscard]] std::optional<RegValue> value(const QString& name) const;
    void setValue(const QString& name, const RegValue& value);
    // The lines it did not set as they were read; lines set or added in the file's
    // encoding, added ones ending as the file's first line does.
    [[nodiscard]] QByteArray toBytes() const;

  private:
    struct Line {
        StoredLine stored;
        bool inKey = false;
        std::optional<QString> name;  // set when the line is a value of the key
        RegValue value;
    };

    [[nodiscard]] StoredLine written(const QString& text, QByteArray end) const;
    [[nodiscard]] StoredLine written(const QString& text) const;
    [[nodiscard]] std::size_t insertionPoint();

    QString keyPath_;
    TextFormat format_;
    std::vector<Line> lines_;
    QByteArray tail_;
};

}  // namespace pavo
