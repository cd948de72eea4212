// A sheet of an import file, read one row after another: a spreadsheet's sheet or a delimited text
// file. Cells hold QString for text, double for numbers, QDateTime for dates and bool for
// yes/no; an empty cell is an invalid QVariant. A file that cannot be read raises DaoError with a
// message for the user that names the row.
#pragma once

#include <QStringList>
#include <QVariantList>

class SheetReader
{
public:
    virtual ~SheetReader() = default;

    // The sheets of a workbook by name; a text file has one.
    virtual QStringList sheets() = 0;
    // Starts reading sheet (an index into sheets()) from its first row.
    virtual void select(int sheet) = 0;
    // The next row's cells; false after the last row.
    virtual bool next(QVariantList &cells) = 0;
    // The number of the row last read, as the file counts its rows (from 1).
    virtual qint64 row() const = 0;
};
