// Filter texts of the dataset layer, parsed into a syntax tree and turned into SQL of the engine's
// dialect with every value bound as a parameter: no text of the user is ever spliced into a statement.
//
// Filter grammar (keywords in any letter case):
//   or      := and { OR and }
//   and     := not { AND not }
//   not     := NOT not | compare
//   compare := operand [ ( "=" | "<" | ">" | "<=" | ">=" | "<>" ) operand
//                      | [NOT] LIKE operand | IS [NOT] NULL ]
//   operand := "[" name "]" | name | number | "-" number | "text" | 'text' | True | False | Null
//            | "(" or ")" | FITS "(" text "," text "," integer ")"
// Text literals double their quote to contain it. Text comparisons and LIKE ignore letter case in
// every script; a null column value satisfies no comparison and no pattern. FITS("make", "model",
// year) holds for the inventory's rows with a compatibility entry of that car (model "" and year 0:
// any), read from the fitment index.
#pragma once

#include "filter/FilterError.h"
#include "engine/SqlFragment.h"

#include <QString>
#include <memory>

class SqlDialect;

class FilterExpression
{
public:
    struct Node;

    FilterExpression();

    // Parses a filter text. An empty or blank text is the empty filter (keeps all rows).
    // Throws FilterError with a Bulgarian message naming the problem and its position.
    static FilterExpression parse(const QString &text);

    bool isEmpty() const;
    // Whether it holds a FITS term.
    bool usesFitment() const;

    // The tree in a fixed prefix form, for tests: (AND (= [deleted] False) (LIKE [unit_name] "a*")).
    QString dump() const;

    // The condition as SQL of the dialect over the resolved columns: identifiers quoted, values as
    // "?" parameters, text comparisons case-insensitive, LIKE as the dialect's pattern call.
    // Throws FilterError for a column the resolver does not know. Empty filter: sql "1".
    SqlFragment toSql(const SqlDialect &dialect, const ColumnResolver &resolver) const;

private:
    std::shared_ptr<const Node> mRoot;
};
