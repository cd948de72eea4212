// An import file by its kind: told from its name, opened with the reader of that kind, and the
// refused rows of an import written back in a file of the same kind with a column "Причина".
#pragma once

#include "import/DelimitedText.h"
#include "import/SheetReader.h"

#include <QHash>
#include <memory>

namespace sheetfile {

enum class Kind { Text, Xlsx, Xls, Ods, Unknown };

// From the file name's extension: csv/tsv/txt, xlsx/xlsm, xls, ods.
Kind kindOf(const QString &path);
// The open-file dialog's filter of the files an import reads.
QString openFilter();

// Opens path as kind; text is read in format. Raises DaoError with a message for the user.
std::unique_ptr<SheetReader> open(const QString &path, Kind kind, const delimitedtext::Format &format = {});

// The file the refused rows are saved to: text stays text (in format); a workbook of any kind
// becomes xlsx, the one workbook format written here.
QString refusedFilter(Kind kind);
// Writes the heading row (when headingRow > 0) and the rows of source (read anew from its first
// row, sheet already selected) whose numbers are keys of reasons, each with its reason in the
// column after the sheet's columns (at least columns of them), to path; the heading gets
// "Причина" there. Replaces path only once it is complete. The rows written.
qint64 writeRefused(SheetReader &source, int headingRow, int columns, const QHash<qint64, QString> &reasons,
                    const QString &path, Kind kind, const delimitedtext::Format &format = {});

} // namespace sheetfile
