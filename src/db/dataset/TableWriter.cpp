// Inserting, updating (optimistically) and deleting table rows.
#include "dataset/TableWriter.h"

#include "base/DaoError.h"
#include "engine/DbEngine.h"
#include "dataset/ResultCache.h"
#include "engine/SqlDialect.h"

namespace {
QString conflictMessage()
{
    return QStringLiteral("Записът не е запазен: след прочитането му друг потребител го е променил или "
                          "изтрил. Въведените стойности са запазени в реда; откажете промяната (Esc) и "
                          "обновете таблицата, за да видите текущите данни.");
}
} // namespace

TableWriter::TableWriter(DbEngine &engine, ResultCache &cache, QString table, std::vector<QString> columns,
                         std::vector<bool> generated)
    : mEngine(engine), mCache(cache), mTable(std::move(table)), mColumns(std::move(columns)),
      mGenerated(std::move(generated))
{
    mQuotedTable = engine.dialect().quoteIdentifier(mTable);
}

QStringList TableWriter::columnsOf(const std::vector<bool> &changed) const
{
    QStringList out;
    for (size_t f = 0; f < mColumns.size(); ++f)
        if (changed[f])
            out << mColumns[f];
    return out;
}

TableWriter::Inserted TableWriter::insert(const std::vector<QVariant> &buffer, const std::vector<bool> &changed)
{
    const SqlDialect &d = mEngine.dialect();
    QStringList cols, marks;
    QVariantList values;
    for (size_t f = 0; f < mColumns.size(); ++f) {
        if (mGenerated[f])
            continue;
        const QVariant &v = buffer[f];
        if (!changed[f] && (!v.isValid() || v.isNull()))
            continue; // leaves the column's default
        cols << d.quoteIdentifier(mColumns[f]);
        marks << QStringLiteral("?");
        values << v;
    }
    const QString sql = cols.isEmpty()
        ? d.insertDefaultValues(mQuotedTable)
        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(mQuotedTable, cols.join(QStringLiteral(", ")),
                                                              marks.join(QStringLiteral(", ")));
    std::unique_ptr<DbStatement> st = mEngine.prepare(sql);
    st->bindAll(values);
    st->step();
    Inserted out;
    out.key = mEngine.lastInsertId(mTable);

    // Read back what the database made of it: defaults, and values in their stored types. The row
    // is written whatever happens here, so a failure only leaves the values to be read later.
    try {
        QStringList select;
        for (const QString &c : mColumns)
            select << d.quoteIdentifier(c);
        std::unique_ptr<DbStatement> back = mEngine.prepare(
            QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(select.join(QStringLiteral(", ")), mQuotedTable, d.rowKey()));
        back->bindInt64(1, out.key);
        if (back->step())
            for (size_t i = 0; i < mColumns.size(); ++i)
                out.values.push_back(back->column(int(i)));
    } catch (const DaoError &) {
        out.values.clear();
    }
    if (out.values.empty())
        mCache.forgetAll(); // what the new row holds is not known here
    else
        mCache.rowChanged(mTable, mColumns, nullptr, &out.values);
    return out;
}

std::vector<QVariant> TableWriter::update(qint64 key, const std::vector<QVariant> &original,
                                          const std::vector<QVariant> &buffer, const std::vector<bool> &changed)
{
    const SqlDialect &d = mEngine.dialect();
    quint64 mask = 0;
    QStringList names;
    for (size_t f = 0; f < mColumns.size(); ++f) {
        if (!changed[f])
            continue;
        if (f < 64)
            mask |= quint64(1) << f;
        names << mColumns[f];
    }
    if (names.isEmpty())
        return original;
    QString &sql = mUpdateSql[mask];
    if (sql.isEmpty() || mColumns.size() > 64) {
        QStringList sets, checks;
        for (const QString &c : std::as_const(names))
            sets << d.quoteIdentifier(c) + QStringLiteral(" = ?");
        for (const QString &c : mColumns)
            checks << d.sameAs(d.quoteIdentifier(c));
        sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ? AND %4")
                  .arg(mQuotedTable, sets.join(QStringLiteral(", ")), d.rowKey(), checks.join(QStringLiteral(" AND ")));
    }
    // The new values, the key, then the row as read for the check that nobody changed it.
    std::unique_ptr<DbStatement> st = mEngine.prepare(sql);
    int p = 0;
    for (size_t f = 0; f < mColumns.size(); ++f)
        if (changed[f])
            st->bind(++p, buffer[f]);
    st->bindInt64(++p, key);
    for (const QVariant &v : original)
        st->bind(++p, v);
    st->step();
    if (mEngine.changes() == 0)
        throw RowConflict(conflictMessage());
    // What was written is what is now stored: the row as read, with the new values.
    std::vector<QVariant> now = original;
    for (size_t f = 0; f < mColumns.size(); ++f)
        if (changed[f])
            now[f] = mEngine.storedForm(buffer[f]);
    mCache.rowChanged(mTable, mColumns, &original, &now);
    return now;
}

bool TableWriter::remove(qint64 key, const std::vector<QVariant> &original)
{
    std::unique_ptr<DbStatement> st = mEngine.prepare(
        QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(mQuotedTable, mEngine.dialect().rowKey()));
    st->bindInt64(1, key);
    st->step();
    if (mEngine.changes() == 0)
        return false;
    mCache.rowChanged(mTable, mColumns, &original, nullptr);
    return true;
}
