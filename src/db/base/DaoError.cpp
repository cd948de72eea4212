// The data layer's error type.
#include "base/DaoError.h"

DaoError::DaoError(QString message)
    : mMessage(std::move(message)), mUtf8(mMessage.toUtf8())
{
}
