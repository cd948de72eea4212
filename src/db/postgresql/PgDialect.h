// The SQL of the PostgreSQL engine: double-quoted identifiers, texts compared and sorted through
// velostok_fold() (lower case by ICU, then code point order, as the SQLite engine's NOCASE
// compares), jet_like() for Jet patterns (both made by the schema), true and false for
// booleans, the id column as the row key, nulls first in ascending order as on SQLite, and the
// program's own Access-dialect statements ([name]) rewritten with double quotes.
#pragma once

#include "engine/SqlDialect.h"

class PgDialect : public SqlDialect
{
public:
    QString quoteIdentifier(const QString &name) const override;
    QString comparison(const QString &left, bool leftText, const QString &op, const QString &right,
                       bool rightText) const override;
    QString patternMatch(const QString &pattern, const QString &value) const override;
    QVariant booleanValue(bool value) const override;
    QString sortTerm(const QString &quotedColumn, bool isText, bool descending) const override;
    QString rowKey() const override;
    QString insertDefaultValues(const QString &quotedTable) const override;
    QString sameAs(const QString &quotedColumn) const override;
    QString derivedTable(const QString &select) const override;
    QString programStatement(const QString &text) const override;
};
