// A query on a PostgreSQL connection read through a cursor, in parts.
#pragma once

#include "postgresql/PgStatement.h"

#include <QByteArray>

// A query read through a cursor a few thousand rows at a time, so that a copy or an export of a
// large inventory never holds it all in memory. Outside a transaction it reads in one of its own
// (one snapshot), ended with its last row or its reset.
class PgScanStatement : public PgStatement
{
public:
    static constexpr int RowsAtOnce = 2000;

    PgScanStatement(PgConnection &conn, const QString &sql);
    ~PgScanStatement() override;

    bool step() override;
    void reset() override;

private:
    void fetch();
    void finish() noexcept;

    QByteArray mCursor;
    bool mOpen = false;
    bool mOwnTransaction = false;
    bool mLastPart = false;
};
