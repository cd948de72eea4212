// The inventory copied row by row between engines.
#include "engine/InventoryCopy.h"

#include "engine/DbEngine.h"
#include "engine/InventorySchema.h"
#include "engine/SqlDialect.h"

#include <QStringList>
#include <algorithm>
#include <memory>
#include <utility>

namespace inventorycopy {

void copyInventory(DbEngine &from, DbEngine &to, const std::function<void(qint64 done, qint64 total)> &progress)
{
    // Steps: the rows of every table, then the indexes made at the end, which take
    // about half as long again as writing the rows.
    qint64 counted = 0, copied = 0;
    bool countedAll = false;
    const auto tell = [&](qint64 done) {
        if (progress)
            progress(done, counted + counted / 2);
    };
    to.beginBulkLoad();
    try {
        // The rows come with their history: the new database's triggers record none of them.
        const bool quiet = to.additions() >= 1;
        if (quiet)
            to.execute(QStringLiteral("INSERT INTO history_writer (who, mode) VALUES (NULL, 1)"));
        from.scanInventory([&](const QString &table, const std::vector<ColumnDecl> &columns, DbStatement &rows) {
            QStringList names;
            QStringList marks;
            for (const ColumnDecl &c : columns) {
                names << to.dialect().quoteIdentifier(c.name);
                marks << QStringLiteral("?");
            }
            to.execute(QStringLiteral("DELETE FROM %1").arg(table));
            if (progress && !std::exchange(countedAll, true)) {
                // Every table counted before the first row, in the scan's snapshot: the bar
                // never goes back.
                for (const char *each : inventoryschema::Tables) {
                    const std::unique_ptr<DbStatement> count =
                        from.prepare(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(each)));
                    if (count->step())
                        counted += count->columnInt64(0);
                }
            }
            const std::unique_ptr<DbStatement> ins = to.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                                                    .arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
            while (rows.step()) {
                ins->reset();
                for (int i = 0; i < rows.columnCount(); ++i)
                    rows.columnInto(i, *ins, i + 1);
                ins->step();
                if (++copied % 4096 == 0)
                    tell(std::min(copied, counted));
            }
        }, quiet);
        if (quiet)
            to.execute(QStringLiteral("DELETE FROM history_writer"));
        tell(counted);
        to.endBulkLoad([&](int done, int total) { tell(counted + counted / 2 * done / total); });
    } catch (...) {
        to.rollback();
        throw;
    }
}

} // namespace inventorycopy
