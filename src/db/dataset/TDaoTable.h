// A dataset: an updatable row set with a current row over a table, a stored query or an SQL
// statement.
//
// Rows. A table opens as a dynaset: the keys of the matching rows are selected once, in sort
// order (the key breaks ties), and row values are fetched by key in pages and kept. Rows added by
// others appear at the next reopening; a row appended here joins the end of the row set until
// then. A stored query or an SQL statement is read-only and is read whole, but only when first
// asked for (RecordCount, a move, a field's or row's value, FindByKey, a bookmark, Eof/Bof/RecNo):
// Open and Requery of a query cost nothing until then. Its rows are those as of its opening or
// re-query as far as this connection's own writes go: before this connection writes to a column
// a pending query reads (a post that changes it, any insert or delete of its table, any ExecSQL),
// the query reads its rows. Changes committed meanwhile by other connections may show in them,
// as they would after a slightly later opening; not so in a stored pick-list query opened
// without filter or sort, whose rows the connection's result cache fixes at the opening against
// everyone (reading them in the background meanwhile). A failure to read raises DaoError from
// the call that read, and again from every later one until the dataset is re-queried or closed.
//
// The current row after each operation: opening, Requery, ApplySort and every change of Filter
// or Filtered make the first row current (none when empty). First goes to the first row, Last
// to the last, Next and Prior move by one, setRecNo to the given row (clamped); Refresh and Post
// keep it; Delete makes the following row current (or the new last one); Cancel of a new row
// returns to the row that was current before Append; FindByKey moves only when it finds.
// Eof is true while the row set is empty and after Next on the last row (which stays current);
// First, Last, Prior, setRecNo and a move to a found or bookmarked row clear it when there is a
// row. Bof is true while the row set is empty, after opening and First, and after Prior on the
// first row (which stays current); Next, Last, setRecNo, GotoBookmark and FindByKey finding a
// row past the first clear it.
//
// Edits. Edit on an empty row set starts a new row, as Append does. Moving, reopening, Refresh,
// Requery, ApplySort and FindByKey (when it finds) first post a pending edit that has changes, or
// cancel one without. Post runs BeforePost, writes the row, then runs AfterPost. An exception
// from BeforePost abandons the post: nothing is written and the dataset stays editing with the
// values as BeforePost left them. A Post that raises leaves the dataset editing (or inserting)
// with the entered values: nothing of it reached the database. A Post that returns has written
// the row: it is in the database, or, in bulk mode, in the connection's write batch that the end
// of bulk mode commits (whose failure setBulkMode(false) raises). When the engine undoes a batch
// (a full disk), the bulk Post or setBulkMode(false) raises BatchLost naming the position of the
// batch's first row: rows posted before it are stored, it and the rows after it are not. An
// exception from AfterPost reaches the caller after the row was written.
//
// ExecSQL runs a statement on the connection: it does not touch any dataset's pending edit or
// membership (rows it adds or removes show at the next reopening), but every dataset of the
// connection forgets the row values it holds, so that values read afterwards are the database's.
// An edit begun before the statement keeps the values read then, so its post fails as a conflict
// if the statement changed that row.
//
// Fields. Fields(i) and FieldByName give field objects owned by the dataset. A pointer stays
// valid for the dataset's lifetime, across closing and reopening (also of the connection), as
// long as the field at that index keeps its name; setFieldNames, or opening a source whose
// columns differ, replaces the field objects whose names differ. An index out of range raises.
//
// Failures raise DaoError. A filter that does not parse leaves the row set and Filter/Filtered
// as they were.
#pragma once

#include "dataset/FieldSet.h"
#include "dataset/RowSource.h"
#include "engine/InventorySchema.h"
#include "engine/SqlFragment.h"
#include "dataset/TBookmark.h"
#include "dataset/TDaoField.h"

#include <QObject>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <atomic>
#include <optional>
#include <unordered_map>
#include <vector>

class TDaoDatabase;
class TableKeyset;
class TableWriter;
class QueryRows;
class QThread;
class TextList;
class RowMoves;
struct SourceInfo;

class TDaoTable : public QObject
{
    Q_OBJECT

public:
    enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

    explicit TDaoTable(QObject *parent = nullptr);
    ~TDaoTable() override;

    // ---- source (exactly one)
    void setDatabase(TDaoDatabase *db);
    TDaoDatabase *Database() const { return mDb; }
    void setTableName(const QString &name); // a table, or a stored query by its name
    const QString &TableName() const { return mTableName; }
    QStringList &SQL() { return mSql; } // the scratch dataset's statement, one line each
    void setSQL(const QStringList &lines) { mSql = lines; }
    // Persistent fields in this order; empty: every column of the source in its order.
    // They exist from here on, so they can be read (as null) before the first open.
    void setFieldNames(const QStringList &names);
    void setReadOnly(bool ro) { mReadOnly = ro; }
    bool ReadOnly() const { return mReadOnly; }

    // ---- events
    std::function<void(TDaoTable *)> BeforePost;
    std::function<void(TDaoTable *)> AfterPost;
    // On: BeforePost and the row's write run in one write transaction (outside bulk mode and any
    // transaction already open), so that what BeforePost reads to fill the row, such as the next
    // row number, cannot be changed by another copy before the row is stored. Off by default.
    void setPostAtomic(bool on) { mPostAtomic = on; }

    // ---- open and close
    bool Active() const { return mState != dsInactive; }
    void setActive(bool active);
    void Open() { setActive(true); }
    void Close() { setActive(false); }
    TDataSetState State() const { return mState; }
    // Open over a table (updatable), not over a query.
    bool isTable() const;

    // ---- navigation
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const // "EOF" is a C macro
    {
        if (mUnread)
            rows();
        return mEof;
    }
    bool Bof() const
    {
        if (mUnread)
            rows();
        return mBof;
    }
    int RecordCount() const;
    int RecNo() const // 0-based; -1 when empty
    {
        if (mUnread)
            rows();
        return mPos;
    }
    void setRecNo(int position);
    bool IsEmpty() const { return RecordCount() == 0; }

    // ---- fields
    int FieldCount() const { return int(mFields.size()); }
    TDaoField *Fields(int i) const
    {
        if (i < 0 || i >= FieldCount())
            badFieldIndex(i);
        return mFields[size_t(i)];
    }
    TDaoField *FieldByName(const QString &name) const;
    TDaoField *FindField(const QString &name) const;

    // ---- changes
    void Edit();
    void Append();
    void Post();
    // Post, the change history recording it as kind (a revert, a restore of the purged row
    // formerRow) rather than as the change it makes.
    void PostAs(inventoryschema::ChangeKind kind, qint64 formerRow = 0);
    void Cancel();
    void Delete();
    bool Modified() const { return mModified; }

    // ---- re-reading
    // Refresh also forgets the row values held, so that rows are read anew from the database.
    void Refresh();
    void Requery();
    void ApplySort();

    // ---- filter and sort
    const QString &Filter() const { return mFilter; }
    void setFilter(const QString &text);
    bool Filtered() const { return mFiltered; }
    void setFiltered(bool filtered);
    // setFiltered(false), setFilter(text), setFiltered(true) in one step, the rows read once with
    // the new filter. It ends as the three would, also when the filter fails: Filter then holds
    // the text, Filtered is off, the rows are the unfiltered ones, and the error is raised.
    void applyFilter(const QString &text);
    QStringList &SortedBy() { return mSortedBy; }
    void setSortedBy(const QStringList &terms) { mSortedBy = terms; }
    // The sort text as the engine receives it: the terms joined by ",", then one space.
    QString sortText() const;

    bool FindByKey(const QString &keyField, const QVariant &value);

    // ---- statements
    int ExecSQL(const QStringList &lines);

    // ---- export: the engine writes the rows the filter selects to a file (see ExportRun).
    // A file of that name is replaced only once the new one is complete.
    enum class TExportMethod { VisibleFields, AllFields };
    TExportMethod ExportMethod = TExportMethod::VisibleFields;
    bool UseBrackets = true;
    void WriteSpreadsheetExport(const QString &fileName, const QString &tableName, int version, bool largeObjects,
                                bool replace);
    void WriteHtmlExport(const QString &fileName, bool largeObjects, bool replace);
    void WriteTextExport(const QString &fileName, bool largeObjects, bool replace);
    // The statements those run, as text.
    QString spreadsheetExportStatement(const QString &fileName, const QString &tableName, int version, bool largeObjects) const;
    QString htmlExportStatement(const QString &fileName, bool largeObjects) const;
    QString textExportStatement(const QString &fileName, bool largeObjects) const;
    // "Excel 3.0;" for 3, 4.0 for 4, 5.0 for 5, 8.0 for anything else.
    static QString spreadsheetDriver(int version);
    int RowsAffected() const { return mRowsAffected; }

    // ---- attached controls
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return mDisableCount > 0; }
    // On: suspends attached controls and opens the connection's write batch (posts are committed
    // together every tenth of a second); off: commits the batch, forgets the row values held and
    // resumes the controls, which then re-read the rows (also when the commit fails and raises).
    void setBulkMode(bool on);
    bool BulkMode() const { return mBulk; }

    // ---- bookmarks
    TBookmark GetBookmark() const;
    void GotoBookmark(const TBookmark &bookmark);
    bool BookmarkValid(const TBookmark &bookmark) const;
    int CompareBookmarks(const TBookmark &a, const TBookmark &b) const;
    void FreeBookmark(TBookmark &bookmark) { bookmark = TBookmark(); }

    // ---- for grids: any row's value without moving the current row. The row being inserted
    // is at position RecordCount() while the state is dsInsert.
    QVariant rowValue(int position, int field) const;
    // rowValue of some fields for many rows (positions ascending), one row after another, with
    // few statements: visit gets each position and its values in the order of fields.
    void visitRows(const QList<int> &positions, const std::vector<int> &fields,
                   const std::function<void(int position, const std::vector<QVariant> &values)> &visit) const;
    // A stored query's rows as the connection's cache keeps them: one column of texts, shared
    // rather than copied (a pick list of a million). Null when the rows come otherwise.
    std::shared_ptr<const TextList> cachedTexts() const;
    bool rowIsDeletedByOthers(int position) const;
    // When another connection's change of the row at position was followed (ms since the
    // epoch; 0: none within the last MarkMs and a little more).
    qint64 changedByOthersAt(int position) const;
    static constexpr qint64 MarkMs = 4000;
    // Whether any row is still marked so.
    bool hasMarks() const;
    // While held (calls nest), other connections' changes of the current row are not shown:
    // a control shows its values for editing, and an edit begun from them must meet the
    // conflict at its post rather than start from values the user never saw. Released, the
    // row is read again.
    void holdCurrentRow(bool hold);

    // Before a post, and before anything that would post or drop the pending edit, controls
    // that hold typed text not yet written into the row write it now; a hook may raise, which
    // abandons the operation. One hook per owner; an empty hook removes it.
    void setUpdateRecordHook(const void *owner, std::function<void()> hook);

signals:
    void dataSetChanged();              // the whole row set may differ: reset views
    void currentChanged(int position); // the current row moved
    void rowChanged(int position);      // a row's values or the edit buffer changed
    void rowInserted(int position);     // a new row appeared (Append)
    void rowRemoved(int position);      // a row left the row set (Delete, Cancel of a new row)
    void stateChanged();
    // Other connections' changes were followed (see followOthers): rows kept their values' places
    // or moved as moves says; the current row and the pending edit are as they were.
    void rowsFollowed(const RowMoves *moves);

private:
    friend class TDaoField;
    friend class TDaoDatabase;

    // For TDaoField: the current row's typed value, and writing into the edit buffer.
    QVariant fieldValue(int field) const;
    void setFieldValue(int field, const QVariant &typed);
    // For TDaoDatabase.
    void dropValues();
    void closeForDatabase();
    void databaseGone();
    void readBeforeWrite(const QString &table, const QStringList &columns);
    // Other connections changed these rows of the table (whole: anything may have changed).
    // A table's row set follows: values held are read again, rows gone leave it (not the current
    // row, which shows as deleted), new rows that pass the filter come in where the sort places
    // them. The current row, the edit buffer and the state stay. While controls are disabled,
    // in bulk mode or during a post, it waits until those end. Raises DaoError.
    void followOthers(const std::vector<qint64> &rows, bool whole);
    void followPending();
    // The keys selected again on a reading connection in another thread (many new rows in a
    // sorted row set cost a whole selection), adopted on this one when they come.
    void startReselect();
    void adoptKeys(std::vector<qint64> keys, quint64 keyset, quint64 local);
    // Positions held (the current row, the row before an insert) moved with the rows.
    void applyMoves(const RowMoves &moves);

    [[noreturn]] void badFieldIndex(int i) const;
    void checkActive() const;
    void checkBrowseMode();
    void buildFields(const std::optional<SourceInfo> &source);
    void reopen(const QString &filter, bool filtered);
    std::unique_ptr<TableKeyset> openTable(const QString &filter, bool filtered);
    std::unique_ptr<QueryRows> openQuery(const QString &filter, bool filtered);
    ColumnResolver columnResolver() const;
    SqlFragment whereOf(const QString &filter, bool filtered) const;
    // The rows, read first when they are pending; raises the read's error.
    const RowSource &rows() const
    {
        if (mUnread)
            readRows();
        return *mRows;
    }
    void readRows() const;
    void settleAfterRead() const;
    QVariant typed(int position, int field) const;
    void moveTo(int position);
    void setState(TDataSetState s);
    void notifyReset();
    void notifyCurrent();
    void notifyRow(int position);
    void postInsert();
    void postUpdate();
    // Commits the transaction Post began for an atomic post, once its row is written.
    void commitPost();
    QString changeAuthor() const;
    QString insertedFields(const std::vector<QVariant> &stored) const;
    QString changedFields(const std::vector<QVariant> &now) const;
    void checkWritable() const;
    bool isDisabled() const { return mDisableCount > 0; }
    int positionOf(const TBookmark &b) const;
    void updateRecord();

    TDaoDatabase *mDb = nullptr;
    QString exportColumns(bool largeObjects) const;
    // The filter an export writes its rows by: empty when the dataset is not filtered.
    QString exportFilter() const { return mFiltered ? mFilter : QString(); }
    void runExportStatement(const QString &fileName, bool replace, const std::function<QString()> &statement);

    QString mTableName;
    QStringList mSql;
    bool mReadOnly = false;

    TDataSetState mState = dsInactive;
    FieldSet mFields{this};
    std::unique_ptr<SourceInfo> mSource; // the table or stored query; null for SQL
    QString mQuerySql;                   // the statement a query dataset reads
    QList<QPair<QString, QString>> mReads; // the (table, column) pairs it reads

    std::unique_ptr<RowSource> mRows;
    TableKeyset *mKeyset = nullptr; // mRows, when it is a table's
    QueryRows *mQuery = nullptr;    // mRows, when it is a query's
    std::unique_ptr<TableWriter> mWriter;
    mutable bool mUnread = false; // mRows is pending: read before the first use

    mutable int mPos = -1;
    mutable bool mEof = true;
    mutable bool mBof = true;

    // edit buffer
    std::vector<QVariant> mBuffer;
    std::vector<bool> mChanged;
    std::vector<QVariant> mOriginal;
    bool mModified = false;
    int mPosBeforeInsert = -1;

    QString mFilter;
    bool mFiltered = false;
    QStringList mSortedBy;
    int mRowsAffected = 0;

    int mDisableCount = 0;
    bool mPendingReset = false;
    bool mBulk = false;
    // The write batch this dataset last posted into, and the position of its first row there.
    quint64 mBatchSeen = 0;
    int mBatchFirst = -1;
    bool mPosting = false;
    bool mPostAtomic = false;
    bool mPostTransaction = false; // the post under way holds a transaction of its own
    std::vector<std::pair<const void *, std::function<void()>>> mUpdateHooks;
    // Others' changes waiting to be followed, and the rows they changed lately (key, when).
    std::vector<qint64> mFollowRows;
    bool mFollowWhole = false;
    bool mFollowWaiting = false;
    std::unordered_map<qint64, qint64> mMarks;
    int mHold = 0;
    std::unique_ptr<QThread> mReselect;
    std::shared_ptr<std::atomic<bool>> mReselectStop;
    bool mReselectAgain = false;
    std::vector<qint64> mFollowedMeanwhile; // rows followed while the keys were selected again
    std::vector<qint64> mHeldBack; // rows whose changes the hold kept back
};
