// The SQLite engine: an inventory file opened through the SQLite C API with Velostok's functions
// (Unicode NOCASE, jet_like), the rollback journal and full syncs, the lock file beside it that
// lists who is connected (LockRoster, RosterGate), and the file operations (backup of an open
// file, compaction through VACUUM INTO, the schema of a new file, the header's version).
#pragma once

#include <optional>

#include "engine/DbEngine.h"
#include "sqlite/LockRoster.h"
#include "sqlite/SqliteConnection.h"
#include "sqlite/SqliteDialect.h"

#include <atomic>

class SqliteEngine : public DbEngine
{
public:
    SqliteEngine() = default;
    ~SqliteEngine() override;

    const SqlDialect &dialect() const override { return mDialect; }

    void open(const QString &path) override;
    void close() override;
    bool isOpen() const override { return mConn.isOpen(); }
    void setBusyTimeout(int ms) override;
    std::unique_ptr<DbEngine> openReader() const override;

    std::unique_ptr<DbStatement> prepare(const QString &sql) override;
    void execute(const QString &sql) override;
    int changes() const override;
    qint64 lastInsertId(const QString &table) const override;

    void beginRead() override;
    void beginWrite() override;
    void commit() override;
    bool tryCommit() override;
    void rollback() noexcept override;
    bool holdHistoryTriggers() override;
    bool inTransaction() const override;

    std::optional<SourceInfo> findSource(const QString &name) override;
    std::vector<ColumnDecl> resultColumns(const QString &sql) override;
    QList<QPair<QString, QString>> readsOf(const QString &sql) override;

    qint64 dataVersion() override;
    bool othersCommitted() override;
    void releaseMemory() override;
    void setStopCheck(std::function<bool()> stop) override;
    void interrupt() override;
    void setReadOnly(bool readOnly) override;

    void announce(const QString &computer, const QString &user) override;
    int rosterEntry() const override { return mRoster.entryIndex(); }
    std::optional<QList<Connected>> connectedTo(const QString &path) override;
    QList<Connected> rosterPlaces(const QString &path) override;

    int additions() const override { return mAdditions; }

    std::optional<FileHealth> checkFile() override;
    bool checksFile() const override { return true; }

    void beginBulkLoad() override;
    void endBulkLoad(const std::function<void(int done, int total)> &step = {}) override;

    QString locate(const QString &database, const QString &fallbackDir) const override;
    QString fullName(const QString &database) const override;
    bool present(const QString &database) const override;
    bool sameDatabase(const QString &a, const QString &b) const override;
    bool copyAsItLies(const QString &database, const QString &path, const QString &shownPath) const override;

    void copyOpenDatabase(const QString &path, const Progress &progress = {}) override;
    void compact(const QString &path) override;
    std::unique_ptr<Hold> holdAlone(const QString &path) override;
    void createDatabase(const QString &path, const QString &cataloguePath = QString()) override;
    FileVersion fileVersion(const QString &path) const override;

    // Velostok's functions and connection settings on a raw connection (tests and benchmarks
    // compare against one).
    static void prepareConnection(SqliteConnection &conn);
    // Raises unless the open file is an inventory database of a known version.
    static void checkInventoryFile(SqliteConnection &conn, const QString &path);
    // Writes a compacted copy of the closed database at source into the empty file dest, with
    // as many rows in each table as the source has; a file with damage beside its rows is made
    // anew from its tables (which repairs it). Raises FileDamaged for a file whose tables cannot
    // be read whole, DaoError for any other failure.
    void compactInto(const QString &source, const QString &dest);

private:
    void addToLayout();

    LockRoster mRoster; // from announce() until close(); left after the connection has closed
    SqliteConnection mConn;
    mutable std::atomic<sqlite3 *> mHandle = nullptr; // for interrupt() from another thread
    QString mPath;
    int mAdditions = 0;
    QStringList mLoadIndexes; // a bulk load's, made at its end
    std::function<bool()> mStop;
    SqliteDialect mDialect;
    int mBusyMs = 5000;
    // The triggers set aside in this transaction: name, statement.
    QList<QPair<QString, QString>> mHeldTriggers;
    void putTriggersBack();
    std::optional<qint64> mSeenVersion; // for othersCommitted
};
