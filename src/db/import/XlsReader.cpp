// Excel 97-2003 workbooks.
#include "import/XlsReader.h"

#include "base/DaoError.h"
#include "import/XlsScan.h"

#include <QDateTime>
#include <QFile>
#include <freexl.h>

namespace {

// Seconds of an "HH:MM:SS" text (the library may round a time up to 24:00:00); -1 for none.
int secondsOf(QStringView text)
{
    const QList<QStringView> parts = text.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return -1;
    bool ok[3] = {};
    const int h = parts.at(0).toInt(&ok[0]), m = parts.at(1).toInt(&ok[1]), s = parts.at(2).toInt(&ok[2]);
    return ok[0] && ok[1] && ok[2] ? h * 3600 + m * 60 + s : -1;
}

} // namespace

struct XlsReader::Book
{
    const void *handle = nullptr;
    ~Book()
    {
        if (handle)
            freexl_close(handle);
    }
};

XlsReader::XlsReader(const QString &path, const XlsLimits &limits) : mPath(path), mBook(std::make_unique<Book>())
{
    const QString notWorkbook = QStringLiteral("Файлът \"%1\" не е работна книга на Excel (xls) или е повреден.").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде отворен: %2").arg(path, file.errorString()));
    if (file.size() > limits.fileBytes)
        fail(QStringLiteral("той е %1 MB (най-много %2 MB)").arg(file.size() >> 20).arg(limits.fileBytes >> 20));
    xlsscan::Cost cost;
    try {
        cost = xlsscan::scan(file);
    } catch (xlsscan::Refusal r) {
        if (r == xlsscan::Refusal::NotWorkbook)
            throw DaoError(notWorkbook);
        if (r == xlsscan::Refusal::Encrypted)
            fail(QStringLiteral("защитен е с парола; махнете паролата в Excel или LibreOffice и го запишете отново"));
        if (r == xlsscan::Refusal::SheetWithoutSize)
            fail(QStringLiteral("има лист без размери (диаграма?); махнете го или запишете книгата отново или като xlsx"));
        fail(QStringLiteral("повреден е"));
    }
    file.close();
    if (cost.cells > limits.cells)
        fail(QStringLiteral("листовете му заемат общо %1 клетки (най-много %2)").arg(cost.cells).arg(limits.cells));
    if (cost.days > limits.dateDays)
        fail(QStringLiteral("датите в него са твърде много или са след 9999 г."));

    switch (freexl_open(QFile::encodeName(path).constData(), &mBook->handle)) {
    case FREEXL_OK:
        break;
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
    case FREEXL_BIFF_INVALID_BOF:
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        throw DaoError(notWorkbook);
    case FREEXL_INSUFFICIENT_MEMORY:
        fail(QStringLiteral("твърде голям е"));
    case FREEXL_UNSUPPORTED_CHARSET:
        fail(QStringLiteral("текстът му е в кодова таблица, която не се поддържа"));
    case FREEXL_INVALID_CHARACTER:
        fail(QStringLiteral("в текста му има знаци извън кодовата му таблица"));
    default:
        fail(QStringLiteral("повреден е"));
    }
    unsigned info = 0;
    if (freexl_get_info(mBook->handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
        fail(QStringLiteral("защитен е с парола; махнете паролата в Excel или LibreOffice и го запишете отново"));
    m1904 = freexl_get_info(mBook->handle, FREEXL_BIFF_DATEMODE, &info) == FREEXL_OK && info == FREEXL_BIFF_DATEMODE_1904;
    unsigned count = 0;
    freexl_get_info(mBook->handle, FREEXL_BIFF_SHEET_COUNT, &count);
    for (unsigned i = 0; i < count && i <= 0xFFFF; ++i) {
        const char *name = nullptr;
        mNames << (freexl_get_worksheet_name(mBook->handle, (unsigned short)i, &name) == FREEXL_OK && name ? QString::fromUtf8(name) : QString());
    }
    if (mNames.isEmpty())
        fail(QStringLiteral("работната книга няма листове"));
    select(0);
}

XlsReader::~XlsReader() = default;

void XlsReader::fail(const QString &why) const
{
    throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде прочетен: %2.").arg(mPath, why));
}

void XlsReader::select(int sheet)
{
    mRows = 0;
    mColumns = 0;
    if (sheet < 0 || sheet >= mNames.size() || freexl_select_active_worksheet(mBook->handle, (unsigned short)sheet) != FREEXL_OK
        || freexl_worksheet_dimensions(mBook->handle, &mRows, &mColumns) != FREEXL_OK)
        fail(QStringLiteral("листът не е намерен"));
    if (mColumns == 0) // no cells, however many rows the sheet claims
        mRows = 0;
    mNext = 0;
    mRow = 0;
}

QVariant XlsReader::cell(unsigned row, unsigned short column) const
{
    FreeXL_CellValue v;
    if (freexl_get_cell_value(mBook->handle, row, column, &v) != FREEXL_OK)
        fail(QStringLiteral("клетка на ред %1 не може да бъде прочетена").arg(row + 1));
    switch (v.type) {
    case FREEXL_CELL_INT:
        return double(v.value.int_value);
    case FREEXL_CELL_DOUBLE:
        return v.value.double_value;
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT: {
        const QString text = QString::fromUtf8(v.value.text_value);
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME: {
        // "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS"; a time alone falls on the day the
        // serial 0 stands for, as in the xlsx reader.
        const QString text = QString::fromUtf8(v.value.text_value);
        const QStringView date = v.type == FREEXL_CELL_TIME ? QStringView() : QStringView(text).left(10);
        const QStringView time = v.type == FREEXL_CELL_DATE ? QStringView(u"00:00:00") : QStringView(text).right(8);
        const QDate day = v.type == FREEXL_CELL_TIME ? (m1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 31))
                                                     : QDate::fromString(date.toString(), QStringLiteral("yyyy-MM-dd"));
        const int seconds = secondsOf(time);
        if (!day.isValid() || seconds < 0)
            return text; // past the year 9999
        return QDateTime(day, QTime(0, 0)).addSecs(seconds);
    }
    default:
        return QVariant();
    }
}

bool XlsReader::next(QVariantList &cells)
{
    cells.clear();
    while (mNext < mRows) {
        const unsigned r = mNext++;
        for (unsigned short c = 0; c < mColumns; ++c) {
            const QVariant v = cell(r, c);
            if (v.isValid()) {
                while (cells.size() < c)
                    cells.append(QVariant());
                cells.append(v);
            }
        }
        if (!cells.isEmpty()) {
            mRow = qint64(r) + 1;
            return true;
        }
    }
    return false;
}
