// A sort text: terms separated by commas, each "[name]" or name, optionally ASC or DESC; turned into
// an ORDER BY list of the engine's dialect.
#pragma once

#include "filter/FilterError.h"
#include "engine/SqlFragment.h"

#include <QString>
#include <vector>

class SqlDialect;

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

    // The ORDER BY list without the keyword: text columns ignore letter case, ascending terms put
    // nulls first. Throws FilterError for an unknown column.
    QString toSql(const SqlDialect &dialect, const ColumnResolver &resolver) const;

private:
    std::vector<Term> mTerms;
    std::vector<int> mPositions; // of each term in the text, for errors
};
