// Export statements: composing and parsing them, and writing the selected rows as CSV, HTML or xlsx.
#include "files/ExportStatement.h"

#include "base/DaoError.h"
#include "engine/DbEngine.h"
#include "engine/DbStatement.h"
#include "files/FileReplacement.h"
#include "filter/FilterExpression.h"
#include "base/Regional.h"
#include "engine/SqlDialect.h"
#include "files/SqliteRealText.h"
#include "base/StoredDateTime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <xlsxwriter.h>

namespace {

[[noreturn]] void malformed(const QString &sql)
{
    throw DaoError(QStringLiteral("Неразпозната заявка за запис във файл: %1").arg(sql));
}

QString unbracketed(QString name)
{
    name = name.trimmed();
    name.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    return name;
}

enum class Type { Text, Integer, Number, DateTime, Boolean };

Type typeOf(const QString &declType)
{
    const QString t = declType.toUpper();
    if (t.contains(QLatin1String("YESNO")) || t.contains(QLatin1String("BOOL")) || t.contains(QLatin1String("BIT")))
        return Type::Boolean;
    if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME")))
        return Type::DateTime;
    if (t.contains(QLatin1String("INT")) || t.contains(QLatin1String("LONG")) || t.contains(QLatin1String("COUNTER")))
        return Type::Integer;
    if (t.contains(QLatin1String("DOUBLE")) || t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOAT"))
        || t.contains(QLatin1String("NUMERIC")) || t.contains(QLatin1String("CURRENCY")))
        return Type::Number;
    return Type::Text;
}

// One cell's bytes (UTF-8) for the CSV and HTML files: numbers with ".", date-times as stored;
// scratch holds what is made here.
QByteArrayView plainBytes(const DbStatement &st, int c, Type type, QByteArray &scratch)
{
    if (st.columnIsNull(c))
        return {};
    if (type == Type::Boolean)
        return st.columnInt64(c) != 0 ? QByteArrayView("True") : QByteArrayView("False");
    if (type == Type::Number) {
        // As the file gives it, whichever engine read it; a server's NaN, which a file cannot
        // hold, is no number: an empty cell.
        const QVariant v = st.column(c);
        if (v.typeId() == QMetaType::Double) {
            if (std::isnan(v.toDouble()))
                return {};
            scratch.clear();
            appendSqliteRealText(scratch, v.toDouble());
            return scratch;
        }
    }
    return st.columnText(c);
}

void appendCsv(QByteArray &out, QByteArrayView v, bool quoteAlways)
{
    bool quote = quoteAlways;
    for (char ch : v)
        if (ch == ',' || ch == '"' || ch == '\n' || ch == '\r') {
            quote = true;
            break;
        }
    if (!quote) {
        out.append(v);
        return;
    }
    out.append('"');
    for (char ch : v) {
        if (ch == '"')
            out.append('"');
        out.append(ch);
    }
    out.append('"');
}

void appendHtml(QByteArray &out, QByteArrayView v)
{
    for (char ch : v) {
        switch (ch) {
        case '&':
            out.append("&amp;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '"':
            out.append("&quot;");
            break;
        default:
            out.append(ch);
        }
    }
}

void writeOut(QFile &out, const QByteArray &bytes)
{
    if (out.write(bytes) != bytes.size())
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде записан: %2").arg(out.fileName(), out.errorString()));
}

class Selection
{
public:
    Selection(DbEngine &engine, const ExportStatement &s)
    {
        const std::optional<SourceInfo> source = engine.findSource(s.source);
        if (!source)
            throw DaoError(QStringLiteral("Таблицата \"%1\" не съществува.").arg(s.source));
        const SqlDialect &d = engine.dialect();
        QStringList wanted = s.columns;
        if (wanted.isEmpty())
            for (const ColumnDecl &c : source->columns)
                wanted << c.name;
        QStringList select;
        for (const QString &w : std::as_const(wanted)) {
            auto c = std::find_if(source->columns.begin(), source->columns.end(),
                                  [&](const ColumnDecl &c) { return c.name.compare(w, Qt::CaseInsensitive) == 0; });
            if (c == source->columns.end())
                throw DaoError(QStringLiteral("Полето \"%1\" не съществува.").arg(w));
            names << c->name;
            types.push_back(typeOf(c->declType));
            select << d.quoteIdentifier(c->name);
        }
        const ColumnResolver resolve = [&](const QString &name) -> std::optional<ColumnInfo> {
            for (const ColumnDecl &c : source->columns)
                if (c.name.compare(name, Qt::CaseInsensitive) == 0)
                    return ColumnInfo{c.name, typeOf(c.declType) == Type::Text};
            return std::nullopt;
        };
        SqlFragment where;
        if (!s.filter.trimmed().isEmpty())
            where = FilterExpression::parse(s.filter).toSql(d, resolve);
        // A table's rows in the order they were added, as the file keeps them; a server keeps
        // them in no order of its own. A stored query keeps its own.
        statement = engine.prepareScan(QStringLiteral("SELECT %1 FROM %2%3%4")
                                       .arg(select.join(QStringLiteral(", ")), d.quoteIdentifier(source->name),
                                            where.sql.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.sql,
                                            source->isTable ? QStringLiteral(" ORDER BY ") + d.rowKey() : QString()));
        statement->bindAll(where.params);
    }

    QStringList names;
    std::vector<Type> types;
    std::unique_ptr<DbStatement> statement;
};

int writeText(Selection &sel, const QString &path)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде записан: %2").arg(path, out.errorString()));
    QByteArray buffer;
    QByteArray scratch;
    buffer.reserve(1 << 17);
    for (int c = 0; c < int(sel.names.size()); ++c) {
        if (c)
            buffer.append(',');
        appendCsv(buffer, sel.names.at(c).toUtf8(), false);
    }
    buffer.append("\r\n");
    int rows = 0;
    while (sel.statement->step()) {
        for (int c = 0; c < int(sel.names.size()); ++c) {
            if (c)
                buffer.append(',');
            const Type t = sel.types[size_t(c)];
            appendCsv(buffer, plainBytes(*sel.statement, c, t, scratch), t == Type::Text && !sel.statement->columnIsNull(c));
        }
        buffer.append("\r\n");
        ++rows;
        if (buffer.size() > (1 << 16)) {
            writeOut(out, buffer);
            buffer.clear();
        }
    }
    writeOut(out, buffer);
    if (!out.flush())
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде записан: %2").arg(path, out.errorString()));
    return rows;
}

int writeHtml(Selection &sel, const QString &path, const QString &title)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде записан: %2").arg(path, out.errorString()));
    QByteArray buffer;
    QByteArray scratch;
    buffer.reserve(1 << 17);
    buffer.append("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>");
    appendHtml(buffer, title.toUtf8());
    buffer.append("</title>\n</head>\n<body>\n<table border=\"1\">\n<thead>\n<tr>");
    for (const QString &n : std::as_const(sel.names)) {
        buffer.append("<th>");
        appendHtml(buffer, n.toUtf8());
        buffer.append("</th>");
    }
    buffer.append("</tr>\n</thead>\n<tbody>\n");
    int rows = 0;
    while (sel.statement->step()) {
        buffer.append("<tr>");
        for (int c = 0; c < int(sel.names.size()); ++c) {
            buffer.append("<td>");
            appendHtml(buffer, plainBytes(*sel.statement, c, sel.types[size_t(c)], scratch));
            buffer.append("</td>");
        }
        buffer.append("</tr>\n");
        ++rows;
        if (buffer.size() > (1 << 16)) {
            writeOut(out, buffer);
            buffer.clear();
        }
    }
    buffer.append("</tbody>\n</table>\n</body>\n</html>\n");
    writeOut(out, buffer);
    if (!out.flush())
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде записан: %2").arg(path, out.errorString()));
    return rows;
}

int writeSpreadsheet(Selection &sel, const QString &path, const QString &sheetName)
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
    const QByteArray sheet = sheetName.left(31).toUtf8();
    lxw_worksheet *ws = workbook_add_worksheet(book, sheet.isEmpty() ? nullptr : sheet.constData());
    lxw_format *dateFormat = workbook_add_format(book);
    format_set_num_format(dateFormat, "dd.mm.yyyy hh:mm:ss");
    lxw_format *bold = workbook_add_format(book);
    format_set_bold(bold);
    if (!ws) {
        workbook_close(book);
        throw DaoError(QStringLiteral("Листът \"%1\" не може да бъде създаден.").arg(sheetName));
    }
    for (int c = 0; c < int(sel.names.size()); ++c)
        worksheet_write_string(ws, 0, lxw_col_t(c), sel.names.at(c).toUtf8().constData(), bold);
    lxw_row_t row = 0;
    int rows = 0;
    while (sel.statement->step()) {
        ++row;
        if (row >= LXW_ROW_MAX) {
            workbook_close(book);
            throw DaoError(QStringLiteral("Редовете са повече, отколкото събира един лист."));
        }
        const DbStatement &st = *sel.statement;
        for (int c = 0; c < int(sel.names.size()); ++c) {
            if (st.columnIsNull(c))
                continue;
            const lxw_col_t col = lxw_col_t(c);
            switch (sel.types[size_t(c)]) {
            case Type::Integer:
            case Type::Number:
                if (const double v = st.column(c).toDouble(); !std::isnan(v))
                    worksheet_write_number(ws, row, col, v, nullptr);
                break;
            case Type::Boolean:
                worksheet_write_boolean(ws, row, col, st.columnInt64(c) != 0, nullptr);
                break;
            case Type::DateTime: {
                const QDateTime d = storedtime::parse(QString::fromUtf8(st.columnText(c)));
                if (d.isValid()) {
                    lxw_datetime dt{d.date().year(), d.date().month(), d.date().day(), d.time().hour(), d.time().minute(),
                                    double(d.time().second())};
                    worksheet_write_datetime(ws, row, col, &dt, dateFormat);
                    break;
                }
                [[fallthrough]];
            }
            case Type::Text: {
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

// The folder of a path as given, ending in its separator; "." when there is none.
QString folderOf(const QString &fileName)
{
    const qsizetype slash = std::max(fileName.lastIndexOf(QLatin1Char('/')), fileName.lastIndexOf(QLatin1Char('\\')));
    return slash < 0 ? QStringLiteral(".") : fileName.left(slash + 1);
}

QString nameOf(const QString &fileName)
{
    const qsizetype slash = std::max(fileName.lastIndexOf(QLatin1Char('/')), fileName.lastIndexOf(QLatin1Char('\\')));
    return fileName.mid(slash + 1);
}

// The first line, then the filter's line and the closing ";", joined by one blank each.
QString composed(const QString &line1, const QString &filter)
{
    QStringList lines{line1};
    if (!filter.isEmpty())
        lines << QStringLiteral(" WHERE ") + filter;
    lines << QStringLiteral(";");
    return lines.join(QLatin1Char(' '));
}

} // namespace

// ---------------------------------------------------------------- composing

QString ExportStatement::columnList(const std::vector<Field> &fields, bool all, bool brackets)
{
    if (all)
        return QStringLiteral("*");
    QString list;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!fields[i].exported)
            continue;
        QString name = fields[i].name;
        if (brackets) {
            QStringList parts = name.split(QLatin1Char('.'));
            for (QString &p : parts)
                p = QLatin1Char('[') + p + QLatin1Char(']');
            name = parts.join(QLatin1Char('.'));
        }
        list += QLatin1Char(' ') + name;
        if (i + 1 != fields.size())
            list += QLatin1Char(',');
    }
    if (list.endsWith(QLatin1Char(',')))
        list.chop(1);
    return list;
}

QString ExportStatement::spreadsheetDriver(int version)
{
    switch (version) {
    case 3:
        return QStringLiteral("Excel 3.0;");
    case 4:
        return QStringLiteral("Excel 4.0;");
    case 5:
        return QStringLiteral("Excel 5.0;");
    default:
        return QStringLiteral("Excel 8.0;");
    }
}

QString ExportStatement::composeSpreadsheet(const QString &columns, const QString &fileName, const QString &sheet,
                                            int version, const QString &source, const QString &filter)
{
    return composed(QStringLiteral("Select %1 INTO [%2] IN \"%3\"[%4] FROM [%5]")
                        .arg(columns, sheet, fileName, spreadsheetDriver(version), source),
                    filter);
}

QString ExportStatement::composeHtml(const QString &columns, const QString &fileName, const QString &source,
                                     const QString &filter)
{
    return composed(QStringLiteral("Select %1 INTO [%2] IN \"%3\"[HTML Export;] FROM [%4]")
                        .arg(columns, nameOf(fileName), folderOf(fileName), source),
                    filter);
}

QString ExportStatement::composeText(const QString &columns, const QString &fileName, const QString &source,
                                     const QString &filter)
{
    QString name = nameOf(fileName);
    if (name.isEmpty())
        throw DaoError(QStringLiteral("FileName is empty!"));
    name.replace(QLatin1Char('.'), QLatin1Char('#'));
    return composed(QStringLiteral("Select %1 INTO [%2] IN \"%3\"[Text;] FROM [%4]")
                        .arg(columns, name, folderOf(fileName), source),
                    filter);
}

ExportStatement ExportStatement::parse(const QString &sql)
{
    ExportStatement s;
    const QString text = sql.trimmed();
    if (!text.startsWith(QLatin1String("Select"), Qt::CaseInsensitive))
        malformed(sql);
    const qsizetype into = text.indexOf(QLatin1String(" INTO ["), 0, Qt::CaseInsensitive);
    if (into < 0)
        malformed(sql);
    const QString list = text.mid(6, into - 6).trimmed();
    if (list != QLatin1String("*"))
        for (const QString &c : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
            s.columns << unbracketed(c);
    // Each part runs to the marker that follows it.
    qsizetype at = into + 7;
    const auto upTo = [&](const QString &marker) {
        const qsizetype end = text.indexOf(marker, at, Qt::CaseInsensitive);
        if (end < 0)
            malformed(sql);
        const QString part = text.mid(at, end - at);
        at = end + marker.size();
        return part;
    };
    s.target = upTo(QStringLiteral("] IN \""));
    s.database = upTo(QStringLiteral("\"["));
    s.driver = upTo(QStringLiteral("] FROM ["));
    s.source = upTo(QStringLiteral("]"));
    QString rest = text.mid(at).trimmed();
    if (!rest.endsWith(QLatin1Char(';')))
        malformed(sql);
    rest.chop(1);
    rest = rest.trimmed();
    if (!rest.isEmpty()) {
        if (!rest.startsWith(QLatin1String("WHERE "), Qt::CaseInsensitive))
            malformed(sql);
        s.filter = rest.mid(6).trimmed();
    }
    if (s.driver.compare(QLatin1String("Text;"), Qt::CaseInsensitive) == 0)
        s.kind = Text;
    else if (s.driver.compare(QLatin1String("HTML Export;"), Qt::CaseInsensitive) == 0)
        s.kind = Html;
    else if (s.driver.startsWith(QLatin1String("Excel "), Qt::CaseInsensitive))
        s.kind = Spreadsheet;
    else
        throw DaoError(QStringLiteral("Няма драйвер за запис \"%1\".").arg(s.driver));
    return s;
}

QString ExportStatement::outputPath() const
{
    if (kind == Spreadsheet)
        return database;
    QString name = target;
    if (kind == Text)
        name.replace(QLatin1Char('#'), QLatin1Char('.'));
    return QDir(database).filePath(name);
}

int runExport(DbEngine &engine, const ExportStatement &statement, const QString &file)
{
    const QString path = QFileInfo(file.isEmpty() ? statement.outputPath() : file).absoluteFilePath();
    Selection selection(engine, statement); // a bad filter or column fails before any file is made
    FileReplacement replacement(path);
    int rows = 0;
    switch (statement.kind) {
    case ExportStatement::Text:
        rows = writeText(selection, replacement.temporaryPath());
        break;
    case ExportStatement::Html:
        rows = writeHtml(selection, replacement.temporaryPath(), statement.target);
        break;
    case ExportStatement::Spreadsheet:
        rows = writeSpreadsheet(selection, replacement.temporaryPath(), statement.target);
        break;
    }
    replacement.commit();
    return rows;
}
