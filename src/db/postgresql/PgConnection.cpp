// The raw libpq connection: session, prepared statements, stoppable and guarded execution.
#include "postgresql/PgConnection.h"

#include "base/DaoError.h"
#include "base/DbLog.h"
#include "base/StoredDateTime.h"
#include "postgresql/PgErrors.h"

#include <cerrno>
#include <libpq-fe.h>
#include <poll.h>
#include <utility>

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
    mResetPolling = 0;
    PQreset(mConn);
    if (PQstatus(mConn) != CONNECTION_OK)
        raise(nullptr);
    renewed();
}

bool PgConnection::reconnectStep()
{
    if (!mConn)
        return false;
    if (mResetPolling == 0) {
        if (PQstatus(mConn) == CONNECTION_OK)
            return true;
        if (!PQresetStart(mConn))
            return false;
        mResetPolling = PGRES_POLLING_WRITING;
    }
    // libpq is asked again only once the socket is ready for what it waits for.
    pollfd p{PQsocket(mConn), short(mResetPolling == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
    if (p.fd < 0 || ::poll(&p, 1, 0) <= 0)
        return false;
    const PostgresPollingStatusType s = PQresetPoll(mConn);
    if (s == PGRES_POLLING_OK) {
        mResetPolling = 0;
        renewed();
        return true;
    }
    mResetPolling = s == PGRES_POLLING_FAILED ? 0 : int(s); // failed: started again next time
    return false;
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
