// The SQLite inventory schema and the making of empty inventory files.
#include "sqlite/SqliteSchema.h"

#include "base/DaoError.h"
#include "sqlite/SqliteConnection.h"
#include "engine/StoredQueries.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

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
        .arg(ApplicationId)
        .arg(SchemaVersion)
        + storedQueriesSql();
}

namespace {
using storedqueries::StoredQuery;
constexpr auto &storedQueries = storedqueries::all;

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

int loadCatalogue(SqliteConnection &db, const QString &cataloguePath)
{
    QFile f(cataloguePath);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        throw DaoError(QStringLiteral("Каталогът \"%1\" не може да бъде прочетен.").arg(cataloguePath));
    QTextStream in(&f);
    in.setEncoding(QStringConverter::Utf8);
    in.readLine(); // heading
    SqliteStatement ins = db.prepare(QStringLiteral(
        "INSERT INTO models (mark_name, model_name, first_date, last_date) VALUES (?, ?, ?, ?)"));
    db.exec(QStringLiteral("BEGIN"));
    int added = 0;
    int lineNo = 1;
    try {
        while (!in.atEnd()) {
            const QString line = in.readLine();
            ++lineNo;
            if (line.trimmed().isEmpty())
                continue;
            const QStringList cells = line.split(QLatin1Char('\t'));
            if (cells.size() != 4 || cells[0].size() > 20 || cells[1].size() > 30)
                throw DaoError(QStringLiteral("Грешен ред %1 в каталога \"%2\".").arg(lineNo).arg(cataloguePath));
            ins.reset();
            ins.bind(1, cells[0]);
            ins.bind(2, cells[1]);
            ins.bind(3, cells[2].isEmpty() ? QVariant() : QVariant(cells[2].toLongLong()));
            ins.bind(4, cells[3].isEmpty() ? QVariant() : QVariant(cells[3].toLongLong()));
            ins.step();
            ++added;
        }
        db.exec(QStringLiteral("COMMIT"));
    } catch (...) {
        db.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    return added;
}

QString firstUserSql()
{
    return QStringLiteral("INSERT INTO users (user_name, pass_stars, password, comment) "
                          "VALUES ('Admin', '', '', 'Администратор: сменете паролата')");
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
        db.exec(firstUserSql());
    }
    db.exec(QStringLiteral("VACUUM"));
    db.close();
}

} // namespace sqliteschema
