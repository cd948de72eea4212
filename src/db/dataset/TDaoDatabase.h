// The database connection: opens an inventory file with the configured engine version through the
// engine (DbEngine), keeps its datasets and the results they share, groups bulk posts into write
// batches, and compacts and copies files.
//
// Opening: the Database text is taken with "\" as a separator; a file that is not there under
// that letter case is the one file of its folder whose name differs only in case; with SmartOpen,
// a file still missing is looked for in the program's folder under the same name. Database then
// holds the path tried (the one opened, when opening succeeds). Closing closes every dataset of
// the connection first, then commits a write batch still open (raising, after closing, when that
// fails; what it held is then lost).
#pragma once

#include "engine/DbEngine.h"
#include "engine/InventorySchema.h"

#include <QObject>
#include <QSet>
#include <QSocketNotifier>

class QTimer;
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class ChangeFeed;
class ChangeLog;
class FileCheck;
class ResultCache;
class TDaoTable;

class TDaoDatabase : public QObject
{
    Q_OBJECT

public:
    explicit TDaoDatabase(QObject *parent = nullptr);
    // Closes the connection; a failure there is logged, never thrown.
    ~TDaoDatabase() override;

    // May be changed only while closed.
    const QString &Database() const { return mDatabase; }
    void setDatabase(const QString &path);

    // "3.5" or "3.6": only the first three characters of a new value count. Raises while
    // connected, for any other text, and for an engine that cannot be started (the previous
    // version stays). "3.5" falls back to "3.6" where the older engine is not available.
    const QString &Version() const { return mVersion; }
    void setVersion(const QString &version);
    // The versions that can be started here, ascending.
    QStringList EngineVersions() const;
    // Test seam: which engines this machine is taken to have (default: "3.6" only).
    static void setAvailableEngines(const QStringList &versions);

    QString DatabasePassword;
    QString UserName = QStringLiteral("Admin");
    QString UserPassword;
    QString WorkgroupFile = QStringLiteral("system.mdb");
    QString WorkspaceName = QStringLiteral("DaoWorkspace");
    QString DatabaseType = QStringLiteral("Access");
    bool Exclusive = false;
    bool ReadOnly = false;
    bool LoginPrompt = false;
    int QueryTimeout = 60;
    bool SmartOpen = true;

    // The folder a missing file is looked for in (the program's folder unless set).
    QString programDir() const;
    void setProgramDir(const QString &dir) { mProgramDir = dir; }

    // The connect text the file is opened with: ";UID=<user>;PWD=<password>;".
    QString connectText() const;

    bool Connected() const;
    void setConnected(bool connected);
    void Open() { setConnected(true); }
    void Close() { setConnected(false); }

    // Lets the next re-query see every change committed by other users.
    void Idle();

    // Compacts a closed database file in place. Raises, leaving the file untouched, when the
    // engine refuses or someone is connected to it. The compacted copy replaces the file in one
    // step (see FileReplacement).
    void CompactDatabaseFile(const QString &file, const QString &password);

    // Copies the open database, committed data still in its journal included, to a file,
    // replacing it in one step. Raises on failure; an older copy at dest then stays whole.
    // progress (done of total steps) is told now and then where the copy takes long (a server's
    // inventory written as a file).
    void CopyOpenDatabase(const QString &dest, const std::function<void(qint64 done, qint64 total)> &progress = {});
    // The same for the database Database names, open or not: a closed one is opened alone for the
    // copy; a file the engine cannot open (damaged, of another program) is copied as it lies.
    void CopyDatabase(const QString &dest);

    // ---- the file's health
    // The engine's check of the open file, now (nullopt: closed, or a server, which keeps its own).
    std::optional<FileHealth> CheckFile();
    // Checks the open file in the background (FileCheck), giving way to this connection's
    // writes; fileChecked tells the result. backups: archive copies to check on damage.
    void startFileCheck(const QStringList &backups = QStringList());
    FileCheck *fileCheck() const { return mCheck.get(); }
    // Starts reading the rows of these stored queries in the background now, so that opening
    // them later finds the reads under way (the pick lists, read while the inventory opens).
    // The reads are held until the next call (readAhead({}) lets them go) or closing.
    void readAhead(const QStringList &sources);
    // A file damaged in its tables is kept open for reading only: every write is refused with a
    // message that says why. Cleared when the connection closes.
    void setDamaged(bool damaged);
    bool Damaged() const { return mDamaged; }

    // This connection's entry in the lock file (-1 when not listed).
    int rosterEntry() const { return mEngine ? mEngine->rosterEntry() : -1; }

    // How long a statement waits for another copy's lock (5 s), how long a COMMIT refused at the
    // end of a write batch or at closing is tried again (20 s), and how often a write batch is
    // committed while bulk posts go on (100 ms: a crash loses at most that much). Tests shorten them.
    void setLockTimes(int busyMs, int commitRetryMs, int batchMs);
    // Changes whenever a new write batch begins. Within one batch no other copy writes (the
    // batch holds the write lock), so what was read in it, such as the largest row number,
    // stays true until the value changes; new rows posted in bulk mode join the batch they
    // were numbered in.
    quint64 batchSerial() const { return mBatchSerial; }

    // ---- the change history (ChangeLog)
    ChangeLog *changeLog() const { return mChanges.get(); }
    // The name the history gives the program's changes when no user is named: the computer's.
    QString computerName() const;
    // An operation on many rows (a renumbering, a paste, an import): one history entry, with
    // the rows its posts write.
    void beginOperation(inventoryschema::ChangeKind kind);
    void endOperation();
    // An operation on many rows written straight through the engine, all or nothing, in one
    // write transaction: work writes, telling changeLog()->rowWritten each row of main it
    // writes, and those rows become one history entry of kind keeping entryFields (JSON, may
    // be empty). Committed when work returns; when work or the commit raises, rolled back and
    // raised on. Datasets then forget the values they hold. Gives the entry (0: none kept).
    qint64 writeOperation(inventoryschema::ChangeKind kind, const std::function<void(DbEngine &)> &work,
                          const QString &entryFields = QString());
    // Reads the database as it is at one moment.
    void readSnapshot(const std::function<void(DbEngine &)> &read);
    // Brings the fitment index up to date (see fitment::bringUpToDate); progress as there.
    void bringFitmentUpToDate(const std::function<void(qint64 done, qint64 total)> &progress = {});

    // Whether othersCommitted is told (off at first): another connection's commits are looked for
    // on an idle timer of this thread, and on the server also when its socket has data. Kept
    // over closing and opening.
    void watchCommits(bool on);
    bool watchingCommits() const { return mWatching; }
    // Whether, besides telling othersCommitted, the open datasets follow what others changed
    // (TDaoTable::followOthers): main's rows as the history names them, other tables whole.
    // Off at first; works while commits are watched.
    void followOthers(bool on) { mFollowing = on; }
    bool followingOthers() const { return mFollowing; }

signals:
    void connectedChanged(bool connected);
    // Another connection (another counter, another program) committed a change of the inventory.
    void othersCommitted();
    // After the datasets followed others' commit: how many of main's rows others changed
    // (-1: not known; the inventory keeps no history).
    void othersChanged(int rows);
    void fileChecked(const FileHealth &health, const QStringList &soundBackups);

private:
    friend class TDaoTable;

    DbEngine &engine();
    ResultCache &cache();
    // Before a dataset writes table's rows: when they are recorded, the write is marked as the
    // program's by who, in a transaction of its own when none is open (true: endRecorded and
    // abortRecorded then end it).
    bool beginRecorded(const QString &table, const QString &who);
    void endRecorded(bool own);
    void abortRecorded(bool own) noexcept;
    void registerDataSet(TDaoTable *t);
    void unregisterDataSet(TDaoTable *t);

    // Before this connection writes to these columns of a table (none: any), every pending query
    // dataset that reads them reads its rows.
    void readBeforeWrite(const QString &table, const QStringList &columns);
    // ExecSQL: one statement, all or nothing; the rows it changed. Datasets forget the values
    // they hold, and the result cache what it kept.
    int executeStatement(const QString &sql);
    // An export statement (ExportStatement) writing to file, which the caller chose: the
    // statement's text names it only ambiguously. The rows written.
    int executeExport(const QString &sql, const QString &file);

    // Bulk loops group their posts into one transaction (the write batch), committed every
    // batchMs and at the end, instead of one commit per row. Calls nest.
    void beginWriteBatch();
    // Before each bulk post: commits the batch when it is due (and mayCommit). A commit refused
    // by others' locks keeps the batch open for a later try; raises only when the engine undid
    // the batch (its posts are lost) — a new batch is then open.
    void batchCheckpoint(bool mayCommit = true);
    // Commits the batch (retrying a refused COMMIT for commitRetryMs); raises when it cannot, and
    // the batch is then undone.
    void endWriteBatch();
    // After a write inside a batch failed with cause (the engine's message): raises, naming the
    // cause, when the engine undid the whole batch.
    void checkBatch(const QString &cause);

    // An atomic post (TDaoTable::setPostAtomic): the write lock from before its BeforePost until
    // its row is committed. False when a transaction is open already (a write batch), which then
    // takes the post in.
    bool beginPost();
    // Commits it; when that fails, undoes it, forgets what the caches were told of it, and raises.
    void commitPost();
    // Undoes it: a BeforePost or a write that raised.
    void rollbackPost() noexcept;

    void openFile();
    // Before any write: refused on a damaged file; a background check gives way.
    void aboutToWrite();
    void beginTransaction();
    void commitRetrying();
    // Rolls the open batch back, forgets what was counted from it, and (restart) opens the next.
    void abandonBatch(bool restart);
    void dropValuesEverywhere();
    void startWatching();
    void stopWatching();
    void checkCommits();
    void followCommits();
    // A row of main this connection wrote: not counted as others' when a notice comes.
    void ownRow(qint64 key) { mOwnRows.insert(key); }
    static QString batchLostText(const QString &cause);

    QString mDatabase;
    QString mVersion = QStringLiteral("3.6");
    QString mProgramDir;
    std::unique_ptr<DbEngine> mEngine;
    std::unique_ptr<ResultCache> mCache;
    std::vector<std::shared_ptr<void>> mReadAhead; // the cache's tickets
    std::unique_ptr<ChangeLog> mChanges;
    std::unique_ptr<FileCheck> mCheck;
    bool mDamaged = false;
    QList<TDaoTable *> mDataSets;
    int mBatchDepth = 0;
    qint64 mBatchStarted = 0;
    quint64 mBatchSerial = 0;
    int mBusyMs = 5000;
    int mCommitRetryMs = 20000;
    int mBatchMs = 100;
    bool mWatching = false;
    QTimer *mWatchTimer = nullptr;
    std::unique_ptr<QSocketNotifier> mWatchSocket;
    bool mFollowing = false;
    std::unique_ptr<ChangeFeed> mFeed;
    bool mFeedBehind = false; // a notice whose changes could not be read yet
    QSet<qint64> mOwnRows;
    QSet<qint64> mOwnEntries; // this connection's operations in the history
    int mFollowPaused = 0;    // the fitment index being brought up to date (its progress lets events in)
};
