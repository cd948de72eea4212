// The column mappings last used, one per set of headings: a file whose headings (compared as the
// column guess compares them) were seen before gets the fields chosen then. Kept in "import.ini"
// in the program folder, newest first, at most 100 sets.
#pragma once

#include <QStringList>

namespace ImportMappings {

// The fields last chosen for these headings; empty when none were kept (or the file is unreadable).
QStringList recall(const QStringList &headings);
// Keeps fields for these headings. A file that cannot be written costs only the memory.
void remember(const QStringList &headings, const QStringList &fields);

} // namespace ImportMappings
