#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class QWidget;

namespace pavo::qt {

// The Go-to dialog: "Go to file", the position (digits only, right-aligned), "/" and
// the count (read-only), OK and Cancel; centred over its owner. The text left in the
// position field, or nothing on Cancel.
std::optional<QString> runGoToDialog(QWidget* owner, std::int32_t position, std::int32_t count);

}  // namespace pavo::qt
