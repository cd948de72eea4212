// The engine behind the data layer: one connection to one inventory database, and the few
// operations on database files that need no connection. Everything the data layer does to a
// database goes through here and through the engine's SqlDialect: SQLite (a file) or PostgreSQL
// (a server).
//
// Every failure raises DaoError with a message for the user (the engine's own text inside it).
#pragma once

#include "engine/DbStatement.h"
#include "engine/FieldType.h"

#include <QList>
#include <QPair>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class SqlDialect;

struct ColumnDecl
{
    QString name;
    TFieldType type = TFieldType::Text; // a table's integer key is a Counter
    int size = 0;                       // characters, for text of a given width; 0 otherwise
    bool untyped = false;               // declared with no type (an expression): typed by its values
};

// A named table or stored query (view) as the database holds it.
struct SourceInfo
{
    bool isTable = false;
    QString name;                   // as the database spells it
    std::vector<ColumnDecl> columns; // in order
    QString viewSql;                // a view's stored statement
    // The (table, column) whose distinct values the view lists, when it is one of the stored
    // pick-list queries in their known form.
    std::optional<std::pair<QString, QString>> distinctOf;
};

// What a check of a database file found.
struct FileHealth
{
    enum Damage {
        Sound,      // the engine found nothing wrong
        Repairable, // damage beside the rows (indexes, free space): every table reads whole, so the
                    // file can be made anew from them without losing a row
        Tables      // a table itself cannot be read whole
    };
    Damage damage = Sound;
    QStringList problems; // the engine's own words, for the log
};

// What the header of a database file says, read without opening it with the engine.
struct FileVersion
{
    enum Status { Ok, Unreadable, NotADatabase } status = Unreadable;
    int version = 0;
};

class DbEngine
{
public:
    virtual ~DbEngine() = default;

    virtual const SqlDialect &dialect() const = 0;

    // ---- the connection
    // Opens an existing inventory database read-write and shared; raises for a missing file and
    // for one that is not an inventory of a known version, leaving it untouched.
    virtual void open(const QString &path) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // How long a statement waits for another connection's lock before it fails.
    virtual void setBusyTimeout(int ms) = 0;
    // Another connection to the open database, for reading only, to be used by one other thread
    // (the connection itself may then not be touched by this one).
    virtual std::unique_ptr<DbEngine> openReader() const = 0;

    // One statement (a trailing second one is refused). The compiled form is kept for the next
    // use of the same text.
    virtual std::unique_ptr<DbStatement> prepare(const QString &sql) = 0;
    // A query whose rows are read once, front to back, and may be very many (an export, a copy,
    // a column's distinct values): the engine may hand them over in parts rather than hold
    // them all at once. Read it to its end or reset it before the next transaction begins.
    virtual std::unique_ptr<DbStatement> prepareScan(const QString &sql) { return prepare(sql); }
    // Runs one or more statements without results.
    virtual void execute(const QString &sql) = 0;
    // Rows changed by the last statement, and the key of the row it inserted into table (the
    // rows that triggers inserted into other tables meanwhile do not count).
    virtual int changes() const = 0;
    virtual qint64 lastInsertId(const QString &table) const = 0;

    // ---- transactions (each statement outside one commits on its own)
    // Begins a transaction whose reads all see the database as it was at its first read; it
    // keeps others from committing until it ends (rollback).
    virtual void beginRead() = 0;
    // Begins a transaction that holds the write lock from the start.
    virtual void beginWrite() = 0;
    // Raises when refused; inTransaction() then tells whether the transaction is still open.
    virtual void commit() = 0;
    // One attempt without waiting: false when others' locks refuse it (still open), raises for
    // any other failure.
    virtual bool tryCommit() = 0;
    virtual void rollback() noexcept = 0;
    // Within a write transaction whose changes of main the program records itself: the engine
    // may set the history's triggers aside until the transaction ends (putting them back before
    // it commits, so that no other connection sees them gone); any other trigger stays. False
    // when it does not.
    virtual bool holdHistoryTriggers() { return false; }
    virtual bool inTransaction() const = 0;

    // ---- the schema
    // A table or view by name, letter case ignored; nullopt when there is none.
    virtual std::optional<SourceInfo> findSource(const QString &name) = 0;
    // The result columns of a query, without running it.
    virtual std::vector<ColumnDecl> resultColumns(const QString &sql) = 0;
    // The (table, column) pairs a query reads, views included; an empty column stands for the
    // whole table. Empty when the engine cannot tell (then it may read anything).
    virtual QList<QPair<QString, QString>> readsOf(const QString &sql) = 0;

    // ---- state
    // Changes whenever another connection has committed to the database since it was last asked.
    virtual qint64 dataVersion() = 0;
    // Gives back memory and read locks the connection holds while idle.
    virtual void releaseMemory() = 0;
    // A check the engine runs now and then while a statement runs: when it gives true, the
    // statement stops with an error. It runs on the thread that runs the statement.
    virtual void setStopCheck(std::function<bool()> stop) = 0;
    // Stops the statement this connection runs now, from any thread (it ends with an error).
    virtual void interrupt() {}
    // Refuses every write of this connection (a damaged file is read, never written).
    virtual void setReadOnly(bool readOnly) = 0;
    // The value the engine gives back when it stores a typed value: a bool as 0 or 1, a
    // date-time as its stored text, an int as a 64-bit integer, the rest as it is.
    virtual QVariant storedForm(const QVariant &typed) const;

    // ---- who is connected
    struct Connected
    {
        QString computer;
        QString user;
        // Listed by a connection that ended without leaving (a copy killed while it had a file
        // open); a server lists only the sessions it runs.
        bool suspect = false;
    };
    // Names this connection in the list of connected users, once it is open; close() takes the
    // name off. On a file it also keeps compaction from replacing the file while it is open, and
    // raises when a compaction holds the file for longer than a few seconds.
    virtual void announce(const QString &computer, const QString &user) { Q_UNUSED(computer) Q_UNUSED(user) }
    // This connection's entry in a file's list of connected users; -1 when it holds none.
    virtual int rosterEntry() const { return -1; }
    // The program's connections to the database now, asked without this engine's connection;
    // nullopt when the engine keeps no such list. Raises, in the words the user is shown, when
    // the list cannot be read.
    virtual std::optional<QList<Connected>> connectedTo(const QString &database) { Q_UNUSED(database) return std::nullopt; }
    // The places of that list as they lie, empty ones included (a file's lock file read whole,
    // without asking who holds an entry); where the list has no places of its own, who is
    // connected. Raises as connectedTo().
    virtual QList<Connected> rosterPlaces(const QString &database) { return connectedTo(database).value_or(QList<Connected>()); }

    // ---- the file's health (engines whose database is a file of its own)
    // The engine's quick check of the open database, and on damage whether every table still
    // reads whole; nullopt for an engine with no file to check (a server keeps its own). Runs on
    // a reader connection too, where interrupt() stops it.
    virtual std::optional<FileHealth> checkFile() { return std::nullopt; }
    // Whether checkFile() has a file to check.
    virtual bool checksFile() const { return false; }

    // ---- other connections' commits
    // Whether another connection committed a change of the inventory since the last call (the
    // first call starts counting and says false; so does a call inside a transaction). The file
    // asks the engine's data version; the server reads what its connection's socket holds,
    // without a round trip, and answers true once after the connection was made again. Never
    // raises.
    virtual bool othersCommitted() = 0;
    // The socket whose data announce others' commits (-1: none; ask othersCommitted on a timer).
    // Changes when the connection is made again.
    virtual int commitSocket() const { return -1; }

    // ---- additions to the inventory's layout
    // The additions step of the open inventory (inventoryschema::AdditionsStep), brought up to
    // this program's on opening where the database could be written then.
    virtual int additions() const = 0;

    // ---- the inventory copied row by row
    using TableRows = std::function<void(const QString &table, const std::vector<ColumnDecl> &columns, DbStatement &rows)>;
    // Hands each of the inventory's tables to each, all from one snapshot: its name, its columns
    // in order, and its rows in key order, read once front to back (the engine may hand them
    // over in parts), then, with history, the history's tables where the database keeps them.
    // Raises when a table is missing.
    void scanInventory(const TableRows &each, bool history = false);
    // A load of many rows into the tables of a new database that nobody sees until it is put in
    // place, made fast in the engine's own way: begun, the rows inserted, then ended; rollback()
    // on failure.
    // The end may take long (indexes made): step(done, total) after each part of it.
    virtual void beginBulkLoad() { beginWrite(); }
    virtual void endBulkLoad(const std::function<void(int done, int total)> &step = {})
    {
        Q_UNUSED(step) commit();
    }

protected:
    // scanInventory's statement for one table; ownSnapshot when the scan began the read
    // transaction itself (and so may read in parts inside it).
    virtual std::unique_ptr<DbStatement> prepareInventoryScan(const QString &sql, bool ownSnapshot)
    {
        Q_UNUSED(ownSnapshot) return prepareScan(sql);
    }
    // The message of a scan that finds a table missing.
    virtual QString missingTableMessage(const QString &table) const;

public:

    // ---- the database's name
    // The name to open for a Database setting: a file as found (a stored path with backslashes, a
    // name in another letter case, else the file of that name in fallbackDir when one is named);
    // a server's connection as it stands.
    virtual QString locate(const QString &database, const QString &fallbackDir) const
    {
        Q_UNUSED(fallbackDir) return database;
    }
    // The database's full name: a file's absolute path.
    virtual QString fullName(const QString &database) const { return database; }
    // Whether the named database is there to open: a file that exists; a server's database is
    // found when it is asked.
    virtual bool present(const QString &database) const { Q_UNUSED(database) return true; }
    // Whether two full names are one database, which is never copied onto itself.
    virtual bool sameDatabase(const QString &a, const QString &b) const { Q_UNUSED(a) Q_UNUSED(b) return false; }
    // Copies a closed database that the engine cannot open into the empty file at path, as it
    // lies (shownPath names the copy in messages); false when there is no such copy to make.
    virtual bool copyAsItLies(const QString &database, const QString &path, const QString &shownPath) const
    {
        Q_UNUSED(database) Q_UNUSED(path) Q_UNUSED(shownPath) return false;
    }

    // ---- files
    // How far a long copy has come: done of total steps (total may grow while it goes on).
    using Progress = std::function<void(qint64 done, qint64 total)>;
    // Copies the open database, committed data still in its journal included, into an empty
    // file at path, telling progress now and then where it takes long.
    virtual void copyOpenDatabase(const QString &path, const Progress &progress = {}) = 0;
    // Compacts the closed database in place. A file is written anew beside itself, with as many
    // rows in each table (damage beside its rows repaired, the file made anew from its tables),
    // and put in its place in one step, while no copy of the program can connect to it; a server
    // reorganises its own storage. Raises, leaving the database as it was: FileDamaged for a file
    // whose tables cannot be read whole, DaoError while someone is connected to the file and for
    // any other failure.
    virtual void compact(const QString &database) = 0;
    // Keeps every copy of the program from connecting to the closed database until the hold is
    // let go; none when someone is connected now or the engine cannot keep them out.
    struct Hold
    {
        virtual ~Hold() = default;
    };
    virtual std::unique_ptr<Hold> holdAlone(const QString &database) { Q_UNUSED(database) return nullptr; }
    // Makes an empty inventory database at path (which must not exist), with the catalogue of
    // makes and models from a tab-separated file when one is named.
    virtual void createDatabase(const QString &path, const QString &cataloguePath = QString()) = 0;
    // The schema version recorded in a database file's header.
    virtual FileVersion fileVersion(const QString &path) const = 0;
};
