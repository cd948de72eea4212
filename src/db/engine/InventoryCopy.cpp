// The inventory copied row by row between engines.
#include "engine/InventoryCopy.h"

#include "engine/DbEngine.h"
#include "engine/SqlDialect.h"

#include <QStringList>

namespace inventorycopy {

void copyInventory(DbEngine &from, DbEngine &to)
{
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
            const std::unique_ptr<DbStatement> ins = to.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                                                    .arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
            while (rows.step()) {
                ins->reset();
                for (int i = 0; i < rows.columnCount(); ++i)
                    ins->bind(i + 1, rows.column(i));
                ins->step();
            }
        }, quiet);
        if (quiet)
            to.execute(QStringLiteral("DELETE FROM history_writer"));
        to.endBulkLoad();
    } catch (...) {
        to.rollback();
        throw;
    }
}

} // namespace inventorycopy
