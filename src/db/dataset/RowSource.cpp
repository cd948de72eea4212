// What every row source shares.
#include "dataset/RowSource.h"

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
