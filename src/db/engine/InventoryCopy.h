// An inventory copied row by row from one engine's database into another's: a server's
// inventory written as a file.
#pragma once

#include <QtGlobal>
#include <functional>

class DbEngine;

namespace inventorycopy {

// Copies every row of the inventory's tables of from's open database, all from one snapshot,
// into to's open new database (its tables emptied first), in a bulk load of to's. Raises
// DaoError; to then holds nothing of it committed. progress, when given, is told every few
// thousand rows and after each part of the load's end, in steps of which the rows are two thirds.
void copyInventory(DbEngine &from, DbEngine &to, const std::function<void(qint64 done, qint64 total)> &progress = {});

} // namespace inventorycopy
