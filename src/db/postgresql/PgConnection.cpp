// The raw libpq connection, its prepared statements and the texts of server failures.
#include "postgresql/PgConnection.h"

#include "base/DaoError.h"
#include "base/DbLog.h"
#include "base/StoredDateTime.h"

#include <QDateTime>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <libpq-fe.h>
#include <poll.h>
#include <utility>

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

QString pgErrorMessage(const QByteArray &sqlState, const QString &serverMessage)
{
    const QByteArray cls = sqlState.left(2);
    if (sqlState.isEmpty() || cls == "08" || sqlState == "57P01" || sqlState == "57P02" || sqlState == "57P03")
        return QStringLiteral("Няма връзка със сървъра на базата: %1").arg(serverMessage);
    if (sqlState == "55P03" || sqlState == "40P01" || sqlState == "40001")
        return QStringLiteral("Базата е заета от друг потребител. Опитайте отново след малко.");
    if (sqlState == "53100")
        return QStringLiteral("Дискът на сървъра е пълен: промените не могат да бъдат записани.");
    if (sqlState == "25006")
        return QStringLiteral("Базата е само за четене: промените не могат да бъдат записани.");
    if (cls == "23" || cls == "22")
        return QStringLiteral("Стойността не е допустима за базата: %1").arg(serverMessage);
    if (cls == "28")
        return QStringLiteral("Сървърът на базата отказа достъп: %1").arg(serverMessage);
    if (sqlState == "57014")
        return QStringLiteral("Заявката беше прекъсната.");
    return QStringLiteral("Грешка в базата данни: %1").arg(serverMessage);
}

// ---- result

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

// ---- connection

PgConnection::~PgConnection() { close(); }

PgConnection::PgConnection(PgConnection &&other) noexcept { *this = std::move(other); }

PgConnection &PgConnection::operator=(PgConnection &&other) noexcept
{
    if (this != &other) {
        close();
        mConn = std::exchange(other.mConn, nullptr);
        mConninfo = std::move(other.mConninfo);
        mPrepared = std::move(other.mPrepared);
        mNextName = other.mNextName;
        mGeneration = other.mGeneration;
        mChanges = other.mChanges;
        mOnReconnect = nullptr;
        mStop = nullptr;
        other.mPrepared.clear();
    }
    return *this;
}

bool PgConnection::isIdle() const
{
    return mConn && PQstatus(mConn) == CONNECTION_OK && PQtransactionStatus(mConn) == PQTRANS_IDLE
           && PQpipelineStatus(mConn) == PQ_PIPELINE_OFF;
}

void PgConnection::open(const QString &conninfo)
{
    close();
    PGconn *c = PQconnectdb(conninfo.toUtf8().constData());
    if (!c)
        throw DaoError(pgErrorMessage({}, QStringLiteral("out of memory")));
    if (PQstatus(c) != CONNECTION_OK) {
        const QString msg = QString::fromUtf8(PQerrorMessage(c)).trimmed();
        PQfinish(c);
        // A refused password is told as such; anything else is "no connection".
        throw DaoError(msg.contains(QLatin1String("password"), Qt::CaseInsensitive)
                           ? pgErrorMessage("28P01", msg)
                           : pgErrorMessage({}, msg));
    }
    mConn = c;
    mConninfo = conninfo;
    PQsetClientEncoding(mConn, "UTF8");
    // Server notices (such as "there is no transaction in progress") are not the user's business.
    PQsetNoticeProcessor(mConn, [](void *, const char *) {}, nullptr);
}

void PgConnection::close()
{
    mPrepared.clear();
    if (mConn) {
        PQfinish(mConn);
        mConn = nullptr;
    }
}

void PgConnection::ensureLive()
{
    if (!mConn)
        raise(nullptr);
    if (PQstatus(mConn) == CONNECTION_OK)
        return;
    // The server went away (restarted, the network dropped): the action that met it was told;
    // this one connects again, its prepared statements and settings made anew.
    PQreset(mConn);
    if (PQstatus(mConn) != CONNECTION_OK)
        raise(nullptr);
    renewed();
}

void PgConnection::renewed()
{
    if (PQstatus(mConn) != CONNECTION_OK)
        return; // made again by the next action's ensureLive
    mPrepared.clear();
    ++mGeneration;
    PQsetClientEncoding(mConn, "UTF8");
    if (mOnReconnect)
        mOnReconnect();
}

bool PgConnection::lostMeanwhile(const PgResult &r) const
{
    const ExecStatusType s = r.get() ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    return s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK && PQstatus(mConn) == CONNECTION_BAD;
}

void PgConnection::raise(const pg_result *r) const
{
    const bool lost = !mConn || PQstatus(mConn) != CONNECTION_OK;
    if (!r || lost) {
        const QString msg = QString::fromUtf8(mConn ? PQerrorMessage(mConn) : "not connected").trimmed();
        if (lost)
            throw DaoError(pgErrorMessage({}, msg));
        throw DaoError(pgErrorMessage("XX000", msg));
    }
    QByteArray state(PQresultErrorField(r, PG_DIAG_SQLSTATE));
    const char *primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
    const QString msg = QString::fromUtf8(primary ? primary : PQresultErrorMessage(r)).trimmed();
    // libpq's own refusals carry no state; the connection is still up.
    if (state.isEmpty())
        state = "XX000";
    throw DaoError(pgErrorMessage(state, msg));
}

void PgConnection::check(const PgResult &r) const
{
    if (!r.get())
        raise(nullptr);
    const ExecStatusType s = PQresultStatus(r.get());
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK && s != PGRES_EMPTY_QUERY)
        raise(r.get());
}

void PgConnection::noteChanges(const PgResult &r)
{
    const char *n = r.get() ? PQcmdTuples(r.get()) : "";
    mChanges = (n && *n) ? QByteArray(n).toInt() : 0;
}

void PgConnection::exec(const QString &sql)
{
    ensureLive();
    PgResult r(PQexec(mConn, sql.toUtf8().constData()));
    check(r);
    noteChanges(r);
}

std::optional<QByteArray> PgConnection::parameterText(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return std::nullopt;
    switch (v.typeId()) {
    case QMetaType::Bool:
        return QByteArray(v.toBool() ? "1" : "0");
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QByteArray::number(v.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return QByteArray::number(v.toDouble(), 'g', 17);
    case QMetaType::QDateTime:
        return storedtime::text(v.toDateTime()).toUtf8();
    case QMetaType::QByteArray:
        return v.toByteArray();
    default:
        return v.toString().toUtf8();
    }
}

PgResult PgConnection::query(const QString &sql, const QVariantList &params)
{
    ensureLive();
    std::vector<std::optional<QByteArray>> texts;
    std::vector<const char *> values;
    for (const QVariant &p : params)
        texts.push_back(parameterText(p));
    for (const auto &t : texts)
        values.push_back(t ? t->constData() : nullptr);
    PgResult r(PQexecParams(mConn, numberedPlaceholders(sql).toUtf8().constData(), int(values.size()), nullptr,
                            values.data(), nullptr, nullptr, 0));
    check(r);
    noteChanges(r);
    return r;
}

QByteArray PgConnection::prepared(const QString &sql)
{
    ensureLive();
    if (const auto it = mPrepared.constFind(sql); it != mPrepared.cend())
        return *it;
    const QByteArray name = "v" + QByteArray::number(++mNextName);
    const QByteArray text = numberedPlaceholders(sql).toUtf8();
    const bool idle = PQtransactionStatus(mConn) == PQTRANS_IDLE;
    PgResult r(PQprepare(mConn, name.constData(), text.constData(), 0, nullptr));
    if (idle && lostMeanwhile(r)) {
        // Preparing changes nothing: on a connection the server had already closed, it is
        // simply done again on a new one.
        ensureLive();
        r = PgResult(PQprepare(mConn, name.constData(), text.constData(), 0, nullptr));
    }
    check(r);
    mPrepared.insert(sql, name);
    return name;
}

PgResult PgConnection::execPrepared(const QByteArray &name, int params, const char *const *values)
{
    if (!mStop)
        return PgResult(PQexecPrepared(mConn, name.constData(), params, values, nullptr, nullptr, 0));
    if (!PQsendQueryPrepared(mConn, name.constData(), params, values, nullptr, nullptr, 0))
        return PgResult();
    return awaitResult();
}

PgResult PgConnection::execStoppable(const QByteArray &sql)
{
    if (!mStop)
        return PgResult(PQexec(mConn, sql.constData()));
    if (!PQsendQueryParams(mConn, sql.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0))
        return PgResult();
    return awaitResult();
}

PgResult PgConnection::awaitResult()
{
    // Waited for in short steps, so that a statement nobody wants any more (a long scan) is
    // cancelled on the server instead of being waited out.
    bool cancelled = false;
    while (PQisBusy(mConn)) {
        if (!cancelled && mStop()) {
            cancelled = true;
            if (PGcancel *c = PQgetCancel(mConn)) {
                char error[256];
                PQcancel(c, error, sizeof error); // a statement just finished needs none
                PQfreeCancel(c);
            }
        }
        pollfd p{PQsocket(mConn), POLLIN, 0};
        if (poll(&p, 1, 50) < 0 && errno != EINTR)
            break;
        if (!PQconsumeInput(mConn))
            break; // the connection is lost: the result below tells
    }
    // One statement gives one result; an error or the lost connection's is kept.
    PgResult out;
    while (PGresult *r = PQgetResult(mConn)) {
        const bool failed = PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK;
        if (!out.get() || failed)
            out = PgResult(r);
        else
            PQclear(r);
        if (PQstatus(mConn) == CONNECTION_BAD)
            break;
    }
    return out;
}

PgResult PgConnection::execGuarded(const QByteArray &name, int params, const char *const *values)
{
    if (!PQenterPipelineMode(mConn))
        return PgResult();
    // A send that fails leaves the connection up; its error is kept before the others come.
    PgResult refused;
    const auto sent = [&](int ok) {
        if (!ok && !refused.get())
            refused = PgResult(PQmakeEmptyPGresult(mConn, PGRES_FATAL_ERROR));
        return ok != 0;
    };
    sent(PQsendQueryParams(mConn, "SAVEPOINT velostok_statement", 0, nullptr, nullptr, nullptr, nullptr, 0))
        && sent(PQsendQueryPrepared(mConn, name.constData(), params, values, nullptr, nullptr, 0))
        && sent(PQsendQueryParams(mConn, "RELEASE SAVEPOINT velostok_statement", 0, nullptr, nullptr, nullptr, nullptr, 0));
    // Whatever was sent is synced and its results read, each ended by a null, up to the sync's:
    // libpq leaves pipeline mode only once nothing is pending. The first result of each is kept.
    PgResult results[3];
    bool synced = false;
    if (sent(PQpipelineSync(mConn))) {
        for (int i = 0; !synced && PQstatus(mConn) == CONNECTION_OK;) {
            PgResult r(PQgetResult(mConn));
            if (!r.get())
                ++i;
            else if (PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC)
                synced = true;
            else if (i < 3 && !results[i].get())
                results[i] = std::move(r);
        }
    }
    if (!PQexitPipelineMode(mConn) && PQstatus(mConn) == CONNECTION_OK) {
        // Still pending and never to be read: the session is given up for a new one, as a lost
        // one is (its transaction ends with it).
        qCWarning(lcDb) << "a server connection left in pipeline mode is made again";
        PQreset(mConn);
        renewed();
    }
    const auto ok = [](const PgResult &r) {
        const ExecStatusType st = r.get() ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
        return st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
    };
    if (!synced) {
        if (refused.get())
            return refused;
        return std::move(results[1].get() && PQresultStatus(results[1].get()) != PGRES_PIPELINE_ABORTED ? results[1] : results[0]);
    }
    if (!ok(results[0]))
        return std::move(results[0].get() ? results[0] : refused); // no savepoint: the statement did not run
    if (!ok(results[1])) {
        // Failed, or never sent: undone alone.
        PgResult undo(PQexec(mConn, "ROLLBACK TO SAVEPOINT velostok_statement; RELEASE SAVEPOINT velostok_statement"));
        return std::move(results[1].get() ? results[1] : refused);
    }
    if (!results[2].get()) // ran, its release not sent
        results[2] = PgResult(PQexec(mConn, "RELEASE SAVEPOINT velostok_statement"));
    if (!ok(results[2]))
        return std::move(results[2]);
    return std::move(results[1]);
}

QString PgConnection::numberedPlaceholders(const QString &sql, int *params)
{
    QString out;
    out.reserve(sql.size() + 8);
    int n = 0;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // A quoted text or name, its doubled quotes included.
            const qsizetype start = i;
            ++i;
            while (i < sql.size()) {
                if (sql.at(i) == c) {
                    if (i + 1 < sql.size() && sql.at(i + 1) == c) {
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            out += QStringView(sql).mid(start, i - start + 1);
        } else if (c == QLatin1Char('-') && i + 1 < sql.size() && sql.at(i + 1) == QLatin1Char('-')) {
            const qsizetype end = sql.indexOf(QLatin1Char('\n'), i);
            const qsizetype stop = end < 0 ? sql.size() : end;
            out += QStringView(sql).mid(i, stop - i);
            i = stop - 1;
        } else if (c == QLatin1Char('?')) {
            out += QLatin1Char('$') + QString::number(++n);
        } else {
            out += c;
        }
    }
    if (params)
        *params = n;
    return out;
}

// ---- statement

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

QString PgStatement::declTypeOf(unsigned oid, int mod)
{
    switch (oid) {
    case VarcharOid:
        return mod > 4 ? QStringLiteral("TEXT(%1)").arg(mod - 4) : QStringLiteral("TEXT");
    case Int2Oid:
        return QStringLiteral("SHORT");
    case Int4Oid:
        return QStringLiteral("LONG");
    case Int8Oid:
        return QStringLiteral("INTEGER");
    case Float4Oid:
    case Float8Oid:
    case NumericOid:
        return QStringLiteral("DOUBLE");
    case BoolOid:
        return QStringLiteral("YESNO");
    case TimestampOid:
        return QStringLiteral("DATETIME");
    case ByteaOid:
        return QStringLiteral("BLOB");
    default:
        return QStringLiteral("TEXT");
    }
}

QString PgStatement::columnDeclType(int i) const
{
    const pg_result *r = mRan ? mResult.get() : (describe(), mDescription.get());
    if (PQftable(r, i) == InvalidOid)
        return QString(); // an expression
    return declTypeOf(PQftype(r, i), PQfmod(r, i));
}

bool PgStatement::columnIsNull(int i) const { return mResult.isNull(mRow, i); }

qint64 PgStatement::columnInt64(int i) const
{
    if (mResult.isNull(mRow, i))
        return 0;
    const QByteArrayView t = mResult.text(mRow, i);
    if (typeOf(i) == BoolOid)
        return t == "t" ? 1 : 0;
    if (isReal(typeOf(i))) {
        const double d = realOf(t);
        return std::isfinite(d) ? qint64(d) : 0;
    }
    return t.toLongLong();
}

QVariant PgStatement::column(int i) const
{
    if (mResult.isNull(mRow, i))
        return QVariant();
    const unsigned oid = typeOf(i);
    const QByteArrayView t = mResult.text(mRow, i);
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

QByteArrayView PgStatement::columnText(int i) const
{
    if (mResult.isNull(mRow, i))
        return {};
    const QByteArrayView t = mResult.text(mRow, i);
    if (typeOf(i) == BoolOid)
        return t == "t" ? QByteArrayView("1") : QByteArrayView("0");
    return t;
}

// ---- scan

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
