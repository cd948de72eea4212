// An import of a sheet into the inventory: the file's rows as field values (or the reasons they
// are refused), matched to the inventory's rows by key, and what the import will append, change
// and leave alone; then written as one operation, all or nothing, and undone from the history.
#pragma once

#include "engine/DbEngine.h"

#include <QDateTime>
#include <QHash>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <vector>

class ChangeLog;
class SheetReader;
class TDaoDatabase;

namespace inventoryimport {

enum class Key { Number, NumberAndSupplier };
enum class Mode { UpdateAndAppend, UpdateOnly, AppendOnly };
enum class Quantity { Replace, Add };

struct Options
{
    int headingRow = 1;   // the file's row of headings (0: none); the data follow it
    QStringList headings; // per file column, for the messages
    QStringList fields;   // per file column: the field it goes to; empty: not imported
    Key key = Key::Number;
    Mode mode = Mode::UpdateAndAppend;
    Quantity quantity = Quantity::Replace;
    bool skipDeleted = false; // rows marked deleted are not matched
    // The program's own export: its text cells hold numbers and dates in the export's forms.
    bool exportForm = false;
};

// Whether headings are those of the program's own export: every one a field's name.
bool exportHeadings(const QStringList &headings, const std::vector<ColumnDecl> &columns);

// What happens to one row of the file.
enum class Outcome { Append, Change, Same, Skip, Refuse };

struct PlannedRow
{
    qint64 fileRow = 0;
    QString number;                // the catalogue number as the file writes it
    Outcome outcome = Outcome::Refuse;
    qint64 id = 0;                 // the inventory's row, when matched
    std::vector<QVariant> before;  // its values as stored (every column), when it changes
    QStringList reasons;           // why refused, or the warnings of an imported row
};

// Progress: called now and then with the rows done; false stops the work (it raises).
using Progress = std::function<bool(qint64 done)>;

class ImportPlan
{
public:
    // The most rows of data one import takes: each is held until it is written.
    static constexpr qint64 MaxRows = 500000;

    // columns: main's columns as the database declares them.
    ImportPlan(std::vector<ColumnDecl> columns, Options options);

    // The file's rows after the heading row, converted; empty rows are passed over.
    void read(SheetReader &reader, const Progress &progress = {});
    // The rows matched against the inventory as it is now (in one snapshot).
    void match(DbEngine &engine, const Progress &progress = {});
    // Writes the plan inside the caller's write transaction (TDaoDatabase::writeOperation),
    // matching again first when another connection committed since match. stamp: the time of
    // last_modified of each row written.
    void write(DbEngine &engine, ChangeLog *log, const QDateTime &stamp, const Progress &progress = {});

    const Options &options() const { return mOptions; }
    const std::vector<ColumnDecl> &columns() const { return mColumns; }
    const std::vector<PlannedRow> &rows() const { return mRows; }
    qint64 count(Outcome outcome) const;
    // Warnings of rows imported (text cut to its field), as "ред N, колона „…“: …".
    qint64 warnings() const { return mWarnings; }
    // The values a row of rows() is written with (every column; for an appended row, invalid:
    // the database's default or the import's stamp and number).
    std::vector<QVariant> after(const PlannedRow &row) const;
    // The fields a matched row has changed: indexes into columns().
    std::vector<int> changedColumns(const PlannedRow &row) const;
    std::vector<int> changedColumns(const PlannedRow &row, const std::vector<QVariant> &after) const;

private:
    int columnIndex(const QString &name) const;
    QByteArray keyOf(const std::vector<QVariant> &values) const;
    QByteArray keyOf(QByteArrayView number, QByteArrayView supplier) const;
    QString keyText(const std::vector<QVariant> &values) const;
    void settle(PlannedRow &row) const;

    std::vector<ColumnDecl> mColumns;
    Options mOptions;
    std::vector<int> mTargets; // per file column: index into mColumns, or -1
    std::vector<PlannedRow> mRows;
    // The rows as read from the file, before matching gave them an outcome.
    std::vector<std::vector<QVariant>> mIncoming;
    std::vector<QStringList> mNotes; // the warnings of each row as read
    qint64 mWarnings = 0;
    qint64 mVersion = -1; // the database's data version at match
    int mId = -1, mNumber = -1, mSupplier = -1, mQuantity = -1, mStamp = -1, mUserId = -1, mDeleted = -1;
};

// The fields an import may write: every column of main but its key, in table order.
QStringList importableFields(const std::vector<ColumnDecl> &columns);

// Undoes the last import through its history entry: rows it added are removed, rows it changed
// get their old values back, each only while it still holds what the import wrote. The rows
// left alone for that, by their numbers. Raises (DaoError) when there is no import to undo.
struct UndoResult
{
    qint64 restored = 0;
    qint64 removed = 0;
    QStringList leftAlone; // row numbers (user_id) or keys
};
UndoResult undoLastImport(TDaoDatabase &db, const Progress &progress = {});

} // namespace inventoryimport
