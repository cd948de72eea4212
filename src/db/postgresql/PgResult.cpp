// One libpq result, owned.
#include "postgresql/PgResult.h"

#include <libpq-fe.h>

PgResult::~PgResult()
{
    if (mResult)
        PQclear(mResult);
}

PgResult &PgResult::operator=(PgResult &&other) noexcept
{
    if (this != &other) {
        if (mResult)
            PQclear(mResult);
        mResult = other.mResult;
        other.mResult = nullptr;
    }
    return *this;
}

int PgResult::rows() const { return mResult ? PQntuples(mResult) : 0; }
int PgResult::columns() const { return mResult ? PQnfields(mResult) : 0; }
bool PgResult::isNull(int row, int col) const { return PQgetisnull(mResult, row, col) != 0; }

QByteArrayView PgResult::text(int row, int col) const
{
    return QByteArrayView(PQgetvalue(mResult, row, col), PQgetlength(mResult, row, col));
}
