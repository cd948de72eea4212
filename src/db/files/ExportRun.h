// Running an export statement: the rows of the source that the filter selects, the listed
// columns, written by the writer of the statement's kind to a temporary file beside the
// destination, renamed into place when complete.
#pragma once

#include "files/ExportStatement.h"

#include <QString>

class DbEngine;

// Runs the statement on the engine's open database, writing to path (the statement's
// outputPath() when empty); the number of rows written. Raises DaoError (FilterError for the
// filter) and leaves an existing file of that name as it was.
int runExport(DbEngine &engine, const ExportStatement &statement, const QString &path = QString());
