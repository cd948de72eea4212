// The inventory file's schema in SQLite: tables main, models and users, the five stored queries
// (views) and the indexes the program's queries need, and the making of an empty inventory file.
#pragma once

#include <QString>
#include <optional>
#include <utility>

class SqliteConnection;

namespace sqliteschema {

// Marks an SQLite file as an inventory database ('VLST') of a known layout.
constexpr int ApplicationId = 0x564C5354;
constexpr int SchemaVersion = 1;

// Every statement that makes an empty inventory database, in order.
QString creationSql();

// The five stored queries: each lists the distinct values of one column, letter case folded,
// in ascending order with the null first.
QString storedQueriesSql();
QString distinctViewSql(const QString &view, const QString &table, const QString &column);
// (table, column) when a view's stored text is exactly such a distinct-values query.
std::optional<std::pair<QString, QString>> distinctViewSource(const QString &view, const QString &storedSql);

// The first user of a shop's new inventory: the administrator "Admin" with an empty password,
// so that the users window can be opened (leaving the password prompt empty) and the first
// password set. Plain SQL that both engines run.
QString firstUserSql();

// Makes an inventory database at path (which must not exist) with empty tables, then, when
// cataloguePath is not empty (a shop's new inventory), fills models from that tab-separated file
// (a heading line, then mark_name, model_name, first_date, last_date) and adds the first user.
// Throws DaoError.
void createDatabase(const QString &path, const QString &cataloguePath = QString());

// Loads a tab-separated catalogue into models on an open connection; returns the rows added.
int loadCatalogue(SqliteConnection &db, const QString &cataloguePath);

} // namespace sqliteschema
