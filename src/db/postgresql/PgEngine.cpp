// The PostgreSQL engine: connection, transactions, schema introspection, and the copies and
// maintenance an inventory on a server needs.
#include "postgresql/PgEngine.h"

#include "base/DaoError.h"
#include "base/DbLog.h"
#include "engine/EngineFactory.h"
#include "engine/InventoryCopy.h"
#include "engine/InventorySchema.h"
#include "postgresql/PgCopyStatement.h"
#include "postgresql/PgScanStatement.h"
#include "postgresql/PgSchema.h"
#include "postgresql/PgStatement.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTimeZone>
#include <libpq-fe.h>
#include <mutex>
#include <vector>

namespace {

// The server folds a name written without quotes to lower case, SQLite keeps it as written: a
// result column named by such an alias ("AS MaxNum") takes the alias's spelling.
QString spelledAsWritten(const QString &name, const QString &sql)
{
    if (name != name.toLower())
        return name; // quoted: as written already
    static const QRegularExpression alias(QStringLiteral("\\bAS\\s+(\\w+)"),
                                          QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    for (auto it = alias.globalMatch(sql); it.hasNext();) {
        const QString written = it.next().captured(1);
        if (written.toLower() == name)
            return written;
    }
    return name;
}

} // namespace

struct PgEngine::ReaderPool
{
    static constexpr size_t Kept = 4; // the three pick lists at once, and one more
    struct Connection
    {
        PgConnection conn;
        QDeadlineTimer expires;
    };
    std::mutex mutex;
    std::vector<Connection> idle; // the most recently kept last

    // Ends those kept longer than the idle time (the server ends them too, should nobody come).
    void dropExpired()
    {
        std::erase_if(idle, [](const Connection &c) { return c.expires.hasExpired(); });
    }
};

int &PgEngine::keptReaderIdleMs()
{
    static int ms = 60000;
    return ms;
}

PgEngine::~PgEngine()
{
    if (!mHome || !mConn.isIdle())
        return;
    const std::lock_guard lock(mHome->mutex);
    mHome->dropExpired();
    if (mHome->idle.size() < ReaderPool::Kept)
        mHome->idle.push_back({std::move(mConn), QDeadlineTimer(keptReaderIdleMs())});
}

bool PgEngine::isConnectionString(const QString &database)
{
    const QString d = database.trimmed();
    if (d.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) || d.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive))
        return true;
    // Keyword form: "host=… dbname=…"; a file path holds no "dbname=" or "host=" word.
    static const QRegularExpression keyword(QStringLiteral("(^|\\s)(host|hostaddr|dbname|service|port|user)\\s*="));
    return keyword.match(d).hasMatch();
}

QString PgEngine::withoutPassword(const QString &conninfo)
{
    PQconninfoOption *options = PQconninfoParse(conninfo.toUtf8().constData(), nullptr);
    if (!options)
        return QStringLiteral("?"); // not readable: nothing of it is shown, a password included
    bool hadPassword = false;
    QStringList kept;
    for (const PQconninfoOption *o = options; o->keyword; ++o) {
        if (!o->val || !*o->val)
            continue;
        if (qstrcmp(o->keyword, "password") == 0) {
            hadPassword = true;
            continue;
        }
        QString v = QString::fromUtf8(o->val);
        if (v.contains(QLatin1Char(' ')) || v.contains(QLatin1Char('\'')) || v.contains(QLatin1Char('\\')))
            v = QLatin1Char('\'') + v.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'")) + QLatin1Char('\'');
        kept << QString::fromUtf8(o->keyword) + QLatin1Char('=') + v;
    }
    PQconninfoFree(options);
    return hadPassword ? kept.join(QLatin1Char(' ')) : conninfo;
}

void PgEngine::open(const QString &conninfo)
{
    mConn.open(conninfo);
    try {
        int version = 0;
        if (!pgschema::isInventory(mConn, &version))
            throw DaoError(QStringLiteral("Базата на сървъра не съдържа склад на Velostok."));
        if (version < 1 || version > inventoryschema::SchemaVersion)
            throw DaoError(QStringLiteral("Базата на сървъра е от непозната версия (%1) и не може да бъде отворена.").arg(version));
        setUpSession();
        addToLayout();
        reconnectWithSession();
    } catch (...) {
        mConn.close();
        throw;
    }
}

// Brings the inventory's additions up to this program's in one transaction, the first copy to
// come doing it while the others wait; a role that may not change the schema leaves them as they
// are, and the inventory is used without them.
void PgEngine::addToLayout()
{
    mAdditions = pgschema::additionsOf(mConn);
    if (mAdditions >= inventoryschema::AdditionsStep)
        return;
    try {
        mConn.exec(QStringLiteral("BEGIN"));
        try {
            mConn.exec(QStringLiteral("LOCK TABLE velostok_meta IN EXCLUSIVE MODE"));
            const int step = pgschema::additionsOf(mConn);
            if (step < inventoryschema::AdditionsStep)
                mConn.exec(pgschema::additionsSql(step));
            mConn.exec(QStringLiteral("COMMIT"));
        } catch (...) {
            try {
                mConn.exec(QStringLiteral("ROLLBACK"));
            } catch (const DaoError &) {
            }
            throw;
        }
        mAdditions = pgschema::additionsOf(mConn);
    } catch (const DaoError &e) {
        qCWarning(lcDb) << "the additions of the server's inventory stay at step" << mAdditions << ":" << e.message();
    }
}

// A connection made again gets this engine's session settings and names back.
void PgEngine::reconnectWithSession()
{
    mConn.setOnReconnect([this] {
        setUpSession();
        if (!mComputer.isEmpty() || !mUser.isEmpty())
            announce(mComputer, mUser);
    });
}

// Dates are written and read as local time without a zone, as the file keeps them; a lock
// held by another counter is waited for as long as the busy timeout says. A kept reader's session
// ends on the server once it has been idle a little longer than it is kept. Set again whenever a
// kept connection is used again, in one round trip when the server knows the zone by name.
void PgEngine::setUpSession()
{
    QString settings = QStringLiteral("SET DateStyle = 'ISO, YMD'; SET lock_timeout = %1; ").arg(qMax(mBusyMs, 1));
    if (mHome)
        settings += QStringLiteral("SET idle_session_timeout = %1; ").arg(keptReaderIdleMs() + 1000);
    // The server's clock in this computer's zone: a new row's creation time is local time, as the
    // file stamps it. A zone the server does not know by name is given as today's offset.
    const QByteArray zone = QTimeZone::systemTimeZoneId();
    if (char *quoted = PQescapeLiteral(mConn.handle(), zone.constData(), size_t(zone.size()))) {
        const QString byName = QStringLiteral("SET TimeZone = %1").arg(QString::fromUtf8(quoted));
        PQfreemem(quoted);
        try {
            mConn.exec(settings + byName); // all or none: one implicit transaction
            return;
        } catch (const DaoError &) {
            if (!mConn.isIdle())
                throw; // the connection, not the zone
        }
    }
    const int offset = QDateTime::currentDateTime().offsetFromUtc();
    mConn.exec(settings + QStringLiteral("SET TIME ZONE INTERVAL '%1%2:%3' HOUR TO MINUTE")
                              .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                              .arg(qAbs(offset) / 3600, 2, 10, QLatin1Char('0'))
                              .arg(qAbs(offset) % 3600 / 60, 2, 10, QLatin1Char('0')));
}

void PgEngine::close()
{
    mConn.close();
    mReads.clear();
    if (mReaders) {
        const std::lock_guard lock(mReaders->mutex);
        mReaders->idle.clear();
    }
    mReaders.reset();
}

void PgEngine::setBusyTimeout(int ms)
{
    mBusyMs = ms;
    if (mConn.isOpen())
        mConn.exec(QStringLiteral("SET lock_timeout = %1").arg(qMax(ms, 1)));
}

std::unique_ptr<DbEngine> PgEngine::openReader() const
{
    auto reader = std::make_unique<PgEngine>();
    reader->mBusyMs = mBusyMs;
    if (!mReaders)
        mReaders = std::make_shared<ReaderPool>();
    reader->mHome = mReaders;
    {
        const std::lock_guard lock(mReaders->mutex);
        mReaders->dropExpired();
        if (!mReaders->idle.empty()) {
            reader->mConn = std::move(mReaders->idle.back().conn);
            mReaders->idle.pop_back();
        }
    }
    if (reader->mConn.isOpen()) {
        try {
            // This engine's settings of now, not those it had when the connection was made.
            reader->setUpSession();
            reader->reconnectWithSession();
            return reader;
        } catch (const DaoError &) {
            reader->mConn.close(); // ended by the server meanwhile: a new one
        }
    }
    reader->open(mConn.conninfo());
    return reader;
}

std::unique_ptr<DbStatement> PgEngine::prepare(const QString &sql)
{
    if (mConn.stopAsked())
        throw DaoError(QStringLiteral("Заявката беше прекъсната."));
    return std::make_unique<PgStatement>(mConn, sql);
}

std::unique_ptr<DbStatement> PgEngine::prepareScan(const QString &sql)
{
    if (mConn.stopAsked())
        throw DaoError(QStringLiteral("Заявката беше прекъсната."));
    // Inside a transaction of the caller's, a failed cursor would abort that transaction: the
    // rows are read whole there, through the statement that undoes itself alone on failure.
    if (inTransaction())
        return std::make_unique<PgStatement>(mConn, sql);
    return std::make_unique<PgScanStatement>(mConn, sql);
}

void PgEngine::execute(const QString &sql) { mConn.exec(sql); }

int PgEngine::changes() const { return mConn.changes(); }

// The table's own sequence: lastval() would give a row that a trigger inserted elsewhere.
qint64 PgEngine::lastInsertId(const QString &table) const
{
    const int changed = mConn.changes();
    const PgResult r = mConn.query(QStringLiteral("SELECT currval(pg_get_serial_sequence(?, 'id'))"), {table});
    mConn.setChanges(changed); // asking does not change what the insert changed
    return r.rows() == 1 ? r.text(0, 0).toLongLong() : 0;
}

void PgEngine::beginRead()
{
    const QString begin = QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ");
    const bool idle = mConn.isIdle();
    try {
        mConn.exec(begin);
    } catch (const DaoError &) {
        // A kept connection the server has closed meanwhile: beginning changes nothing, so it
        // is done again on a new one.
        if (!idle || mConn.isIdle() || !mConn.isOpen() || PQstatus(mConn.handle()) != CONNECTION_BAD)
            throw;
        mConn.exec(begin);
    }
}

// The write lock first, so that what the transaction reads afterwards (the largest row number)
// stays true until it commits.
void PgEngine::beginWrite()
{
    mConn.exec(QStringLiteral("BEGIN"));
    try {
        mConn.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(pgschema::WriteLockKey));
    } catch (...) {
        rollback();
        throw;
    }
}

void PgEngine::commit()
{
    // Never on a connection made again: the transaction ended with the one that was lost.
    PgResult r(mConn.isOpen() ? PQexec(mConn.handle(), "COMMIT") : nullptr);
    mConn.check(r);
    // A transaction that a failed statement aborted ends in a rollback, which the server
    // reports as such rather than as an error.
    if (qstrcmp(PQcmdStatus(r.get()), "ROLLBACK") == 0)
        throw DaoError(QStringLiteral("Сървърът на базата отмени транзакцията заради неуспешна заявка в нея."));
}

// Readers never keep a commit waiting on a server.
bool PgEngine::tryCommit()
{
    commit();
    return true;
}

void PgEngine::rollback() noexcept
{
    if (!inTransaction())
        return;
    PGresult *r = PQexec(mConn.handle(), "ROLLBACK");
    PQclear(r);
}

bool PgEngine::inTransaction() const
{
    if (!mConn.isOpen())
        return false;
    const PGTransactionStatusType s = PQtransactionStatus(mConn.handle());
    return s == PQTRANS_INTRANS || s == PQTRANS_INERROR || s == PQTRANS_ACTIVE;
}

std::optional<SourceInfo> PgEngine::findSource(const QString &name)
{
    const PgResult rel = mConn.query(QStringLiteral(
        "SELECT c.oid, c.relname, c.relkind, obj_description(c.oid, 'pg_class') FROM pg_class c "
        "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = current_schema() "
        "AND c.relkind IN ('r', 'v') AND lower(c.relname) = lower(?) ORDER BY c.relname = ? DESC LIMIT 1"),
        {name, name});
    if (rel.rows() == 0)
        return std::nullopt;
    SourceInfo info;
    const QString oid = rel.string(0, 0);
    info.name = rel.string(0, 1);
    info.isTable = rel.text(0, 2) == "r";
    const PgResult cols = mConn.query(QStringLiteral(
        "SELECT a.attname, a.atttypid, a.atttypmod, "
        "EXISTS (SELECT 1 FROM pg_index i WHERE i.indrelid = a.attrelid AND i.indisprimary AND a.attnum = ANY (i.indkey)) "
        "FROM pg_attribute a WHERE a.attrelid = ?::oid AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum"),
        {oid});
    for (int i = 0; i < cols.rows(); ++i) {
        ColumnDecl c;
        c.name = cols.string(i, 0);
        c.type = PgStatement::fieldTypeOf(cols.string(i, 1).toUInt(), cols.string(i, 2).toInt(), cols.text(i, 3) == "t", &c.size);
        info.columns.push_back(c);
    }
    if (!info.isTable) {
        const PgResult def = mConn.query(QStringLiteral("SELECT pg_get_viewdef(?::oid)"), {oid});
        info.viewSql = def.rows() == 1 ? def.string(0, 0) : QString();
        if (!rel.isNull(0, 3))
            info.distinctOf = pgschema::distinctOf(rel.string(0, 3));
    }
    return info;
}

std::vector<ColumnDecl> PgEngine::resultColumns(const QString &sql)
{
    PgStatement st(mConn, sql);
    std::vector<ColumnDecl> cols;
    for (int i = 0; i < st.columnCount(); ++i) {
        ColumnDecl c = st.columnDecl(i);
        c.name = spelledAsWritten(c.name, sql);
        cols.push_back(c);
    }
    return cols;
}

// The server records what a view reads, column by column (and each table it reads at all): the
// query becomes a temporary view for a moment, and the views it reads are followed down to their
// tables; as SQLite tells, the views and the tables. A table none of whose columns it names
// (count(*)) is read whole.
QList<QPair<QString, QString>> PgEngine::readsOf(const QString &sql)
{
    // The schema does not change under an open inventory: what a query reads is asked once.
    if (const auto it = mReads.constFind(sql); it != mReads.cend())
        return *it;
    const int changed = mConn.changes();
    const bool own = !inTransaction();
    mConn.exec(own ? QStringLiteral("BEGIN") : QStringLiteral("SAVEPOINT velostok_reads"));
    // Nothing of it stays: neither the view nor, in a transaction of ours, the failure of a step.
    const auto undo = [&] {
        try {
            mConn.exec(own ? QStringLiteral("ROLLBACK")
                           : QStringLiteral("ROLLBACK TO SAVEPOINT velostok_reads; RELEASE SAVEPOINT velostok_reads"));
        } catch (const DaoError &) {
            if (own)
                rollback();
        }
        mConn.setChanges(changed);
    };
    try {
        mConn.prepared(sql); // a statement that does not compile raises, as on SQLite
    } catch (const DaoError &) {
        undo();
        throw;
    }
    QList<QPair<QString, QString>> reads;
    try {
        // Wrapped, so that result columns of the same name do not stop it.
        mConn.exec(QStringLiteral("CREATE TEMPORARY VIEW velostok_reads AS SELECT 1 FROM (%1) AS q").arg(sql));
        const PgResult r = mConn.query(QStringLiteral(
            "WITH RECURSIVE dep(rel, col) AS ("
            " SELECT d.refobjid, d.refobjsubid FROM pg_rewrite w JOIN pg_depend d ON d.objid = w.oid"
            " AND d.classid = 'pg_rewrite'::regclass AND d.refclassid = 'pg_class'::regclass AND d.refobjid <> w.ev_class"
            " WHERE w.ev_class = 'velostok_reads'::regclass"
            " UNION"
            " SELECT d.refobjid, d.refobjsubid FROM dep JOIN pg_rewrite w ON w.ev_class = dep.rel JOIN pg_depend d ON d.objid = w.oid"
            " AND d.classid = 'pg_rewrite'::regclass AND d.refclassid = 'pg_class'::regclass AND d.refobjid <> w.ev_class)"
            " SELECT c.relname, a.attname FROM dep JOIN pg_class c ON c.oid = dep.rel AND c.relkind IN ('r', 'p', 'v')"
            " LEFT JOIN pg_attribute a ON a.attrelid = dep.rel AND a.attnum = dep.col AND dep.col > 0"
            " GROUP BY 1, 2 ORDER BY 1, 2 NULLS FIRST"));
        for (int i = 0; i < r.rows(); ++i) {
            const QString table = r.string(i, 0);
            if (r.isNull(i, 1)) {
                // The table as a whole: stands only when no column of it follows.
                if (i + 1 < r.rows() && r.string(i + 1, 0) == table && !r.isNull(i + 1, 1))
                    continue;
                reads.append({table, QString()});
            } else {
                reads.append({table, r.string(i, 1)});
            }
        }
        mReads.insert(sql, reads);
    } catch (const DaoError &) {
        reads.clear(); // a query no view can hold (with parameters, say): it may read anything
    }
    undo();
    return reads;
}

// The commits of every other session, as counted by the tables' triggers; this one's own do not
// count, as SQLite's data_version leaves out the connection's own.
qint64 PgEngine::dataVersion()
{
    const int changed = mConn.changes();
    const PgResult r = mConn.query(QStringLiteral("SELECT coalesce(sum(n), 0) FROM velostok_changes WHERE pid <> pg_backend_pid()"));
    mConn.setChanges(changed);
    return r.rows() == 1 ? r.text(0, 0).toLongLong() : 0;
}

// Others' commits come as notifications from the tables' statement triggers; libpq keeps those
// that arrive during our own statements until asked. The connection's own are left out.
bool PgEngine::othersCommitted()
{
    pg_conn *c = mConn.handle();
    if (!c || additions() < inventoryschema::CommitNoticeStep)
        return false;
    // The server went away: connected again here without waiting (the watch asks every few
    // seconds while idle), so that notices come again; the next call listens and says true once.
    if (PQstatus(c) != CONNECTION_OK) {
        mConn.reconnectStep();
        return false;
    }
    if (!mConn.isIdle())
        return false;
    try {
        if (mListening != mConn.generation()) {
            const bool again = mListening >= 0;
            mConn.exec(QStringLiteral("LISTEN velostok_commit"));
            mListening = mConn.generation();
            return again; // what was committed while the connection was away is not known
        }
    } catch (const DaoError &) {
        return false;
    }
    if (!PQconsumeInput(c)) {
        mConn.reconnectStep();
        return false;
    }
    bool others = false;
    while (PGnotify *n = PQnotifies(c)) {
        others = others || n->be_pid != PQbackendPID(c);
        PQfreemem(n);
    }
    return others;
}

int PgEngine::commitSocket() const
{
    return mConn.handle() ? PQsocket(mConn.handle()) : -1;
}

void PgEngine::releaseMemory() {}

// Checked before each statement, and while one runs: the server is told to cancel it.
void PgEngine::setStopCheck(std::function<bool()> stop) { mConn.setStopCheck(std::move(stop)); }

void PgEngine::setReadOnly(bool readOnly)
{
    mConn.exec(readOnly ? QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY")
                        : QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ WRITE"));
}


// The names go to a table of sessions rather than into the server's application name, which
// keeps printable ASCII only; a session's row counts while the server runs that session.
void PgEngine::announce(const QString &computer, const QString &user)
{
    mComputer = computer;
    mUser = user;
    mConn.exec(QStringLiteral("SET application_name = 'Velostok'"));
    // The change counts of sessions that have ended go into one row, so that their number stays
    // small and their sum (what others' data version counts) stays as it was.
    mConn.exec(QStringLiteral("WITH gone AS (DELETE FROM velostok_changes c WHERE pid <> 0 AND NOT EXISTS "
                              "(SELECT 1 FROM pg_stat_activity a WHERE a.pid = c.pid) RETURNING n) "
                              "UPDATE velostok_changes SET n = n + (SELECT sum(n) FROM gone) "
                              "WHERE pid = 0 AND EXISTS (SELECT 1 FROM gone)"));
    mConn.query(QStringLiteral("INSERT INTO velostok_sessions (pid, started, computer, user_name) "
                               "SELECT pid, backend_start, ?, ? FROM pg_stat_activity WHERE pid = pg_backend_pid() "
                               "ON CONFLICT (pid) DO UPDATE SET started = EXCLUDED.started, computer = EXCLUDED.computer, "
                               "user_name = EXCLUDED.user_name"),
                {computer, user});
}

std::optional<QList<DbEngine::Connected>> PgEngine::connectedTo(const QString &conninfo)
{
    try {
        return sessionsOf(conninfo);
    } catch (const DaoError &e) {
        qCWarning(lcDb) << "the server's connections could not be read:" << e.message();
        throw DaoError(QStringLiteral("Сървърът на базата не дава списъка на свързаните потребители."));
    }
}

QList<DbEngine::Connected> PgEngine::sessionsOf(const QString &conninfo)
{
    PgConnection c;
    c.open(conninfo);
    const PgResult r = c.query(QStringLiteral("SELECT s.computer, s.user_name FROM velostok_sessions s "
                                              "JOIN pg_stat_activity a ON a.pid = s.pid AND a.backend_start = s.started "
                                              "WHERE a.datname = current_database() ORDER BY a.backend_start"));
    QList<Connected> out;
    for (int i = 0; i < r.rows(); ++i)
        out.append({r.string(i, 0), r.string(i, 1)});
    return out;
}

// The server's inventory as an inventory file (the shop's local copies), in one snapshot.
void PgEngine::copyOpenDatabase(const QString &path, const Progress &progress)
{
    QFile::remove(path); // the empty file made for it: the new file takes its name
    const std::unique_ptr<DbEngine> out = engines::createForFile();
    out->createDatabase(path);
    out->open(path);
    inventorycopy::copyInventory(*this, *out, progress);
    out->close();
}

std::unique_ptr<DbStatement> PgEngine::prepareInventoryScan(const QString &sql, bool ownSnapshot)
{
    // Streamed only in the snapshot of its own, whose rollback ends a COPY that failed or was
    // abandoned (see prepareScan).
    if (ownSnapshot)
        return std::make_unique<PgCopyStatement>(mConn, sql);
    return std::make_unique<PgStatement>(mConn, sql);
}

QString PgEngine::missingTableMessage(const QString &table) const
{
    return QStringLiteral("Таблицата %1 липсва в базата на сървъра.").arg(table);
}

// On a server, compaction is its VACUUM; there is no file to write.
void PgEngine::compact(const QString &conninfo)
{
    PgConnection c;
    c.open(conninfo);
    c.exec(QStringLiteral("VACUUM ANALYZE"));
}

void PgEngine::createDatabase(const QString &conninfo, const QString &cataloguePath)
{
    PgConnection c;
    c.open(conninfo);
    pgschema::createInventory(c, cataloguePath);
}

FileVersion PgEngine::fileVersion(const QString &conninfo) const
{
    try {
        PgConnection c;
        c.open(conninfo);
        int version = 0;
        if (!pgschema::isInventory(c, &version))
            return {FileVersion::NotADatabase, 0};
        return {FileVersion::Ok, version};
    } catch (const DaoError &) {
        return {FileVersion::Unreadable, 0};
    }
}
