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
        + storedQueriesSql() + additionsSql(0);
}

namespace {

// One history entry's fields from a row's values before (o) and after (n): the columns whose
// value differs, as {"column": [old, new]}; null when none does.
QString historyFields(const char *oldRow, const char *newRow, bool withLastModified)
{
    QStringList pairs;
    for (const char *c : inventoryschema::HistoryColumns) {
        if (!withLastModified && qstrcmp(c, "last_modified") == 0)
            continue;
        pairs << QStringLiteral("SELECT '%1' AS f, %2 AS o, %3 AS n")
                     .arg(QLatin1String(c), oldRow ? QStringLiteral("OLD.%1").arg(QLatin1String(c)) : QStringLiteral("NULL"),
                          newRow ? QStringLiteral("NEW.%1").arg(QLatin1String(c)) : QStringLiteral("NULL"));
    }
    return QStringLiteral("SELECT CASE WHEN count(*) > 0 THEN json_group_object(f, json_array(o, n)) END AS j FROM (%1) WHERE o IS NOT n")
        .arg(pairs.join(QStringLiteral(" UNION ALL ")));
}

// The trigger that records one event on main's rows (see inventoryschema's history).
QString historyTrigger(const QString &event, const QString &row, const QString &kind, const QString &fields)
{
    return QStringLiteral(
               "CREATE TRIGGER history_%1 AFTER %2 ON main WHEN NOT EXISTS (SELECT 1 FROM history_writer WHERE mode = 1)\n"
               "BEGIN\n"
               "  INSERT INTO history_collect (row_id, kind, fields) SELECT %3.id, %4, j FROM (%5)\n"
               "    WHERE j IS NOT NULL AND EXISTS (SELECT 1 FROM history_writer WHERE mode = 2);\n"
               "  INSERT INTO history (at, who, kind, outside, row_id, fields)\n"
               "    SELECT datetime('now', 'localtime'), (SELECT who FROM history_writer), %4,\n"
               "           NOT EXISTS (SELECT 1 FROM history_writer), %3.id, j FROM (%5)\n"
               "    WHERE j IS NOT NULL AND NOT EXISTS (SELECT 1 FROM history_writer WHERE mode = 2);\n"
               "END;\n")
        .arg(event.toLower(), event, row, kind, fields);
}

} // namespace

// Plain SQL that every SQLite program runs (JSON is built into SQLite), so that the sqlite3
// tool's changes are recorded too.
QString additionsSql(int step)
{
    QString sql;
    if (step < 1) {
        sql += QStringLiteral(R"SQL(
CREATE TABLE velostok_meta (additions LONG NOT NULL);
INSERT INTO velostok_meta (additions) VALUES (0);
CREATE TABLE history (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  at DATETIME NOT NULL,
  who TEXT(30),
  kind SHORT NOT NULL,
  outside YESNO NOT NULL DEFAULT 0,
  row_id LONG,
  fields TEXT
);
CREATE INDEX history_row_id ON history (row_id);
CREATE TABLE history_rows (
  entry LONG NOT NULL,
  first_row LONG NOT NULL,
  last_row LONG NOT NULL,
  rows TEXT NOT NULL
);
CREATE INDEX history_rows_entry ON history_rows (entry);
CREATE TABLE history_writer (who TEXT, mode SHORT NOT NULL);
CREATE TABLE history_collect (row_id LONG, kind SHORT, fields TEXT);
)SQL");
        sql += historyTrigger(QStringLiteral("INSERT"), QStringLiteral("NEW"), QStringLiteral("1"), historyFields(nullptr, "NEW", true));
        sql += historyTrigger(QStringLiteral("UPDATE"), QStringLiteral("NEW"),
                              QStringLiteral("CASE WHEN OLD.deleted = 0 AND NEW.deleted <> 0 THEN 3 "
                                             "WHEN OLD.deleted <> 0 AND NEW.deleted = 0 THEN 4 ELSE 2 END"),
                              historyFields("OLD", "NEW", false));
        sql += historyTrigger(QStringLiteral("DELETE"), QStringLiteral("OLD"), QStringLiteral("5"), historyFields("OLD", nullptr, true));
        sql += QStringLiteral("UPDATE velostok_meta SET additions = 1;\n");
    }
    if (step < 2) {
        // The fitment index: rows whose compatibility text changed are marked by the triggers
        // and read again before the index is used; a null state makes the first use read all.
        // Every insert is marked: one that replaces a row (INSERT OR REPLACE) fires no delete.
        sql += QStringLiteral(R"SQL(
CREATE TABLE fitment (
  row_id LONG NOT NULL,
  make TEXT NOT NULL,
  model TEXT NOT NULL,
  year_from SHORT NOT NULL,
  year_to SHORT NOT NULL
);
CREATE INDEX fitment_car ON fitment (make, model, year_from);
CREATE INDEX fitment_row ON fitment (row_id);
CREATE TABLE fitment_dirty (row_id LONG NOT NULL);
CREATE TABLE fitment_state (makes TEXT, built_to LONG);
INSERT INTO fitment_state (makes) VALUES (NULL);
CREATE TRIGGER fitment_insert AFTER INSERT ON main BEGIN
  INSERT INTO fitment_dirty (row_id) VALUES (NEW.id);
END;
CREATE TRIGGER fitment_update AFTER UPDATE OF id, comment ON main
  WHEN OLD.comment IS NOT NEW.comment OR OLD.id <> NEW.id BEGIN
  INSERT INTO fitment_dirty (row_id) SELECT NEW.id UNION SELECT OLD.id;
END;
CREATE TRIGGER fitment_delete AFTER DELETE ON main WHEN OLD.comment IS NOT NULL BEGIN
  INSERT INTO fitment_dirty (row_id) VALUES (OLD.id);
END;
UPDATE velostok_meta SET additions = 2;
)SQL");
    }
    if (step < 3)
        sql += QStringLiteral("UPDATE velostok_meta SET additions = 3;\n");
    return sql;
}

int additionsOf(const SqliteConnection &db)
{
    if (db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'velostok_meta'")).toInt() == 0)
        return 0;
    return db.scalar(QStringLiteral("SELECT additions FROM velostok_meta")).toInt();
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
