// The xlsx export workbook.
#include "files/SpreadsheetExportWriter.h"

#include "base/DaoError.h"
#include "base/Regional.h"
#include "base/StoredDateTime.h"
#include "files/ExportSelection.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <xlsxwriter.h>

int SpreadsheetExportWriter::write(ExportSelection &sel, const QString &path)
{
    // The library prints numbers with the C library: "10.5", never a regional "10,5".
    const regional::CNumbers cNumbers;
    // Constant memory: rows go to a temporary file of the library's in the destination's folder.
    const QByteArray file = QFile::encodeName(path);
    const QByteArray tmpdir = QFile::encodeName(QFileInfo(path).absolutePath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char *>(tmpdir.constData());
    lxw_workbook *book = workbook_new_opt(file.constData(), &options);
    if (!book)
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде създаден.").arg(path));
    const QByteArray sheet = mSheetName.left(31).toUtf8();
    lxw_worksheet *ws = workbook_add_worksheet(book, sheet.isEmpty() ? nullptr : sheet.constData());
    lxw_format *dateFormat = workbook_add_format(book);
    format_set_num_format(dateFormat, "dd.mm.yyyy hh:mm:ss");
    lxw_format *bold = workbook_add_format(book);
    format_set_bold(bold);
    if (!ws) {
        workbook_close(book);
        throw DaoError(QStringLiteral("Листът \"%1\" не може да бъде създаден.").arg(mSheetName));
    }
    const int columns = sel.columnCount();
    for (int c = 0; c < columns; ++c)
        worksheet_write_string(ws, 0, lxw_col_t(c), sel.name(c).toUtf8().constData(), bold);
    DbStatement &st = sel.rows();
    lxw_row_t row = 0;
    int rows = 0;
    while (st.step()) {
        ++row;
        if (row >= LXW_ROW_MAX) {
            workbook_close(book);
            throw DaoError(QStringLiteral("Редовете са повече, отколкото събира един лист."));
        }
        for (int c = 0; c < columns; ++c) {
            if (st.columnIsNull(c))
                continue;
            const lxw_col_t col = lxw_col_t(c);
            switch (sel.type(c)) {
            case ExportSelection::Type::Integer:
            case ExportSelection::Type::Number:
                if (const double v = st.column(c).toDouble(); !std::isnan(v))
                    worksheet_write_number(ws, row, col, v, nullptr);
                break;
            case ExportSelection::Type::Boolean:
                worksheet_write_boolean(ws, row, col, st.columnInt64(c) != 0, nullptr);
                break;
            case ExportSelection::Type::DateTime: {
                const QDateTime d = storedtime::parse(QString::fromUtf8(st.columnText(c)));
                if (d.isValid()) {
                    lxw_datetime dt{d.date().year(), d.date().month(), d.date().day(), d.time().hour(), d.time().minute(),
                                    double(d.time().second())};
                    worksheet_write_datetime(ws, row, col, &dt, dateFormat);
                    break;
                }
                [[fallthrough]];
            }
            case ExportSelection::Type::Text: {
                const QByteArrayView v = st.columnText(c);
                worksheet_write_string(ws, row, col, QByteArray(v.data(), v.size()).constData(), nullptr);
                break;
            }
            }
        }
        ++rows;
    }
    const lxw_error err = workbook_close(book);
    if (err != LXW_NO_ERROR)
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде записан: %2").arg(path, QString::fromUtf8(lxw_strerror(err))));
    return rows;
}
