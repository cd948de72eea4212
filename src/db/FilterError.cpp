// The filter error type.
#include "FilterError.h"

FilterError::FilterError(const QString &message, int position)
    : DaoError(message), mPosition(position)
{
}
