// What an inventory is, whatever engine holds it: its marks, its tables, its first user, its
// stored queries and the tab-separated catalogue of makes and models a new one starts from.
#pragma once

#include <QString>
#include <QVariant>
#include <functional>

namespace inventoryschema {

// Marks a database as an inventory ('VLST') of a known layout.
constexpr int ApplicationId = 0x564C5354;
constexpr int SchemaVersion = 1;

// The inventory's tables, in the order a copy of it writes them.
inline constexpr const char *Tables[] = {"main", "models", "users"};

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
