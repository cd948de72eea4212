// The SQLite dialect.
#include "sqlite/SqliteDialect.h"

QString SqliteDialect::quoteIdentifier(const QString &name) const
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString SqliteDialect::comparison(const QString &left, bool leftText, const QString &op, const QString &right,
                                  bool rightText) const
{
    // The collation of the left operand decides the comparison.
    return left + (leftText || rightText ? QStringLiteral(" COLLATE NOCASE ") : QStringLiteral(" ")) + op
        + QLatin1Char(' ') + right;
}

QString SqliteDialect::patternMatch(const QString &pattern, const QString &value) const
{
    return QStringLiteral("jet_like(") + pattern + QStringLiteral(", ") + value + QLatin1Char(')');
}

QVariant SqliteDialect::booleanValue(bool value) const { return QVariant::fromValue(qint64(value ? 1 : 0)); }

// SQLite puts nulls first in ascending order already.
QString SqliteDialect::sortTerm(const QString &quotedColumn, bool isText, bool descending) const
{
    return quotedColumn + (isText ? QStringLiteral(" COLLATE NOCASE") : QString())
        + (descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
}

QString SqliteDialect::rowKey() const { return QStringLiteral("rowid"); }

QString SqliteDialect::insertDefaultValues(const QString &quotedTable) const
{
    return QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedTable);
}

QString SqliteDialect::sameAs(const QString &quotedColumn) const { return quotedColumn + QStringLiteral(" IS ?"); }

QString SqliteDialect::derivedTable(const QString &select) const
{
    return QLatin1Char('(') + select + QLatin1Char(')');
}

// SQLite reads [name], True and False as Access writes them.
QString SqliteDialect::programStatement(const QString &text) const { return text; }
