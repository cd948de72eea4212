// The export statement's grammar: composing its text and parsing it back into its parts.
#include "files/ExportStatement.h"

#include "base/DaoError.h"

#include <QDir>
#include <algorithm>

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

// ---------------------------------------------------------------- parsing

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
