// The columns and rows an export statement selects, with each column's type for its writer.
#include "files/ExportSelection.h"

#include "base/DaoError.h"
#include "engine/DbEngine.h"
#include "engine/SqlDialect.h"
#include "files/ExportStatement.h"
#include "fitment/FitmentIndex.h"
#include "filter/FilterExpression.h"

#include <algorithm>

namespace {

// A short integer (the models' years) is written as text, as the export always wrote it.
ExportSelection::Type typeOf(const ColumnDecl &c)
{
    using Type = ExportSelection::Type;
    switch (c.type) {
    case TFieldType::Boolean:
        return Type::Boolean;
    case TFieldType::DateTime:
        return Type::DateTime;
    case TFieldType::Long:
    case TFieldType::Counter:
        return Type::Integer;
    case TFieldType::Double:
        return Type::Number;
    case TFieldType::Short:
    case TFieldType::Text:
    case TFieldType::Blob:
        break;
    }
    return Type::Text;
}

} // namespace

ExportSelection::ExportSelection(DbEngine &engine, const ExportStatement &s)
{
    const std::optional<SourceInfo> source = engine.findSource(s.source);
    if (!source)
        throw DaoError(QStringLiteral("Таблицата \"%1\" не съществува.").arg(s.source));
    const SqlDialect &d = engine.dialect();
    QStringList wanted = s.columns;
    if (wanted.isEmpty())
        for (const ColumnDecl &c : source->columns)
            wanted << c.name;
    QStringList select;
    for (const QString &w : std::as_const(wanted)) {
        auto c = std::find_if(source->columns.begin(), source->columns.end(),
                              [&](const ColumnDecl &c) { return c.name.compare(w, Qt::CaseInsensitive) == 0; });
        if (c == source->columns.end())
            throw DaoError(QStringLiteral("Полето \"%1\" не съществува.").arg(w));
        mNames << c->name;
        mTypes.push_back(typeOf(*c));
        select << d.quoteIdentifier(c->name);
    }
    const ColumnResolver resolve = [&](const QString &name) -> std::optional<ColumnInfo> {
        for (const ColumnDecl &c : source->columns)
            if (c.name.compare(name, Qt::CaseInsensitive) == 0)
                return ColumnInfo{c.name, typeOf(c) == Type::Text};
        return std::nullopt;
    };
    SqlFragment where;
    if (!s.filter.trimmed().isEmpty())
        where = FilterExpression::parse(s.filter).toSql(d, resolve);
    if (where.fitment) {
        fitment::requireInventory(source->name);
        fitment::refreshBeforeUse(engine);
    }
    // A table's rows in the order they were added, as the file keeps them; a server keeps
    // them in no order of its own. A stored query keeps its own.
    mStatement = engine.prepareScan(QStringLiteral("SELECT %1 FROM %2%3%4")
                                        .arg(select.join(QStringLiteral(", ")), d.quoteIdentifier(source->name),
                                             where.sql.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.sql,
                                             source->isTable ? QStringLiteral(" ORDER BY ") + d.rowKey() : QString()));
    mStatement->bindAll(where.params);
}

ExportSelection::~ExportSelection() = default;
