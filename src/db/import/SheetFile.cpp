// Import files by kind, and the refused rows written back.
#include "import/SheetFile.h"

#include "base/DaoError.h"
#include "base/FileReplacement.h"
#include "base/Regional.h"
#include "base/StoredDateTime.h"
#include "import/OdsReader.h"
#include "import/XlsReader.h"
#include "import/XlsxReader.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>
#include <xlsxwriter.h>

namespace sheetfile {

Kind kindOf(const QString &path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("csv") || ext == QLatin1String("tsv") || ext == QLatin1String("txt"))
        return Kind::Text;
    if (ext == QLatin1String("xlsx") || ext == QLatin1String("xlsm"))
        return Kind::Xlsx;
    if (ext == QLatin1String("xls"))
        return Kind::Xls;
    if (ext == QLatin1String("ods"))
        return Kind::Ods;
    return Kind::Unknown;
}

QString openFilter()
{
    return QStringLiteral("Таблици и текстови файлове (*.xlsx *.xlsm *.xls *.ods *.csv *.tsv *.txt);;Всички файлове (*)");
}

namespace {

// A workbook whose name says one kind and whose bytes say another (an xlsx saved as .xls) is read
// as its bytes say: a zip is an xlsx or, with its "mimetype" part first, an ods; an OLE compound
// file is an xls.
Kind byContent(const QString &path, Kind named)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return named;
    const QByteArray head = f.read(80);
    if (head.startsWith("PK\x03\x04"))
        return head.contains("application/vnd.oasis.opendocument.spreadsheet") ? Kind::Ods
               : named == Kind::Ods                                             ? Kind::Ods
                                                                                : Kind::Xlsx;
    if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return Kind::Xls;
    return named;
}

} // namespace

std::unique_ptr<SheetReader> open(const QString &path, Kind kind, const delimitedtext::Format &format)
{
    if (kind == Kind::Xlsx || kind == Kind::Xls || kind == Kind::Ods)
        kind = byContent(path, kind);
    switch (kind) {
    case Kind::Text:
        return std::make_unique<DelimitedTextReader>(path, format);
    case Kind::Xlsx:
        return std::make_unique<XlsxReader>(path);
    case Kind::Ods:
        return std::make_unique<OdsReader>(path);
    case Kind::Xls:
        return std::make_unique<XlsReader>(path);
    case Kind::Unknown:
        break;
    }
    throw DaoError(QStringLiteral("Файлът „%1“ не е от вид, който може да се вмъкне: очакват се xlsx, xls, ods, csv или txt.")
                       .arg(QFileInfo(path).fileName()));
}

QString refusedFilter(Kind kind)
{
    return kind == Kind::Text ? QStringLiteral("Текстови файлове (*.csv *.txt)") : QStringLiteral("Таблици Excel (*.xlsx)");
}

namespace {

bool isHeading(qint64 row, int headingRow) { return headingRow > 0 && row == headingRow; }

// A delimited cell, quoted when it must be.
QString quoted(const QVariant &cell, QChar delimiter)
{
    QString text = cell.typeId() == QMetaType::Double    ? regional::formatNumber(cell.toDouble())
                   : cell.typeId() == QMetaType::QDateTime ? regional::formatDateTime(cell.toDateTime())
                   : cell.typeId() == QMetaType::Bool      ? (cell.toBool() ? QStringLiteral("да") : QStringLiteral("не"))
                                                           : cell.toString();
    if (text.contains(delimiter) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n'))
        || text.contains(QLatin1Char('\r')))
        text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
    return text;
}

qint64 writeText(SheetReader &source, int headingRow, int columns, const QHash<qint64, QString> &reasons,
                 const QString &path, const delimitedtext::Format &format)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        throw DaoError(QStringLiteral("Файлът „%1“ не може да бъде създаден: %2").arg(path, out.errorString()));
    QStringEncoder encode(format.encoding == delimitedtext::Encoding::Utf8 ? "UTF-8" : "windows-1251");
    if (!encode.isValid())
        throw DaoError(QStringLiteral("Кодировката windows-1251 липсва."));
    qint64 written = 0;
    QVariantList cells;
    while (source.next(cells)) {
        const qint64 row = source.row();
        const bool heading = isHeading(row, headingRow);
        if (!heading && !reasons.contains(row))
            continue;
        QStringList line;
        for (const QVariant &c : std::as_const(cells))
            line << quoted(c, format.delimiter);
        while (line.size() < columns)
            line << QString(); // a row that ends early: the reason stays in its own column
        line << quoted(heading ? QStringLiteral("Причина") : reasons.value(row), format.delimiter);
        const QByteArray bytes = encode.encode(line.join(format.delimiter) + QStringLiteral("\r\n"));
        if (out.write(bytes) != bytes.size())
            throw DaoError(QStringLiteral("Файлът „%1“ не може да бъде записан: %2").arg(path, out.errorString()));
        if (!heading)
            ++written;
    }
    if (!out.commit())
        throw DaoError(QStringLiteral("Файлът „%1“ не може да бъде записан: %2").arg(path, out.errorString()));
    return written;
}

qint64 writeXlsx(SheetReader &source, int headingRow, int columns, const QHash<qint64, QString> &reasons, const QString &path)
{
    // The workbook is made beside, then put in place whole.
    FileReplacement replacement(path);
    const QString temp = replacement.temporaryPath();
    const regional::CNumbers cNumbers; // libxlsxwriter prints numbers with the C library's locale
    lxw_workbook *book = workbook_new(temp.toLocal8Bit().constData());
    if (!book)
        throw DaoError(QStringLiteral("Файлът „%1“ не може да бъде създаден.").arg(path));
    lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);
    lxw_format *date = workbook_add_format(book);
    format_set_num_format(date, "dd.mm.yyyy hh:mm:ss");
    qint64 written = 0;
    lxw_row_t at = 0;
    QVariantList cells;
    try {
        while (source.next(cells)) {
            const qint64 row = source.row();
            const bool heading = isHeading(row, headingRow);
            if (!heading && !reasons.contains(row))
                continue;
            while (cells.size() < columns)
                cells << QVariant(); // a row that ends early: the reason stays in its own column
            cells << (heading ? QStringLiteral("Причина") : reasons.value(row));
            for (qsizetype c = 0; c < cells.size(); ++c) {
                const QVariant &v = cells.at(c);
                const lxw_col_t col = lxw_col_t(c);
                if (v.typeId() == QMetaType::Double) {
                    worksheet_write_number(sheet, at, col, v.toDouble(), nullptr);
                } else if (v.typeId() == QMetaType::Bool) {
                    worksheet_write_boolean(sheet, at, col, v.toBool(), nullptr);
                } else if (v.typeId() == QMetaType::QDateTime) {
                    const QDateTime d = v.toDateTime();
                    lxw_datetime dt{d.date().year(), d.date().month(), d.date().day(), d.time().hour(), d.time().minute(),
                                    double(d.time().second())};
                    worksheet_write_datetime(sheet, at, col, &dt, date);
                } else if (v.isValid()) {
                    worksheet_write_string(sheet, at, col, v.toString().toUtf8().constData(), nullptr);
                }
            }
            ++at;
            if (!heading)
                ++written;
        }
    } catch (...) {
        workbook_close(book);
        throw;
    }
    if (workbook_close(book) != LXW_NO_ERROR)
        throw DaoError(QStringLiteral("Файлът „%1“ не може да бъде записан.").arg(path));
    replacement.commit();
    return written;
}

} // namespace

qint64 writeRefused(SheetReader &source, int headingRow, int columns, const QHash<qint64, QString> &reasons,
                    const QString &path, Kind kind, const delimitedtext::Format &format)
{
    return kind == Kind::Text ? writeText(source, headingRow, columns, reasons, path, format)
                              : writeXlsx(source, headingRow, columns, reasons, path);
}

} // namespace sheetfile
