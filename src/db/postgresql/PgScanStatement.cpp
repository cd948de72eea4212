// A query read through a server-side cursor, a part at a time.
#include "postgresql/PgScanStatement.h"

#include "base/DaoError.h"

#include <atomic>
#include <libpq-fe.h>

PgScanStatement::PgScanStatement(PgConnection &conn, const QString &sql) : PgStatement(conn, sql)
{
    static std::atomic<int> next = 0;
    mCursor = "velostok_scan_" + QByteArray::number(++next);
}

PgScanStatement::~PgScanStatement() { finish(); }

bool PgScanStatement::step()
{
    if (!mRan) {
        std::vector<const char *> values;
        for (const auto &v : mValues)
            values.push_back(v ? v->constData() : nullptr);
        mConn.ensureLive();
        pg_conn *c = mConn.handle();
        if (PQtransactionStatus(c) == PQTRANS_IDLE) {
            mConn.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ"));
            mOwnTransaction = true;
        }
        const QByteArray declare = "DECLARE " + mCursor + " NO SCROLL CURSOR FOR "
                                   + PgConnection::numberedPlaceholders(mSql).toUtf8();
        PgResult r(PQexecParams(c, declare.constData(), mParams, nullptr, values.data(), nullptr, nullptr, 0));
        try {
            mConn.check(r);
        } catch (...) {
            finish();
            throw;
        }
        mOpen = true;
        mRan = true;
        fetch();
    }
    if (mRow + 1 < mResult.rows()) {
        ++mRow;
        return true;
    }
    if (!mLastPart) {
        fetch();
        if (mResult.rows() > 0) {
            mRow = 0;
            return true;
        }
    }
    finish();
    mRow = mResult.rows();
    return false;
}

void PgScanStatement::fetch()
{
    if (mConn.stopAsked()) {
        finish();
        throw DaoError(QStringLiteral("Заявката беше прекъсната."));
    }
    PgResult r = mConn.execStoppable("FETCH FORWARD " + QByteArray::number(RowsAtOnce) + " FROM " + mCursor);
    try {
        mConn.check(r);
    } catch (...) {
        finish();
        throw;
    }
    mResult = std::move(r);
    mRow = -1;
    mLastPart = mResult.rows() < RowsAtOnce;
}

// The cursor closed, and the transaction of its own ended (it only read).
void PgScanStatement::finish() noexcept
{
    pg_conn *c = mConn.handle();
    if (mOpen && c && PQtransactionStatus(c) == PQTRANS_INTRANS)
        PQclear(PQexec(c, ("CLOSE " + mCursor).constData()));
    mOpen = false;
    if (mOwnTransaction && c && PQtransactionStatus(c) != PQTRANS_IDLE)
        PQclear(PQexec(c, PQtransactionStatus(c) == PQTRANS_INERROR ? "ROLLBACK" : "COMMIT"));
    mOwnTransaction = false;
}

void PgScanStatement::reset()
{
    finish();
    mLastPart = false;
    PgStatement::reset();
}
