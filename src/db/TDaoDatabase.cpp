// The connection: opening and checking inventory files, the journal choice, compaction, copies.
#include "TDaoDatabase.h"

#include "DaoError.h"
#include "Schema.h"
#include "SqlFunctions.h"
#include "TDaoTable.h"

#include <QCoreApplication>
#include <algorithm>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTemporaryFile>
#include <sqlite3.h>
#include <sys/vfs.h>

namespace {

QStringList &availableEngines()
{
    static QStringList engines{QStringLiteral("3.6")};
    return engines;
}

// A stored path may come from the older system with backslashes.
QString normalisedPath(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
}

// Names that come from the older system were written for a file system that ignores case: a
// missing file is taken to be the one file of its folder whose name differs only in case.
QString withFoundCase(const QString &path)
{
    if (QFileInfo::exists(path))
        return path;
    const QFileInfo fi(path);
    const QDir dir = fi.dir();
    if (!dir.exists())
        return path;
    QString match;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &n : names) {
        if (n.compare(fi.fileName(), Qt::CaseInsensitive) == 0) {
            if (!match.isEmpty())
                return path; // ambiguous: take none
            match = n;
        }
    }
    return match.isEmpty() ? path : dir.filePath(match);
}

} // namespace

TDaoDatabase::TDaoDatabase(QObject *parent) : QObject(parent) {}

TDaoDatabase::~TDaoDatabase()
{
    try {
        Close();
    } catch (...) {
        // Nothing can be told from here; the connection is closed all the same.
    }
    const QList<TDaoTable *> sets = std::exchange(mDataSets, {});
    for (TDaoTable *t : sets)
        t->databaseGone();
}

void TDaoDatabase::setDatabase(const QString &path)
{
    if (Connected())
        throw DaoError(QStringLiteral("Файлът на базата не може да се сменя при отворена връзка."));
    mDatabase = path;
}

void TDaoDatabase::setAvailableEngines(const QStringList &versions) { availableEngines() = versions; }

QStringList TDaoDatabase::EngineVersions() const
{
    QStringList v = availableEngines();
    v.sort();
    v.removeDuplicates();
    return v;
}

void TDaoDatabase::setVersion(const QString &version)
{
    if (Connected())
        throw DaoError(QStringLiteral("Версията на DAO не може да се сменя при отворена връзка с базата."));
    const QString v = version.left(3);
    if (v != QLatin1String("3.5") && v != QLatin1String("3.6"))
        throw DaoError(QStringLiteral("Неподдържана версия на DAO \"%1\": изберете 3.5 или 3.6.").arg(version));
    const QStringList engines = availableEngines();
    if (engines.contains(v))
        mVersion = v;
    else if (v == QLatin1String("3.5") && engines.contains(QLatin1String("3.6")))
        mVersion = QStringLiteral("3.6");
    else
        throw DaoError(QStringLiteral("You does not have Microsoft DAO installed ot it is an OLD Version!"));
}

QString TDaoDatabase::programDir() const
{
    return mProgramDir.isEmpty() ? QCoreApplication::applicationDirPath() : mProgramDir;
}

QString TDaoDatabase::connectText() const
{
    return QStringLiteral(";UID=%1;PWD=%2;").arg(UserName, DatabasePassword);
}

void TDaoDatabase::registerDataSet(TDaoTable *t)
{
    if (!mDataSets.contains(t))
        mDataSets.append(t);
}

void TDaoDatabase::unregisterDataSet(TDaoTable *t) { mDataSets.removeAll(t); }

void TDaoDatabase::invalidateCaches()
{
    for (TDaoTable *t : std::as_const(mDataSets))
        t->invalidateCache();
}

bool TDaoDatabase::onNetworkFileSystem(const QString &path)
{
    struct statfs fs {};
    const QString dir = QFileInfo(path).absolutePath();
    if (statfs(QFile::encodeName(dir).constData(), &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x65735546UL: // FUSE (sshfs and the like)
    case 0x01021997UL: // 9p
    case 0x5346414FUL: // AFS
        return true;
    default:
        return false;
    }
}

void TDaoDatabase::checkInventoryFile(SqliteConnection &conn, const QString &path)
{
    // Reading the header also tells a file that is no SQLite database at all.
    const qint64 appId = conn.scalar(QStringLiteral("PRAGMA application_id")).toLongLong();
    const qint64 version = conn.scalar(QStringLiteral("PRAGMA user_version")).toLongLong();
    conn.scalar(QStringLiteral("SELECT count(*) FROM sqlite_schema"));
    if (appId != schema::ApplicationId)
        throw DaoError(QStringLiteral("Файлът \"%1\" не е база данни на Velostok или е повреден.").arg(path));
    if (version < 1 || version > schema::SchemaVersion)
        throw DaoError(QStringLiteral("Базата \"%1\" е от непозната версия (%2) и не може да бъде отворена.")
                           .arg(path).arg(version));
}

void TDaoDatabase::prepareConnection(SqliteConnection &conn)
{
    sqlite3_busy_timeout(conn.handle(), 5000);
    registerVelostokFunctions(conn.handle());
    conn.exec(QStringLiteral("PRAGMA cache_size = -16384; PRAGMA threads = 2;"));
}

void TDaoDatabase::openFile()
{
    QString path = withFoundCase(normalisedPath(mDatabase));
    if (!QFileInfo::exists(path) && SmartOpen) {
        // A missing file is looked for beside the program, under the same name.
        path = withFoundCase(QDir(programDir()).filePath(QFileInfo(path).fileName()));
        mDatabase = path;
    }
    if (!QFileInfo(path).isFile())
        throw DaoError(QStringLiteral("Файлът на базата \"%1\" не съществува.").arg(path));
    try {
        mConn.open(path);
        prepareConnection(mConn);
        checkInventoryFile(mConn, path);
        const bool network = onNetworkFileSystem(path);
        // WAL needs shared memory, which network file systems do not give safely.
        const QString wanted = network ? QStringLiteral("DELETE") : QStringLiteral("WAL");
        try {
            mJournalMode = mConn.scalar(QStringLiteral("PRAGMA journal_mode = %1").arg(wanted)).toString().toLower();
        } catch (const DaoError &) {
            mJournalMode = mConn.scalar(QStringLiteral("PRAGMA journal_mode")).toString().toLower();
        }
        mConn.exec(mJournalMode == QLatin1String("wal") ? QStringLiteral("PRAGMA synchronous = NORMAL")
                                                        : QStringLiteral("PRAGMA synchronous = FULL"));
        mRoster.join(path, QSysInfo::machineHostName(), UserName);
    } catch (...) {
        mRoster.leave();
        mConn.close();
        throw;
    }
}

void TDaoDatabase::setConnected(bool connected)
{
    if (connected == Connected())
        return;
    if (connected) {
        openFile();
    } else {
        for (TDaoTable *t : std::as_const(mDataSets))
            t->closeForDatabase();
        // A batch still open is committed (or, when that cannot be, undone) before closing,
        // whatever the nesting count says: closing must never leave a transaction behind.
        QString failure;
        if (!sqlite3_get_autocommit(mConn.handle())) {
            try {
                commitBatch();
            } catch (const DaoError &e) {
                failure = e.message();
                sqlite3_exec(mConn.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            }
        }
        mBatchDepth = 0;
        mWrites.clear();
        mDistinct.clear();
        mConn.close();
        mRoster.leave();
        emit connectedChanged(false);
        if (!failure.isEmpty())
            throw DaoError(batchLostText(failure));
        return;
    }
    emit connectedChanged(connected);
}

QString TDaoDatabase::batchLostText(const QString &cause)
{
    return QStringLiteral("Последните промени не бяха записани в базата: %1").arg(cause);
}

void TDaoDatabase::commitBatch()
{
    // A COMMIT refused because others still read (rollback journal) keeps the transaction
    // open: try again for a while before giving up.
    QDeadlineTimer deadline(20000);
    for (;;) {
        try {
            mConn.exec(QStringLiteral("COMMIT"));
            return;
        } catch (const DaoError &) {
            if (sqlite3_get_autocommit(mConn.handle()) || deadline.hasExpired())
                throw;
        }
    }
}

void TDaoDatabase::checkBatch()
{
    // Some failures (a full disk, an I/O error) make SQLite undo the whole open transaction.
    if (mBatchDepth == 0 || !Connected() || !sqlite3_get_autocommit(mConn.handle()))
        return;
    abandonBatch(true);
    throw DaoError(batchLostText(QStringLiteral("операцията беше прекъсната от грешка.")));
}

void TDaoDatabase::abandonBatch(bool restart)
{
    if (!sqlite3_get_autocommit(mConn.handle()))
        sqlite3_exec(mConn.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    // What the caches and lists counted did not reach the file.
    invalidateCaches();
    for (auto &d : mDistinct)
        d->invalidate();
    if (restart) {
        mConn.exec(QStringLiteral("BEGIN IMMEDIATE"));
        mBatchStarted = QDateTime::currentMSecsSinceEpoch();
    }
}

void TDaoDatabase::beginWriteBatch()
{
    if (mBatchDepth++ == 0 && Connected() && sqlite3_get_autocommit(mConn.handle())) {
        // IMMEDIATE: a deferred transaction that read first could not take the write lock later
        // once another copy has committed.
        try {
            mConn.exec(QStringLiteral("BEGIN IMMEDIATE"));
        } catch (...) {
            mBatchDepth = 0;
            throw;
        }
        mBatchStarted = QDateTime::currentMSecsSinceEpoch();
    }
}

void TDaoDatabase::writeBatchStep()
{
    if (mBatchDepth == 0 || !Connected() || sqlite3_get_autocommit(mConn.handle()))
        return;
    // Other copies wait for our write lock: let them in now and then.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - mBatchStarted >= 250) {
        try {
            commitBatch();
        } catch (const DaoError &e) {
            abandonBatch(true);
            throw DaoError(batchLostText(e.message()));
        }
        mConn.exec(QStringLiteral("BEGIN IMMEDIATE"));
        mBatchStarted = QDateTime::currentMSecsSinceEpoch();
    }
}

void TDaoDatabase::endWriteBatch()
{
    if (mBatchDepth == 0 || --mBatchDepth > 0)
        return;
    if (Connected() && !sqlite3_get_autocommit(mConn.handle())) {
        try {
            commitBatch();
        } catch (const DaoError &e) {
            // Undone rather than left open for later posts to pile onto; the caller is told.
            abandonBatch(false);
            throw DaoError(batchLostText(e.message()));
        }
    }
}

qint64 TDaoDatabase::dataVersion()
{
    SqliteStatement dv = mConn.cached(QStringLiteral("PRAGMA data_version"));
    dv.step();
    return dv.columnInt64(0);
}

void TDaoDatabase::noteRowChange(const QString &table, const std::vector<QString> &columns,
                                 const std::vector<QVariant> *before, const std::vector<QVariant> *after)
{
    for (auto &d : mDistinct) {
        if (!d->valid() || d->table().compare(table, Qt::CaseInsensitive) != 0)
            continue;
        auto col = std::find_if(columns.begin(), columns.end(),
                                [&](const QString &c) { return c.compare(d->column(), Qt::CaseInsensitive) == 0; });
        if (col == columns.end()) {
            // An update leaves a column it does not name alone; a new or removed row we cannot see.
            if (!before || !after)
                d->invalidate();
            continue;
        }
        const size_t i = size_t(col - columns.begin());
        d->change(before ? &before->at(i) : nullptr, after ? &after->at(i) : nullptr);
    }
}

const DistinctValues &TDaoDatabase::distinctValues(const QString &table, const QString &column)
{
    DistinctValues *d = nullptr;
    for (auto &e : mDistinct)
        if (e->table().compare(table, Qt::CaseInsensitive) == 0 && e->column().compare(column, Qt::CaseInsensitive) == 0)
            d = e.get();
    if (!d) {
        mDistinct.push_back(std::make_unique<DistinctValues>(table, column));
        d = mDistinct.back().get();
    }
    // Other connections' commits change the data version; ours keep the list current.
    const qint64 version = dataVersion();
    if (!d->valid() || d->builtAtDataVersion() != version) {
        d->build(mConn);
        d->setDataVersion(version);
    }
    return *d;
}

void TDaoDatabase::noteWrite(const QString &table, const QStringList &columns)
{
    ++mSerial;
    const QString t = table.toLower();
    if (t.isEmpty()) {
        mWrites.insert(QString(), mSerial);
        for (auto &d : mDistinct)
            d->invalidate(); // a statement: what it changed is not known here
        return;
    }
    if (columns.isEmpty()) {
        mWrites.insert(t, mSerial);
        return;
    }
    for (const QString &c : columns)
        mWrites.insert(t + QLatin1Char('.') + c.toLower(), mSerial);
}

QString TDaoDatabase::readStamp(const QList<QPair<QString, QString>> &reads)
{
    quint64 latest = mWrites.value(QString());
    for (const auto &r : reads) {
        const QString t = r.first.toLower();
        latest = std::max(latest, mWrites.value(t));
        if (r.second.isEmpty()) {
            // The whole table is read: any column written counts.
            for (auto it = mWrites.constBegin(); it != mWrites.constEnd(); ++it)
                if (it.key().startsWith(t + QLatin1Char('.')))
                    latest = std::max(latest, it.value());
        } else {
            latest = std::max(latest, mWrites.value(t + QLatin1Char('.') + r.second.toLower()));
        }
    }
    return QStringLiteral("%1/%2").arg(dataVersion()).arg(latest);
}

void TDaoDatabase::Idle()
{
    if (Connected())
        sqlite3_db_release_memory(mConn.handle());
}

void TDaoDatabase::CopyOpenDatabase(const QString &dest)
{
    if (!Connected())
        throw DaoError(QStringLiteral("Няма връзка с базата данни."));
    const QString target = QFileInfo(normalisedPath(dest)).absoluteFilePath();
    if (QFileInfo(target) == QFileInfo(normalisedPath(mDatabase)))
        throw DaoError(QStringLiteral("Базата не може да бъде копирана върху себе си."));
    // Write beside the target and rename, so that a failed copy leaves the older one whole.
    QTemporaryFile tmp(target + QStringLiteral(".XXXXXX"));
    if (!tmp.open())
        throw DaoError(QStringLiteral("Копието \"%1\" не може да бъде създадено.").arg(target));
    tmp.close();
    {
        SqliteConnection out;
        out.open(tmp.fileName());
        sqlite3_backup *b = sqlite3_backup_init(out.handle(), "main", mConn.handle(), "main");
        if (!b)
            out.raise(sqlite3_errcode(out.handle()));
        const int rc = sqlite3_backup_step(b, -1);
        sqlite3_backup_finish(b);
        if (rc != SQLITE_DONE)
            throw DaoError(sqliteErrorMessage(rc, QString::fromUtf8(sqlite3_errstr(rc))));
        out.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
    }
    QFile::remove(target);
    if (!tmp.rename(target))
        throw DaoError(QStringLiteral("Копието \"%1\" не може да бъде записано.").arg(target));
    tmp.setAutoRemove(false);
}

void TDaoDatabase::CompactDatabaseFile(const QString &file, const QString &password)
{
    Q_UNUSED(password) // SQLite keeps no password in the file
    const QString path = QFileInfo(normalisedPath(file)).absoluteFilePath();
    if (!QFileInfo(path).isFile())
        throw DaoError(QStringLiteral("Файлът на базата \"%1\" не съществува.").arg(path));
    RosterGate gate;
    if (!gate.tryLockExclusive(path))
        throw DaoError(QStringLiteral("Базата \"%1\" се използва от друг потребител и не може да бъде сбита.").arg(path));
    // A unique name in the database's own folder, so that the rename below stays on one disk.
    QTemporaryFile tmp(QFileInfo(path).absolutePath() + QStringLiteral("/mdbXXXXXX"));
    if (!tmp.open())
        throw DaoError(QStringLiteral("Не може да се създаде временен файл за сбиването."));
    const QString tmpName = tmp.fileName();
    tmp.close();
    tmp.remove();
    try {
        SqliteConnection src;
        src.open(path);
        prepareConnection(src);
        checkInventoryFile(src, path);
        // Fold the journal into the file first: the file is replaced below, a journal left
        // beside it would be applied to the new one.
        src.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
        SqliteStatement vac = src.prepare(QStringLiteral("VACUUM INTO ?"));
        vac.bind(1, tmpName);
        vac.step();
    } catch (...) {
        QFile::remove(tmpName);
        throw;
    }
    // rename() replaces the file in one step: the original is never missing.
    if (::rename(QFile::encodeName(tmpName).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(tmpName);
        throw DaoError(QStringLiteral("Сбитата база не може да замени \"%1\"; файлът е непроменен.").arg(path));
    }
}
