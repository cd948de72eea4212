// libFuzzer target: the readers of the program's small text files, the export statement and the
// text of a row paste. The first byte chooses the reader; each must return or fail with a
// DaoError, never crash or hang:
// - the settings file (set.dll): read, then written and read again to the same values;
// - the main menu's caption file (Menu.set): every caption it gives comes from one of its lines;
// - the export statement: parsed or refused; a parsed one names a known kind;
// - the grid layout (grid.ini): a layout read keeps its values within the reader's bounds, and
//   written and read again gives the same columns;
// - a skin file: the next byte sets a limit; no more than one byte past it is taken, a longer
//   text is refused, a shorter one comes back whole as valid text;
// - the row paste: the lines and cells hold every character but the dropped ones, in order and
//   only once; no cell holds a separator; the breaks match the CRs; cells copied out again paste
//   back the same; the numbers and dates the cells give survive a copy and a paste;
// - a delimited text file to import: read in the format told from its bytes, or refused; the
//   records written again with every cell quoted read back the same;
// - a workbook to import (xlsx and ods from memory, xls through a file): every sheet read to its
//   end, or refused; cells hold only the readers' types (no empty text, no invalid date), and the
//   ods and xls readers' row numbers only grow;
// - a compatibility text: its entries' years in order, and each entry read again the same.
#include "base/Clock.h"
#include "base/DaoError.h"
#include "files/ExportStatement.h"
#include "fitment/CompatibilityText.h"
#include "import/DelimitedText.h"
#include "import/OdsReader.h"
#include "import/XlsReader.h"
#include "import/XlsxReader.h"
#include "GridLayout.h"
#include "MenuCaptions.h"
#include "PasteText.h"
#include "base/Regional.h"
#include "SettingsFile.h"
#include "SkinSheet.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QTemporaryFile>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

[[noreturn]] void violation(const char *what, const QString &detail)
{
    std::fprintf(stderr, "fuzz_files: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

void settings(const QByteArray &bytes)
{
    const SettingsFile::Values v = SettingsFile::read(SettingsFile::splitLines(bytes), SettingsFile::Values());
    const SettingsFile::Values again = SettingsFile::read(SettingsFile::splitLines(SettingsFile::bytes(v)), SettingsFile::Values());
    // Texts holding a line break cannot survive one line each: compare the rest.
    const auto flat = [](const QString &s) { return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r')); };
    if (!flat(v.database) && !flat(v.daoVersion) && !flat(v.archiveCount) && !flat(v.skinPath) && !(again == v))
        violation("settings written and read again differ", QString::fromUtf8(bytes.toHex()));
}

void captions(const QByteArray &bytes)
{
    const QHash<QString, QString> c = MenuCaptions::parse(bytes);
    for (auto it = c.cbegin(); it != c.cend(); ++it) {
        if (it.key().contains(QLatin1Char('=')) || it.key().contains(QLatin1Char('\n')) || it.key().contains(QLatin1Char('\r')))
            violation("a caption name holds a separator", it.key());
        if (it.value().contains(QLatin1Char('\n')) || it.value().contains(QLatin1Char('\r')))
            violation("a caption holds a line break", it.value());
    }
}

void exportStatement(const QByteArray &bytes)
{
    try {
        const ExportStatement s = ExportStatement::parse(QString::fromUtf8(bytes));
        if (s.kind != ExportStatement::Text && s.kind != ExportStatement::Html && s.kind != ExportStatement::Spreadsheet)
            violation("an export of no known kind", QString::fromUtf8(bytes));
        (void)s.outputPath();
    } catch (const DaoError &) {
        // refused: fine
    }
}

QString columnText(const TColumn &c)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9|%10|%11|%12")
        .arg(c.FieldName, c.Title, QString::number(c.Width), QString::number(c.Visible), QString::number(int(c.Alignment)),
             QString::number(int(c.TitleAlignment)), c.TitleFont.toString(), c.TitleColor.name(QColor::HexArgb), c.Font.toString(),
             c.Color.name(QColor::HexArgb), c.PickList.items().join(QLatin1Char(',')), QString::number(c.ReadOnly));
}

// Fonts as the file writes them: QFont keeps its spacings as floats, the text only six digits of them.
bool sameColumn(const TColumn &a, const TColumn &b)
{
    return a.FieldName == b.FieldName && a.Title == b.Title && a.Width == b.Width && a.Visible == b.Visible
        && a.Alignment == b.Alignment && a.TitleAlignment == b.TitleAlignment && a.TitleFont.toString() == b.TitleFont.toString()
        && a.TitleColor == b.TitleColor && a.Font.toString() == b.Font.toString() && a.Color == b.Color && a.PickList.items() == b.PickList.items()
        && a.ReadOnly == b.ReadOnly;
}

void gridLayout(const QByteArray &bytes)
{
    const std::optional<QList<TColumn>> cols = GridLayout::load(bytes);
    if (!cols)
        return;
    for (const TColumn &c : *cols) {
        if (c.Width < 0)
            violation("a column width out of bounds", columnText(c));
        if ((c.Alignment | c.TitleAlignment) & ~(Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask))
            violation("an alignment with other flags", columnText(c));
    }
    const std::optional<QList<TColumn>> again = GridLayout::load(GridLayout::save(*cols));
    if (!again)
        violation("a layout written is not read again", QString::fromUtf8(bytes.toHex()));
    if (again->size() != cols->size())
        violation("a layout written and read again has other columns", QString::fromUtf8(bytes.toHex()));
    for (qsizetype i = 0; i < cols->size(); ++i)
        if (!sameColumn(cols->at(i), again->at(i)))
            violation("a column written and read again differs", columnText(cols->at(i)) + QLatin1Char('\n') + columnText(again->at(i)));
}

void skin(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const qint64 limit = qint64(uchar(bytes.at(0))) * 32;
    QByteArray content = bytes.mid(1);
    QBuffer device(&content);
    device.open(QIODevice::ReadOnly);
    const std::optional<QString> sheet = SkinSheet::read(device, limit);
    if (device.pos() > limit + 1)
        violation("a skin read past its limit", QString::number(device.pos()));
    if (!sheet) {
        if (content.size() <= limit)
            violation("a skin within the limit refused", QString::fromUtf8(bytes.toHex()));
        return;
    }
    if (content.size() > limit)
        violation("a skin over the limit taken", QString::fromUtf8(bytes.toHex()));
    if (!QStringView(*sheet).isValidUtf16())
        violation("a skin read as no valid text", QString::fromUtf8(bytes.toHex()));
    // UTF-8 comes back byte for byte; anything else is one character a byte (code page 1251).
    if (QString::fromUtf8(content).toUtf8() == content ? sheet->toUtf8() != content : sheet->size() != content.size())
        violation("a skin lost or gained text", QString::fromUtf8(bytes.toHex()));
}

bool dropped(QChar c) { return c.unicode() <= 27 && c != QLatin1Char('\t') && c != QLatin1Char('\r'); }

void paste(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    const QList<PasteText::Line> lines = PasteText::split(text);

    // Put back together: the text without the dropped characters, but for a last empty cell
    // after a TAB, which is no cell.
    QString kept;
    for (QChar c : text)
        if (!dropped(c))
            kept += c;
    QString rebuilt;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const PasteText::Line &l = lines.at(i);
        if (!l.ended && i != lines.size() - 1)
            violation("a line without a break before the last", QString::fromUtf8(bytes.toHex()));
        if (l.cells.isEmpty())
            violation("a line without cells", QString::fromUtf8(bytes.toHex()));
        for (const QString &cell : l.cells)
            for (QChar c : cell)
                if (c.unicode() <= 27)
                    violation("a cell holds a separator or a control character", QString::fromUtf8(bytes.toHex()));
        rebuilt += l.cells.join(QLatin1Char('\t'));
        if (l.ended)
            rebuilt += QLatin1Char('\r');
    }
    if ((kept.endsWith(QLatin1Char('\t')) ? rebuilt + QLatin1Char('\t') : rebuilt) != kept)
        violation("the cells are not the text", QString::fromUtf8(bytes.toHex()));

    // Each CR ends one line; the paste moves on a row when anything but LF follows it.
    qsizetype ended = 0;
    qsizetype from = 0;
    for (const PasteText::Line &l : lines) {
        if (!l.ended) {
            if (l.nextRow)
                violation("a line without a break moves on a row", QString::fromUtf8(bytes.toHex()));
            continue;
        }
        const qsizetype cr = text.indexOf(QLatin1Char('\r'), from);
        if (cr < 0)
            violation("more breaks than CRs", QString::fromUtf8(bytes.toHex()));
        from = cr + 1;
        ++ended;
        bool more = false;
        for (qsizetype j = cr + 1; j < text.size() && !more; ++j)
            more = text.at(j) != QLatin1Char('\n');
        if (l.nextRow != more)
            violation("a row step that does not match the text after the break", QString::fromUtf8(bytes.toHex()));
    }
    if (ended != text.count(QLatin1Char('\r')))
        violation("fewer breaks than CRs", QString::fromUtf8(bytes.toHex()));

    // The cells copied out as the row copy writes them paste back the same, every line but the last
    // moving on a row.
    QString copied;
    for (const PasteText::Line &l : lines)
        copied += l.cells.join(QLatin1Char('\t')) + QStringLiteral("\r\n");
    const QList<PasteText::Line> back = PasteText::split(copied);
    if (back.size() != lines.size())
        violation("copied lines paste back as others", copied);
    for (qsizetype i = 0; i < back.size(); ++i)
        if (back.at(i).cells != lines.at(i).cells || !back.at(i).ended || back.at(i).nextRow != (i < back.size() - 1))
            violation("a copied line pastes back otherwise", copied);

    // The values of the first cells, and those values copied out and pasted again.
    const int year = Clock::today().year();
    int converted = 0;
    for (const PasteText::Line &l : lines) {
        for (const QString &cell : l.cells) {
            if (++converted > 16)
                return;
            const qint32 n = PasteText::wholeNumber(cell);
            if (PasteText::wholeNumber(QString::number(n)) != n)
                violation("a whole number copied and pasted differs", cell);
            const double x = PasteText::number(cell);
            if (!std::isfinite(x))
                violation("a number that is none", cell);
            const double y = PasteText::number(regional::formatNumber(x));
            if (std::fabs(y - x) > std::fabs(x) * 1e-14)
                violation("a number copied and pasted differs", cell + QLatin1Char('|') + regional::formatNumber(x));
            const QDateTime d = PasteText::dateTime(cell);
            // Two-digit years come back within fifty years of today only.
            if (!d.isValid() || std::abs(d.date().year() - year) >= 49)
                continue;
            const QDateTime midnight(d.date(), QTime(0, 0));
            const QString asDate = regional::locale().toString(d.date(), regional::shortDateFormat());
            if (PasteText::dateTime(asDate) != midnight || PasteText::dateTime(regional::formatDateTime(d)) != midnight)
                violation("a date copied and pasted differs", cell + QLatin1Char('|') + regional::formatDateTime(d));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The program's own locale; a zone without daylight saving keeps every midnight valid.
    qputenv("TZ", "UTC");
    tzset();
    regional::setLocale(QLocale(QLocale::Bulgarian, QLocale::Bulgaria));
    // Readers warn about what they refuse (fonts above all); the fuzzer needs none of it.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

QList<QVariantList> delimitedRecords(const QByteArray &bytes, delimitedtext::Format format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    DelimitedTextReader reader(&buffer, format);
    QList<QVariantList> out;
    QVariantList cells;
    while (reader.next(cells))
        out << cells;
    return out;
}

void delimitedText(const QByteArray &bytes)
{
    QList<QVariantList> records;
    delimitedtext::Format format;
    try {
        format = delimitedtext::detect(bytes.left(4096));
        records = delimitedRecords(bytes, format);
    } catch (const DaoError &) {
        return; // refused: fine
    }
    QByteArray again;
    for (const QVariantList &r : std::as_const(records)) {
        QStringList cells;
        for (const QVariant &c : r)
            cells << QLatin1Char('"') + c.toString().replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        again += cells.join(format.delimiter).toUtf8() + "\r\n";
    }
    format.encoding = delimitedtext::Encoding::Utf8;
    if (delimitedRecords(again, format) != records)
        violation("delimited records written again read back otherwise", QString::fromUtf8(bytes.toHex()));
}

enum class Book { Xlsx, Ods, Xls };

void workbook(const QByteArray &bytes, Book kind)
{
    try {
        std::unique_ptr<SheetReader> reader;
        if (kind == Book::Xlsx)
            reader = std::make_unique<XlsxReader>(bytes, QStringLiteral("fuzz.xlsx"));
        else if (kind == Book::Ods)
            reader = std::make_unique<OdsReader>(bytes, QStringLiteral("fuzz.ods"));
        else {
            // libfreexl reads files only: one file, written again for each input. The limits
            // scaled down, or one input might keep the library busy for seconds.
            static QTemporaryFile file;
            if (!file.isOpen() && !file.open())
                violation("no temporary file", file.errorString());
            file.resize(0);
            file.seek(0);
            file.write(bytes);
            file.flush();
            reader = std::make_unique<XlsReader>(file.fileName(), XlsLimits{qint64(1) << 20, 1 << 20, qint64(1) << 28});
        }
        for (int s = 0; s < reader->sheets().size(); ++s) {
            reader->select(s);
            qint64 last = 0;
            QVariantList cells;
            while (reader->next(cells)) {
                if (kind != Book::Xlsx && reader->row() <= last) // an xlsx sheet numbers its rows itself
                    violation("a row read again or out of order", QString::number(reader->row()));
                last = reader->row();
                for (const QVariant &c : std::as_const(cells)) {
                    const int type = c.typeId();
                    if (c.isValid() && type != QMetaType::Double && type != QMetaType::Bool
                        && !(type == QMetaType::QString && !c.toString().isEmpty())
                        && !(type == QMetaType::QDateTime && c.toDateTime().isValid()))
                        violation("a cell of no reader's type", QString::fromLatin1(c.typeName()) + QLatin1Char(' ') + c.toString());
                }
            }
        }
    } catch (const DaoError &) {
        // refused: fine
    }
}

// A compatibility text: every entry's years in order, and each entry read again from its own
// text among what that gives.
void compatibilityText(const QByteArray &bytes)
{
    using compatibility::Entry;
    const QStringList makes{QStringLiteral("Alfa Romeo"), QStringLiteral("Land Rover")};
    for (const Entry &e : compatibility::parse(QString::fromUtf8(bytes), makes)) {
        if (e.years == Entry::Years::Given && e.from && e.to && e.from > e.to)
            violation("years out of order", e.text);
        if (e.text.contains(QLatin1Char(';')) || e.text.contains(QLatin1Char('\n')))
            violation("an entry holds a separator", e.text);
        bool found = false;
        for (const Entry &again : compatibility::parse(e.text, makes))
            found = found || (again.make == e.make && again.model == e.model && again.years == e.years && again.from == e.from
                              && again.to == e.to);
        if (!found)
            violation("an entry read again differs", e.text);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 11) {
    case 0:
        settings(bytes);
        break;
    case 1:
        captions(bytes);
        break;
    case 2:
        exportStatement(bytes);
        break;
    case 3:
        gridLayout(bytes);
        break;
    case 4:
        skin(bytes);
        break;
    case 5:
        paste(bytes);
        break;
    case 6:
        delimitedText(bytes);
        break;
    case 7:
        workbook(bytes, Book::Xlsx);
        break;
    case 8:
        workbook(bytes, Book::Ods);
        break;
    case 9:
        workbook(bytes, Book::Xls);
        break;
    default:
        compatibilityText(bytes);
        break;
    }
    return 0;
}
