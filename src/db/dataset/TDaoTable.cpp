// The dataset: its state, edit buffer, navigation, notifications and bookmarks over a row source
// (a table's keyset or a query's rows) and a table's writer.
#include "dataset/TDaoTable.h"

#include "base/DaoError.h"
#include "engine/DbEngine.h"
#include "files/ExportStatement.h"
#include "filter/FilterExpression.h"
#include "fitment/FitmentIndex.h"
#include "filter/JetPattern.h"
#include "dataset/QueryRows.h"
#include "base/Regional.h"
#include "filter/SortExpression.h"
#include "engine/SqlDialect.h"
#include "dataset/TDaoDatabase.h"
#include "dataset/TableKeyset.h"
#include "dataset/ChangeLog.h"
#include "dataset/TableWriter.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMetaMethod>
#include <QScopeGuard>
#include <QThread>
#include <algorithm>
#include <utility>

namespace {

TFieldType typeOfValue(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::LongLong:
        return TFieldType::Long;
    case QMetaType::Double:
        return TFieldType::Double;
    case QMetaType::QByteArray:
        return TFieldType::Blob;
    default:
        return TFieldType::Text;
    }
}

[[noreturn]] void closedDataSet()
{
    throw DaoError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

[[noreturn]] void notConnected()
{
    throw DaoError(QStringLiteral("Няма връзка с базата данни."));
}

} // namespace

TDaoTable::TDaoTable(QObject *parent) : QObject(parent) {}

TDaoTable::~TDaoTable()
{
    if (mReselect) {
        mReselectStop->store(true);
        mReselect->wait();
    }
    if (mDb)
        mDb->unregisterDataSet(this);
}

void TDaoTable::setDatabase(TDaoDatabase *db)
{
    if (mDb == db)
        return;
    if (Active())
        Close();
    if (mDb)
        mDb->unregisterDataSet(this);
    mDb = db;
    if (mDb)
        mDb->registerDataSet(this);
}

void TDaoTable::setTableName(const QString &name)
{
    if (Active())
        Close();
    mTableName = name;
}

bool TDaoTable::isTable() const { return mSource && mSource->isTable; }

// ---------------------------------------------------------------- notifications

void TDaoTable::notifyReset()
{
    if (isDisabled())
        mPendingReset = true;
    else
        emit dataSetChanged();
}

void TDaoTable::notifyCurrent()
{
    if (isDisabled()) {
        mPendingReset = true;
        return;
    }
    if (mUnread) {
        // Where the current row is depends on rows not read yet: read them only for a listener.
        static const QMetaMethod signal = QMetaMethod::fromSignal(&TDaoTable::currentChanged);
        if (!isSignalConnected(signal))
            return;
        try {
            rows();
        } catch (const DaoError &) {
            return; // raised again by the next call that reads
        }
    }
    emit currentChanged(mPos);
}

void TDaoTable::notifyRow(int position)
{
    if (isDisabled())
        mPendingReset = true;
    else
        emit rowChanged(position);
}

void TDaoTable::setState(TDataSetState s)
{
    if (mState == s)
        return;
    mState = s;
    if (!isDisabled())
        emit stateChanged();
}

void TDaoTable::DisableControls() { ++mDisableCount; }

void TDaoTable::EnableControls()
{
    if (mDisableCount == 0)
        return;
    if (--mDisableCount == 0 && mPendingReset) {
        mPendingReset = false;
        emit dataSetChanged();
        emit stateChanged();
    }
    if (mDisableCount == 0 && mFollowWaiting)
        QMetaObject::invokeMethod(this, [this] { followPending(); }, Qt::QueuedConnection);
}

void TDaoTable::setBulkMode(bool on)
{
    if (on == mBulk)
        return;
    mBulk = on;
    if (on) {
        DisableControls();
        try {
            if (mDb)
                mDb->beginWriteBatch();
        } catch (...) {
            // Not started: everything as it was before.
            mBulk = false;
            EnableControls();
            throw;
        }
    } else {
        // Re-read what the loop wrote, once, now that it is over; the grid comes back even
        // when the last commit fails.
        const auto resume = qScopeGuard([this] {
            dropValues();
            mPendingReset = true;
            EnableControls();
        });
        if (!mDb)
            return;
        const bool posted = mDb->batchSerial() == mBatchSeen;
        try {
            mDb->endWriteBatch();
        } catch (const BatchLost &e) {
            throw BatchLost(e.message(), posted ? mBatchFirst : -1);
        }
    }
}

// ---------------------------------------------------------------- open and close

void TDaoTable::checkActive() const
{
    if (mState == dsInactive)
        closedDataSet();
}

void TDaoTable::setActive(bool active)
{
    if (active == Active())
        return;
    if (!active) {
        mUnread = false;
        mRows.reset();
        mKeyset = nullptr;
        mQuery = nullptr;
        mWriter.reset();
        mBuffer.clear();
        mChanged.clear();
        mModified = false;
        mPos = -1;
        mEof = mBof = true;
        setState(dsInactive);
        notifyReset();
        return;
    }
    if (!mDb || !mDb->Connected())
        notConnected();
    DbEngine &engine = mDb->engine();
    std::optional<SourceInfo> source;
    if (!mTableName.isEmpty()) {
        source = engine.findSource(mTableName);
        if (!source)
            throw DaoError(QStringLiteral("Таблицата или заявката \"%1\" не съществува в базата.").arg(mTableName));
    }
    buildFields(source);
    reopen(mFilter, mFiltered);
}

void TDaoTable::closeForDatabase()
{
    if (Active())
        setActive(false);
}

void TDaoTable::databaseGone()
{
    closeForDatabase();
    mDb = nullptr;
}

void TDaoTable::setFieldNames(const QStringList &names)
{
    // An open dataset keeps its fields until it is opened again.
    mFields.setNames(names, !Active());
}

// Finds the source's columns and makes the fields: the persistent ones in their order, or all.
void TDaoTable::buildFields(const std::optional<SourceInfo> &source)
{
    DbEngine &engine = mDb->engine();
    std::vector<ColumnDecl> columns;
    if (source) {
        columns = source->columns;
    } else {
        QString sql = mSql.join(QLatin1Char(' ')).trimmed();
        while (sql.endsWith(QLatin1Char(';')))
            sql.chop(1);
        mQuerySql = engine.dialect().programStatement(sql);
        columns = engine.resultColumns(mQuerySql);
    }
    const bool table = source && source->isTable;
    std::vector<TFieldType> types;
    std::vector<int> sizes;
    for (const ColumnDecl &c : columns) {
        types.push_back(c.type);
        sizes.push_back(c.size);
    }

    // A failed open leaves the fields whole.
    std::vector<bool> generated = mFields.build(columns, types, sizes, table);
    mSource = source ? std::make_unique<SourceInfo>(*source) : nullptr;
    if (source)
        mTableName = source->name;
    // What a query reads is asked once per opening, not at every re-query.
    mReads.clear();
    if (!table)
        mReads = engine.readsOf(source ? QStringLiteral("SELECT * FROM ") + engine.dialect().quoteIdentifier(mTableName)
                                       : mQuerySql);
    mWriter = table ? std::make_unique<TableWriter>(engine, mDb->cache(), mTableName, mFields.columns(), std::move(generated))
                    : nullptr;
}

QString TDaoTable::sortText() const
{
    QString s;
    for (int i = 0; i < mSortedBy.size(); ++i) {
        s += mSortedBy[i];
        if (i + 1 < mSortedBy.size())
            s += QLatin1Char(',');
    }
    if (!s.isEmpty())
        s += QLatin1Char(' ');
    return s;
}

// Filters and sorts may name any column of the source, letter case ignored.
ColumnResolver TDaoTable::columnResolver() const
{
    return [this](const QString &name) -> std::optional<ColumnInfo> {
        for (const ColumnInfo &c : mFields.allColumns())
            if (c.name.compare(name, Qt::CaseInsensitive) == 0)
                return c;
        return std::nullopt;
    };
}

SqlFragment TDaoTable::whereOf(const QString &filter, bool filtered) const
{
    if (!filtered || filter.trimmed().isEmpty())
        return {};
    SqlFragment where = FilterExpression::parse(filter).toSql(mDb->engine().dialect(), columnResolver());
    if (where.fitment) {
        fitment::requireInventory(mSource ? mSource->name : QString());
        mDb->bringFitmentUpToDate();
    }
    return where;
}

std::unique_ptr<TableKeyset> TDaoTable::openTable(const QString &filter, bool filtered)
{
    DbEngine &engine = mDb->engine();
    const SqlFragment where = whereOf(filter, filtered);
    const QString order = SortExpression::parse(sortText()).toSql(engine.dialect(), columnResolver());
    auto keyset = std::make_unique<TableKeyset>(engine, mTableName, mFields.columns());
    keyset->load(where, order);
    return keyset;
}

// The statement is compiled here, so that a filter or sort that the engine refuses raises now; the
// rows are read when first asked for.
std::unique_ptr<QueryRows> TDaoTable::openQuery(const QString &filter, bool filtered)
{
    DbEngine &engine = mDb->engine();
    const SqlDialect &d = engine.dialect();
    SqlFragment where = whereOf(filter, filtered);
    const QString order = SortExpression::parse(sortText()).toSql(d, columnResolver());
    const QString from = mSource ? d.quoteIdentifier(mSource->name) : d.derivedTable(mQuerySql);
    SqlFragment sql;
    std::optional<SourceInfo> stored;
    if (where.sql.isEmpty() && order.isEmpty()) {
        sql.sql = mSource ? QStringLiteral("SELECT * FROM ") + from : mQuerySql;
        if (mSource)
            stored = *mSource;
    } else {
        sql.sql = QStringLiteral("SELECT * FROM ") + from;
        if (!where.sql.isEmpty())
            sql.sql += QStringLiteral(" WHERE ") + where.sql;
        if (!order.isEmpty())
            sql.sql += QStringLiteral(" ORDER BY ") + order;
        sql.params = std::move(where.params);
    }
    engine.resultColumns(sql.sql);
    return std::make_unique<QueryRows>(engine, mDb->cache(), std::move(sql), int(mFields.allColumns().size()), mReads,
                                       std::move(stored));
}

// Builds the new row set first, so that a filter that fails leaves the old one in place.
void TDaoTable::reopen(const QString &filter, bool filtered)
{
    if (isTable()) {
        std::unique_ptr<TableKeyset> keyset = openTable(filter, filtered);
        mKeyset = keyset.get();
        mQuery = nullptr;
        mRows = std::move(keyset);
    } else {
        std::unique_ptr<QueryRows> query = openQuery(filter, filtered);
        mQuery = query.get();
        mKeyset = nullptr;
        mRows = std::move(query);
    }
    mBuffer.assign(mFields.size(), QVariant());
    mChanged.assign(mFields.size(), false);
    mModified = false;
    setState(dsBrowse);
    // On the first row, if there is one: known once the rows are read.
    mPos = 0;
    mBof = true;
    mEof = false;
    mUnread = mRows->pending();
    if (!mUnread)
        settleAfterRead();
    notifyReset();
    notifyCurrent();
}

void TDaoTable::readRows() const
{
    mRows->read();
    mUnread = false;
    settleAfterRead();
}

void TDaoTable::settleAfterRead() const
{
    // Expression columns have no declared type: take it from the first value.
    for (size_t f = 0; f < mFields.size(); ++f) {
        if (!mFields.untyped(f) || mFields[f]->mType != TFieldType::Text)
            continue;
        for (int r = 0; r < mRows->count(); ++r) {
            const QVariant v = mRows->value(r, mFields.sourceColumn(f));
            if (v.isValid() && !v.isNull()) {
                mFields[f]->mType = typeOfValue(v);
                break;
            }
        }
    }
    if (mRows->count() == 0) {
        mPos = -1;
        mEof = true;
    }
}

void TDaoTable::readBeforeWrite(const QString &table, const QStringList &columns)
{
    if (!mQuery || !mQuery->reads(table, columns))
        return;
    try {
        rows();
    } catch (const DaoError &) {
        // Kept by the query and raised by its next call that reads; the write goes on.
    }
}

void TDaoTable::setUpdateRecordHook(const void *owner, std::function<void()> hook)
{
    std::erase_if(mUpdateHooks, [owner](const auto &h) { return h.first == owner; });
    if (hook)
        mUpdateHooks.emplace_back(owner, std::move(hook));
}

void TDaoTable::updateRecord()
{
    if (mUpdateHooks.empty())
        return;
    const auto hooks = mUpdateHooks; // a hook may change the list
    for (const auto &h : hooks)
        h.second();
}

void TDaoTable::checkBrowseMode()
{
    checkActive();
    updateRecord();
    if (mState == dsEdit || mState == dsInsert) {
        if (mModified)
            Post();
        else
            Cancel();
    }
}

void TDaoTable::Refresh()
{
    checkBrowseMode();
    dropValues();
    notifyReset();
    notifyCurrent();
}

void TDaoTable::Requery()
{
    checkBrowseMode();
    reopen(mFilter, mFiltered);
}

void TDaoTable::ApplySort()
{
    checkBrowseMode();
    reopen(mFilter, mFiltered);
}

void TDaoTable::setFilter(const QString &text)
{
    if (Active() && mFiltered) {
        checkBrowseMode();
        reopen(text, true); // raises before anything changes when the text is wrong
    }
    mFilter = text;
}

void TDaoTable::setFiltered(bool filtered)
{
    if (filtered == mFiltered)
        return;
    if (Active()) {
        checkBrowseMode();
        reopen(mFilter, filtered);
    }
    mFiltered = filtered;
}

void TDaoTable::applyFilter(const QString &text)
{
    if (!Active()) {
        mFilter = text;
        mFiltered = true;
        return;
    }
    checkBrowseMode();
    try {
        reopen(text, true);
    } catch (const DaoError &) {
        if (mFiltered) {
            reopen(mFilter, false);
            mFiltered = false;
        }
        mFilter = text;
        throw;
    }
    mFilter = text;
    mFiltered = true;
}

void TDaoTable::dropValues()
{
    if (mRows)
        mRows->dropValues();
}

// ---------------------------------------------------------------- rows

int TDaoTable::RecordCount() const
{
    checkActive();
    return rows().count();
}

QVariant TDaoTable::typed(int position, int field) const
{
    return mFields[size_t(field)]->fromStorage(rows().value(position, mFields.sourceColumn(size_t(field))));
}

QVariant TDaoTable::fieldValue(int field) const
{
    if (mState == dsInactive)
        return QVariant();
    if (mState == dsEdit || mState == dsInsert)
        return mBuffer[size_t(field)];
    const int pos = RecNo();
    return pos < 0 ? QVariant() : typed(pos, field);
}

QVariant TDaoTable::rowValue(int position, int field) const
{
    if (mState == dsInactive || field < 0 || field >= FieldCount())
        return QVariant();
    if ((mState == dsInsert && position == RecordCount()) || (mState == dsEdit && position == mPos))
        return mBuffer[size_t(field)];
    return typed(position, field);
}

void TDaoTable::visitRows(const QList<int> &positions, const std::vector<int> &fields,
                          const std::function<void(int, const std::vector<QVariant> &)> &visit) const
{
    std::vector<QVariant> values(fields.size());
    auto buffered = [&](int p) {
        for (size_t i = 0; i < fields.size(); ++i)
            values[i] = rowValue(p, fields[i]);
        visit(p, values);
    };
    const bool fieldsValid = std::all_of(fields.begin(), fields.end(), [&](int f) { return f >= 0 && f < FieldCount(); });
    if (mState == dsInactive || !fieldsValid || (!positions.isEmpty() && positions.first() < 0)) {
        for (int p : positions)
            buffered(p); // what rowValue makes of them, one at a time
        return;
    }
    std::vector<int> columns;
    for (int f : fields)
        columns.push_back(mFields.sourceColumn(size_t(f)));
    const int count = RecordCount();
    // Runs of consecutive positions are read together.
    for (qsizetype i = 0; i < positions.size();) {
        qsizetype j = i + 1;
        while (j < positions.size() && positions[j] == positions[j - 1] + 1)
            ++j;
        const int first = positions[i];
        const int last = positions[j - 1];
        const bool editing = mState == dsEdit && mPos >= first && mPos <= last;
        rows().visitRows(first, std::min(last + 1, count), columns, [&](int p, const QVariant *stored) {
            if (editing && p == mPos) {
                buffered(p);
                return;
            }
            for (size_t k = 0; k < fields.size(); ++k)
                values[k] = mFields[size_t(fields[k])]->fromStorage(stored[k]);
            visit(p, values);
        });
        if (last >= count)
            for (int p = std::max(first, count); p <= last; ++p)
                buffered(p); // the row being inserted, or nothing (rowValue is null there)
        i = j;
    }
}

std::shared_ptr<const TextList> TDaoTable::cachedTexts() const
{
    if (mState == dsInactive || !mQuery)
        return nullptr;
    rows(); // read when pending
    return mQuery->texts();
}

bool TDaoTable::rowIsDeletedByOthers(int position) const
{
    return mState != dsInactive && rows().missing(position);
}

void TDaoTable::setFieldValue(int field, const QVariant &typed)
{
    checkActive();
    if (mState != dsEdit && mState != dsInsert)
        throw DaoError(QStringLiteral("Dataset not in edit or insert mode"));
    mBuffer[size_t(field)] = typed;
    mChanged[size_t(field)] = true;
    mModified = true;
    notifyRow(mState == dsInsert ? RecordCount() : mPos);
}

// ---------------------------------------------------------------- navigation

void TDaoTable::moveTo(int position)
{
    const int n = RecordCount();
    const int old = mPos;
    mPos = n == 0 ? -1 : std::clamp(position, 0, n - 1);
    if (mPos != old)
        notifyCurrent();
}

void TDaoTable::First()
{
    checkBrowseMode();
    moveTo(0);
    mBof = true;
    mEof = RecordCount() == 0;
}

void TDaoTable::Next()
{
    checkBrowseMode();
    const int n = RecordCount();
    if (mPos + 1 < n) {
        moveTo(mPos + 1);
        mEof = false;
    } else {
        mEof = true;
    }
    mBof = n == 0;
}

void TDaoTable::Prior()
{
    checkBrowseMode();
    const int n = RecordCount();
    if (mPos > 0) {
        moveTo(mPos - 1);
        mBof = false;
    } else {
        mBof = true;
    }
    mEof = n == 0;
}

void TDaoTable::Last()
{
    checkBrowseMode();
    const int n = RecordCount();
    moveTo(n - 1);
    mEof = n == 0;
    mBof = n == 0;
}

void TDaoTable::setRecNo(int position)
{
    checkBrowseMode();
    moveTo(position);
    const int n = RecordCount();
    mEof = n == 0;
    mBof = n == 0;
}

void TDaoTable::badFieldIndex(int i) const
{
    throw DaoError(QStringLiteral("Field index %1 out of range (the dataset has %2 fields)").arg(i).arg(FieldCount()));
}

TDaoField *TDaoTable::FindField(const QString &name) const { return mFields.find(name); }

TDaoField *TDaoTable::FieldByName(const QString &name) const
{
    TDaoField *f = FindField(name);
    if (!f)
        throw DaoError(QStringLiteral("Field '%1' not found").arg(name));
    return f;
}

// ---------------------------------------------------------------- changes

void TDaoTable::checkWritable() const
{
    if (mReadOnly || !mWriter)
        throw DaoError(QStringLiteral("Cannot modify a read-only dataset"));
}

void TDaoTable::Edit()
{
    checkActive();
    if (mState == dsEdit || mState == dsInsert)
        return;
    checkWritable();
    if (RecordCount() == 0) {
        Append();
        return;
    }
    if (mRows->missing(mPos))
        throw RowConflict(QStringLiteral("Записът е изтрит от друг потребител. Обновете таблицата."));
    mOriginal = mRows->values(mPos);
    for (size_t f = 0; f < mFields.size(); ++f)
        mBuffer[f] = mFields[f]->fromStorage(mOriginal[f]);
    mChanged.assign(mFields.size(), false);
    mModified = false;
    setState(dsEdit);
    notifyRow(mPos);
}

void TDaoTable::Append()
{
    checkBrowseMode();
    checkWritable();
    mPosBeforeInsert = mPos;
    for (size_t f = 0; f < mFields.size(); ++f)
        mBuffer[f] = mFields[f]->DataType() == TFieldType::Boolean ? QVariant(false) : QVariant();
    mChanged.assign(mFields.size(), false);
    mModified = false;
    setState(dsInsert);
    mEof = false;
    if (isDisabled())
        mPendingReset = true;
    else
        emit rowInserted(RecordCount());
    notifyCurrent();
}

void TDaoTable::Post()
{
    checkActive();
    if (!mPosting)
        updateRecord();
    if (mState != dsEdit && mState != dsInsert)
        return;
    // A post started from inside this one (events processed by a BeforePost handler) would
    // write the row twice and leave the outer post without a buffer.
    if (mPosting)
        return;
    mPosting = true;
    const auto done = qScopeGuard([this] { mPosting = false; });
    // Until the row is committed no other copy may write: what BeforePost read still holds.
    mPostTransaction = mPostAtomic && !mBulk && mDb->beginPost();
    const auto undo = qScopeGuard([this] {
        if (std::exchange(mPostTransaction, false))
            mDb->rollbackPost();
    });
    if (BeforePost)
        BeforePost(this);
    // The batch's periodic commit comes before the row, so that nothing after the row's write
    // can fail: a post that raises has written nothing.
    if (mBulk) {
        try {
            mDb->batchCheckpoint(mState != dsInsert);
        } catch (const BatchLost &e) {
            throw BatchLost(e.message(), mBatchFirst);
        }
        if (mDb->batchSerial() != mBatchSeen) {
            // The first post of a new batch: a loss of the batch goes back to this row.
            mBatchSeen = mDb->batchSerial();
            mBatchFirst = mState == dsInsert ? RecordCount() : mPos;
        }
    }
    try {
        if (mState == dsInsert)
            postInsert();
        else
            postUpdate();
    } catch (...) {
        if (mBulk) {
            QString cause;
            try {
                throw;
            } catch (const DaoError &e) {
                cause = e.message();
            } catch (...) {
            }
            try {
                mDb->checkBatch(cause);
            } catch (const BatchLost &e) {
                throw BatchLost(e.message(), mBatchFirst);
            }
        }
        throw;
    }
    if (AfterPost)
        AfterPost(this);
}

void TDaoTable::PostAs(inventoryschema::ChangeKind kind, qint64 formerRow)
{
    ChangeLog *log = mDb ? mDb->changeLog() : nullptr;
    if (log)
        log->recastNext(kind, formerRow);
    const auto done = qScopeGuard([log] {
        if (log)
            log->recastNext(inventoryschema::ChangeKind::Change);
    });
    Post();
}

void TDaoTable::postInsert()
{
    mDb->readBeforeWrite(mTableName, {});
    const bool own = mDb->beginRecorded(mTableName, changeAuthor());
    TableWriter::Inserted row;
    try {
        row = mWriter->insert(mBuffer, mChanged);
        if (mDb->changeLog()->inOperation())
            mDb->changeLog()->rowWritten(row.key, ChangeLog::Kind::New, insertedFields(row.values));
        mDb->endRecorded(own);
    } catch (...) {
        mDb->abortRecorded(own);
        throw;
    }
    commitPost();
    mDb->ownRow(row.key);
    mKeyset->appended(row.key, std::move(row.values));
    mPos = mKeyset->count() - 1;
    mModified = false;
    mChanged.assign(mFields.size(), false);
    setState(dsBrowse);
    notifyRow(mPos);
}

// Optimistic locking: the row is written only if every column still holds what was read.
void TDaoTable::postUpdate()
{
    const QStringList changed = mWriter->columnsOf(mChanged);
    if (!changed.isEmpty()) {
        mDb->readBeforeWrite(mTableName, changed);
        const bool own = mDb->beginRecorded(mTableName, changeAuthor());
        std::vector<QVariant> now;
        try {
            now = mWriter->update(mKeyset->keyAt(mPos), mOriginal, mBuffer, mChanged);
            if (mDb->changeLog()->inOperation())
                mDb->changeLog()->rowWritten(mKeyset->keyAt(mPos), ChangeLog::Kind::Change, changedFields(now));
            mDb->endRecorded(own);
        } catch (...) {
            mDb->abortRecorded(own);
            throw;
        }
        commitPost();
        mDb->ownRow(mKeyset->keyAt(mPos));
        mKeyset->updated(mPos, std::move(now));
    } else {
        commitPost();
    }
    mModified = false;
    mChanged.assign(mFields.size(), false);
    setState(dsBrowse);
    notifyRow(mPos);
}

// Who the history names for this post: the user named in the row's modifier when the post
// writes it (passwords asked on change), else the computer.
QString TDaoTable::changeAuthor() const
{
    const std::vector<QString> &columns = mFields.columns();
    for (size_t f = 0; f < columns.size() && mState != dsBrowse; ++f)
        if (columns[f] == QLatin1String("modifier") && mChanged[f] && !mBuffer[f].toString().isEmpty())
            return mBuffer[f].toString();
    return mDb->computerName();
}

// A row an operation wrote, as its history line keeps it: every column it holds (stored form).
QString TDaoTable::insertedFields(const std::vector<QVariant> &stored) const
{
    QList<ChangeLog::FieldChange> fields;
    for (size_t f = 0; f < mFields.size(); ++f) {
        const QVariant v = f < stored.size() ? stored[f] : mDb->engine().storedForm(mBuffer[f]);
        if (!v.isNull() && v.isValid() && mFields.columns()[f] != QLatin1String("id"))
            fields.append({mFields.columns()[f], QVariant(), v});
    }
    return ChangeLog::fieldsJson(fields);
}

// The columns an update changed: read before, stored now.
QString TDaoTable::changedFields(const std::vector<QVariant> &now) const
{
    QList<ChangeLog::FieldChange> fields;
    for (size_t f = 0; f < mFields.size(); ++f)
        if (mChanged[f] && mOriginal[f] != now[f])
            fields.append({mFields.columns()[f], mOriginal[f], now[f]});
    return ChangeLog::fieldsJson(fields);
}

void TDaoTable::commitPost()
{
    if (std::exchange(mPostTransaction, false))
        mDb->commitPost();
}

void TDaoTable::Cancel()
{
    checkActive();
    if (mState == dsInsert) {
        const int virtualRow = RecordCount();
        setState(dsBrowse);
        mModified = false;
        if (isDisabled())
            mPendingReset = true;
        else
            emit rowRemoved(virtualRow);
        const int n = RecordCount();
        mPos = n == 0 ? -1 : std::clamp(mPosBeforeInsert, 0, n - 1);
        mEof = n == 0;
        notifyCurrent();
    } else if (mState == dsEdit) {
        setState(dsBrowse);
        mModified = false;
        mChanged.assign(mFields.size(), false);
        notifyRow(mPos);
    }
}

void TDaoTable::Delete()
{
    checkActive();
    if (mState == dsInsert) {
        Cancel();
        return;
    }
    checkWritable();
    if (mState == dsEdit)
        Cancel();
    if (RecordCount() == 0)
        throw DaoError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    const int removed = mPos;
    mDb->readBeforeWrite(mTableName, {});
    const bool own = mDb->beginRecorded(mTableName, changeAuthor());
    bool deleted = false;
    try {
        deleted = mWriter->remove(mKeyset->keyAt(removed), mKeyset->values(removed));
        mDb->endRecorded(own);
    } catch (...) {
        mDb->abortRecorded(own);
        throw;
    }
    mDb->ownRow(mKeyset->keyAt(removed));
    mKeyset->removed(removed);
    const int n = mKeyset->count();
    mPos = n == 0 ? -1 : std::min(removed, n - 1);
    mEof = n == 0;
    if (isDisabled())
        mPendingReset = true;
    else
        emit rowRemoved(removed);
    notifyCurrent();
    // The row is gone either way; the user acted on one that no longer existed.
    if (!deleted)
        throw RowConflict(QStringLiteral("Записът вече е бил изтрит от друг потребител. Обновете таблицата."));
}

// ---------------------------------------------------------------- find

bool TDaoTable::FindByKey(const QString &keyField, const QVariant &value)
{
    checkActive();
    TDaoField *field = FieldByName(keyField);
    if (RecordCount() == 0)
        return false;
    KeyCondition condition;
    condition.column = mFields.sourceColumn(size_t(field->Index()));
    condition.text = field->isText();
    if (condition.text) {
        condition.pattern = value.toString().toLower();
        if (!condition.pattern.contains(QLatin1Char('*')))
            condition.pattern += QLatin1Char('*');
    } else if (value.typeId() == QMetaType::QString) {
        if (!regional::parseNumber(value.toString(), &condition.number))
            throw DaoError(QStringLiteral("'%1' is not a valid floating point value for field '%2'")
                               .arg(value.toString(), field->FieldName()));
    } else {
        condition.number = value.toDouble();
    }
    if (mQuery) {
        // The rows are in memory: the same test, made here.
        std::optional<JetPattern> pattern;
        if (condition.text) {
            QString error;
            pattern = JetPattern::compile(condition.pattern, &error);
            if (!pattern)
                throw DaoError(error);
        }
        condition.matches = [&](const QVariant &stored) {
            const QVariant v = field->fromStorage(stored);
            if (!v.isValid() || v.isNull())
                return false;
            return pattern ? pattern->matches(field->textOf(v)) : v.toDouble() == condition.number;
        };
    }
    const int found = mRows->find(condition);
    if (found < 0)
        return false;
    checkBrowseMode();
    moveTo(found);
    mEof = false;
    mBof = found == 0;
    return true;
}

// ---------------------------------------------------------------- statements

int TDaoTable::ExecSQL(const QStringList &lines)
{
    if (!mDb || !mDb->Connected())
        notConnected();
    mRowsAffected = mDb->executeStatement(lines.join(QLatin1Char(' ')));
    return mRowsAffected;
}

// ---------------------------------------------------------------- export

QString TDaoTable::spreadsheetDriver(int version) { return ExportStatement::spreadsheetDriver(version); }

QString TDaoTable::exportColumns(bool largeObjects) const
{
    std::vector<ExportStatement::Field> fields;
    fields.reserve(mFields.size());
    for (size_t i = 0; i < mFields.size(); ++i) {
        const TDaoField *f = mFields[i];
        fields.push_back({f->FieldName(), f->Visible() && (largeObjects || f->DataType() != TFieldType::Blob)});
    }
    return ExportStatement::columnList(fields, ExportMethod == TExportMethod::AllFields, UseBrackets);
}

QString TDaoTable::spreadsheetExportStatement(const QString &fileName, const QString &tableName, int version,
                                              bool largeObjects) const
{
    return ExportStatement::composeSpreadsheet(exportColumns(largeObjects), fileName, tableName, version, mTableName,
                                               exportFilter());
}

QString TDaoTable::htmlExportStatement(const QString &fileName, bool largeObjects) const
{
    return ExportStatement::composeHtml(exportColumns(largeObjects), fileName, mTableName, exportFilter());
}

QString TDaoTable::textExportStatement(const QString &fileName, bool largeObjects) const
{
    return ExportStatement::composeText(exportColumns(largeObjects), fileName, mTableName, exportFilter());
}

void TDaoTable::runExportStatement(const QString &fileName, bool replace, const std::function<QString()> &statement)
{
    if (!Active())
        throw DaoError(QStringLiteral("Table must be open in order to export data!"));
    // The file is not deleted first: the new one takes its place only when complete.
    if (!replace && QFileInfo::exists(fileName))
        throw DaoError(QStringLiteral("Файлът \"%1\" вече съществува.").arg(fileName));
    mRowsAffected = mDb->executeExport(statement(), fileName);
}

void TDaoTable::WriteSpreadsheetExport(const QString &fileName, const QString &tableName, int version, bool largeObjects,
                                       bool replace)
{
    runExportStatement(fileName, replace, [&] { return spreadsheetExportStatement(fileName, tableName, version, largeObjects); });
}

void TDaoTable::WriteHtmlExport(const QString &fileName, bool largeObjects, bool replace)
{
    runExportStatement(fileName, replace, [&] { return htmlExportStatement(fileName, largeObjects); });
}

void TDaoTable::WriteTextExport(const QString &fileName, bool largeObjects, bool replace)
{
    runExportStatement(fileName, replace, [&] { return textExportStatement(fileName, largeObjects); });
}

// ---------------------------------------------------------------- bookmarks

TBookmark TDaoTable::GetBookmark() const
{
    checkActive();
    const int pos = RecNo();
    if (pos < 0)
        return TBookmark();
    return TBookmark{mRows->keyAt(pos), pos};
}

int TDaoTable::positionOf(const TBookmark &b) const
{
    if (b.isNull() || mState == dsInactive)
        return -1;
    return rows().positionOf(b.id, b.position);
}

bool TDaoTable::BookmarkValid(const TBookmark &b) const { return positionOf(b) >= 0; }

void TDaoTable::GotoBookmark(const TBookmark &b)
{
    checkBrowseMode();
    const int p = positionOf(b);
    if (p < 0)
        throw DaoError(QStringLiteral("Record not found"));
    moveTo(p);
    mEof = false;
    mBof = false;
}

int TDaoTable::CompareBookmarks(const TBookmark &a, const TBookmark &b) const
{
    const int pa = positionOf(a), pb = positionOf(b);
    return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

// ---- other connections' changes

void TDaoTable::followOthers(const std::vector<qint64> &rows, bool whole)
{
    if (!Active() || !mKeyset || mUnread || (!whole && rows.empty()))
        return;
    if (mDisableCount > 0 || mBulk || mPosting) {
        // Positions must not move under a loop over the rows or a post: later.
        mFollowRows.insert(mFollowRows.end(), rows.begin(), rows.end());
        mFollowWhole = mFollowWhole || whole;
        mFollowWaiting = true;
        return;
    }
    const int count = RecordCount();
    const qint64 keep = mPos >= 0 && mPos < count ? mKeyset->keyAt(mPos) : 0;
    if (mKeyset->usesFitment())
        mDb->bringFitmentUpToDate();
    bool heldBack = false;
    const qint64 frozen = mHold > 0 ? keep : 0;
    TableKeyset::Followed f = mKeyset->follow(rows, whole, keep, frozen, &heldBack);
    if (heldBack)
        mHeldBack.push_back(frozen);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (auto it = mMarks.begin(); it != mMarks.end();)
        it = now - it->second > MarkMs ? mMarks.erase(it) : std::next(it);
    for (const qint64 k : f.changed)
        mMarks[k] = now;
    applyMoves(f.moves);
    if (!f.moves.none() || !f.changed.empty())
        emit rowsFollowed(&f.moves);
    // Keys selected again from an earlier view miss what came since: followed again after.
    if (mReselect && mReselect->isRunning())
        mFollowedMeanwhile.insert(mFollowedMeanwhile.end(), rows.begin(), rows.end());
    if (f.reselectWanted)
        startReselect();
}

void TDaoTable::applyMoves(const RowMoves &moves)
{
    if (moves.none())
        return;
    const bool wasEmpty = mPos < 0;
    std::vector<int> at{mPos, mPosBeforeInsert};
    moves.map(at);
    if (mPos >= 0)
        mPos = at[0] >= 0 ? at[0] : std::min(mPos, RecordCount() - 1);
    if (mPosBeforeInsert >= 0)
        mPosBeforeInsert = at[1] >= 0 ? at[1] : std::min(mPosBeforeInsert, RecordCount() - 1);
    if (RecordCount() > 0 && mPos < 0 && mState != dsInsert)
        mPos = 0;
    mEof = mEof && RecordCount() == 0;
    if (wasEmpty && mPos >= 0)
        QMetaObject::invokeMethod(this, [this] { notifyCurrent(); }, Qt::QueuedConnection); // after the views followed
}

void TDaoTable::startReselect()
{
    if (!mKeyset)
        return;
    if (mReselect && mReselect->isRunning()) {
        mReselectAgain = true;
        return;
    }
    if (mReselect)
        mReselect->wait();
    std::unique_ptr<DbEngine> reader;
    try {
        reader = mDb->engine().openReader();
    } catch (const DaoError &) {
    }
    const quint64 keyset = mKeyset->serial();
    const quint64 local = mKeyset->localChanges();
    if (!reader) {
        adoptKeys(TableKeyset::runKeysQuery(mDb->engine(), mKeyset->keysQuery()), keyset, local);
        return;
    }
    mReselectStop = std::make_shared<std::atomic<bool>>(false);
    reader->setStopCheck([stop = mReselectStop] { return stop->load(); });
    mFollowedMeanwhile.clear();
    DbEngine *r = reader.release();
    mReselect.reset(QThread::create([this, r, query = mKeyset->keysQuery(), keyset, local] {
        std::unique_ptr<DbEngine> engine(r);
        std::vector<qint64> keys;
        bool read = false;
        try {
            engine->beginRead();
            keys = TableKeyset::runKeysQuery(*engine, query);
            engine->rollback();
            read = true;
        } catch (const DaoError &) {
        }
        engine.reset();
        // This dataset waits for the thread before it goes, so it is there to be posted to.
        QMetaObject::invokeMethod(this, [this, keys = std::move(keys), read, keyset, local]() mutable {
            if (!read) {
                try {
                    if (mKeyset && mKeyset->serial() == keyset)
                        adoptKeys(TableKeyset::runKeysQuery(mDb->engine(), mKeyset->keysQuery()), keyset, mKeyset->localChanges());
                } catch (const DaoError &) {
                    // Shown at the next refresh.
                }
                return;
            }
            adoptKeys(std::move(keys), keyset, local);
        }, Qt::QueuedConnection);
    }));
    mReselect->start();
}

void TDaoTable::adoptKeys(std::vector<qint64> keys, quint64 keyset, quint64 local)
{
    if (mReselect)
        mReselect->wait(); // it posted this as its last act
    const bool again = std::exchange(mReselectAgain, false);
    if (!Active() || !mKeyset)
        return;
    if (mKeyset->serial() != keyset || mKeyset->localChanges() != local) {
        // Read again, or rows added or removed here, meanwhile: those keys no longer fit.
        if (again || mKeyset->localChanges() != local)
            startReselect();
        return;
    }
    if (mDisableCount > 0 || mBulk || mPosting) {
        mFollowWhole = true; // positions must not move now: all is read again later
        mFollowWaiting = true;
        return;
    }
    const qint64 keep = mPos >= 0 && mPos < RecordCount() ? mKeyset->keyAt(mPos) : 0;
    const TableKeyset::Followed f = mKeyset->adopt(std::move(keys), keep);
    applyMoves(f.moves);
    emit rowsFollowed(&f.moves);
    // What others committed after those keys were read.
    if (std::vector<qint64> since = std::exchange(mFollowedMeanwhile, {}); !since.empty())
        followOthers(since, false);
    else if (again)
        startReselect();
}

void TDaoTable::holdCurrentRow(bool hold)
{
    mHold = std::max(0, mHold + (hold ? 1 : -1));
    if (mKeyset)
        mKeyset->setPinned(mHold > 0 && mPos >= 0 && mPos < RecordCount() ? mKeyset->keyAt(mPos) : 0);
    if (mHold > 0 || mHeldBack.empty())
        return;
    // What was kept back is shown now, once the control that held the row is gone.
    QMetaObject::invokeMethod(this, [this] {
        if (mHold > 0 || mHeldBack.empty())
            return;
        try {
            followOthers(std::exchange(mHeldBack, {}), false);
        } catch (const DaoError &) {
            // Shown at the next change or refresh.
        }
    }, Qt::QueuedConnection);
}

bool TDaoTable::hasMarks() const
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const auto &m : mMarks)
        if (now - m.second <= MarkMs + 500)
            return true;
    return false;
}

void TDaoTable::followPending()
{
    if (!mFollowWaiting || mDisableCount > 0 || mBulk || mPosting)
        return;
    mFollowWaiting = false;
    const std::vector<qint64> rows = std::exchange(mFollowRows, {});
    const bool whole = std::exchange(mFollowWhole, false);
    try {
        followOthers(rows, whole);
    } catch (const DaoError &) {
        // Read again at the next change, or when the user refreshes.
    }
}

qint64 TDaoTable::changedByOthersAt(int position) const
{
    if (mMarks.empty() || !mKeyset || position < 0 || position >= RecordCount())
        return 0;
    const auto it = mMarks.find(mKeyset->keyAt(position));
    // A little past its end, so that the last faint tint is drawn away.
    if (it == mMarks.end() || QDateTime::currentMSecsSinceEpoch() - it->second > MarkMs + 500)
        return 0;
    return it->second;
}
