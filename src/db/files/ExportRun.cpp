// An export statement run: its selection, its kind's writer, the file replaced when complete.
#include "files/ExportRun.h"

#include "files/ExportSelection.h"
#include "base/FileReplacement.h"
#include "files/HtmlExportWriter.h"
#include "files/SpreadsheetExportWriter.h"
#include "files/TextExportWriter.h"

#include <QFileInfo>
#include <memory>

namespace {

std::unique_ptr<ExportWriter> writerFor(const ExportStatement &statement)
{
    switch (statement.kind) {
    case ExportStatement::Text:
        return std::make_unique<TextExportWriter>();
    case ExportStatement::Html:
        return std::make_unique<HtmlExportWriter>(statement.target);
    case ExportStatement::Spreadsheet:
        return std::make_unique<SpreadsheetExportWriter>(statement.target);
    }
    Q_UNREACHABLE();
}

} // namespace

int runExport(DbEngine &engine, const ExportStatement &statement, const QString &file)
{
    const QString path = QFileInfo(file.isEmpty() ? statement.outputPath() : file).absoluteFilePath();
    ExportSelection selection(engine, statement); // a bad filter or column fails before any file is made
    const std::unique_ptr<ExportWriter> writer = writerFor(statement);
    FileReplacement replacement(path);
    const int rows = writer->write(selection, replacement.temporaryPath());
    replacement.commit();
    return rows;
}
