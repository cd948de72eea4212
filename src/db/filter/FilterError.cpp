// The filter error type.
#include "filter/FilterError.h"

FilterError::FilterError(const QString &message, int position)
    : DaoError(message), mPosition(position)
{
}
