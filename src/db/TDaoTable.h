// A dataset: an updatable row set with a current row over a table, a stored query or an SQL
// statement.
//
// A table opens as a dynaset: the ids of the matching rows are selected once, in sort order (id
// breaks ties), and row values are fetched by id in pages and cached. Rows added by others appear
// at the next reopening; a row appended here joins the end of the row set. A stored query or an
// SQL statement is read whole when opened and is read-only.
//
// Where the current row goes: opening, Requery, ApplySort and every change of Filter or Filtered
// make the first row current; Refresh and Post keep it; Delete makes the following row current
// (or the new last one); FindByKey moves only when it finds. Moving, reopening, Refresh and
// FindByKey first post a pending edit that has changes, or cancel one without.
//
// Failures raise DaoError. A filter that does not parse leaves the row set and Filter/Filtered as
// they were. A failed Post leaves the dataset editing with the entered values.
#pragma once

#include "FilterExpression.h"
#include "TDaoField.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class TDaoDatabase;

// Names one row of an open dataset; compare two with CompareBookmarks.
struct TBookmark
{
    qint64 id = 0;
    int position = -1; // where the row was when the bookmark was taken
    bool isNull() const { return position < 0; }
    bool operator==(const TBookmark &o) const { return id == o.id && position == o.position; }
};

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

    // ---- open and close
    bool Active() const { return mState != dsInactive; }
    void setActive(bool active);
    void Open() { setActive(true); }
    void Close() { setActive(false); }
    TDataSetState State() const { return mState; }
    bool isTable() const { return mIsTable; }

    // ---- navigation
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const { return mEof; } // "EOF" is a C macro
    bool Bof() const { return mBof; }
    int RecordCount() const;
    int RecNo() const { return mPos; } // 0-based; -1 when empty
    void setRecNo(int position);
    bool IsEmpty() const { return RecordCount() == 0; }

    // ---- fields
    int FieldCount() const { return int(mFields.size()); }
    TDaoField *Fields(int i) const { return mFields.at(size_t(i)).get(); }
    TDaoField *FieldByName(const QString &name) const;
    TDaoField *FindField(const QString &name) const;

    // ---- changes
    void Edit();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    bool Modified() const { return mModified; }

    // ---- re-reading
    void Refresh();
    void Requery();
    void ApplySort();

    // ---- filter and sort
    const QString &Filter() const { return mFilter; }
    void setFilter(const QString &text);
    bool Filtered() const { return mFiltered; }
    void setFiltered(bool filtered);
    QStringList &SortedBy() { return mSortedBy; }
    void setSortedBy(const QStringList &terms) { mSortedBy = terms; }
    // The sort text as the engine receives it: the terms joined by ",", then one space.
    QString sortText() const;

    bool FindByKey(const QString &keyField, const QVariant &value);

    // ---- statements
    int ExecSQL(const QStringList &lines);
    int RowsAffected() const { return mRowsAffected; }

    // ---- attached controls
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return mDisableCount > 0; }
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
    bool rowIsDeletedByOthers(int position) const;

    // ---- used by TDaoField and TDaoDatabase
    QVariant fieldValue(int field) const;
    void setFieldValue(int field, const QVariant &typed);
    void invalidateCache();
    void closeForDatabase();
    void databaseGone() { closeForDatabase(); mDb = nullptr; }

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

private:
    struct Row
    {
        std::vector<QVariant> values; // stored values in field order
        bool missing = false;         // no longer in the database
    };

    void checkActive() const;
    void checkBrowseMode();
    void openRowSet(bool keepFilterState);
    void buildFields();
    void reopen(const QString &filter, bool filtered);
    void loadKeyset(const QString &filter, bool filtered, std::vector<qint64> &ids);
    bool loadRows(const QString &filter, bool filtered, std::vector<Row> &rows);
    QString selectList() const;
    ColumnResolver columnResolver() const;
    const Row *rowAt(int position) const;
    void fetchPage(int position) const;
    Row readRowById(qint64 id) const;
    void moveTo(int position);
    void setState(TDataSetState s);
    void notifyReset();
    void notifyCurrent();
    void notifyRow(int position);
    void postInsert();
    void postUpdate();
    void checkWritable() const;
    bool isDisabled() const { return mDisableCount > 0; }
    int positionOf(const TBookmark &b) const;

    TDaoDatabase *mDb = nullptr;
    QString mTableName;
    QStringList mSql;
    QStringList mFieldNames;
    bool mReadOnly = false;
    bool mIsTable = false;

    TDataSetState mState = dsInactive;
    std::vector<std::unique_ptr<TDaoField>> mFields;
    std::vector<QString> mColumns;     // real column names, in field order
    std::vector<bool> mColumnIsText;   // every column of the table, for filters
    std::vector<QString> mAllColumns;

    // table row set
    std::vector<qint64> mKeys;
    mutable std::unordered_map<qint64, Row> mCache;
    bool mKeysById = true; // the keyset ascends by id (no sort term)
    // query row set, and what it was read from: a re-query that would read the same is skipped
    std::vector<Row> mRows;
    QString mLoadedKey;
    QString mLoadedStamp;
    QList<QPair<QString, QString>> mReads;
    QHash<quint64, QString> mUpdateSql; // by the set of changed fields
    std::optional<std::pair<QString, QString>> mDistinctSource; // a pick-list query's (table, column)

    int mPos = -1;
    bool mEof = true;
    bool mBof = true;

    // edit buffer
    std::vector<QVariant> mBuffer;
    std::vector<bool> mChanged;
    Row mOriginal;
    bool mModified = false;
    int mPosBeforeInsert = -1;

    QString mFilter;
    bool mFiltered = false;
    QStringList mSortedBy;
    int mRowsAffected = 0;

    int mDisableCount = 0;
    bool mPendingReset = false;
    bool mBulk = false;
    bool mPosting = false;
    std::vector<std::pair<const void *, std::function<void()>>> mUpdateHooks;
    void updateRecord();
};
