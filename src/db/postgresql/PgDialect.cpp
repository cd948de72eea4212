// The PostgreSQL dialect.
#include "postgresql/PgDialect.h"

QString PgDialect::quoteIdentifier(const QString &name) const
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString PgDialect::comparison(const QString &left, bool leftText, const QString &op, const QString &right,
                              bool rightText) const
{
    // Two texts compare folded; a text against a number is read as the number, as on SQLite.
    if (leftText && rightText)
        return QStringLiteral("velostok_fold(%1) %2 velostok_fold(%3)").arg(left, op, right);
    return left + QLatin1Char(' ') + op + QLatin1Char(' ') + right;
}

QString PgDialect::patternMatch(const QString &pattern, const QString &value) const
{
    return QStringLiteral("jet_like(") + pattern + QStringLiteral(", ") + value + QLatin1Char(')');
}

QVariant PgDialect::booleanValue(bool value) const { return QVariant(value); }

// PostgreSQL puts nulls last in ascending order: first, as SQLite and Jet do.
QString PgDialect::sortTerm(const QString &quotedColumn, bool isText, bool descending) const
{
    return (isText ? QStringLiteral("velostok_fold(%1)").arg(quotedColumn) : quotedColumn)
        + (descending ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" ASC NULLS FIRST"));
}

QString PgDialect::rowKey() const { return QStringLiteral("id"); }

QString PgDialect::insertDefaultValues(const QString &quotedTable) const
{
    return QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedTable);
}

QString PgDialect::sameAs(const QString &quotedColumn) const
{
    return quotedColumn + QStringLiteral(" IS NOT DISTINCT FROM ?");
}

QString PgDialect::derivedTable(const QString &select) const
{
    return QLatin1Char('(') + select + QStringLiteral(") AS derived");
}

// [name] becomes "name"; quoted texts stay as they are.
QString PgDialect::programStatement(const QString &text) const
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const qsizetype start = i++;
            while (i < text.size() && text.at(i) != c)
                ++i;
            out += QStringView(text).mid(start, i - start + 1);
        } else if (c == QLatin1Char('[')) {
            const qsizetype close = text.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0) {
                out += QStringView(text).mid(i);
                break;
            }
            out += quoteIdentifier(text.mid(i + 1, close - i - 1));
            i = close;
        } else {
            out += c;
        }
    }
    return out;
}
