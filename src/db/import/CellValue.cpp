// Cells of a file to import as field values.
#include "import/CellValue.h"

#include "base/Regional.h"
#include "base/StoredDateTime.h"

#include <QDateTime>
#include <cmath>

namespace cellvalue {

namespace {

// A typed number as text: whole numbers without a decimal part (codes kept as numbers by a
// spreadsheet), others in the regional form.
QString numberText(double d)
{
    if (std::floor(d) == d && std::abs(d) < 1e15)
        return QString::number(qint64(d));
    return regional::formatNumber(d);
}

QString shown(const QVariant &cell)
{
    const QString text = cell.typeId() == QMetaType::Double ? numberText(cell.toDouble()) : cell.toString();
    return text.size() > 40 ? text.left(40) + QStringLiteral("…") : text;
}

Converted refuse(const char *expected, const QVariant &cell)
{
    return {QVariant(), QStringLiteral("очаква се %1, намерено „%2“").arg(QString::fromUtf8(expected), shown(cell)), QString()};
}

// A number from a typed cell or a text in the form asked for.
bool number(const QVariant &cell, double *out, Form form)
{
    if (cell.typeId() == QMetaType::Double || cell.typeId() == QMetaType::LongLong || cell.typeId() == QMetaType::Int) {
        *out = cell.toDouble();
        return std::isfinite(*out);
    }
    if (cell.typeId() != QMetaType::QString)
        return false;
    if (form == Form::Regional)
        return regional::parseNumber(cell.toString(), out) && std::isfinite(*out);
    bool ok = false;
    *out = QLocale::c().toDouble(cell.toString().trimmed(), &ok);
    return ok && std::isfinite(*out);
}

} // namespace

Converted convert(const QVariant &cell, TFieldType type, int size, Form form)
{
    if (!cell.isValid() || (cell.typeId() == QMetaType::QString && cell.toString().trimmed().isEmpty()))
        return {};
    switch (type) {
    case TFieldType::Text:
    case TFieldType::Blob: {
        QString text = cell.typeId() == QMetaType::Double ? numberText(cell.toDouble())
                       : cell.typeId() == QMetaType::QDateTime ? regional::formatDateTime(cell.toDateTime())
                                                               : cell.toString();
        if (size > 0 && text.size() > size)
            return {text.left(size), QString(), QStringLiteral("текстът е съкратен до %1 знака").arg(size)};
        return {text, QString(), QString()};
    }
    case TFieldType::Double: {
        double d = 0;
        if (!number(cell, &d, form))
            return refuse("число", cell);
        return {d, QString(), QString()};
    }
    case TFieldType::Long:
    case TFieldType::Short:
    case TFieldType::Counter: {
        double d = 0;
        const double limit = type == TFieldType::Short ? 32767 : 2147483647;
        if (!number(cell, &d, form) || std::floor(d) != d || std::abs(d) > limit)
            return refuse("цяло число", cell);
        return {qint64(d), QString(), QString()};
    }
    case TFieldType::Boolean: {
        if (cell.typeId() == QMetaType::Bool)
            return {cell.toBool(), QString(), QString()};
        double d = 0;
        if (number(cell, &d, form) && (d == 0 || d == 1))
            return {d == 1, QString(), QString()};
        const QString word = cell.toString().trimmed().toLower();
        // Excel's Bulgarian words and LibreOffice's.
        for (const char *yes : {"да", "yes", "true", "истина", "вярно"})
            if (word == QString::fromUtf8(yes))
                return {true, QString(), QString()};
        for (const char *no : {"не", "no", "false", "неистина", "невярно"})
            if (word == QString::fromUtf8(no))
                return {false, QString(), QString()};
        return refuse("да или не", cell);
    }
    case TFieldType::DateTime: {
        if (cell.typeId() == QMetaType::QDateTime && cell.toDateTime().isValid())
            return {cell.toDateTime(), QString(), QString()};
        const QString text = cell.typeId() == QMetaType::QString ? cell.toString().trimmed() : QString();
        const QDateTime d = text.isEmpty()             ? QDateTime()
                            : form == Form::Regional ? regional::parseDateTime(text)
                                                     : storedtime::parse(text);
        if (!d.isValid())
            return refuse("дата", cell);
        return {d, QString(), QString()};
    }
    }
    return refuse("стойност", cell);
}

} // namespace cellvalue
