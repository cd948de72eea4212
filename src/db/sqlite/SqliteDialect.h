// The SQL of the SQLite engine: double-quoted identifiers, the NOCASE collation (replaced on
// Velostok's connections by a Unicode-aware one), jet_like() for Jet patterns, 1 and 0 for
// booleans, rowid as the row key, and the program's own Access-dialect statements run as written.
#pragma once

#include "engine/SqlDialect.h"

class SqliteDialect : public SqlDialect
{
public:
    QString quoteIdentifier(const QString &name) const override;
    QString comparison(const QString &left, bool leftText, const QString &op, const QString &right,
                       bool rightText) const override;
    QString patternMatch(const QString &pattern, const QString &value) const override;
    QVariant booleanValue(bool value) const override;
    QString sortTerm(const QString &quotedColumn, bool isText, bool descending) const override;
    QString rowKey() const override;
    // SQLite groups a million values several times slower than it walks their index.
    bool countsDistinctByOrder() const override { return true; }
    QString insertDefaultValues(const QString &quotedTable) const override;
    QString sameAs(const QString &quotedColumn) const override;
    QString derivedTable(const QString &select) const override;
    QString programStatement(const QString &text) const override;
};
