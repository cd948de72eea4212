// Opening inventory files with SQLite, the journal, transactions, schema introspection, copies.
#include "sqlite/SqliteEngine.h"

#include "base/DaoError.h"
#include "base/DbLog.h"
#include "base/FileReplacement.h"
#include "engine/InventorySchema.h"
#include "sqlite/FileNames.h"
#include "sqlite/RosterGate.h"
#include "sqlite/SqliteFunctions.h"
#include "sqlite/SqliteSchema.h"

#include <QFile>
#include <QScopeGuard>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <cstring>
#include <limits>
#include <sqlite3.h>

namespace {

constexpr int DefaultBusyMs = 5000;
constexpr int HeaderSize = 100;
constexpr int UserVersionOffset = 60;
constexpr char Magic[] = "SQLite format 3"; // followed by a zero byte in the file

int collectReads(void *user, int action, const char *a, const char *b, const char *, const char *)
{
    if (action == SQLITE_READ && a) {
        auto *reads = static_cast<QList<QPair<QString, QString>> *>(user);
        const QPair<QString, QString> r(QString::fromUtf8(a), b ? QString::fromUtf8(b) : QString());
        if (!reads->contains(r))
            reads->append(r);
    }
    return SQLITE_OK;
}

quint32 bigEndian32(const uchar *p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

// The page size a database header gives; 0 when it is no sound header (of an inventory, when
// inventory is set).
quint32 headerPageSize(const QByteArray &head, bool inventory = false)
{
    if (head.size() < HeaderSize || !head.startsWith(QByteArrayView(Magic, sizeof Magic)))
        return 0;
    const quint32 v = (quint32(uchar(head[16])) << 8) | quint32(uchar(head[17]));
    const quint32 size = v == 1 ? 65536u : v;
    if (size < 512 || size > 65536 || (size & (size - 1)) != 0)
        return 0;
    if (inventory && bigEndian32(reinterpret_cast<const uchar *>(head.constData()) + 68) != quint32(inventoryschema::ApplicationId))
        return 0;
    return size;
}

// The page size in the journal's copy of page 1 (0: it holds none, or no inventory's).
quint32 journalPageOne(QFile &journal, qint64 sector, qint64 recordSize, qint64 count)
{
    for (qint64 i = 0; i < count && journal.seek(sector + i * recordSize); ++i) {
        const QByteArray number = journal.read(4);
        if (number.size() < 4)
            return 0;
        if (bigEndian32(reinterpret_cast<const uchar *>(number.constData())) == 1)
            return headerPageSize(journal.read(HeaderSize), true);
    }
    return 0;
}

// Whether a rollback journal could have been written for this file: played back, it writes its
// pages over the file's and cuts the file to the size its header names.
bool journalFits(const QString &journalPath, const QString &path)
{
    QFile journal(journalPath);
    QFile file(path);
    if (!journal.open(QIODevice::ReadOnly) || !file.open(QIODevice::ReadOnly))
        return true; // the opening itself reports what cannot be read
    const QByteArray head = journal.read(28);
    static constexpr uchar JournalMagic[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
    if (head.size() < 28 || std::memcmp(head.constData(), JournalMagic, sizeof JournalMagic) != 0)
        return true; // no journal header: nothing is played back
    const auto *h = reinterpret_cast<const uchar *>(head.constData());
    const quint32 records = bigEndian32(h + 8);
    const quint32 checksumStart = bigEndian32(h + 12);
    const quint32 originalPages = bigEndian32(h + 16);
    const quint32 sector = bigEndian32(h + 20);
    const quint32 pageSize = bigEndian32(h + 24);
    const QByteArray fileHead = file.read(HeaderSize);
    if (fileHead.size() < HeaderSize)
        return true;
    if (sector < 32 || sector > 65536 || (sector & (sector - 1)) != 0)
        return false;
    const qint64 recordSize = qint64(pageSize) + 8;
    const qint64 count = records == 0xffffffffu ? (journal.size() - sector) / recordSize : qint64(records);
    quint32 filePageSize = headerPageSize(fileHead);
    // A header torn by a power cut while page 1 was written: the journal holds the page as it
    // was, and playing it back writes it back.
    if (filePageSize == 0 && count > 0)
        filePageSize = journalPageOne(journal, sector, recordSize, count);
    if (pageSize != filePageSize)
        return false;
    if (count <= 0) // only the cut to the original size would happen
        return qint64(originalPages) * pageSize >= file.size();
    // The first page record carries a checksum seeded by the header's random number.
    if (!journal.seek(sector))
        return false;
    const QByteArray record = journal.read(recordSize);
    if (record.size() < recordSize)
        return false;
    const auto *r = reinterpret_cast<const uchar *>(record.constData());
    quint32 sum = checksumStart;
    for (qint64 i = qint64(pageSize) - 200; i > 0; i -= 200)
        sum += r[4 + i];
    return bigEndian32(r) != 0 && sum == bigEndian32(r + 4 + pageSize);
}

// A journal left beside the file by a copy that died in the middle of a write is played back
// when the file is next opened; one that does not belong to the file (or is damaged) would
// damage it. Such a file is not opened, and both are left as they are.
void refuseForeignJournal(const QString &path)
{
    const QString journalPath = path + QStringLiteral("-journal");
    if (QFileInfo(journalPath).size() <= 0)
        return;
    // Whether it would be played back (nobody writes through it now): a read-only connection
    // refuses to, and says so.
    SqliteConnection::configureLibrary();
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(db, 1);
        rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    }
    sqlite3_close_v2(db);
    if (rc != SQLITE_READONLY_ROLLBACK || journalFits(journalPath, path))
        return;
    throw DaoError(QStringLiteral("Базата \"%1\" не е отворена: журналът до нея (%2) не е неин или е повреден и би я повредил.")
                       .arg(path, QFileInfo(journalPath).fileName()));
}

// The program's tables of a file, in the order they were made.
QStringList tablesOf(const SqliteConnection &conn)
{
    QStringList out;
    SqliteStatement st = conn.prepare(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' ORDER BY rowid"));
    while (st.step())
        out << st.column(0).toString();
    return out;
}

QString quoted(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// Rows of a table, counted in the table itself, not in an index of it.
qint64 rowsOf(const SqliteConnection &conn, const QString &table)
{
    return conn.scalar(QStringLiteral("SELECT count(*) FROM %1 NOT INDEXED").arg(quoted(table))).toLongLong();
}

// Reads every value of every row of a table from the table itself; raises where it cannot.
void readWhole(const SqliteConnection &conn, const QString &table)
{
    SqliteStatement st = conn.prepare(QStringLiteral("SELECT * FROM %1 NOT INDEXED").arg(quoted(table)));
    const int columns = st.columnCount();
    while (st.step())
        for (int c = 0; c < columns; ++c)
            sqlite3_column_bytes(st.handle(), c); // long values are read from their overflow pages
}

std::optional<FileHealth> checkFile(const SqliteConnection &conn)
{
    FileHealth health;
    {
        SqliteStatement st = conn.prepare(QStringLiteral("PRAGMA quick_check"));
        while (st.step())
            if (const QString line = st.column(0).toString(); line != QLatin1String("ok"))
                health.problems << line;
    }
    if (health.problems.isEmpty())
        return health;
    // Damage that no page of a table shares (an index, the free pages) can be made anew from
    // the tables. A problem the check names no page for counts as the tables'; so does any when
    // the pages cannot be told apart.
    health.damage = FileHealth::Tables;
    try {
        QSet<qint64> tablePages{1}; // the schema
        for (const QString &table : tablesOf(conn)) {
            SqliteStatement st = conn.prepare(QStringLiteral("SELECT pageno FROM dbstat WHERE name = ?"));
            st.bind(1, table);
            while (st.step())
                tablePages.insert(st.columnInt64(0));
        }
        const qint64 pageCount = conn.scalar(QStringLiteral("PRAGMA page_count")).toLongLong();
        static const QRegularExpression pageNumber(QStringLiteral("page (\\d+)"), QRegularExpression::CaseInsensitiveOption);
        for (const QString &line : std::as_const(health.problems)) {
            bool named = false;
            for (auto m = pageNumber.globalMatch(line); m.hasNext();) {
                const qint64 page = m.next().captured(1).toLongLong();
                if (page < 1 || page > pageCount)
                    continue; // a pointer the damage wrote, not a page of the file
                named = true;
                if (tablePages.contains(page))
                    return health;
            }
            if (!named)
                return health;
        }
        for (const QString &table : tablesOf(conn))
            readWhole(conn, table);
        health.damage = FileHealth::Repairable;
    } catch (const Interrupted &) {
        throw;
    } catch (const DaoError &e) {
        health.problems << e.message();
    }
    return health;
}

// Writes the database of src anew into the empty file dest: every table's rows read from the
// table itself, then the indexes, views and triggers made from the schema's own statements.
// Raises when a table cannot be read whole or the new file is not sound.
void rebuild(const SqliteConnection &src, const QString &dest)
{
    SqliteConnection out;
    out.open(dest);
    // A new file nobody sees until it is renamed into place after a flush.
    out.exec(QStringLiteral("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF"));
    out.exec(QStringLiteral("PRAGMA page_size = %1").arg(src.scalar(QStringLiteral("PRAGMA page_size")).toInt()));
    out.exec(QStringLiteral("PRAGMA application_id = %1; PRAGMA user_version = %2")
                 .arg(src.scalar(QStringLiteral("PRAGMA application_id")).toLongLong())
                 .arg(src.scalar(QStringLiteral("PRAGMA user_version")).toLongLong()));
    struct Object
    {
        QString type, name, sql;
    };
    QList<Object> objects;
    {
        SqliteStatement st = src.prepare(QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY rowid"));
        while (st.step())
            objects.append({st.column(0).toString(), st.column(1).toString(), st.column(2).toString()});
    }
    out.exec(QStringLiteral("BEGIN"));
    for (const Object &o : std::as_const(objects))
        if (o.type == QLatin1String("table") && !o.name.startsWith(QLatin1String("sqlite_")))
            out.exec(o.sql);
    QStringList tables = tablesOf(src);
    if (src.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'sqlite_sequence'")).toInt() > 0)
        tables << QStringLiteral("sqlite_sequence");
    for (const QString &table : std::as_const(tables)) {
        SqliteStatement read = src.prepare(QStringLiteral("SELECT * FROM %1 NOT INDEXED").arg(quoted(table)));
        const int columns = read.columnCount();
        QStringList marks;
        for (int c = 0; c < columns; ++c)
            marks << QStringLiteral("?");
        if (table == QLatin1String("sqlite_sequence"))
            out.exec(QStringLiteral("DELETE FROM sqlite_sequence"));
        SqliteStatement write = out.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(quoted(table), marks.join(QLatin1Char(','))));
        while (read.step()) {
            for (int c = 0; c < columns; ++c)
                sqlite3_bind_value(write.handle(), c + 1, sqlite3_column_value(read.handle(), c));
            write.step();
            sqlite3_reset(write.handle());
        }
    }
    for (const Object &o : std::as_const(objects))
        if (o.type != QLatin1String("table"))
            out.exec(o.sql);
    out.exec(QStringLiteral("COMMIT"));
    if (const QString result = out.scalar(QStringLiteral("PRAGMA integrity_check")).toString(); result != QLatin1String("ok"))
        throw DaoError(QStringLiteral("Новото копие на базата не е здраво: %1").arg(result));
}

} // namespace

SqliteEngine::~SqliteEngine() = default;

void SqliteEngine::prepareConnection(SqliteConnection &conn)
{
    sqlite3_busy_timeout(conn.handle(), DefaultBusyMs);
    registerVelostokFunctions(conn.handle());
    conn.exec(QStringLiteral("PRAGMA cache_size = -16384; PRAGMA threads = 2;"));
}

void SqliteEngine::checkInventoryFile(SqliteConnection &conn, const QString &path)
{
    // Reading the header also tells a file that is no SQLite database at all.
    const qint64 appId = conn.scalar(QStringLiteral("PRAGMA application_id")).toLongLong();
    const qint64 version = conn.scalar(QStringLiteral("PRAGMA user_version")).toLongLong();
    conn.scalar(QStringLiteral("SELECT count(*) FROM sqlite_schema"));
    if (appId != inventoryschema::ApplicationId)
        throw DaoError(QStringLiteral("Файлът \"%1\" не е база данни на Velostok или е повреден.").arg(path));
    if (version < 1 || version > inventoryschema::SchemaVersion)
        throw DaoError(QStringLiteral("Базата \"%1\" е от непозната версия (%2) и не може да бъде отворена.")
                           .arg(path).arg(version));
}

void SqliteEngine::open(const QString &path)
{
    try {
        refuseForeignJournal(path);
        mConn.open(path);
        mPath = path;
        prepareConnection(mConn);
        sqlite3_busy_timeout(mConn.handle(), mBusyMs);
        // EXTRA, not FULL: the journal's deletion, which commits a write, is flushed with its
        // folder. Unflushed, a power cut can bring the journal back, and the next opening plays it
        // back over the committed write. Set before the first read, which may play back a journal.
        mConn.exec(QStringLiteral("PRAGMA synchronous = EXTRA"));
        checkInventoryFile(mConn, path);
        // Always the rollback journal: a file shared from one PC's disk is reached by the others
        // over a network file system, where WAL's shared memory is unsafe. A file left in WAL
        // mode is switched back here, which folds its WAL into it.
        QString mode;
        try {
            mode = mConn.scalar(QStringLiteral("PRAGMA journal_mode = DELETE")).toString();
        } catch (const DaoError &) {
            mode = mConn.scalar(QStringLiteral("PRAGMA journal_mode")).toString();
        }
        // Only while another program holds the file open in WAL mode; the next opening after it
        // has gone switches.
        if (mode.compare(QLatin1String("delete"), Qt::CaseInsensitive) != 0)
            qCWarning(lcDb) << "journal of" << path << "stays" << mode << "while another program holds it open";
        addToLayout();
        mHandle = mConn.handle();
    } catch (...) {
        mConn.close();
        throw;
    }
}

// Brings the file's additions up to this program's, all steps in one transaction: a kill leaves
// the file as it was or with all of them. A file that cannot be written now (read only, held by
// another copy's long write) stays as it is and is used without them.
void SqliteEngine::addToLayout()
{
    mAdditions = sqliteschema::additionsOf(mConn);
    if (mAdditions >= inventoryschema::AdditionsStep)
        return;
    try {
        mConn.exec(QStringLiteral("BEGIN IMMEDIATE"));
        try {
            const int step = sqliteschema::additionsOf(mConn); // another copy may have just made them
            if (step < inventoryschema::AdditionsStep)
                mConn.exec(sqliteschema::additionsSql(step));
            mConn.exec(QStringLiteral("COMMIT"));
        } catch (...) {
            sqlite3_exec(mConn.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        mAdditions = sqliteschema::additionsOf(mConn);
    } catch (const DaoError &e) {
        // A damaged file is found and named by the file check, as any other.
        qCWarning(lcDb) << "the additions of" << mPath << "stay at step" << mAdditions << ":" << e.message();
    }
}

void SqliteEngine::close()
{
    mHandle = nullptr;
    mConn.close();
    mRoster.leave();
}

void SqliteEngine::setBusyTimeout(int ms)
{
    mBusyMs = ms;
    if (mConn.isOpen())
        sqlite3_busy_timeout(mConn.handle(), ms);
}

std::unique_ptr<DbEngine> SqliteEngine::openReader() const
{
    auto reader = std::make_unique<SqliteEngine>();
    reader->mConn.open(mPath, false, true);
    reader->mPath = mPath;
    reader->mHandle = reader->mConn.handle();
    prepareConnection(reader->mConn);
    sqlite3_busy_timeout(reader->mConn.handle(), mBusyMs);
    reader->mBusyMs = mBusyMs;
    return reader;
}

void SqliteEngine::interrupt()
{
    if (sqlite3 *db = mHandle.load())
        sqlite3_interrupt(db);
}

void SqliteEngine::setReadOnly(bool readOnly)
{
    mConn.exec(readOnly ? QStringLiteral("PRAGMA query_only = ON") : QStringLiteral("PRAGMA query_only = OFF"));
}

std::optional<FileHealth> SqliteEngine::checkFile()
{
    // The pages read for the check are of no use afterwards: the connection lets them go.
    const auto shrink = qScopeGuard([this] {
        if (mConn.isOpen())
            sqlite3_db_release_memory(mConn.handle());
    });
    return ::checkFile(mConn);
}

void SqliteEngine::setStopCheck(std::function<bool()> stop)
{
    mStop = std::move(stop);
    if (!mConn.isOpen())
        return;
    if (!mStop) {
        sqlite3_progress_handler(mConn.handle(), 0, nullptr, nullptr);
        return;
    }
    sqlite3_progress_handler(mConn.handle(), 4096, [](void *self) {
        return static_cast<SqliteEngine *>(self)->mStop() ? 1 : 0;
    }, this);
}

std::unique_ptr<DbStatement> SqliteEngine::prepare(const QString &sql)
{
    return std::make_unique<SqliteStatement>(mConn.cached(sql));
}

void SqliteEngine::execute(const QString &sql) { mConn.exec(sql); }

int SqliteEngine::changes() const { return mConn.changes(); }

// SQLite gives back the statement's own row once its triggers have run.
qint64 SqliteEngine::lastInsertId(const QString &table) const
{
    Q_UNUSED(table)
    return mConn.lastInsertId();
}

// DEFERRED: the view of the database is taken at the first read.
void SqliteEngine::beginRead() { mConn.exec(QStringLiteral("BEGIN DEFERRED")); }

// IMMEDIATE: a deferred transaction that read first could not take the write lock later once
// another copy has committed.
void SqliteEngine::beginWrite()
{
    mConn.exec(QStringLiteral("BEGIN IMMEDIATE"));
    mHeldTriggers.clear();
}

void SqliteEngine::commit()
{
    putTriggersBack();
    mConn.exec(QStringLiteral("COMMIT"));
}

// A trigger makes SQLite keep a statement journal for every row written (a copy of its page), the
// larger part of what the history costs a renumbering. Dropped and made again inside the one
// transaction, the triggers are never missing for anyone else, and a kill or a rollback brings
// them back as they were: their own statements are kept, whichever copy of the program made them.
bool SqliteEngine::holdHistoryTriggers()
{
    if (!inTransaction())
        return false;
    if (!mHeldTriggers.isEmpty())
        return true;
    QList<QPair<QString, QString>> held;
    {
        SqliteStatement st = mConn.cached(QStringLiteral(
            "SELECT name, sql FROM sqlite_schema WHERE type = 'trigger' AND tbl_name = 'main' AND name LIKE 'history\\_%' ESCAPE '\\'"));
        while (st.step())
            held.append({st.column(0).toString(), st.column(1).toString()});
    }
    for (const auto &[name, sql] : std::as_const(held))
        mConn.exec(QStringLiteral("DROP TRIGGER ") + mDialect.quoteIdentifier(name));
    mHeldTriggers = held;
    return !held.isEmpty();
}

void SqliteEngine::putTriggersBack()
{
    if (mHeldTriggers.isEmpty() || !inTransaction()) {
        mHeldTriggers.clear(); // a transaction undone takes them back by itself
        return;
    }
    for (const auto &[name, sql] : std::as_const(mHeldTriggers)) {
        SqliteStatement there = mConn.cached(QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE type = 'trigger' AND name = ?"));
        there.bind(1, name);
        if (there.step() && there.column(0).toInt() == 0)
            mConn.exec(sql);
    }
    mHeldTriggers.clear();
}

bool SqliteEngine::tryCommit()
{
    putTriggersBack();
    sqlite3_busy_timeout(mConn.handle(), 0);
    const int rc = sqlite3_exec(mConn.handle(), "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(mConn.handle(), mBusyMs);
    if (rc == SQLITE_OK)
        return true;
    if ((rc & 0xff) == SQLITE_BUSY && inTransaction())
        return false;
    mConn.raise(rc);
}

void SqliteEngine::rollback() noexcept
{
    mHeldTriggers.clear();
    if (mConn.isOpen() && inTransaction())
        sqlite3_exec(mConn.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

bool SqliteEngine::inTransaction() const
{
    return mConn.isOpen() && !sqlite3_get_autocommit(mConn.handle());
}

std::optional<SourceInfo> SqliteEngine::findSource(const QString &name)
{
    SqliteStatement kind = mConn.cached(QStringLiteral(
        "SELECT type, name, sql FROM sqlite_schema WHERE type IN ('table', 'view') AND name = ? COLLATE NOCASE"));
    kind.bind(1, name);
    if (!kind.step())
        return std::nullopt;
    SourceInfo info;
    info.isTable = kind.column(0).toString() == QLatin1String("table");
    info.name = kind.column(1).toString();
    if (!info.isTable)
        info.viewSql = kind.column(2).toString();
    kind.reset();
    if (info.isTable) {
        SqliteStatement cols = mConn.prepare(
            QStringLiteral("PRAGMA table_info(%1)").arg(mDialect.quoteIdentifier(info.name)));
        while (cols.step())
            info.columns.push_back(sqliteschema::columnOf(cols.column(1).toString(), cols.column(2).toString(), cols.columnInt64(5) > 0));
    } else {
        info.columns = resultColumns(QStringLiteral("SELECT * FROM %1").arg(mDialect.quoteIdentifier(info.name)));
        info.distinctOf = sqliteschema::distinctViewSource(info.name, info.viewSql);
    }
    return info;
}

std::vector<ColumnDecl> SqliteEngine::resultColumns(const QString &sql)
{
    SqliteStatement st = mConn.cached(sql);
    std::vector<ColumnDecl> cols;
    for (int i = 0; i < st.columnCount(); ++i)
        cols.push_back(sqliteschema::columnOf(st.columnName(i), st.columnDeclType(i), false));
    return cols;
}

QList<QPair<QString, QString>> SqliteEngine::readsOf(const QString &sql)
{
    QList<QPair<QString, QString>> reads;
    sqlite3_set_authorizer(mConn.handle(), collectReads, &reads);
    sqlite3_stmt *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(mConn.handle(), utf8.constData(), int(utf8.size()), &stmt, nullptr);
    sqlite3_set_authorizer(mConn.handle(), nullptr, nullptr);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_OK)
        mConn.raise(rc);
    return reads;
}

qint64 SqliteEngine::dataVersion()
{
    SqliteStatement dv = mConn.cached(QStringLiteral("PRAGMA data_version"));
    dv.step();
    return dv.columnInt64(0);
}

bool SqliteEngine::othersCommitted()
{
    if (!mConn.isOpen() || !sqlite3_get_autocommit(mConn.handle()))
        return false;
    try {
        const qint64 now = dataVersion();
        const bool changed = mSeenVersion && *mSeenVersion != now;
        mSeenVersion = now;
        return changed;
    } catch (const DaoError &) {
        return false; // a file gone or locked long: asked again later
    }
}

void SqliteEngine::releaseMemory()
{
    if (mConn.isOpen())
        sqlite3_db_release_memory(mConn.handle());
}


// ---- who is connected: the lock file beside the database (LockRoster)

namespace {

DaoError rosterUnreadable(const QString &path)
{
    return DaoError(QStringLiteral("Файлът на свързаните потребители „%1“ не може да бъде прочетен.")
                        .arg(LockRoster::lockFilePath(path)));
}

// Compaction's gate, held until the hold is let go.
struct GateHold : DbEngine::Hold
{
    RosterGate gate;
};

} // namespace

void SqliteEngine::announce(const QString &computer, const QString &user)
{
    // Unlisted (a read-only folder, every entry taken) the connection still goes on.
    mRoster.join(mPath, computer, user);
}

std::optional<QList<DbEngine::Connected>> SqliteEngine::connectedTo(const QString &path)
{
    QList<LockRoster::Entry> entries;
    if (!LockRoster::readEntries(path, &entries, nullptr))
        throw rosterUnreadable(path);
    QList<Connected> out;
    for (const LockRoster::Entry &e : std::as_const(entries))
        out.append({e.computer, e.user, !e.held});
    return out;
}

QList<DbEngine::Connected> SqliteEngine::rosterPlaces(const QString &path)
{
    QList<Connected> out;
    if (!QFileInfo::exists(path))
        return out; // a lock file left without its database is not read
    QList<LockRoster::Entry> entries;
    if (!LockRoster::readPlaces(path, &entries))
        throw rosterUnreadable(path);
    for (const LockRoster::Entry &e : std::as_const(entries))
        out.append({e.computer, e.user});
    return out;
}

std::unique_ptr<DbEngine::Hold> SqliteEngine::holdAlone(const QString &path)
{
    auto hold = std::make_unique<GateHold>();
    if (!hold->gate.tryLockExclusive(path))
        return nullptr;
    return hold;
}

void SqliteEngine::compact(const QString &path)
{
    const std::unique_ptr<Hold> alone = holdAlone(path);
    if (!alone)
        throw DaoError(QStringLiteral("Базата \"%1\" се използва от друг потребител и не може да бъде сбита.").arg(path));
    // What an interrupted compaction left behind goes first; nobody else compacts this file now.
    if (const int n = FileReplacement::removeLeftovers(QFileInfo(path).absolutePath(), QStringLiteral("mdb")))
        qCInfo(lcDb) << "removed" << n << "files left by interrupted compactions beside" << path;
    // A unique "mdb…" name in the database's own folder, so that the rename stays on one disk.
    FileReplacement compacted(path, QStringLiteral("mdb"));
    compactInto(path, compacted.temporaryPath());
    compacted.commit();
}

QString SqliteEngine::locate(const QString &database, const QString &fallbackDir) const
{
    return filenames::locate(database, fallbackDir);
}

QString SqliteEngine::fullName(const QString &database) const { return filenames::absolute(database); }

bool SqliteEngine::present(const QString &database) const { return QFileInfo(database).isFile(); }

bool SqliteEngine::sameDatabase(const QString &a, const QString &b) const
{
    return QFileInfo(filenames::normalised(a)) == QFileInfo(filenames::normalised(b));
}

bool SqliteEngine::copyAsItLies(const QString &database, const QString &path, const QString &shownPath) const
{
    filenames::copyBytes(database, path, shownPath);
    return true;
}

void SqliteEngine::copyOpenDatabase(const QString &path, const Progress &progress)
{
    // One step, under a second even for a million rows: a copy in steps would start again
    // whenever another copy of the program wrote in between.
    Q_UNUSED(progress)
    SqliteConnection out;
    out.open(path);
    // The copy is a new file that nobody sees until it is renamed into place after a flush:
    // its own journal and syncs would only cost time.
    out.exec(QStringLiteral("PRAGMA journal_mode = OFF"));
    out.exec(QStringLiteral("PRAGMA synchronous = OFF"));
    sqlite3_backup *b = sqlite3_backup_init(out.handle(), "main", mConn.handle(), "main");
    if (!b)
        out.raise(sqlite3_errcode(out.handle()));
    const int rc = sqlite3_backup_step(b, -1);
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE)
        throw DaoError(sqliteErrorMessage(rc, QString::fromUtf8(sqlite3_errstr(rc))));
    out.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
}

void SqliteEngine::compactInto(const QString &source, const QString &dest)
{
    refuseForeignJournal(source);
    SqliteConnection src;
    src.open(source);
    prepareConnection(src);
    checkInventoryFile(src, source);
    // Fold a WAL into the file first: the file is replaced afterwards, and a journal left
    // beside it would be applied to the new one.
    src.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
    // Nobody else writes now (the caller holds the file alone): the counts stay true.
    const std::optional<FileHealth> health = ::checkFile(src);
    if (health->damage == FileHealth::Tables)
        throw FileDamaged(QStringLiteral("Файлът на базата \"%1\" е повреден: част от записите не може да бъде прочетена (%2).")
                              .arg(source, health->problems.value(0)));
    if (health->damage == FileHealth::Repairable) {
        qCWarning(lcDb) << "rebuilding" << source << "from its tables:" << health->problems;
        rebuild(src, dest);
    } else {
        SqliteStatement vac = src.prepare(QStringLiteral("VACUUM INTO ?"));
        vac.bind(1, dest);
        vac.step();
    }
    // A copy with fewer rows never takes the file's place.
    SqliteConnection out;
    out.open(dest, false, true);
    for (const QString &table : tablesOf(src)) {
        const qint64 before = rowsOf(src, table);
        const qint64 after = rowsOf(out, table);
        if (before != after)
            throw DaoError(QStringLiteral("Копието на \"%1\" има %2 реда в таблицата %3 вместо %4; базата е оставена както беше.")
                               .arg(source).arg(after).arg(table).arg(before));
    }
}

// The new file nobody sees until the caller puts it in place needs no journal of its own; its
// indexes are made once the rows are in, a sort each rather than a row at a time.
void SqliteEngine::beginBulkLoad()
{
    mConn.exec(QStringLiteral("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF"));
    mLoadIndexes.clear();
    QStringList drop;
    {
        SqliteStatement st = mConn.prepare(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL"));
        while (st.step()) {
            drop << QStringLiteral("DROP INDEX \"%1\";").arg(st.column(0).toString());
            mLoadIndexes << st.column(1).toString();
        }
    }
    if (!drop.isEmpty())
        mConn.exec(drop.join(QLatin1Char(' ')));
    beginWrite();
}

void SqliteEngine::endBulkLoad(const std::function<void(int done, int total)> &step)
{
    const QStringList indexes = std::exchange(mLoadIndexes, {});
    for (int i = 0; i < indexes.size(); ++i) {
        mConn.exec(indexes[i]);
        if (step)
            step(i + 1, int(indexes.size()));
    }
    commit();
}

void SqliteEngine::createDatabase(const QString &path, const QString &cataloguePath)
{
    sqliteschema::createDatabase(path, cataloguePath);
}

// Read from the header, without opening the file with SQLite (it may be in use or being replaced).
FileVersion SqliteEngine::fileVersion(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {FileVersion::Unreadable, 0};
    const QByteArray header = file.read(HeaderSize);
    if (header.size() < HeaderSize || !header.startsWith(QByteArrayView(Magic, sizeof Magic)))
        return {FileVersion::NotADatabase, 0};
    const auto *p = reinterpret_cast<const uchar *>(header.constData() + UserVersionOffset);
    const quint32 version = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    if (version > quint32(std::numeric_limits<int>::max()))
        return {FileVersion::NotADatabase, 0};
    return {FileVersion::Ok, int(version)};
}
