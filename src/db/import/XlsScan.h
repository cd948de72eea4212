// What opening an Excel 97-2003 workbook would cost libfreexl, found before the library opens it.
// The library allocates the whole grid of every sheet while it opens a file and counts out a date's
// days one at a time, so a damaged or crafted file could make it allocate without end or spin for
// hours. This reads the compound file and its workbook stream as the library reads them (its
// quirks included) and adds up both costs, erring on the high side.
#pragma once

#include <QtGlobal>

class QIODevice;

namespace xlsscan {

enum class Refusal {
    NotWorkbook, // no compound file with a workbook stream of Excel 5 or later
    Damaged,     // one the library would misread
    Encrypted,
    // A sheet without its size (a DIMENSION record): with cells, or beside others (a chart, say),
    // the library fails on it or gives another sheet a new, empty grid and loses its cells.
    SheetWithoutSize,
};

struct Cost
{
    qint64 cells = 0; // the grid cells the library allocates
    qint64 days = 0;  // the days it counts for date cells
};

// Reads device (open for reading) from its start. Throws Refusal.
Cost scan(QIODevice &device);

} // namespace xlsscan
