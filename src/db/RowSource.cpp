// What every row source shares.
#include "RowSource.h"

int RowSource::positionOf(qint64 key, int hint) const
{
    Q_UNUSED(hint)
    return key >= 0 && key < count() ? int(key) : -1;
}
