// Reading a skin file's style sheet (QtCore only): UTF-8, or code page 1251 when the bytes are
// not valid UTF-8. A file larger than the limit is no skin and is not read: at most one byte past
// the limit is taken from it, so a file that grows while it is read changes nothing.
#pragma once

#include <QString>
#include <optional>

class QIODevice;

namespace SkinSheet {

// The largest skin read (a style sheet of more would only stall every window).
constexpr qint64 MaxBytes = 1024 * 1024;

// The style sheet in an open device, read from its current position; nothing when it holds more
// than limit bytes or cannot be read.
std::optional<QString> read(QIODevice &device, qint64 limit = MaxBytes);

} // namespace SkinSheet
