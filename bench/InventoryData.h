// Makes inventory files of a given size with realistic rows (Bulgarian names, catalogue numbers,
// suppliers, compatibility texts) for the benchmarks; a file already made is reused.
#pragma once

#include <QString>

namespace benchdata {

// The path of an inventory of rows rows under dir, made if it is not there yet.
QString inventory(const QString &dir, int rows);

} // namespace benchdata
