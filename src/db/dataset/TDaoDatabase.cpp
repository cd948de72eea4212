// The connection: finding and opening inventory files, write batches, statements, compaction and
// copies.
#include "dataset/TDaoDatabase.h"

#include "base/DaoError.h"
#include "engine/DbEngine.h"
#include "base/DbLog.h"
#include "engine/EngineFactory.h"
#include "files/ExportRun.h"
#include "files/FileCheck.h"
#include "base/FileReplacement.h"
#include "dataset/ResultCache.h"
#include "engine/SqlDialect.h"
#include "dataset/ChangeFeed.h"
#include "dataset/ChangeLog.h"
#include "dataset/TDaoTable.h"
#include "files/ExportStatement.h"
#include "filter/FilterExpression.h"
#include "fitment/FitmentIndex.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSysInfo>
#include <QTimer>

namespace {

QStringList &availableEngines()
{
    static QStringList engines{QStringLiteral("3.6")};
    return engines;
}

qint64 now() { return QDateTime::currentMSecsSinceEpoch(); }

// An archive copy's path, as the engine of inventory files takes it.
QString targetPath(const QString &dest) { return engines::createForFile()->fullName(dest); }

} // namespace

TDaoDatabase::TDaoDatabase(QObject *parent) : QObject(parent), mCheck(std::make_unique<FileCheck>())
{
    connect(mCheck.get(), &FileCheck::checked, this, &TDaoDatabase::fileChecked);
}

TDaoDatabase::~TDaoDatabase()
{
    try {
        Close();
    } catch (const DaoError &e) {
        qCWarning(lcDb) << "closing" << mDatabase << "failed:" << e.message();
    } catch (...) {
        qCWarning(lcDb) << "closing" << mDatabase << "failed";
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

bool TDaoDatabase::Connected() const { return mEngine && mEngine->isOpen(); }

void TDaoDatabase::setLockTimes(int busyMs, int commitRetryMs, int batchMs)
{
    mBusyMs = busyMs;
    mCommitRetryMs = commitRetryMs;
    mBatchMs = batchMs;
    if (mEngine)
        mEngine->setBusyTimeout(busyMs);
}

DbEngine &TDaoDatabase::engine()
{
    if (!Connected())
        throw DaoError(QStringLiteral("Няма връзка с базата данни."));
    return *mEngine;
}

ResultCache &TDaoDatabase::cache()
{
    engine();
    return *mCache;
}

void TDaoDatabase::registerDataSet(TDaoTable *t)
{
    if (!mDataSets.contains(t))
        mDataSets.append(t);
}

void TDaoDatabase::unregisterDataSet(TDaoTable *t) { mDataSets.removeAll(t); }

void TDaoDatabase::dropValuesEverywhere()
{
    for (TDaoTable *t : std::as_const(mDataSets))
        t->dropValues();
}

void TDaoDatabase::readBeforeWrite(const QString &table, const QStringList &columns)
{
    aboutToWrite();
    for (TDaoTable *t : std::as_const(mDataSets))
        t->readBeforeWrite(table, columns);
    mCache->beforeWrite();
}

void TDaoDatabase::aboutToWrite()
{
    if (mDamaged)
        throw FileDamaged(QStringLiteral("Файлът на базата е повреден и е отворен само за четене: промените не могат да бъдат записани."));
    mCheck->giveWay();
}

std::optional<FileHealth> TDaoDatabase::CheckFile()
{
    if (!Connected())
        return std::nullopt;
    mCheck->giveWay(); // the file is read here and now
    return mEngine->checkFile();
}

void TDaoDatabase::startFileCheck(const QStringList &backups)
{
    if (Connected())
        mCheck->start(*mEngine, backups);
}

void TDaoDatabase::setDamaged(bool damaged)
{
    if (!Connected() || damaged == mDamaged)
        return;
    mEngine->setReadOnly(damaged);
    mDamaged = damaged;
}

int TDaoDatabase::executeStatement(const QString &sql)
{
    DbEngine &e = engine();
    readBeforeWrite(QString(), {});
    // One statement is one transaction: an error in any row undoes all of it. The rows it changes
    // in the inventory are one history entry.
    const bool recorded = mChanges->records(QStringLiteral("main"));
    const bool own = recorded && !e.inTransaction();
    if (own)
        beginTransaction();
    int n = 0;
    try {
        if (recorded)
            mChanges->mark(computerName(), ChangeLog::Mode::Collect);
        std::unique_ptr<DbStatement> st = e.prepare(e.dialect().programStatement(sql));
        while (st->step()) {
        }
        n = e.changes();
        st.reset();
        if (recorded)
            mChanges->foldCollected(computerName());
        endRecorded(own);
    } catch (...) {
        abortRecorded(own);
        throw;
    }
    // What it changed is not known here.
    mCache->forgetAll();
    dropValuesEverywhere();
    return n;
}

int TDaoDatabase::executeExport(const QString &sql, const QString &file)
{
    const ExportStatement statement = ExportStatement::parse(sql);
    if (FilterExpression::parse(statement.filter).usesFitment())
        bringFitmentUpToDate();
    return runExport(engine(), statement, file);
}

void TDaoDatabase::openFile()
{
    std::unique_ptr<DbEngine> e = engines::create(mDatabase);
    // From here on the connection names the database it tries (and, once open, the one it has).
    mDatabase = e->locate(mDatabase, SmartOpen ? programDir() : QString());
    if (!e->present(mDatabase))
        throw DaoError(QStringLiteral("Файлът на базата \"%1\" не съществува.").arg(mDatabase));
    e->setBusyTimeout(mBusyMs);
    try {
        e->open(mDatabase);
        // In the list of connected users; a file's is also what keeps compaction out meanwhile.
        e->announce(QSysInfo::machineHostName(), UserName);
    } catch (...) {
        e->close();
        throw;
    }
    mEngine = std::move(e);
    mCache = std::make_unique<ResultCache>(*mEngine);
    mChanges = std::make_unique<ChangeLog>(*mEngine);
}

void TDaoDatabase::readAhead(const QStringList &sources)
{
    mReadAhead.clear();
    if (!Connected())
        return;
    for (const QString &name : sources) {
        try {
            if (const std::optional<SourceInfo> s = engine().findSource(name))
                if (ResultCache::TicketPtr t = cache().reserve(*s, true))
                    mReadAhead.push_back(std::move(t));
        } catch (const DaoError &e) {
            qCWarning(lcDb) << "reading" << name << "ahead failed:" << e.message(); // its opening tells
        }
    }
}

void TDaoDatabase::setConnected(bool connected)
{
    if (connected == Connected())
        return;
    if (connected) {
        openFile();
        if (mWatching)
            startWatching();
        emit connectedChanged(true);
        return;
    }
    stopWatching();
    mCheck->stop();
    mDamaged = false;
    for (TDaoTable *t : std::as_const(mDataSets))
        t->closeForDatabase();
    // A batch still open is committed (or, when that cannot be, undone) before closing,
    // whatever the nesting count says: closing must never leave a transaction behind.
    QString failure;
    if (mEngine->inTransaction()) {
        try {
            commitRetrying();
        } catch (const DaoError &e) {
            failure = e.message();
            mEngine->rollback();
            mChanges->ended(false);
        }
    }
    mBatchDepth = 0;
    mReadAhead.clear();
    mCache.reset();
    mChanges.reset();
    mEngine->close();
    mEngine.reset();
    emit connectedChanged(false);
    if (!failure.isEmpty())
        throw DaoError(batchLostText(failure));
}

QString TDaoDatabase::batchLostText(const QString &cause)
{
    return QStringLiteral("Последните промени не бяха записани в базата: %1").arg(cause);
}

void TDaoDatabase::commitRetrying()
{
    // A COMMIT refused because others still read (rollback journal) keeps the transaction
    // open: try again for a while before giving up.
    QDeadlineTimer deadline(mCommitRetryMs);
    mChanges->beforeCommit();
    for (;;) {
        try {
            mEngine->commit();
            mChanges->ended(true);
            return;
        } catch (const DaoError &) {
            if (!mEngine->inTransaction() || deadline.hasExpired())
                throw;
        }
    }
}

void TDaoDatabase::abandonBatch(bool restart)
{
    mEngine->rollback();
    mChanges->ended(false);
    // What the caches counted did not reach the file.
    mCache->forgetAll();
    dropValuesEverywhere();
    if (!restart)
        return;
    try {
        mEngine->beginWrite();
        mBatchStarted = now();
        ++mBatchSerial;
    } catch (const DaoError &e) {
        // The next bulk post begins it.
        qCWarning(lcDb) << "write batch not begun again:" << e.message();
    }
}

void TDaoDatabase::beginWriteBatch()
{
    if (Connected())
        aboutToWrite();
    if (mBatchDepth++ == 0 && Connected() && !mEngine->inTransaction()) {
        try {
            beginTransaction();
        } catch (...) {
            mBatchDepth = 0;
            throw;
        }
        mBatchStarted = now();
        ++mBatchSerial;
    }
}

void TDaoDatabase::batchCheckpoint(bool mayCommit)
{
    if (mBatchDepth == 0 || !Connected())
        return;
    mCheck->giveWay();
    if (!mEngine->inTransaction()) {
        // Not open since a commit or a loss: open it now, before the row is written.
        beginTransaction();
        mBatchStarted = now();
        ++mBatchSerial;
        return;
    }
    if (!mayCommit)
        return;
    // Other copies wait for our write lock: let them in now and then.
    if (now() - mBatchStarted < mBatchMs)
        return;
    try {
        mChanges->beforeCommit();
        if (!mEngine->tryCommit())
            return; // others still read: the batch stays open and is tried again later
        mChanges->ended(true);
    } catch (const DaoError &e) {
        if (mEngine->inTransaction()) {
            qCDebug(lcDb) << "write batch kept open:" << e.message();
            return;
        }
        // The engine undid the batch: its posts are lost.
        abandonBatch(true);
        throw BatchLost(batchLostText(e.message()));
    }
    mEngine->beginWrite();
    mBatchStarted = now();
    ++mBatchSerial;
}

void TDaoDatabase::endWriteBatch()
{
    if (mBatchDepth == 0 || --mBatchDepth > 0)
        return;
    if (Connected() && mEngine->inTransaction()) {
        try {
            commitRetrying();
        } catch (const DaoError &e) {
            // Undone rather than left open for later posts to pile onto; the caller is told.
            abandonBatch(false);
            throw BatchLost(batchLostText(e.message()));
        }
    }
}

void TDaoDatabase::checkBatch(const QString &cause)
{
    // Some failures (a full disk, an I/O error) make the engine undo the whole open transaction.
    if (mBatchDepth == 0 || !Connected() || mEngine->inTransaction())
        return;
    abandonBatch(true);
    // The cause (a full disk, a read-only file, a lost connection) tells the user the cure.
    throw BatchLost(batchLostText(cause.isEmpty() ? QStringLiteral("операцията беше прекъсната от грешка.") : cause));
}

bool TDaoDatabase::beginPost()
{
    aboutToWrite();
    DbEngine &e = engine();
    if (e.inTransaction())
        return false;
    beginTransaction();
    return true;
}

void TDaoDatabase::commitPost()
{
    try {
        mChanges->beforeCommit();
        mEngine->commit();
        mChanges->ended(true);
    } catch (const DaoError &) {
        // The row's write is undone with it; the caches were already told of it.
        mEngine->rollback();
        mChanges->ended(false);
        mCache->forgetAll();
        throw;
    }
}

void TDaoDatabase::rollbackPost() noexcept
{
    if (Connected()) {
        mEngine->rollback();
        mChanges->ended(false);
    }
}

// A transaction of this connection's begins: whatever the history had marked in one before is
// gone with it (the engine may have undone it by itself).
void TDaoDatabase::beginTransaction()
{
    mChanges->ended(false);
    mEngine->beginWrite();
}

// Asked at every post: read once (the system call is not free).
QString TDaoDatabase::computerName() const
{
    static const QString name = QSysInfo::machineHostName();
    return name;
}

bool TDaoDatabase::beginRecorded(const QString &table, const QString &who)
{
    if (!mChanges->records(table))
        return false;
    const bool own = !mEngine->inTransaction();
    if (own)
        beginTransaction();
    try {
        mChanges->mark(who, mChanges->inOperation() ? ChangeLog::Mode::Quiet
                            : mChanges->recasting() ? ChangeLog::Mode::Collect
                                                    : ChangeLog::Mode::Record);
    } catch (...) {
        abortRecorded(own);
        throw;
    }
    return own;
}

void TDaoDatabase::endRecorded(bool own)
{
    try {
        if (mChanges->recasting())
            mChanges->settleRecast();
        if (!own)
            return;
        mChanges->beforeCommit();
        mEngine->commit();
        mChanges->ended(true);
    } catch (const DaoError &) {
        abortRecorded(own);
        throw;
    }
}

void TDaoDatabase::abortRecorded(bool own) noexcept
{
    if (!own)
        return;
    mEngine->rollback();
    mChanges->ended(false);
    mCache->forgetAll(); // the caches were told of a write that is undone
}

void TDaoDatabase::beginOperation(inventoryschema::ChangeKind kind)
{
    // An inventory that could not be given the history is written as before, unrecorded.
    if (Connected() && mChanges->kept())
        mChanges->beginOperation(kind, computerName());
}

qint64 TDaoDatabase::writeOperation(inventoryschema::ChangeKind kind, const std::function<void(DbEngine &)> &work,
                                    const QString &entryFields)
{
    DbEngine &e = engine();
    if (e.inTransaction())
        throw DaoError(QStringLiteral("Друга операция с базата още не е завършила."));
    readBeforeWrite(QStringLiteral("main"), {});
    const bool kept = mChanges->kept();
    if (kept)
        mChanges->beginOperation(kind, computerName(), entryFields);
    const auto done = qScopeGuard([&] {
        if (kept)
            mChanges->endOperation();
        mCache->forgetAll();
        dropValuesEverywhere();
    });
    beginTransaction();
    try {
        if (kept)
            mChanges->mark(computerName(), ChangeLog::Mode::Quiet);
        work(e);
        mCheck->giveWay(); // a background check that started meanwhile must not hold the commit off
        commitRetrying();
        if (kept && mChanges->operationEntry() > 0)
            mOwnEntries.insert(mChanges->operationEntry());
    } catch (...) {
        if (e.inTransaction())
            e.rollback();
        mChanges->ended(false);
        throw;
    }
    return kept ? mChanges->operationEntry() : 0;
}

void TDaoDatabase::readSnapshot(const std::function<void(DbEngine &)> &read)
{
    DbEngine &e = engine();
    const bool own = !e.inTransaction();
    if (own)
        e.beginRead();
    try {
        read(e);
    } catch (...) {
        if (own)
            e.rollback();
        throw;
    }
    if (own)
        e.rollback();
}

void TDaoDatabase::endOperation()
{
    if (!Connected())
        return;
    if (const qint64 entry = mChanges->operationEntry(); entry > 0)
        mOwnEntries.insert(entry);
    mChanges->endOperation();
}

void TDaoDatabase::Idle()
{
    if (Connected())
        mEngine->releaseMemory();
}

void TDaoDatabase::CopyOpenDatabase(const QString &dest, const std::function<void(qint64 done, qint64 total)> &progress)
{
    if (!Connected())
        throw DaoError(QStringLiteral("Няма връзка с базата данни."));
    const QString target = targetPath(dest);
    if (mEngine->sameDatabase(target, mDatabase))
        throw DaoError(QStringLiteral("Базата не може да бъде копирана върху себе си."));
    FileReplacement::removeLeftovers(QFileInfo(target).absolutePath(), QFileInfo(target).fileName() + QLatin1Char('.'));
    FileReplacement copy(target);
    mEngine->copyOpenDatabase(copy.temporaryPath(), progress);
    copy.commit();
}

void TDaoDatabase::CopyDatabase(const QString &dest)
{
    if (Connected()) {
        CopyOpenDatabase(dest);
        return;
    }
    std::unique_ptr<DbEngine> e = engines::create(mDatabase);
    const QString source = e->fullName(mDatabase);
    const QString target = targetPath(dest);
    if (e->sameDatabase(target, source))
        throw DaoError(QStringLiteral("Базата не може да бъде копирана върху себе си."));
    FileReplacement::removeLeftovers(QFileInfo(target).absolutePath(), QFileInfo(target).fileName() + QLatin1Char('.'));
    FileReplacement copy(target);
    try {
        // Through the engine: consistent while other copies write, a crash's journal replayed.
        e->setBusyTimeout(mBusyMs);
        e->open(source);
        e->copyOpenDatabase(copy.temporaryPath());
        e->close();
    } catch (const DaoError &error) {
        e->close();
        qCInfo(lcDb) << "copying" << source << "as it lies:" << error.message();
        if (!e->copyAsItLies(source, copy.temporaryPath(), target))
            throw;
    }
    copy.commit();
}

void TDaoDatabase::CompactDatabaseFile(const QString &file, const QString &password)
{
    Q_UNUSED(password) // the embedded engine keeps no password in the file
    std::unique_ptr<DbEngine> e = engines::create(file);
    const QString database = e->fullName(file);
    if (!e->present(database))
        throw DaoError(QStringLiteral("Файлът на базата \"%1\" не съществува.").arg(database));
    e->compact(database);
}

void TDaoDatabase::bringFitmentUpToDate(const std::function<void(qint64 done, qint64 total)> &progress)
{
    ++mFollowPaused;
    const auto resume = qScopeGuard([this] { --mFollowPaused; });
    // A background check that started meanwhile gives way at the commit, as for any write.
    fitment::refreshBeforeUse(engine(), progress, [this] {
        mCheck->giveWay();
        commitRetrying();
    });
}

// ---- other connections' commits

void TDaoDatabase::watchCommits(bool on)
{
    mWatching = on;
    stopWatching();
    if (on && Connected())
        startWatching();
}

void TDaoDatabase::startWatching()
{
    mEngine->othersCommitted(); // from now on
    mFeed = std::make_unique<ChangeFeed>(*mEngine, *mChanges);
    mOwnRows.clear();
    mOwnEntries.clear();
    mFeedBehind = false;
    try {
        mFeed->start();
    } catch (const DaoError &e) {
        qCWarning(lcDb) << "others' changes not followed:" << e.message();
        mFeed.reset();
    }
    mWatchTimer = new QTimer(this);
    // The file is asked often (a small read of a counter); the server's socket tells at once, the
    // timer only finds a connection made again.
    mWatchTimer->setInterval(mEngine->commitSocket() >= 0 ? 2000 : 500);
    connect(mWatchTimer, &QTimer::timeout, this, [this] { checkCommits(); });
    mWatchTimer->start();
    checkCommits();
}

void TDaoDatabase::stopWatching()
{
    delete mWatchTimer;
    mWatchTimer = nullptr;
    mWatchSocket.reset();
    mFeed.reset();
}

void TDaoDatabase::checkCommits()
{
    // Never inside this connection's own transaction or batch: its writes are not yet others'.
    // Nor while the fitment index is read (its progress lets events in): the notice waits.
    if (!Connected() || mBatchDepth > 0 || mEngine->inTransaction() || mFollowPaused > 0)
        return;
    const bool others = mEngine->othersCommitted();
    const int socket = mEngine->commitSocket();
    if (socket < 0) {
        mWatchSocket.reset();
    } else if (!mWatchSocket || mWatchSocket->socket() != socket) {
        mWatchSocket = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
        connect(mWatchSocket.get(), &QSocketNotifier::activated, this, [this] { checkCommits(); });
    }
    if (others || mFeedBehind)
        followCommits();
    if (others)
        emit othersCommitted();
    for (TDaoTable *t : QList<TDaoTable *>(mDataSets))
        if (mDataSets.contains(t))
            t->followPending();
}

void TDaoDatabase::followCommits()
{
    if (!mFollowing || !mFeed) {
        mOwnRows.clear();
        return;
    }
    ChangeFeed::Changes changes;
    try {
        changes = mFeed->read(mOwnEntries);
        mOwnEntries.clear();
        mFeedBehind = false;
    } catch (const DaoError &e) {
        // Read at the next tick: the feed gives the same changes again.
        mFeedBehind = true;
        qCWarning(lcDb) << "others' changes not read yet:" << e.message();
        return;
    }
    int others = 0;
    if (!changes.whole) {
        QSet<qint64> counted;
        for (const qint64 row : changes.rows)
            if (!mOwnRows.contains(row) && !counted.contains(row))
                counted.insert(row);
        others = int(counted.size());
    }
    mOwnRows.clear();
    for (TDaoTable *t : QList<TDaoTable *>(mDataSets)) {
        if (!mDataSets.contains(t))
            continue; // closed by an earlier one's handler
        try {
            if (mChanges->records(t->TableName()))
                t->followOthers(changes.rows, changes.whole);
            else
                t->followOthers({}, true); // small tables: read again
        } catch (const DaoError &e) {
            qCWarning(lcDb) << "others' changes not shown in" << t->TableName() << ":" << e.message();
        }
    }
    if (changes.whole || others > 0)
        emit othersChanged(changes.whole ? -1 : others);
}
