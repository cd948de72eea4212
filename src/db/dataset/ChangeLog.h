// The change history of the inventory's rows, as this connection writes it (see
// inventoryschema's history): the mark that tells the database's triggers who writes and how,
// the rows of an operation on many rows gathered and written at each commit, and the history
// read back.
#pragma once

#include "engine/InventorySchema.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <vector>

class DbEngine;

class ChangeLog
{
public:
    using Kind = inventoryschema::ChangeKind;
    using Mode = inventoryschema::WriterMode;

    explicit ChangeLog(DbEngine &engine) : mEngine(engine) {}

    // Whether the inventory keeps a history (an older one that could not be brought up to date
    // does not).
    bool kept() const;
    // Whether writes to this table are recorded.
    bool records(const QString &table) const { return kept() && table == QLatin1String("main"); }

    // ---- within a write transaction of the caller's
    // Before the program writes main's rows: the triggers record them as by who (an operation
    // in progress: the program records them itself).
    void mark(const QString &who, Mode mode = Mode::Record);
    // After a statement run with Mode::Collect: its rows folded into one entry (a single row's
    // as a single entry), the mark set back to what it was.
    void foldCollected(const QString &who);
    // The next post of one row is recorded as kind (a revert, a restore) instead of the change it
    // makes; for a restore, formerRow (the purged row's id) goes into the entry as its "id".
    // Kind::Change clears it.
    void recastNext(Kind kind, qint64 formerRow = 0);
    bool recasting() const { return mRecast.kind != Kind::Change; }
    // After the recast post wrote its row (Mode::Collect): its entry written.
    void settleRecast();
    const QString &markedWho() const { return mWho; }
    // One row written by an operation in progress: kind New or Change, fields as fieldsJson.
    void rowWritten(qint64 row, Kind kind, const QString &fieldsJson);
    // Before the transaction commits: the operation's rows of this transaction written, the mark
    // taken away (a mark never reaches the database). Raises; the caller then rolls back.
    void beforeCommit();
    // After the transaction ended: committed, or rolled back (what it wrote is gone).
    void ended(bool committed);

    // ---- operations on many rows (one entry each)
    // entryFields: what the entry itself keeps (JSON), such as the entry an undo undoes.
    void beginOperation(Kind kind, const QString &who, const QString &entryFields = QString());
    void endOperation();
    bool inOperation() const { return mOp.active; }
    // The operation's entry, once a commit wrote it (0 before, and when it wrote no row).
    qint64 operationEntry() const { return mOp.entry; }

    // ---- reading
    struct FieldChange
    {
        QString field;
        QVariant before, after; // as the JSON held them: numbers, text, true/false, null
    };
    struct Entry
    {
        qint64 id = 0;
        QDateTime at;
        QString who;
        Kind kind = Kind::Change;
        bool outside = false;
        qint64 row = 0;
        bool operation = false; // one row of an operation on many
        Kind operationKind = Kind::Change; // that operation's kind
        QList<FieldChange> fields;
    };
    // A row's entries, newest first, those of operations that wrote it included.
    QList<Entry> entriesOf(qint64 row);
    // The newest entry of kind (nullopt when there is none); its fields are the entry's own.
    std::optional<Entry> lastEntry(Kind kind);
    // The newest entry of kind whose own fields hold field with before value value.
    std::optional<Entry> entryNaming(Kind kind, const QString &field, qint64 value);
    // The rows that entries after entry name, operations' rows included.
    QSet<qint64> rowsChangedAfter(qint64 entry);
    // The rows an operation wrote, in row order: kind New or Change and their fields.
    QList<Entry> operationRows(qint64 entry);
    // Entries of purged rows not restored since (the whole row as the old values), newest
    // first, whose catalogue number or name holds text (empty: all).
    QList<Entry> purged(const QString &text = QString());
    // Drops the entries older than days days (0: none). Runs its own transaction.
    void dropOlderThan(int days);
    // dropOlderThan, when the oldest entry is more than a day past the limit: so at most once a
    // day, whoever closes. True when it ran.
    bool pruneDue(int days);

    // The fields of a row as an entry keeps them: {"column": [old, new], ...}.
    static QString fieldsJson(const QList<FieldChange> &fields);
    static QList<FieldChange> parseFields(const QString &json);

private:
    void flushOperation();
    QList<QPair<qint64, qint64>> restoredRows(); // (purged row, restoring entry)
    qint64 addEntry(const QDateTime &at, const QString &who, Kind kind, const QVariant &row, const QString &fields);

    DbEngine &mEngine;
    bool mMarked = false;
    QString mWho;
    Mode mMode = Mode::Record;
    struct Recast
    {
        Kind kind = Kind::Change;
        qint64 formerRow = 0;
    } mRecast;
    struct Operation
    {
        bool active = false;
        Kind kind = Kind::Change;
        QString who;
        QString fields;
        QDateTime at;
        qint64 entry = 0;             // its history row, once written
        bool entryThisTransaction = false;
        struct Line
        {
            qint64 row;
            Kind kind;
            QString fields;
        };
        std::vector<Line> pending; // this transaction's rows
    } mOp;
};
