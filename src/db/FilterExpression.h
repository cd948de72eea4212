// Filter and sort texts of the dataset layer, parsed into a syntax tree and turned into SQL with
// every value bound as a parameter: no text of the user is ever spliced into a statement.
//
// Filter grammar (keywords in any letter case):
//   or      := and { OR and }
//   and     := not { AND not }
//   not     := NOT not | compare
//   compare := operand [ ( "=" | "<" | ">" | "<=" | ">=" | "<>" ) operand
//                      | [NOT] LIKE operand | IS [NOT] NULL ]
//   operand := "[" name "]" | name | number | "-" number | "text" | 'text' | True | False | Null
//            | "(" or ")"
// Text literals double their quote to contain it. Text comparisons and LIKE ignore letter case in
// every script; a null column value satisfies no comparison and no pattern.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// An SQL text with "?" placeholders and the values to bind to them, in order.
struct SqlFragment
{
    QString sql;
    QVariantList params;
};

struct ColumnInfo
{
    QString name; // the column's real name as the table spells it
    bool isText = false;
};

// Finds a column by the name a filter or sort uses (letter case ignored); nullopt when unknown.
using ColumnResolver = std::function<std::optional<ColumnInfo>(const QString &name)>;

class FilterExpression
{
public:
    struct Node;

    FilterExpression();

    // Parses a filter text. An empty or blank text is the empty filter (keeps all rows).
    // Throws FilterError with a Bulgarian message naming the problem and its position.
    static FilterExpression parse(const QString &text);

    bool isEmpty() const;

    // The tree in a fixed prefix form, for tests: (AND (= [deleted] False) (LIKE [unit_name] "a*")).
    QString dump() const;

    // The condition as SQL over the resolved columns; identifiers are double-quoted, values are
    // "?" parameters, text comparisons use COLLATE NOCASE, LIKE becomes jet_like(?, "col").
    // Throws FilterError for a column the resolver does not know. Empty filter: sql "1".
    SqlFragment toSql(const ColumnResolver &resolver) const;

private:
    std::shared_ptr<const Node> mRoot;
};

// A sort text: terms separated by commas, each "[name]" or name, optionally ASC or DESC.
class SortExpression
{
public:
    struct Term
    {
        QString column; // as written in the text
        bool descending = false;
    };

    // Parses the lines of SortedBy joined as the dataset layer joins them. Throws FilterError.
    static SortExpression parse(const QString &text);

    bool isEmpty() const { return mTerms.empty(); }
    const std::vector<Term> &terms() const { return mTerms; }

    // The ORDER BY list without the keyword: text columns with COLLATE NOCASE, nulls first for
    // ascending terms (SQLite's own order). Throws FilterError for an unknown column.
    QString toSql(const ColumnResolver &resolver) const;

private:
    std::vector<Term> mTerms;
    std::vector<int> mPositions; // of each term in the text, for errors
};
