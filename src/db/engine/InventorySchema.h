// What an inventory is, whatever engine holds it: its marks, its tables, its first user, its
// stored queries and the tab-separated catalogue of makes and models a new one starts from.
#pragma once

#include <QString>
#include <QVariant>
#include <functional>

namespace inventoryschema {

// Marks a database as an inventory ('VLST') of a known layout. SchemaVersion is the layout every
// copy of the program checks and refuses when it is newer than its own; it changes only for a
// change that older copies could not live with.
constexpr int ApplicationId = 0x564C5354;
constexpr int SchemaVersion = 1;
// Additions to that layout (new tables, triggers), made step by step on opening: older copies of
// the program open an inventory with more of them and do not use them. Kept in velostok_meta.
// 1: the change history; 2: the fitment index of the compatibility texts; 3: the server's
// notices of commits (nothing in the file, whose engine counts them itself).
constexpr int AdditionsStep = 3;
constexpr int CommitNoticeStep = 3;

// The inventory's tables, in the order a copy of it writes them; the history's follow where the
// database has them.
inline constexpr const char *Tables[] = {"main", "models", "users"};

// ---- the change history of main's rows
// An entry is one change of one row (row_id set, fields {"column": [old, new], ...}), or one
// operation on many rows (row_id null, its rows in history_rows: one line per row, "id TAB kind
// TAB fields" in id order, in parts of consecutive transactions). Written in the transaction of
// the change: by triggers for single rows, which take who and what to do from the one row of
// history_writer that the program's transaction holds (never committed, so never seen by another
// connection): none, a change by another program (outside, who unknown); Record, the program's
// own; Quiet, the program records it itself; Collect, the rows are gathered in history_collect
// for the program to fold into one operation before it commits.
// Revert: old values written back from an entry; Restore: a purged row brought back as a new one.
enum class ChangeKind {
    New = 1, Change = 2, DeleteMark = 3, Undelete = 4, Purge = 5, Renumbering = 6, Paste = 7, Import = 8,
    Revert = 9, Restore = 10
};
enum class WriterMode { Record = 0, Quiet = 1, Collect = 2 };
// main's columns a history entry keeps, in table order; a change of a row leaves out
// last_modified (the entry has its own time).
inline constexpr const char *HistoryColumns[] = {"user_id", "unit_number", "unit_name", "quantity", "price",
                                                 "second_price", "deliver_name", "delivery_country",
                                                 "delivery_unit_number", "comment", "modifier", "locked",
                                                 "deleted", "last_modified", "created"};

// The five stored queries: each lists the distinct values of one column, letter case folded.
struct StoredQuery
{
    const char *name;
    const char *table;
    const char *column;
};

inline constexpr StoredQuery StoredQueries[] = {{"unit_name", "main", "unit_name"},
                                                {"deliver_name", "main", "deliver_name"},
                                                {"unit_number", "main", "unit_number"},
                                                {"Mark", "models", "mark_name"},
                                                {"comment", "main", "comment"}};

// The first user of a shop's new inventory: the administrator "Admin" with an empty password,
// so that the users window can be opened (leaving the password prompt empty) and the first
// password set. Plain SQL that every engine runs.
QString firstUserSql();

// One make and model of the catalogue; the years are null when not given.
struct CatalogueRow
{
    QString mark;
    QString model;
    QVariant firstDate;
    QVariant lastDate;
};

// The statement that adds a catalogue row to models, its values bound in CatalogueRow's order.
QString catalogueInsertSql();

// Reads a tab-separated catalogue (a heading line, then mark_name, model_name, first_date,
// last_date; blank lines skipped) and hands each row to each, in order. Raises DaoError for a
// file that cannot be read, before any row, and for a wrong line, when it comes to it.
void readCatalogue(const QString &path, const std::function<void(const CatalogueRow &)> &each);

} // namespace inventoryschema
