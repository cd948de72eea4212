// Where a dataset's rows come from: the keyset of a table (TableKeyset) or the rows of a query
// (QueryRows). Positions are 0-based in the row set's order; values are as stored, one per field
// of the dataset, in field order.
#pragma once

#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

// What FindByKey looks for in one column: a Jet pattern on a text column, a number otherwise.
struct KeyCondition
{
    int column = 0;
    bool text = false;
    QString pattern;  // lower case, ends in "*" unless it had one
    double number = 0;
    // The same test on a stored value, for rows already in memory.
    std::function<bool(const QVariant &stored)> matches;
};

class RowSource
{
public:
    static const QVariant &null();

    virtual ~RowSource() = default;

    // Rows not read yet (a query opened lazily). read() reads them, or raises DaoError, and
    // raises the same error again at every later call until the source is replaced.
    virtual bool pending() const { return false; }
    virtual void read() {}

    int count() const { return mCount; }
    // A stored value; null outside the row set. The reference holds until the next call.
    virtual const QVariant &value(int position, int column) const = 0;
    // Every stored value of a row.
    virtual std::vector<QVariant> values(int position) const = 0;
    // The stored values of some columns of the rows from..to-1, one row after another, for long
    // runs of rows: what value() would give, read with few statements and not kept. visit gets
    // the row's position and its values in the order of columns.
    using RowVisitor = std::function<void(int position, const QVariant *values)>;
    virtual void visitRows(int from, int to, const std::vector<int> &columns, const RowVisitor &visit) const;
    // The row was removed from the database by someone else since the row set was made.
    virtual bool missing(int position) const { Q_UNUSED(position) return false; }

    // A key that names the row as long as the row set lives, and the row it names now (hint: where
    // it was); -1 when it is gone.
    virtual qint64 keyAt(int position) const { return position; }
    virtual int positionOf(qint64 key, int hint) const;

    // The first position, in the row set's order, whose row satisfies the condition; -1 if none.
    virtual int find(const KeyCondition &condition) const = 0;

    // Forgets values read, so that the next reads see the database as it is now.
    virtual void dropValues() {}

protected:
    int mCount = 0; // rows in the row set, kept by the source (asked once or twice per move)
};
