// The inventory file's schema in SQLite: tables main, models and users, the five stored queries
// (views) and the indexes the program's queries need, the making of an empty inventory file, and
// the field types its declared column types stand for.
#pragma once

#include "engine/DbEngine.h"

class SqliteConnection;

#include <QString>
#include <optional>
#include <utility>

namespace sqliteschema {

// Every statement that makes an empty inventory database, in order.
QString creationSql();

// The additions to the first layout, from the one after step (0: none) to the newest, each step
// ending with the record of its number.
QString additionsSql(int step);
// The additions recorded in an open inventory file (0 when it has none).
int additionsOf(const SqliteConnection &db);

// The five stored queries: each lists the distinct values of one column, letter case folded,
// in ascending order with the null first.
QString storedQueriesSql();
QString distinctViewSql(const QString &view, const QString &table, const QString &column);
// (table, column) when a view's stored text is exactly such a distinct-values query.
std::optional<std::pair<QString, QString>> distinctViewSource(const QString &view, const QString &storedSql);

// A column as the dataset layer sees it, from its declared type (empty: none, as an expression
// has); an integer primary key of a table is a Counter.
ColumnDecl columnOf(const QString &name, const QString &declType, bool primaryKey);

// Makes an inventory database at path (which must not exist) with empty tables, then, when
// cataloguePath is not empty (a shop's new inventory), fills models from that tab-separated file
// and adds the first user. Throws DaoError.
void createDatabase(const QString &path, const QString &cataloguePath = QString());

} // namespace sqliteschema
