// The five stored queries of an inventory, whatever engine holds it: each lists the distinct
// values of one column, letter case folded.
#pragma once

namespace storedqueries {

struct StoredQuery
{
    const char *name;
    const char *table;
    const char *column;
};

inline constexpr StoredQuery all[] = {{"unit_name", "main", "unit_name"},
                                      {"deliver_name", "main", "deliver_name"},
                                      {"unit_number", "main", "unit_number"},
                                      {"Mark", "models", "mark_name"},
                                      {"comment", "main", "comment"}};

} // namespace storedqueries
