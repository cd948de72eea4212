// The engine-independent part of a statement.
#include "engine/DbStatement.h"

void DbStatement::bindAll(const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        bind(i + 1, values.at(i));
}
