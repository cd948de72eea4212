// A prepared statement on the server: binding, execution, and its columns read as the data layer
// reads SQLite's.
#include "postgresql/PgStatement.h"

#include "base/DaoError.h"

#include <cmath>
#include <libpq-fe.h>

namespace {

// Type oids of the built-in types the schema uses.
enum : unsigned {
    BoolOid = 16,
    ByteaOid = 17,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    Float4Oid = 700,
    Float8Oid = 701,
    VarcharOid = 1043,
    TimestampOid = 1114,
    NumericOid = 1700,
};

bool isInteger(unsigned oid) { return oid == Int8Oid || oid == Int2Oid || oid == Int4Oid; }
bool isReal(unsigned oid) { return oid == Float4Oid || oid == Float8Oid || oid == NumericOid; }

// A real as the server writes it, "NaN" and "Infinity" included, which Qt does not read.
double realOf(QByteArrayView t)
{
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (ok)
        return d;
    if (t == "NaN")
        return qQNaN();
    if (t == "Infinity" || t == "-Infinity")
        return t.startsWith('-') ? -qInf() : qInf();
    return d;
}

} // namespace

PgStatement::PgStatement(PgConnection &conn, const QString &sql)
    : mConn(conn), mSql(sql), mName(conn.prepared(sql)), mGeneration(conn.generation()),
      mReadOnly(sql.trimmed().startsWith(QLatin1String("SELECT"), Qt::CaseInsensitive))
{
    PgConnection::numberedPlaceholders(sql, &mParams);
    mValues.resize(size_t(mParams));
}

void PgStatement::bind(int index, const QVariant &value)
{
    if (index < 1 || index > mParams)
        throw DaoError(QStringLiteral("Грешен номер на параметър: %1").arg(index));
    mValues[size_t(index - 1)] = PgConnection::parameterText(value);
}

void PgStatement::bindInt64(int index, qint64 value) { bind(index, QVariant(value)); }

bool PgStatement::step()
{
    if (!mRan) {
        std::vector<const char *> values;
        for (const auto &v : mValues)
            values.push_back(v ? v->constData() : nullptr);
        refresh();
        const bool idle = PQtransactionStatus(mConn.handle()) == PQTRANS_IDLE;
        // A statement that fails inside a transaction (a write batch) undoes itself alone; a
        // reader that may be stopped only reads, and its transaction ends with the read.
        mResult = idle || (mReadOnly && mConn.stoppable()) ? mConn.execPrepared(mName, mParams, values.data())
                                                           : mConn.execGuarded(mName, mParams, values.data());
        if (idle && mReadOnly && mConn.lostMeanwhile(mResult)) {
            // A read outside a transaction changes nothing: done again on a new connection.
            refresh();
            mResult = mConn.execPrepared(mName, mParams, values.data());
        }
        mConn.check(mResult);
        mConn.noteChanges(mResult);
        mRan = true;
        mRow = -1;
    }
    if (mRow + 1 >= mResult.rows()) {
        mRow = mResult.rows();
        return false;
    }
    ++mRow;
    return true;
}

void PgStatement::reset()
{
    mResult = PgResult();
    mRan = false;
    mRow = -1;
    for (auto &v : mValues)
        v.reset();
}

void PgStatement::refresh() const
{
    // Prepared statements do not outlive a reconnection.
    const QByteArray name = mConn.prepared(mSql);
    if (mGeneration != mConn.generation()) {
        mName = name;
        mGeneration = mConn.generation();
        mDescription = PgResult();
    }
}

void PgStatement::describe() const
{
    refresh();
    if (mDescription.get())
        return;
    mDescription = PgResult(PQdescribePrepared(mConn.handle(), mName.constData()));
    mConn.check(mDescription);
}

int PgStatement::columnCount() const
{
    if (mRan)
        return mResult.columns();
    describe();
    return mDescription.columns();
}

QString PgStatement::columnName(int i) const
{
    const pg_result *r = mRan ? mResult.get() : (describe(), mDescription.get());
    return QString::fromUtf8(PQfname(r, i));
}

unsigned PgStatement::typeOf(int i) const
{
    const pg_result *r = mRan ? mResult.get() : (describe(), mDescription.get());
    return PQftype(r, i);
}

TFieldType PgStatement::fieldTypeOf(unsigned oid, int mod, bool primaryKey, int *size)
{
    *size = 0;
    switch (oid) {
    case VarcharOid:
        if (mod > 4)
            *size = mod - 4; // the modifier counts four bytes of header
        return TFieldType::Text;
    case Int2Oid:
        return TFieldType::Short;
    case Int4Oid:
        return TFieldType::Long;
    case Int8Oid:
        return primaryKey ? TFieldType::Counter : TFieldType::Long;
    case Float4Oid:
    case Float8Oid:
    case NumericOid:
        return TFieldType::Double;
    case BoolOid:
        return TFieldType::Boolean;
    case TimestampOid:
        return TFieldType::DateTime;
    case ByteaOid:
        return TFieldType::Blob;
    default:
        return TFieldType::Text;
    }
}

ColumnDecl PgStatement::columnDecl(int i) const
{
    const pg_result *r = mRan ? mResult.get() : (describe(), mDescription.get());
    ColumnDecl c;
    c.name = QString::fromUtf8(PQfname(r, i));
    if (PQftable(r, i) == InvalidOid) {
        c.untyped = true; // an expression
        return c;
    }
    c.type = fieldTypeOf(PQftype(r, i), PQfmod(r, i), false, &c.size);
    return c;
}

bool PgStatement::columnIsNull(int i) const { return mResult.isNull(mRow, i); }

qint64 PgStatement::columnInt64(int i) const
{
    return mResult.isNull(mRow, i) ? 0 : int64Of(mResult.text(mRow, i), typeOf(i));
}

QVariant PgStatement::column(int i) const
{
    return mResult.isNull(mRow, i) ? QVariant() : valueOf(mResult.text(mRow, i), typeOf(i));
}

QByteArrayView PgStatement::columnText(int i) const
{
    return mResult.isNull(mRow, i) ? QByteArrayView() : textOf(mResult.text(mRow, i), typeOf(i));
}

void PgStatement::columnInto(int i, DbStatement &into, int index) const
{
    if (mResult.isNull(mRow, i))
        into.bind(index, QVariant());
    else
        bindText(mResult.text(mRow, i), typeOf(i), into, index);
}

qint64 PgStatement::int64Of(QByteArrayView t, unsigned oid)
{
    if (oid == BoolOid)
        return t == "t" ? 1 : 0;
    if (isReal(oid)) {
        const double d = realOf(t);
        return std::isfinite(d) ? qint64(d) : 0;
    }
    return t.toLongLong();
}

QVariant PgStatement::valueOf(QByteArrayView t, unsigned oid)
{
    if (oid == BoolOid)
        return QVariant(qint64(t == "t" ? 1 : 0));
    if (isInteger(oid))
        return QVariant(t.toLongLong());
    if (isReal(oid))
        return QVariant(realOf(t));
    if (oid == ByteaOid)
        return QVariant(QByteArray::fromHex(t.sliced(2).toByteArray()));
    return QVariant(QString::fromUtf8(t));
}

QByteArrayView PgStatement::textOf(QByteArrayView t, unsigned oid)
{
    if (oid == BoolOid)
        return t == "t" ? QByteArrayView("1") : QByteArrayView("0");
    return t;
}

void PgStatement::bindText(QByteArrayView t, unsigned oid, DbStatement &into, int index)
{
    if (oid == BoolOid || isInteger(oid))
        into.bindInt64(index, int64Of(t, oid));
    else if (isReal(oid) || oid == ByteaOid)
        into.bind(index, valueOf(t, oid));
    else
        into.bindUtf8(index, t); // text and times: the same characters, not decoded on the way
}
