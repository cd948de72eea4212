// A raw libpq connection to a PostgreSQL server: its session, its prepared statements (the data
// layer's "?" placeholders turned into "$n"), stoppable and guarded execution, and reconnection.
#pragma once

#include "postgresql/PgResult.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariantList>
#include <functional>
#include <optional>

struct pg_conn;

class PgConnection
{
public:
    PgConnection() = default;
    ~PgConnection();
    PgConnection(const PgConnection &) = delete;
    PgConnection &operator=(const PgConnection &) = delete;
    // A connection handed on keeps its session and its prepared statements; the callbacks stay
    // behind (they belong to whoever set them).
    PgConnection(PgConnection &&other) noexcept;
    PgConnection &operator=(PgConnection &&other) noexcept;
    // Open, and neither in a transaction nor in the middle of a statement: fit to be used again.
    bool isIdle() const;

    // A libpq connection string (keywords or a postgresql:// URI). Raises DaoError.
    void open(const QString &conninfo);
    void close();
    bool isOpen() const { return mConn != nullptr; }
    pg_conn *handle() const { return mConn; }
    const QString &conninfo() const { return mConninfo; }

    // One or more statements without parameters.
    void exec(const QString &sql);
    // One statement with parameters (text form, types left to the server); the result rows.
    PgResult query(const QString &sql, const QVariantList &params = {});
    // The server's name for the prepared form of sql (prepared on first use).
    QByteArray prepared(const QString &sql);
    // Runs a prepared statement; with a stop check, the statement is cancelled on the server
    // as soon as the check says so (then it fails as interrupted).
    PgResult execPrepared(const QByteArray &name, int params, const char *const *values);
    // One statement without parameters, cancelled in the same way.
    PgResult execStoppable(const QByteArray &sql);
    // Runs a prepared statement inside a transaction so that its failure undoes it alone and the
    // transaction goes on, as SQLite undoes a failed statement: within a savepoint, sent together
    // with it in one round trip.
    PgResult execGuarded(const QByteArray &name, int params, const char *const *values);
    void setStopCheck(std::function<bool()> stop) { mStop = std::move(stop); }
    bool stopAsked() const { return mStop && mStop(); }
    bool stoppable() const { return bool(mStop); }

    // Rows changed by the last statement run through this connection.
    int changes() const { return mChanges; }
    void setChanges(int n) { mChanges = n; }
    void noteChanges(const PgResult &r);

    // Connects again when the connection was lost (then prepared statements are gone: the
    // generation changes, and onReconnect restores the session's settings). Raises when it cannot.
    void ensureLive();
    // The same without ever waiting, for an idle watch: the first call starts connecting again,
    // later ones carry it on while the socket is ready; true once the connection is live.
    bool reconnectStep();
    int generation() const { return mGeneration; }
    // Whether r failed because the server had closed the connection.
    bool lostMeanwhile(const PgResult &r) const;
    void setOnReconnect(std::function<void()> f) { mOnReconnect = std::move(f); }

    // Raises the DaoError for a failed result (or the connection's last error when r is null).
    [[noreturn]] void raise(const pg_result *r) const;
    // Raises when r did not succeed.
    void check(const PgResult &r) const;

    // "?" placeholders outside quotes and comments as "$1", "$2", …; the count in *params.
    static QString numberedPlaceholders(const QString &sql, int *params = nullptr);
    // A value as the text the server reads for a parameter; null stays null.
    static std::optional<QByteArray> parameterText(const QVariant &v);

private:
    // The result of the statement just sent, cancelling it when the stop check asks.
    PgResult awaitResult();
    // After a reset: the prepared statements and settings of the new session.
    void renewed();

    pg_conn *mConn = nullptr;
    QString mConninfo;
    QHash<QString, QByteArray> mPrepared;
    int mNextName = 0;
    int mGeneration = 0;
    int mResetPolling = 0; // a reconnection under way: what it waits for (PostgresPollingStatusType)
    std::function<void()> mOnReconnect;
    std::function<bool()> mStop;
    int mChanges = 0;
};
