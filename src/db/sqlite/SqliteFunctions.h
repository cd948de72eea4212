// The functions and collation Velostok registers on each of its own SQLite connections.
// Nothing stored in a database file depends on them, so other SQLite programs can still
// read and write an inventory file.
#pragma once

struct sqlite3;

// Replaces the collation NOCASE by one that folds letter case in every script (so that the
// stored queries and Velostok's filters and sorts fold Cyrillic), and adds
// jet_like(pattern, value): 1 when value matches the Jet pattern, 0 when it does not, NULL when
// either is NULL. An invalid pattern raises an SQL error naming the problem.
// Throws DaoError when SQLite refuses (e.g. while statements of the connection are running).
void registerVelostokFunctions(sqlite3 *db);
