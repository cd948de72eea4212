// How the data layer writes SQL for one engine: quoting, case-insensitive comparison, the
// Jet-pattern call, booleans, the row key, and the few statement shapes that differ between
// engines. The filter parser and the dataset layer build every statement through this object;
// values are always bound as parameters, never written into the text.
#pragma once

#include <QString>
#include <QVariant>

class SqlDialect
{
public:
    virtual ~SqlDialect() = default;

    // An identifier (table or column name) as the engine reads it, whatever characters it holds.
    virtual QString quoteIdentifier(const QString &name) const = 0;
    // A comparison (op: =, <>, <, <=, >, >=) of two SQL expressions; one that involves text
    // ignores letter case in every script.
    virtual QString comparison(const QString &left, bool leftText, const QString &op, const QString &right,
                               bool rightText) const = 0;
    // A call that is true when value matches the Jet pattern (both SQL expressions), ignoring
    // letter case; null when either is null.
    virtual QString patternMatch(const QString &pattern, const QString &value) const = 0;
    // The value bound for the filter words True and False.
    virtual QVariant booleanValue(bool value) const = 0;
    // One ORDER BY term; ascending terms put nulls first.
    virtual QString sortTerm(const QString &quotedColumn, bool isText, bool descending) const = 0;
    // The column that names a row of a table for the keyset.
    virtual QString rowKey() const = 0;
    // A new row with every column at its default.
    virtual QString insertDefaultValues(const QString &quotedTable) const = 0;
    // A condition true when the column holds the bound value, null included (optimistic check).
    virtual QString sameAs(const QString &quotedColumn) const = 0;
    // A SELECT statement used as the source of another one's FROM.
    virtual QString derivedTable(const QString &select) const = 0;
    // A statement the program writes in the Access dialect ([name], True, False), made runnable.
    virtual QString programStatement(const QString &text) const = 0;
    // Whether a column's distinct values are counted faster by reading every row's value in the
    // column's order (an index walk) than by the engine's grouping.
    virtual bool countsDistinctByOrder() const { return false; }
};
