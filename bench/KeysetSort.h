// The one-column keyset sort the dataset layer used to have, kept here as the benchmark's
// reference for ApplySort: orders the ids of a row set by one column with one scan in id order,
// equal values grouped, the distinct values sorted once, the rows placed by counting.
// The order is the engine's own for "ORDER BY col [COLLATE NOCASE] [DESC], rowid": nulls, then
// numbers, then texts, then blobs (reversed for DESC), equal values in ascending id order.
#pragma once

#include <QtGlobal>
#include <vector>

class SqliteStatement;

// st yields (rowid, value) in ascending rowid order. foldCase compares texts as the NOCASE
// collation of Velostok's connections does; otherwise byte by byte.
std::vector<qint64> sortKeysetByColumn(SqliteStatement &st, bool foldCase, bool descending);
