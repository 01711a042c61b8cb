#pragma once

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
// headers, "name"=value lines). It is kept line by line: a rewrite replaces only the
// lines of the values it sets, so comments, other keys, unknown types and lines it
// cannot read survive unchanged.
class RegDocument {
  public:
    // Reads as much as is valid; a line that cannot be read is kept as text and ignored.
    static RegDocument parse(const QString& text, const QString& keyPath);

    // The value of that name inside the key (names compare without regard to case,
    // a later line overriding an earlier one).
    [[nodiscard]] std::optional<RegValue> value(const QString& name) const;
    void setValue(const QString& name, const RegValue& value);
    [[nodiscard]] QString toText() const;

  private:
    struct Line {
        QString text;
        bool inKey = false;
        std::optional<QString> name;  // set when the line is a value of the key
        RegValue value;
    };

    [[nodiscard]] std::size_t insertionPoint();

    QString keyPath_;
    std::vector<Line> lines_;
};

}  // namespace pavo
