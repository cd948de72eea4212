// The row set of a table opened as a dynaset: the keys of the matching rows, selected once in sort
// order (the row key breaks ties), and their values fetched by key in pages and kept. Rows added
// by others appear only when a new keyset is loaded; a row appended here joins the end.
#pragma once

#include "dataset/RowMoves.h"
#include "dataset/RowSource.h"
#include "engine/SqlFragment.h"

#include <memory>

#include <unordered_map>

class DbEngine;

class TableKeyset : public RowSource
{
public:
    TableKeyset(DbEngine &engine, QString table, std::vector<QString> columns);
    ~TableKeyset() override;

    // Selects the keys of the rows that pass where (empty: all), ordered by orderBy (empty: the
    // key alone). Raises DaoError, and the keyset is then left empty.
    void load(const SqlFragment &where, const QString &orderBy);

    const QVariant &value(int position, int column) const override;
    std::vector<QVariant> values(int position) const override;
    bool missing(int position) const override;
    qint64 keyAt(int position) const override { return mKeys[size_t(position)]; }
    int positionOf(qint64 key, int hint) const override;
    int find(const KeyCondition &condition) const override;
    void dropValues() override { mRows.clear(); }
    void visitRows(int from, int to, const std::vector<int> &columns, const RowVisitor &visit) const override;

    // This connection's own writes through the dataset (values empty: read when first asked).
    void appended(qint64 key, std::vector<QVariant> values);
    void updated(int position, std::vector<QVariant> values);
    void removed(int position);

    // Other connections' changes. What follow did to the row set.
    struct Followed
    {
        RowMoves moves;
        std::vector<qint64> changed; // rows held whose values now differ, and rows put in
        int inserted = 0;
        int removed = 0;
        // Too many new rows to place one by one in a sorted row set: the keys are to be selected
        // again (elsewhere, see keysQuery), and adopt() given them; the row set is unchanged.
        bool reselectWanted = false;
    };
    // The rows changed names (any order, repeats allowed): the values held of those still in the
    // database are read again; those gone leave the row set, except keep (the current row),
    // which is kept as missing; those not in the row set that pass the keyset's condition are
    // put in where its order places them. whole: anything may have changed, the keys are selected
    // again (rows found by key) and the values held read again.
    bool usesFitment() const { return mWhere.fitment; }
    // The statement that selects the keys in the row set's order, for another connection.
    SqlFragment keysQuery() const;
    static std::vector<qint64> runKeysQuery(DbEngine &engine, const SqlFragment &query);
    // Keys selected again by keysQuery: the row set becomes them, the current row (keep) kept
    // where it was when they lack it.
    Followed adopt(std::vector<qint64> keys, qint64 keep);
    // Changes whenever this dataset adds or removes a row itself, and is new for every keyset:
    // keys selected elsewhere are adopted only when neither changed meanwhile.
    quint64 serial() const { return mSerial; }
    // A row whose values are kept when the values held are dropped for room (the held current row).
    void setPinned(qint64 key) { mPinned = key; }
    quint64 localChanges() const { return mLocalChanges; }
    // frozen (the held current row): its values held are not replaced; heldBack tells whether
    // they would have been.
    Followed follow(const std::vector<qint64> &changed, bool whole, qint64 keep, qint64 frozen = 0,
                    bool *heldBack = nullptr);

private:
    struct Row
    {
        std::vector<QVariant> values;
        bool missing = false; // no longer in the database
    };
    const Row *rowAt(int position) const;
    std::vector<qint64> selectKeys() const;
    // Reads the rows keys name (with whether each passes the condition) in parts; gives them by key.
    // values: with the rows' values (else only whether each is there and passes).
    std::unordered_map<qint64, std::pair<bool, std::vector<QVariant>>> readRows(const std::vector<qint64> &keys,
                                                                               bool values = true) const;
    // Where a row not in the keyset goes: before the first member it sorts before.
    int placeOf(qint64 key) const;
    // Everything read again: the keys selected anew, the values held (read) compared.
    Followed reselect(const std::unordered_map<qint64, std::pair<bool, std::vector<QVariant>>> &read,
                      qint64 keep, qint64 frozen, bool *heldBack);
    void refreshHeld(const std::unordered_map<qint64, std::pair<bool, std::vector<QVariant>>> &read, qint64 keep,
                     qint64 frozen, bool *heldBack, Followed &out);
    // The row set's order as SQL: the sort terms, then the key.
    QString orderTerms() const { return mOrderBy.isEmpty() ? mKey : mOrderBy + QStringLiteral(", ") + mKey; }
    void fetchPage(int position) const;

    DbEngine &mEngine;
    QString mTable;   // quoted
    QString mKey;     // the row key column
    std::vector<QString> mColumns;
    QString mSelectList;
    quint64 mSerial;
    quint64 mLocalChanges = 0;
    qint64 mPinned = 0;
    SqlFragment mWhere;
    QString mOrderBy;
    std::vector<qint64> mKeys;
    bool mKeysAscend = true; // in key order (no sort term, nothing appended out of order)
    mutable std::unordered_map<qint64, Row> mRows;
};
