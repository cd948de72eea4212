// The saved form of a grid's column set (grid.ini): every column in display order with its field,
// width, visibility, title caption, alignment, font and colour, and its own alignment, colour,
// font, pick list and read-only state.
#pragma once

#include "TColumn.h"

#include <QByteArray>
#include <QList>
#include <optional>

namespace GridLayout {

QByteArray save(const QList<TColumn> &columns);
// The stored column set, or nothing when the bytes are not a complete, valid one: widths are
// whole numbers from 0 up, alignments hold alignment flags only.
std::optional<QList<TColumn>> load(const QByteArray &bytes);

} // namespace GridLayout
