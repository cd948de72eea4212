// The "Excel …;" export: an xlsx workbook (libxlsxwriter) with one worksheet named after the
// statement's target (its first 31 characters), a bold heading row of the column names, numbers
// and truth values as such, date-times as dates shown "dd.mm.yyyy hh:mm:ss", the rest as text.
// Raises DaoError when the rows are more than a worksheet holds.
#pragma once

#include "files/ExportWriter.h"

#include <utility>

class SpreadsheetExportWriter : public ExportWriter
{
public:
    explicit SpreadsheetExportWriter(QString sheetName) : mSheetName(std::move(sheetName)) {}
    int write(ExportSelection &selection, const QString &path) override;

private:
    QString mSheetName;
};
