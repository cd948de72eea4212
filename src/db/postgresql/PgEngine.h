// The PostgreSQL engine: an inventory database on a server, reached through libpq with a
// connection string (keywords or a postgresql:// URI) in the Database setting. Writers that
// must exclude each other (a write batch, a post that numbers its row) take one advisory lock,
// as SQLite's write lock does; readers never wait.
#pragma once

#include "engine/DbEngine.h"
#include "postgresql/PgConnection.h"
#include "postgresql/PgDialect.h"

#include <QHash>
#include <memory>

class PgEngine : public DbEngine
{
public:
    PgEngine() = default;
    ~PgEngine() override;

    // Whether a Database setting names a server rather than a file.
    static bool isConnectionString(const QString &database);
    // The connection string as keywords without the password, for the screen; as written when it
    // holds none.
    static QString withoutPassword(const QString &conninfo);
    // How long a background reader's connection is kept unused for the next reader (ms); tests
    // shorten it.
    static int &keptReaderIdleMs();

    const SqlDialect &dialect() const override { return mDialect; }

    void open(const QString &conninfo) override;
    void close() override;
    bool isOpen() const override { return mConn.isOpen(); }
    void setBusyTimeout(int ms) override;
    std::unique_ptr<DbEngine> openReader() const override;

    std::unique_ptr<DbStatement> prepare(const QString &sql) override;
    std::unique_ptr<DbStatement> prepareScan(const QString &sql) override;
    void execute(const QString &sql) override;
    int changes() const override;
    qint64 lastInsertId(const QString &table) const override;

    void beginRead() override;
    void beginWrite() override;
    void commit() override;
    bool tryCommit() override;
    void rollback() noexcept override;
    bool inTransaction() const override;

    std::optional<SourceInfo> findSource(const QString &name) override;
    std::vector<ColumnDecl> resultColumns(const QString &sql) override;
    QList<QPair<QString, QString>> readsOf(const QString &sql) override;

    qint64 dataVersion() override;
    bool othersCommitted() override;
    int commitSocket() const override;
    void releaseMemory() override;
    void setStopCheck(std::function<bool()> stop) override;
    void setReadOnly(bool readOnly) override;

    void announce(const QString &computer, const QString &user) override;
    std::optional<QList<Connected>> connectedTo(const QString &conninfo) override;

    void copyOpenDatabase(const QString &path, const Progress &progress = {}) override;
    void compact(const QString &conninfo) override;
    void createDatabase(const QString &conninfo, const QString &cataloguePath = QString()) override;
    FileVersion fileVersion(const QString &conninfo) const override;

    int additions() const override { return mAdditions; }

protected:
    std::unique_ptr<DbStatement> prepareInventoryScan(const QString &sql, bool ownSnapshot) override;
    QString missingTableMessage(const QString &table) const override;

private:
    void addToLayout();
    int mAdditions = 0;

    struct ReaderPool;

    void setUpSession();
    void reconnectWithSession();
    // The program's sessions on the server now, through a connection of their own.
    static QList<Connected> sessionsOf(const QString &conninfo);

    mutable PgConnection mConn;
    // Connections of background readers, kept for the next reader: a server connection takes
    // milliseconds to make, a file's none. Readers give theirs back when they end; one unused
    // for keptReaderIdleMs() is ended.
    mutable std::shared_ptr<ReaderPool> mReaders;
    std::shared_ptr<ReaderPool> mHome; // a reader's: where its connection goes back
    QHash<QString, QList<QPair<QString, QString>>> mReads; // readsOf's answers
    QString mComputer;
    QString mUser;
    PgDialect mDialect;
    int mBusyMs = 5000;
    int mListening = -1; // the connection generation that listens for commits
};
