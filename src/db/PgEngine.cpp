// The PostgreSQL engine: connection, transactions, schema introspection, and the copies and
// maintenance an inventory on a server needs.
#include "PgEngine.h"

#include "DaoError.h"
#include "PgSchema.h"
#include "SqliteEngine.h"
#include "SqliteSchema.h"
#include "StoredDateTime.h"

#include <QFile>
#include <QRegularExpression>
#include <libpq-fe.h>

namespace {

// The advisory lock every Velostok writer that must exclude the others takes ('VLST').
constexpr qint64 WriteLockKey = 0x564C5354;

const char *const InventoryTables[] = {"main", "models", "users"};

} // namespace

PgEngine::~PgEngine() = default;

bool PgEngine::isConnectionString(const QString &database)
{
    const QString d = database.trimmed();
    if (d.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) || d.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive))
        return true;
    // Keyword form: "host=… dbname=…"; a file path holds no "dbname=" or "host=" word.
    static const QRegularExpression keyword(QStringLiteral("(^|\\s)(host|hostaddr|dbname|service|port|user)\\s*="));
    return keyword.match(d).hasMatch();
}

void PgEngine::open(const QString &conninfo)
{
    mConn.open(conninfo);
    try {
        setBusyTimeout(mBusyMs);
        int version = 0;
        if (!pgschema::isInventory(mConn, &version))
            throw DaoError(QStringLiteral("Базата на сървъра не съдържа склад на Velostok."));
        if (version < 1 || version > sqliteschema::SchemaVersion)
            throw DaoError(QStringLiteral("Базата на сървъра е от непозната версия (%1) и не може да бъде отворена.").arg(version));
        // Dates are written and read as local time without a zone, as the file keeps them.
        mConn.exec(QStringLiteral("SET DateStyle = 'ISO, YMD'; SET TimeZone = 'UTC'"));
    } catch (...) {
        mConn.close();
        throw;
    }
}

void PgEngine::close() { mConn.close(); }

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
    reader->open(mConn.conninfo());
    return reader;
}

std::unique_ptr<DbStatement> PgEngine::prepare(const QString &sql)
{
    if (mStop && mStop())
        throw DaoError(QStringLiteral("Заявката беше прекъсната."));
    return std::make_unique<PgStatement>(mConn, sql);
}

void PgEngine::execute(const QString &sql) { mConn.exec(sql); }

int PgEngine::changes() const { return mConn.changes(); }

qint64 PgEngine::lastInsertId() const
{
    const int changed = mConn.changes();
    const PgResult r = mConn.query(QStringLiteral("SELECT lastval()"));
    mConn.setChanges(changed); // asking does not change what the insert changed
    return r.rows() == 1 ? r.text(0, 0).toLongLong() : 0;
}

void PgEngine::beginRead() { mConn.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ")); }

// The write lock first, so that what the transaction reads afterwards (the largest row number)
// stays true until it commits.
void PgEngine::beginWrite()
{
    mConn.exec(QStringLiteral("BEGIN"));
    try {
        mConn.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(WriteLockKey));
    } catch (...) {
        rollback();
        throw;
    }
}

void PgEngine::commit() { mConn.exec(QStringLiteral("COMMIT")); }

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
    for (int i = 0; i < cols.rows(); ++i)
        info.columns.push_back({cols.string(i, 0), PgStatement::declTypeOf(cols.string(i, 1).toUInt(), cols.string(i, 2).toInt()),
                                cols.text(i, 3) == "t"});
    if (!info.isTable) {
        const PgResult def = mConn.query(QStringLiteral("SELECT pg_get_viewdef(?::oid)"), {oid});
        info.viewSql = def.rows() == 1 ? def.string(0, 0) : QString();
        // A view's columns come from expressions: no declared type, as on SQLite.
        for (ColumnDecl &c : info.columns)
            c.declType.clear();
        if (!rel.isNull(0, 3))
            info.distinctOf = pgschema::distinctOf(rel.string(0, 3));
    }
    return info;
}

std::vector<ColumnDecl> PgEngine::resultColumns(const QString &sql)
{
    PgStatement st(mConn, sql);
    std::vector<ColumnDecl> cols;
    for (int i = 0; i < st.columnCount(); ++i)
        cols.push_back({st.columnName(i), st.columnDeclType(i), false});
    return cols;
}

// The server does not tell which tables a statement reads: any of them.
QList<QPair<QString, QString>> PgEngine::readsOf(const QString &) { return {}; }

qint64 PgEngine::dataVersion()
{
    const int changed = mConn.changes();
    const PgResult r = mConn.query(QStringLiteral("SELECT n FROM velostok_changes"));
    mConn.setChanges(changed);
    return r.rows() == 1 ? r.text(0, 0).toLongLong() : 0;
}

void PgEngine::releaseMemory() {}

// Checked before each statement: a statement under way runs to its end on the server.
void PgEngine::setStopCheck(std::function<bool()> stop) { mStop = std::move(stop); }

QVariant PgEngine::storedForm(const QVariant &v) const
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return QVariant(qint64(v.toBool() ? 1 : 0));
    case QMetaType::QDateTime:
        return QVariant(storedtime::text(v.toDateTime()));
    case QMetaType::Int:
        return QVariant(qint64(v.toInt()));
    default:
        return v;
    }
}

// The names go to a table of sessions rather than into the server's application name, which
// keeps printable ASCII only; a session's row counts while the server runs that session.
void PgEngine::announce(const QString &computer, const QString &user)
{
    mConn.exec(QStringLiteral("SET application_name = 'Velostok'"));
    mConn.query(QStringLiteral("INSERT INTO velostok_sessions (pid, started, computer, user_name) "
                               "SELECT pid, backend_start, ?, ? FROM pg_stat_activity WHERE pid = pg_backend_pid() "
                               "ON CONFLICT (pid) DO UPDATE SET started = EXCLUDED.started, computer = EXCLUDED.computer, "
                               "user_name = EXCLUDED.user_name"),
                {computer, user});
}

std::optional<QList<DbEngine::Connected>> PgEngine::connectedTo(const QString &conninfo)
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

// The server's inventory as an SQLite inventory file (the shop's local copies), in one snapshot.
void PgEngine::copyOpenDatabase(const QString &path)
{
    QFile::remove(path); // the empty file made for it: the new file takes its name
    SqliteEngine out;
    out.createDatabase(path);
    out.open(path);
    const bool own = !inTransaction();
    if (own)
        beginRead();
    try {
        out.beginWrite();
        for (const char *table : InventoryTables) {
            const QString t = QString::fromLatin1(table);
            const std::optional<SourceInfo> src = findSource(t);
            if (!src)
                throw DaoError(QStringLiteral("Таблицата %1 липсва в базата на сървъра.").arg(t));
            QStringList names;
            QStringList marks;
            for (const ColumnDecl &c : src->columns) {
                names << mDialect.quoteIdentifier(c.name);
                marks << QStringLiteral("?");
            }
            out.execute(QStringLiteral("DELETE FROM %1").arg(t));
            std::unique_ptr<DbStatement> ins = out.prepare(
                QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(t, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
            PgStatement rows(mConn, QStringLiteral("SELECT %1 FROM %2 ORDER BY id").arg(names.join(QLatin1Char(',')), t));
            while (rows.step()) {
                ins->reset();
                for (int i = 0; i < rows.columnCount(); ++i)
                    ins->bind(i + 1, rows.column(i));
                ins->step();
            }
        }
        out.commit();
    } catch (...) {
        out.rollback();
        if (own)
            rollback();
        throw;
    }
    if (own)
        rollback(); // the snapshot only read
    out.close();
}

// On a server, compaction is its VACUUM; there is no file to write.
void PgEngine::compactInto(const QString &source, const QString &)
{
    PgConnection c;
    c.open(source);
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
