// An inventory copied row by row from one engine's database into another's: a server's
// inventory written as a file.
#pragma once

class DbEngine;

namespace inventorycopy {

// Copies every row of the inventory's tables of from's open database, all from one snapshot,
// into to's open new database (its tables emptied first), in a bulk load of to's. Raises
// DaoError; to then holds nothing of it committed.
void copyInventory(DbEngine &from, DbEngine &to);

} // namespace inventorycopy
