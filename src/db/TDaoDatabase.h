// The database connection: opens an inventory file with the configured engine version, keeps
// its datasets, and compacts and copies files. One SQLite connection stands behind it.
#pragma once

#include "DistinctValues.h"
#include "LockRoster.h"
#include "SqliteConnection.h"

#include <QObject>
#include <QStringList>
#include <memory>

class TDaoTable;

class TDaoDatabase : public QObject
{
    Q_OBJECT

public:
    explicit TDaoDatabase(QObject *parent = nullptr);
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

    bool Connected() const { return mConn.isOpen(); }
    void setConnected(bool connected);
    void Open() { setConnected(true); }
    void Close() { setConnected(false); }

    // Lets the next re-query see every change committed by other users.
    void Idle();

    // Compacts a closed database file in place. Raises, leaving the file untouched, when the
    // engine refuses or someone is connected to it.
    void CompactDatabaseFile(const QString &file, const QString &password);

    // Copies the open database, including what is still in its journal, to a file, replacing
    // it. Raises on failure; an older copy at dest then stays as it was.
    void CopyOpenDatabase(const QString &dest);

    // "wal" or "delete": the journal this connection chose for the file's file system.
    QString journalMode() const { return mJournalMode; }
    int rosterEntry() const { return mRoster.entryIndex(); }

    SqliteConnection &connection() { return mConn; }

    // Bulk loops group their posts into transactions committed every quarter second and at the
    // end, instead of one commit per row. Calls nest.
    void beginWriteBatch();
    void writeBatchStep();
    void endWriteBatch();
    // After a failed write inside a batch: raises when the engine undid the whole batch.
    void checkBatch();

    // What this connection has written, so that read-only row sets know when a re-query would
    // give the same rows: each write bumps the serial of the columns it touched (an empty list:
    // the whole table; an empty table: anything at all).
    void noteWrite(const QString &table, const QStringList &columns = {});
    // A value that changes whenever anything the reads could see has changed: other
    // connections' commits, or this connection's writes to one of the (table, column) pairs.
    QString readStamp(const QList<QPair<QString, QString>> &reads);

    // A written row's stored values before and after, in the order of columns (either may be
    // null: an inserted or deleted row), so that the distinct-value lists follow it.
    void noteRowChange(const QString &table, const std::vector<QString> &columns,
                       const std::vector<QVariant> *before, const std::vector<QVariant> *after);
    // The up-to-date distinct values of a column, built when first asked or when stale.
    const DistinctValues &distinctValues(const QString &table, const QString &column);
    void registerDataSet(TDaoTable *t);
    void unregisterDataSet(TDaoTable *t);
    void invalidateCaches();

    // The inventory-file check on an open connection: raises unless it is one of a known version.
    static void checkInventoryFile(SqliteConnection &conn, const QString &path);
    // True when the folder of path lies on a network file system, where WAL is unsafe.
    static bool onNetworkFileSystem(const QString &path);
    // Applies Velostok's functions and connection settings.
    static void prepareConnection(SqliteConnection &conn);

signals:
    void connectedChanged(bool connected);

private:
    void openFile();
    void commitBatch();
    // Rolls the open batch back, forgets what it counted, and (restart) opens the next one.
    void abandonBatch(bool restart);
    static QString batchLostText(const QString &cause);

    QString mDatabase;
    QString mVersion = QStringLiteral("3.6");
    QString mProgramDir;
    QString mJournalMode;
    SqliteConnection mConn;
    LockRoster mRoster;
    QList<TDaoTable *> mDataSets;
    int mBatchDepth = 0;
    qint64 mBatchStarted = 0;
    quint64 mSerial = 0;
    QHash<QString, quint64> mWrites; // "table" or "table.column", lower case
    std::vector<std::unique_ptr<DistinctValues>> mDistinct;
    qint64 dataVersion();
};
