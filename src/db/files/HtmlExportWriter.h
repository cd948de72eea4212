// The "HTML Export;" export: one UTF-8 HTML page titled after the statement's target, holding one
// table with a heading row of the column names; values as in the text file, escaped.
#pragma once

#include "files/ExportWriter.h"

#include <utility>

class HtmlExportWriter : public ExportWriter
{
public:
    explicit HtmlExportWriter(QString title) : mTitle(std::move(title)) {}
    int write(ExportSelection &selection, const QString &path) override;

private:
    QString mTitle;
};
