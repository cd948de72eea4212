// The text of a row paste, as the row copy or a spreadsheet puts it on the clipboard: lines of
// cells, and the values the cells give to the fields they land in. Text rules only (QtCore).
//
// A CR ends a line, a TAB ends a cell; LF and the other characters below 28 are dropped, also
// inside a cell. Each CR ends the line's last cell too, empty or not; text after the last CR (or
// in a text with none) is a last line without a CR, whose last cell counts only when it is not
// empty. A line break is followed by another row of the grid only when some character other
// than LF comes after it, so the usual final CR LF adds no row.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace PasteText {

struct Line
{
    QStringList cells;
    bool ended = false;   // closed by a CR
    bool nextRow = false; // the paste goes on in the next row (only for an ended line)
};

QList<Line> split(const QString &text);

// A whole number within 32 bits; 0 for anything else.
qint32 wholeNumber(const QString &cell);
// A number in the regional form; 0 for anything else.
double number(const QString &cell);
// The regional date (and time) before the first " г." of the cell, or the whole cell without
// one; invalid when it is no date.
QDateTime dateTime(const QString &cell);

} // namespace PasteText
