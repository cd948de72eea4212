// The inventory schema on a PostgreSQL server: the same tables, columns, widths and stored
// queries as the SQLite file, with what the PostgreSQL dialect needs made in the database itself
// (the case-insensitive collation, jet_like(), each session's count of changes behind dataVersion,
// the write lock every write to a table waits for).
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>
#include <utility>

class PgConnection;

namespace pgschema {

// The advisory lock ('VLST') a writer that must exclude every other writer holds (a write batch,
// a post that numbers its row); every write to the inventory's tables waits for it, as every
// write to a file waits for SQLite's write lock.
constexpr qint64 WriteLockKey = 0x564C5354;

// The statements that make the schema in an empty database.
QString creationSql();
// Whether the connected database holds an inventory; its schema version in *version.
bool isInventory(PgConnection &conn, int *version);
// The additions to the first layout, from the one after step (0: none) to the newest, each step
// ending with the record of its number; and the additions an inventory has.
QString additionsSql(int step);
int additionsOf(PgConnection &conn);
// The (table, column) a stored query lists the distinct values of, from the note the schema
// leaves on each of its views.
std::optional<std::pair<QString, QString>> distinctOf(const QString &viewComment);
// Makes the schema (and loads the catalogue of makes and models from a tab-separated file, or
// from an inventory file such as the template, when one is named) in the connected database,
// which must hold no inventory yet.
void createInventory(PgConnection &conn, const QString &cataloguePath);

} // namespace pgschema
