// What every row source shares.
#include "dataset/RowSource.h"

#include <algorithm>

const QVariant &RowSource::null()
{
    static const QVariant none;
    return none;
}

int RowSource::positionOf(qint64 key, int hint) const
{
    Q_UNUSED(hint)
    return key >= 0 && key < count() ? int(key) : -1;
}

void RowSource::visitRows(int from, int to, const std::vector<int> &columns, const RowVisitor &visit) const
{
    std::vector<QVariant> row(columns.size());
    for (int p = std::max(from, 0); p < std::min(to, count()); ++p) {
        for (size_t i = 0; i < columns.size(); ++i)
            row[i] = value(p, columns[i]);
        visit(p, row.data());
    }
}
