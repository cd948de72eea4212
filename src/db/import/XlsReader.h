// Excel 97-2003 workbooks (xls, also Excel 5/95) through libfreexl. Text cells are text, numbers
// are numbers, cells in a date or time format are dates (a time alone on the day the xlsx reader
// gives it); booleans come as the numbers 1 and 0 and formulas as empty cells, as the library
// gives them. Rows without a value are skipped. The library reads the whole workbook on opening:
// what that would cost is measured first (XlsScan) and a file over the limits is refused.
#pragma once

#include "import/SheetReader.h"

#include <memory>

// What opening an xls file may cost libfreexl.
struct XlsLimits
{
    qint64 fileBytes = qint64(256) << 20;
    // The cells of all the sheets' grids together: one sheet of the format's greatest size.
    qint64 cells = qint64(65536) * 256;
    // The days the library counts out for the date cells: some 5 s of its time (a date of today
    // costs some 46 000).
    qint64 dateDays = qint64(1) << 33;
};

class XlsReader : public SheetReader
{
public:
    // Raises for a file that is no readable workbook, is encrypted or is over the limits.
    explicit XlsReader(const QString &path, const XlsLimits &limits = XlsLimits());
    ~XlsReader() override;
    XlsReader(const XlsReader &) = delete;
    XlsReader &operator=(const XlsReader &) = delete;

    QStringList sheets() override { return mNames; }
    void select(int sheet) override;
    bool next(QVariantList &cells) override;
    qint64 row() const override { return mRow; }

private:
    [[noreturn]] void fail(const QString &why) const;
    QVariant cell(unsigned row, unsigned short column) const;

    QString mPath;
    struct Book;
    std::unique_ptr<Book> mBook;
    QStringList mNames;
    bool m1904 = false;
    unsigned mRows = 0;
    unsigned short mColumns = 0;
    unsigned mNext = 0; // the next row to read, from 0
    qint64 mRow = 0;
};
