// The SQLite inventory schema and the making of empty inventory files.
#include "sqlite/SqliteSchema.h"

#include "base/DaoError.h"
#include "engine/InventorySchema.h"
#include "sqlite/SqliteConnection.h"

#include <QFile>
#include <QFileInfo>

namespace sqliteschema {

// Text columns carry their width as TEXT(n); the dataset layer cuts longer texts. Numeric
// affinities follow the declared names (LONG, SHORT, DOUBLE, YESNO, DATETIME), which the layer
// maps back to its field types. Dates are stored as "yyyy-MM-dd HH:mm:ss" local time.
// Indexes use the built-in BINARY order only, so other SQLite programs keep them valid.
// The views group first by the exact value (an index scan) and then by NOCASE; Velostok's own
// connections replace NOCASE by a Unicode-aware one, so Cyrillic case variants merge there too.
QString creationSql()
{
    return QStringLiteral(R"SQL(
PRAGMA application_id = %1;
PRAGMA user_version = %2;
CREATE TABLE main (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  user_id LONG,
  unit_number TEXT(40),
  unit_name TEXT(60),
  quantity DOUBLE,
  price DOUBLE,
  second_price DOUBLE,
  deliver_name TEXT(30),
  delivery_country TEXT(30),
  delivery_unit_number TEXT(40),
  comment TEXT(135),
  modifier TEXT(30),
  locked YESNO NOT NULL DEFAULT 0,
  deleted YESNO NOT NULL DEFAULT 0,
  last_modified DATETIME,
  created DATETIME DEFAULT (datetime('now', 'localtime'))
);
CREATE INDEX main_user_id ON main (user_id);
CREATE INDEX main_unit_number ON main (unit_number);
CREATE INDEX main_unit_name ON main (unit_name);
CREATE INDEX main_deliver_name ON main (deliver_name);
CREATE INDEX main_comment ON main (comment);
CREATE INDEX main_deleted ON main (deleted);
CREATE TABLE models (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  mark_name TEXT(20),
  model_name TEXT(30),
  first_date SHORT,
  last_date LONG
);
CREATE INDEX models_mark_name ON models (mark_name);
CREATE TABLE users (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  user_name TEXT(30),
  pass_stars TEXT(10),
  password TEXT(20),
  comment TEXT(100),
  last_modified DATETIME
);
)SQL")
        .arg(inventoryschema::ApplicationId)
        .arg(inventoryschema::SchemaVersion)
        + storedQueriesSql();
}

namespace {
using inventoryschema::StoredQuery;
constexpr auto &storedQueries = inventoryschema::StoredQueries;

QString simplified(const QString &sql)
{
    QString s = sql.simplified();
    while (s.endsWith(QLatin1Char(';')))
        s.chop(1);
    return s.trimmed();
}
} // namespace

QString distinctViewSql(const QString &view, const QString &table, const QString &column)
{
    return QStringLiteral("CREATE VIEW %1 AS SELECT %3\n"
                          "FROM (SELECT %2.%3 FROM %2 GROUP BY %2.%3)\n"
                          "GROUP BY %3 COLLATE NOCASE\n"
                          "ORDER BY %3 COLLATE NOCASE")
        .arg(view, table, column);
}

QString storedQueriesSql()
{
    QString sql;
    for (const StoredQuery &q : storedQueries)
        sql += distinctViewSql(QLatin1String(q.name), QLatin1String(q.table), QLatin1String(q.column))
            + QStringLiteral(";\n");
    return sql;
}

std::optional<std::pair<QString, QString>> distinctViewSource(const QString &view, const QString &storedSql)
{
    const QString stored = simplified(storedSql);
    for (const StoredQuery &q : storedQueries) {
        if (view.compare(QLatin1String(q.name), Qt::CaseInsensitive) != 0)
            continue;
        if (stored == simplified(distinctViewSql(QLatin1String(q.name), QLatin1String(q.table), QLatin1String(q.column))))
            return std::make_pair(QString::fromLatin1(q.table), QString::fromLatin1(q.column));
    }
    return std::nullopt;
}

namespace {

// Fills models from a tab-separated catalogue, in one transaction.
void loadCatalogue(SqliteConnection &db, const QString &cataloguePath)
{
    SqliteStatement ins = db.prepare(inventoryschema::catalogueInsertSql());
    db.exec(QStringLiteral("BEGIN"));
    try {
        inventoryschema::readCatalogue(cataloguePath, [&](const inventoryschema::CatalogueRow &row) {
            ins.reset();
            ins.bind(1, row.mark);
            ins.bind(2, row.model);
            ins.bind(3, row.firstDate);
            ins.bind(4, row.lastDate);
            ins.step();
        });
        db.exec(QStringLiteral("COMMIT"));
    } catch (...) {
        db.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
}

} // namespace

ColumnDecl columnOf(const QString &name, const QString &declType, bool primaryKey)
{
    ColumnDecl c;
    c.name = name;
    if (declType.isEmpty()) {
        c.untyped = true;
        return c;
    }
    const QString d = declType.trimmed().toUpper();
    if (primaryKey && d.contains(QLatin1String("INT"))) {
        c.type = TFieldType::Counter;
        return c;
    }
    const int paren = d.indexOf(QLatin1Char('('));
    const QString base = (paren >= 0 ? d.left(paren) : d).trimmed();
    if (paren >= 0)
        c.size = d.mid(paren + 1).section(QLatin1Char(')'), 0, 0).section(QLatin1Char(','), 0, 0).trimmed().toInt();
    if (base == QLatin1String("COUNTER") || base == QLatin1String("AUTOINCREMENT"))
        c.type = TFieldType::Counter;
    else if (base == QLatin1String("SHORT") || base == QLatin1String("SMALLINT"))
        c.type = TFieldType::Short;
    else if (base == QLatin1String("LONG") || base.contains(QLatin1String("INT")))
        c.type = TFieldType::Long;
    else if (base == QLatin1String("DOUBLE") || base == QLatin1String("REAL") || base == QLatin1String("FLOAT")
             || base == QLatin1String("NUMERIC") || base == QLatin1String("CURRENCY") || base == QLatin1String("DECIMAL"))
        c.type = TFieldType::Double;
    else if (base == QLatin1String("YESNO") || base == QLatin1String("BOOLEAN") || base == QLatin1String("BOOL")
             || base == QLatin1String("BIT"))
        c.type = TFieldType::Boolean;
    else if (base == QLatin1String("DATETIME") || base == QLatin1String("DATE") || base == QLatin1String("TIMESTAMP"))
        c.type = TFieldType::DateTime;
    else if (base == QLatin1String("BLOB"))
        c.type = TFieldType::Blob;
    return c;
}

void createDatabase(const QString &path, const QString &cataloguePath)
{
    if (QFileInfo::exists(path))
        throw DaoError(QStringLiteral("Файлът \"%1\" вече съществува.").arg(path));
    SqliteConnection db;
    db.open(path, true);
    db.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
    db.exec(QStringLiteral("BEGIN"));
    db.exec(creationSql());
    db.exec(QStringLiteral("COMMIT"));
    if (!cataloguePath.isEmpty()) {
        loadCatalogue(db, cataloguePath);
        db.exec(inventoryschema::firstUserSql());
    }
    db.exec(QStringLiteral("VACUUM"));
    db.close();
}

} // namespace sqliteschema
