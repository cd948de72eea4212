// The dataset: keyset row sets over tables, materialised ones over queries, the edit buffer with
// optimistic locking, filters and sorts through the parser.
#include "TDaoTable.h"

#include "DaoError.h"
#include "FilterExpression.h"
#include "JetPattern.h"
#include "KeysetSort.h"
#include "Regional.h"
#include "Schema.h"
#include "SqliteConnection.h"
#include "TDaoDatabase.h"

#include <QCoreApplication>
#include <algorithm>
#include <unordered_set>

namespace {

constexpr int PageSize = 64;
constexpr size_t CacheLimit = 8192;

QString quoted(const QString &identifier)
{
    QString s = identifier;
    s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// The field type a declared column type stands for.
TFieldType typeOfDecl(const QString &decl, bool primaryKey, int *size)
{
    const QString d = decl.trimmed().toUpper();
    *size = 0;
    if (primaryKey && d.contains(QLatin1String("INT")))
        return TFieldType::Counter;
    const int paren = d.indexOf(QLatin1Char('('));
    const QString base = (paren >= 0 ? d.left(paren) : d).trimmed();
    if (paren >= 0)
        *size = d.mid(paren + 1).section(QLatin1Char(')'), 0, 0).section(QLatin1Char(','), 0, 0).trimmed().toInt();
    if (base == QLatin1String("COUNTER") || base == QLatin1String("AUTOINCREMENT"))
        return TFieldType::Counter;
    if (base == QLatin1String("SHORT") || base == QLatin1String("SMALLINT"))
        return TFieldType::Short;
    if (base == QLatin1String("LONG") || base.contains(QLatin1String("INT")))
        return TFieldType::Long;
    if (base == QLatin1String("DOUBLE") || base == QLatin1String("REAL") || base == QLatin1String("FLOAT")
        || base == QLatin1String("NUMERIC") || base == QLatin1String("CURRENCY") || base == QLatin1String("DECIMAL"))
        return TFieldType::Double;
    if (base == QLatin1String("YESNO") || base == QLatin1String("BOOLEAN") || base == QLatin1String("BOOL")
        || base == QLatin1String("BIT"))
        return TFieldType::Boolean;
    if (base == QLatin1String("DATETIME") || base == QLatin1String("DATE") || base == QLatin1String("TIMESTAMP"))
        return TFieldType::DateTime;
    if (base == QLatin1String("BLOB"))
        return TFieldType::Blob;
    return TFieldType::Text;
}

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

QString conflictMessage()
{
    return QStringLiteral("Записът не е запазен: след прочитането му друг потребител го е променил или "
                          "изтрил. Въведените стойности са запазени в реда; откажете промяната (Esc) и "
                          "обновете таблицата, за да видите текущите данни.");
}

} // namespace

TDaoTable::TDaoTable(QObject *parent) : QObject(parent) {}

TDaoTable::~TDaoTable()
{
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
    if (isDisabled())
        mPendingReset = true;
    else
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
        struct Resume
        {
            TDaoTable *t;
            ~Resume()
            {
                t->invalidateCache();
                t->mPendingReset = true;
                t->EnableControls();
            }
        } resume{this};
        if (mDb)
            mDb->endWriteBatch();
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
        mKeys.clear();
        mKeys.shrink_to_fit();
        mCache.clear();
        mRows.clear();
        mRows.shrink_to_fit();
        mLoadedKey.clear();
        mLoadedStamp.clear();
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
        throw DaoError(QStringLiteral("Няма връзка с базата данни."));
    buildFields();
    reopen(mFilter, mFiltered);
}

void TDaoTable::closeForDatabase()
{
    if (Active())
        setActive(false);
}

void TDaoTable::setFieldNames(const QStringList &names)
{
    mFieldNames = names;
    if (Active())
        return;
    // Until the first open tells their types the fields are untyped text; opening keeps these
    // objects (found by name) and gives them their types.
    std::vector<std::unique_ptr<TDaoField>> fields;
    for (int f = 0; f < names.size(); ++f) {
        std::unique_ptr<TDaoField> *old = size_t(f) < mFields.size() ? &mFields[size_t(f)] : nullptr;
        if (old && *old && (*old)->FieldName().compare(names[f], Qt::CaseInsensitive) == 0)
            fields.push_back(std::move(*old));
        else
            fields.push_back(std::make_unique<TDaoField>(this, f, names[f], TFieldType::Text, 0));
    }
    mFields = std::move(fields);
}

// Finds the source's columns and makes the fields: the persistent ones in their order, or all.
void TDaoTable::buildFields()
{
    SqliteConnection &c = mDb->connection();
    std::vector<QString> names;
    std::vector<TFieldType> types;
    std::vector<int> sizes;
    std::vector<bool> isText;
    mIsTable = false;
    if (!mTableName.isEmpty()) {
        SqliteStatement kind = c.prepare(QStringLiteral(
            "SELECT type, name, sql FROM sqlite_schema WHERE type IN ('table', 'view') AND name = ? COLLATE NOCASE"));
        kind.bind(1, mTableName);
        if (!kind.step())
            throw DaoError(QStringLiteral("Таблицата или заявката \"%1\" не съществува в базата.").arg(mTableName));
        mIsTable = kind.column(0).toString() == QLatin1String("table");
        const QString realName = kind.column(1).toString();
        mDistinctSource = mIsTable ? std::nullopt : schema::distinctViewSource(realName, kind.column(2).toString());
        if (mIsTable) {
            SqliteStatement info = c.prepare(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(realName)));
            while (info.step()) {
                int size = 0;
                names.push_back(info.column(1).toString());
                types.push_back(typeOfDecl(info.column(2).toString(), info.columnInt64(5) > 0, &size));
                sizes.push_back(size);
            }
            mTableName = realName;
        }
    }
    if (!mIsTable) {
        SqliteStatement st = c.cached(mTableName.isEmpty() ? mSql.join(QLatin1Char(' '))
                                                            : QStringLiteral("SELECT * FROM %1").arg(quoted(mTableName)));
        for (int i = 0; i < st.columnCount(); ++i) {
            int size = 0;
            names.push_back(st.columnName(i));
            const QString decl = st.columnDeclType(i);
            types.push_back(decl.isEmpty() ? TFieldType::Text : typeOfDecl(decl, false, &size));
            sizes.push_back(size);
        }
    }
    mAllColumns = names;
    mColumnIsText.clear();
    for (TFieldType t : types)
        mColumnIsText.push_back(t == TFieldType::Text);

    auto indexOf = [&](const QString &n) -> int {
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i].compare(n, Qt::CaseInsensitive) == 0)
                return int(i);
        return -1;
    };
    const QStringList wanted = mFieldNames.isEmpty() ? QStringList(names.begin(), names.end()) : mFieldNames;
    // Every name is found before any field object moves, so a failed open leaves them whole.
    std::vector<int> found;
    for (const QString &w : wanted) {
        const int col = indexOf(w);
        if (col < 0)
            throw DaoError(QStringLiteral("Field '%1' not found").arg(w));
        found.push_back(col);
    }
    std::vector<std::unique_ptr<TDaoField>> fields;
    mColumns.clear();
    mUpdateSql.clear();
    for (int f = 0; f < wanted.size(); ++f) {
        const int col = found[size_t(f)];
        // Keep field objects across reopening: callers may hold pointers to them.
        std::unique_ptr<TDaoField> *old = size_t(f) < mFields.size() ? &mFields[size_t(f)] : nullptr;
        if (old && *old && (*old)->FieldName().compare(names[size_t(col)], Qt::CaseInsensitive) == 0) {
            (*old)->mType = types[size_t(col)];
            (*old)->mSize = sizes[size_t(col)];
            fields.push_back(std::move(*old));
        } else {
            fields.push_back(std::make_unique<TDaoField>(this, f, names[size_t(col)], types[size_t(col)], sizes[size_t(col)]));
        }
        mColumns.push_back(names[size_t(col)]);
    }
    mFields = std::move(fields);
}

QString TDaoTable::selectList() const
{
    QStringList cols;
    for (const QString &c : mColumns)
        cols << quoted(c);
    return cols.join(QStringLiteral(", "));
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
        for (size_t i = 0; i < mAllColumns.size(); ++i)
            if (mAllColumns[i].compare(name, Qt::CaseInsensitive) == 0)
                return ColumnInfo{mAllColumns[i], mColumnIsText[i]};
        return std::nullopt;
    };
}

// Selects the ids of the rows of a table that pass the filter, in sort order.
void TDaoTable::loadKeyset(const QString &filter, bool filtered, std::vector<qint64> &ids)
{
    const ColumnResolver resolver = columnResolver();
    QString sql = QStringLiteral("SELECT rowid FROM %1").arg(quoted(mTableName));
    SqlFragment where;
    if (filtered && !filter.trimmed().isEmpty()) {
        where = FilterExpression::parse(filter).toSql(resolver);
        sql += QStringLiteral(" WHERE ") + where.sql;
    }
    const SortExpression sort = SortExpression::parse(sortText());
    if (sort.terms().size() == 1) {
        // One column, as the grid's title click sorts: ordered here, which beats the engine's
        // sorter several times over on a large table.
        const SortExpression::Term &term = sort.terms().front();
        const std::optional<ColumnInfo> col = resolver(term.column);
        if (!col)
            sort.toSql(resolver); // raises the unknown-column error
        QString scan = QStringLiteral("SELECT rowid, %1 FROM %2").arg(quoted(col->name), quoted(mTableName));
        if (!where.sql.isEmpty())
            scan += QStringLiteral(" WHERE ") + where.sql;
        scan += QStringLiteral(" ORDER BY rowid");
        SqliteStatement st = mDb->connection().cached(scan);
        st.bindAll(where.params);
        ids = sortKeysetByColumn(st, col->isText, term.descending);
        mKeysById = false;
        return;
    }
    sql += QStringLiteral(" ORDER BY ");
    mKeysById = sort.isEmpty();
    if (!sort.isEmpty())
        sql += sort.toSql(resolver) + QStringLiteral(", ");
    sql += QStringLiteral("rowid");
    SqliteStatement st = mDb->connection().cached(sql);
    st.bindAll(where.params);
    ids.reserve(mKeys.size() + 16);
    while (st.step())
        ids.push_back(st.columnInt64(0));
}

// Reads a query's rows whole, filtered and sorted around the source. False when the rows in hand
// are still the answer and nothing was read.
bool TDaoTable::loadRows(const QString &filter, bool filtered, std::vector<Row> &rows)
{
    const ColumnResolver resolver = columnResolver();
    QString source = mTableName.isEmpty() ? mSql.join(QLatin1Char(' ')).trimmed() : QString();
    while (source.endsWith(QLatin1Char(';')))
        source.chop(1);
    SqlFragment where;
    const bool useFilter = filtered && !filter.trimmed().isEmpty();
    const SortExpression sort = SortExpression::parse(sortText());
    QString sql;
    if (!useFilter && sort.isEmpty()) {
        sql = mTableName.isEmpty() ? source : QStringLiteral("SELECT * FROM %1").arg(quoted(mTableName));
    } else {
        sql = QStringLiteral("SELECT * FROM %1")
                  .arg(mTableName.isEmpty() ? QLatin1Char('(') + source + QLatin1Char(')') : quoted(mTableName));
        if (useFilter) {
            where = FilterExpression::parse(filter).toSql(resolver);
            sql += QStringLiteral(" WHERE ") + where.sql;
        }
        if (!sort.isEmpty())
            sql += QStringLiteral(" ORDER BY ") + sort.toSql(resolver);
    }
    if (mDistinctSource && !useFilter && sort.isEmpty()) {
        // A pick-list query: its answer is kept up to date by the connection, and the rows in
        // hand still are that answer while the list has not changed.
        const DistinctValues &d = mDb->distinctValues(mDistinctSource->first, mDistinctSource->second);
        const QString key = QStringLiteral("distinct %1").arg(d.serial());
        if (key == mLoadedKey)
            return false;
        std::vector<QVariant> values = d.values();
        rows.reserve(values.size());
        for (QVariant &v : values) {
            Row r;
            r.values.push_back(std::move(v));
            rows.push_back(std::move(r));
        }
        mLoadedKey = key;
        mLoadedStamp.clear();
        return true;
    }
    QString key = sql;
    for (const QVariant &v : std::as_const(where.params))
        key += QLatin1Char('\x1f') + v.toString();
    if (key == mLoadedKey && !mLoadedStamp.isEmpty() && mDb->readStamp(mReads) == mLoadedStamp)
        return false; // nothing it reads has changed: the rows in hand are the answer
    if (key != mLoadedKey)
        mReads = mDb->connection().readsOf(sql);
    // Taken before the reading, so that a change made meanwhile makes the next re-query read.
    const QString stamp = mDb->readStamp(mReads);
    SqliteStatement st = mDb->connection().cached(sql);
    st.bindAll(where.params);
    const int n = st.columnCount();
    while (st.step()) {
        Row r;
        r.values.reserve(size_t(n));
        for (int i = 0; i < n; ++i)
            r.values.push_back(st.column(i));
        rows.push_back(std::move(r));
    }
    // Expression columns have no declared type: take it from the first value.
    for (size_t f = 0; f < mFields.size(); ++f) {
        if (mFields[f]->mType != TFieldType::Text || mColumnIsText.empty())
            continue;
        for (const Row &r : rows) {
            const QVariant &v = r.values[size_t(f)];
            if (v.isValid() && !v.isNull()) {
                if (st.columnDeclType(int(f)).isEmpty())
                    mFields[f]->mType = typeOfValue(v);
                break;
            }
        }
    }
    mLoadedKey = key;
    mLoadedStamp = stamp;
    return true;
}

// Builds the new row set first, so that a filter that fails leaves the old one in place.
void TDaoTable::reopen(const QString &filter, bool filtered)
{
    if (mIsTable) {
        std::vector<qint64> ids;
        loadKeyset(filter, filtered, ids);
        mKeys.swap(ids);
        mCache.clear();
    } else {
        std::vector<Row> rows;
        if (loadRows(filter, filtered, rows))
            mRows.swap(rows);
    }
    mBuffer.assign(mFields.size(), QVariant());
    mChanged.assign(mFields.size(), false);
    mModified = false;
    setState(dsBrowse);
    const int n = RecordCount();
    mPos = n > 0 ? 0 : -1;
    mBof = true;
    mEof = n == 0;
    notifyReset();
    notifyCurrent();
}

void TDaoTable::setUpdateRecordHook(const void *owner, std::function<void()> hook)
{
    std::erase_if(mUpdateHooks, [owner](const auto &h) { return h.first == owner; });
    if (hook)
        mUpdateHooks.emplace_back(owner, std::move(hook));
}

void TDaoTable::updateRecord()
{
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
    invalidateCache();
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

void TDaoTable::invalidateCache()
{
    mCache.clear();
}

// ---------------------------------------------------------------- rows

int TDaoTable::RecordCount() const
{
    checkActive();
    return mIsTable ? int(mKeys.size()) : int(mRows.size());
}

TDaoTable::Row TDaoTable::readRowById(qint64 id) const
{
    SqliteStatement st = mDb->connection().cached(
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(selectList(), quoted(mTableName)));
    st.bindInt64(1, id);
    Row r;
    if (st.step()) {
        for (size_t i = 0; i < mColumns.size(); ++i)
            r.values.push_back(st.column(int(i)));
    } else {
        r.values.assign(mColumns.size(), QVariant());
        r.missing = true;
    }
    return r;
}

// Fetches the page of rows around a position in one statement.
void TDaoTable::fetchPage(int position) const
{
    if (mCache.size() > CacheLimit)
        mCache.clear();
    const int n = int(mKeys.size());
    const int start = std::max(0, position - PageSize / 4);
    const int end = std::min(n, start + PageSize);
    QString marks;
    for (int i = start; i < end; ++i)
        marks += i == start ? QStringLiteral("?") : QStringLiteral(",?");
    SqliteStatement st = mDb->connection().cached(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid IN (%3)")
                                                       .arg(selectList(), quoted(mTableName), marks));
    for (int i = start; i < end; ++i)
        st.bindInt64(i - start + 1, mKeys[size_t(i)]);
    std::unordered_map<qint64, Row> got;
    while (st.step()) {
        Row r;
        r.values.reserve(mColumns.size());
        for (size_t c = 0; c < mColumns.size(); ++c)
            r.values.push_back(st.column(int(c) + 1));
        got.emplace(st.columnInt64(0), std::move(r));
    }
    for (int i = start; i < end; ++i) {
        const qint64 id = mKeys[size_t(i)];
        if (mCache.count(id))
            continue;
        auto it = got.find(id);
        if (it != got.end()) {
            mCache.emplace(id, std::move(it->second));
        } else {
            Row r;
            r.values.assign(mColumns.size(), QVariant());
            r.missing = true;
            mCache.emplace(id, std::move(r));
        }
    }
}

const TDaoTable::Row *TDaoTable::rowAt(int position) const
{
    if (mIsTable) {
        if (position < 0 || position >= int(mKeys.size()))
            return nullptr;
        const qint64 id = mKeys[size_t(position)];
        auto it = mCache.find(id);
        if (it == mCache.end()) {
            fetchPage(position);
            it = mCache.find(id);
        }
        return &it->second;
    }
    if (position < 0 || position >= int(mRows.size()))
        return nullptr;
    return &mRows[size_t(position)];
}

QVariant TDaoTable::fieldValue(int field) const
{
    if (mState == dsInactive)
        return QVariant();
    if (mState == dsEdit || mState == dsInsert)
        return mBuffer[size_t(field)];
    const Row *r = rowAt(mPos);
    return r ? mFields[size_t(field)]->fromStorage(r->values[size_t(field)]) : QVariant();
}

QVariant TDaoTable::rowValue(int position, int field) const
{
    if (mState == dsInactive || field < 0 || field >= FieldCount())
        return QVariant();
    if ((mState == dsInsert && position == RecordCount()) || (mState == dsEdit && position == mPos))
        return mBuffer[size_t(field)];
    const Row *r = rowAt(position);
    return r ? mFields[size_t(field)]->fromStorage(r->values[size_t(field)]) : QVariant();
}

bool TDaoTable::rowIsDeletedByOthers(int position) const
{
    const Row *r = mState == dsInactive ? nullptr : rowAt(position);
    return r && r->missing;
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

TDaoField *TDaoTable::FindField(const QString &name) const
{
    for (const auto &f : mFields)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

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
    if (mReadOnly || !mIsTable)
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
    const Row *r = rowAt(mPos);
    if (r->missing)
        throw DaoError(QStringLiteral("Записът е изтрит от друг потребител. Обновете таблицата."));
    mOriginal = *r;
    for (size_t f = 0; f < mFields.size(); ++f)
        mBuffer[f] = mFields[f]->fromStorage(r->values[f]);
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
    struct Done
    {
        bool &flag;
        ~Done() { flag = false; }
    } done{mPosting};
    if (BeforePost)
        BeforePost(this);
    try {
        if (mState == dsInsert)
            postInsert();
        else
            postUpdate();
    } catch (...) {
        if (mBulk)
            mDb->checkBatch();
        throw;
    }
    if (mBulk)
        mDb->writeBatchStep();
    if (AfterPost)
        AfterPost(this);
}

void TDaoTable::postInsert()
{
    QStringList cols, marks;
    QVariantList values;
    for (size_t f = 0; f < mFields.size(); ++f) {
        if (mFields[f]->DataType() == TFieldType::Counter)
            continue;
        const QVariant &v = mBuffer[f];
        if (!mChanged[f] && (!v.isValid() || v.isNull()))
            continue; // leaves the column's default
        cols << quoted(mColumns[f]);
        marks << QStringLiteral("?");
        values << v;
    }
    SqliteConnection &c = mDb->connection();
    const QString sql = cols.isEmpty()
        ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(mTableName))
        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(quoted(mTableName), cols.join(QStringLiteral(", ")),
                                                              marks.join(QStringLiteral(", ")));
    SqliteStatement st = c.cached(sql);
    st.bindAll(values);
    st.step();
    const qint64 id = c.lastInsertId();
    mDb->noteWrite(mTableName);
    Row written = readRowById(id);
    mDb->noteRowChange(mTableName, mColumns, nullptr, &written.values);
    mCache[id] = std::move(written);
    if (!mKeys.empty() && id < mKeys.back())
        mKeysById = false;
    mKeys.push_back(id);
    mPos = int(mKeys.size()) - 1;
    mModified = false;
    mChanged.assign(mFields.size(), false);
    setState(dsBrowse);
    notifyRow(mPos);
}

namespace {
// The value as the engine will store it, so that the cached row need not be read back.
QVariant storedForm(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return QVariant(qint64(v.toBool() ? 1 : 0));
    case QMetaType::QDateTime:
        return QVariant(storedDateTimeText(v.toDateTime()));
    case QMetaType::Int:
        return QVariant(qint64(v.toInt()));
    default:
        return v;
    }
}
} // namespace

// Optimistic locking: the row is written only if every column still holds what was read.
void TDaoTable::postUpdate()
{
    quint64 mask = 0;
    QVariantList values;
    QStringList changed;
    for (size_t f = 0; f < mFields.size(); ++f) {
        if (!mChanged[f])
            continue;
        if (f < 64)
            mask |= quint64(1) << f;
        changed << mColumns[f];
        values << mBuffer[f];
    }
    const qint64 id = mKeys[size_t(mPos)];
    if (!changed.isEmpty()) {
        QString &sql = mUpdateSql[mask];
        if (sql.isEmpty() || mFields.size() > 64) {
            QStringList sets, checks;
            for (const QString &c : std::as_const(changed))
                sets << quoted(c) + QStringLiteral(" = ?");
            for (size_t f = 0; f < mFields.size(); ++f)
                checks << quoted(mColumns[f]) + QStringLiteral(" IS ?");
            sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ? AND %3")
                      .arg(quoted(mTableName), sets.join(QStringLiteral(", ")), checks.join(QStringLiteral(" AND ")));
        }
        values << QVariant(id);
        for (size_t f = 0; f < mFields.size(); ++f)
            values << mOriginal.values[f];
        SqliteConnection &c = mDb->connection();
        SqliteStatement st = c.cached(sql);
        st.bindAll(values);
        st.step();
        if (c.changes() == 0)
            throw DaoError(conflictMessage());
        mDb->noteWrite(mTableName, changed);
        // What was written is what is now stored: the row as read, with the new values.
        Row r = mOriginal;
        for (size_t f = 0; f < mFields.size(); ++f)
            if (mChanged[f])
                r.values[f] = storedForm(mBuffer[f]);
        mDb->noteRowChange(mTableName, mColumns, &mOriginal.values, &r.values);
        mCache[id] = std::move(r);
    }
    mModified = false;
    mChanged.assign(mFields.size(), false);
    setState(dsBrowse);
    notifyRow(mPos);
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
    const qint64 id = mKeys[size_t(mPos)];
    const Row before = *rowAt(mPos);
    SqliteConnection &c = mDb->connection();
    SqliteStatement st = c.cached(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoted(mTableName)));
    st.bindInt64(1, id);
    st.step();
    if (c.changes() > 0)
        mDb->noteRowChange(mTableName, mColumns, &before.values, nullptr);
    mDb->noteWrite(mTableName);
    const int removed = mPos;
    mKeys.erase(mKeys.begin() + removed);
    mCache.erase(id);
    const int n = int(mKeys.size());
    mPos = n == 0 ? -1 : std::min(removed, n - 1);
    mEof = n == 0;
    if (isDisabled())
        mPendingReset = true;
    else
        emit rowRemoved(removed);
    notifyCurrent();
}

// ---------------------------------------------------------------- find

bool TDaoTable::FindByKey(const QString &keyField, const QVariant &value)
{
    checkActive();
    TDaoField *field = FieldByName(keyField);
    const int n = RecordCount();
    if (n == 0)
        return false;
    const bool text = field->isText();
    QString pattern;
    double number = 0;
    if (text) {
        pattern = value.toString().toLower();
        if (!pattern.contains(QLatin1Char('*')))
            pattern += QLatin1Char('*');
    } else if (value.typeId() == QMetaType::QString) {
        if (!regional::parseNumber(value.toString(), &number))
            throw DaoError(QStringLiteral("'%1' is not a valid floating point value for field '%2'")
                               .arg(value.toString(), field->FieldName()));
    } else {
        number = value.toDouble();
    }

    int found = -1;
    if (mIsTable) {
        const QString col = quoted(mColumns[size_t(field->Index())]);
        SqliteStatement st = mDb->connection().cached(
            text ? QStringLiteral("SELECT rowid FROM %1 WHERE jet_like(?, %2)").arg(quoted(mTableName), col)
                 : QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ?").arg(quoted(mTableName), col));
        if (text)
            st.bind(1, pattern);
        else
            st.bind(1, number);
        std::vector<qint64> ids;
        while (st.step())
            ids.push_back(st.columnInt64(0));
        if (mKeysById) {
            // The keyset ascends by id: the smallest matching id that is a member is the first row.
            std::sort(ids.begin(), ids.end());
            for (qint64 id : ids) {
                const auto it = std::lower_bound(mKeys.begin(), mKeys.end(), id);
                if (it != mKeys.end() && *it == id) {
                    found = int(it - mKeys.begin());
                    break;
                }
            }
        } else if (!ids.empty()) {
            const std::unordered_set<qint64> matches(ids.begin(), ids.end());
            for (int i = 0; i < n; ++i) {
                if (matches.count(mKeys[size_t(i)])) {
                    found = i;
                    break;
                }
            }
        }
    } else {
        std::optional<JetPattern> p;
        if (text) {
            QString error;
            p = JetPattern::compile(pattern, &error);
            if (!p)
                throw DaoError(error);
        }
        for (int i = 0; i < n && found < 0; ++i) {
            const QVariant v = field->fromStorage(mRows[size_t(i)].values[size_t(field->Index())]);
            if (!v.isValid() || v.isNull())
                continue;
            if (text ? p->matches(field->textOf(v)) : v.toDouble() == number)
                found = i;
        }
    }
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
        throw DaoError(QStringLiteral("Няма връзка с базата данни."));
    SqliteConnection &c = mDb->connection();
    // One statement is one transaction: an error in any row undoes all of it.
    SqliteStatement st = c.cached(lines.join(QLatin1Char(' ')));
    while (st.step()) {
    }
    mRowsAffected = c.changes();
    mDb->noteWrite(QString());
    mDb->invalidateCaches();
    return mRowsAffected;
}

// ---------------------------------------------------------------- bookmarks

TBookmark TDaoTable::GetBookmark() const
{
    checkActive();
    if (mPos < 0)
        return TBookmark();
    return TBookmark{mIsTable ? mKeys[size_t(mPos)] : qint64(mPos), mPos};
}

int TDaoTable::positionOf(const TBookmark &b) const
{
    if (b.isNull() || mState == dsInactive)
        return -1;
    if (!mIsTable)
        return b.position < int(mRows.size()) ? b.position : -1;
    if (b.position < int(mKeys.size()) && mKeys[size_t(b.position)] == b.id)
        return b.position;
    // Rows before it were deleted: it moved up.
    for (int i = std::min(b.position, int(mKeys.size()) - 1); i >= 0; --i)
        if (mKeys[size_t(i)] == b.id)
            return i;
    for (int i = b.position + 1; i < int(mKeys.size()); ++i)
        if (mKeys[size_t(i)] == b.id)
            return i;
    return -1;
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
