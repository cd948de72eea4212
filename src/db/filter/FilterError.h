// The error of a filter or sort text that does not parse or names an unknown column.
#pragma once

#include "base/DaoError.h"

class FilterError : public DaoError
{
public:
    FilterError(const QString &message, int position);

    // 0-based character offset of the problem in the text.
    int position() const { return mPosition; }

private:
    int mPosition;
};
