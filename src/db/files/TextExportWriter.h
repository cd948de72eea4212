// The "Text;" export: a comma-separated file (UTF-8, CR LF), a heading line of the column names,
// text in double quotes, other values bare and quoted only where they hold a separator.
#pragma once

#include "files/ExportWriter.h"

class TextExportWriter : public ExportWriter
{
public:
    int write(ExportSelection &selection, const QString &path) override;
};
