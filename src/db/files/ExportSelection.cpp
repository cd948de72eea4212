// The columns and rows an export statement selects, with each column's type for its writer.
#include "files/ExportSelection.h"

#include "base/DaoError.h"
#include "engine/DbEngine.h"
#include "engine/SqlDialect.h"
#include "files/ExportStatement.h"
#include "filter/FilterExpression.h"

#include <algorithm>

namespace {

ExportSelection::Type typeOf(const QString &declType)
{
    using Type = ExportSelection::Type;
    const QString t = declType.toUpper();
    if (t.contains(QLatin1String("YESNO")) || t.contains(QLatin1String("BOOL")) || t.contains(QLatin1String("BIT")))
        return Type::Boolean;
    if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME")))
        return Type::DateTime;
    if (t.contains(QLatin1String("INT")) || t.contains(QLatin1String("LONG")) || t.contains(QLatin1String("COUNTER")))
        return Type::Integer;
    if (t.contains(QLatin1String("DOUBLE")) || t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOAT"))
        || t.contains(QLatin1String("NUMERIC")) || t.contains(QLatin1String("CURRENCY")))
        return Type::Number;
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
        mTypes.push_back(typeOf(c->declType));
        select << d.quoteIdentifier(c->name);
    }
    const ColumnResolver resolve = [&](const QString &name) -> std::optional<ColumnInfo> {
        for (const ColumnDecl &c : source->columns)
            if (c.name.compare(name, Qt::CaseInsensitive) == 0)
                return ColumnInfo{c.name, typeOf(c.declType) == Type::Text};
        return std::nullopt;
    };
    SqlFragment where;
    if (!s.filter.trimmed().isEmpty())
        where = FilterExpression::parse(s.filter).toSql(d, resolve);
    // A table's rows in the order they were added, as the file keeps them; a server keeps
    // them in no order of its own. A stored query keeps its own.
    mStatement = engine.prepareScan(QStringLiteral("SELECT %1 FROM %2%3%4")
                                        .arg(select.join(QStringLiteral(", ")), d.quoteIdentifier(source->name),
                                             where.sql.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.sql,
                                             source->isTable ? QStringLiteral(" ORDER BY ") + d.rowKey() : QString()));
    mStatement->bindAll(where.params);
}

ExportSelection::~ExportSelection() = default;
