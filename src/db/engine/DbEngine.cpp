#include "engine/DbEngine.h"

#include "base/DaoError.h"
#include "base/StoredDateTime.h"
#include "engine/InventorySchema.h"
#include "engine/SqlDialect.h"

QVariant DbEngine::storedForm(const QVariant &v) const
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return QVariant(qint64(v.toBool() ? 1 : 0));
    case QMetaType::QDateTime:
        return QVariant(storedtime::text(v.toDateTime()));
    case QMetaType::Int:
        return QVariant(qint64(v.toInt()));
    default:
        return v;
    }
}

QString DbEngine::missingTableMessage(const QString &table) const
{
    return QStringLiteral("Таблицата %1 липсва в базата.").arg(table);
}

void DbEngine::scanInventory(const TableRows &each, bool history)
{
    QList<QPair<QString, QString>> tables; // each table and its order
    for (const char *table : inventoryschema::Tables)
        tables.append({QString::fromLatin1(table), QStringLiteral("id")});
    if (history && additions() >= 1)
        tables << QPair<QString, QString>(QStringLiteral("history"), QStringLiteral("id"))
               << QPair<QString, QString>(QStringLiteral("history_rows"), QStringLiteral("entry, first_row"));
    const bool own = !inTransaction();
    if (own)
        beginRead();
    try {
        for (const auto &[t, order] : std::as_const(tables)) {
            const std::optional<SourceInfo> src = findSource(t);
            if (!src)
                throw DaoError(missingTableMessage(t));
            QStringList names;
            for (const ColumnDecl &c : src->columns)
                names << dialect().quoteIdentifier(c.name);
            const std::unique_ptr<DbStatement> rows =
                prepareInventoryScan(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(names.join(QLatin1Char(',')), t, order), own);
            each(t, src->columns, *rows);
        }
    } catch (...) {
        if (own)
            rollback();
        throw;
    }
    if (own)
        rollback(); // the snapshot only read
}
