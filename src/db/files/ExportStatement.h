// The export statement the dataset composes and the connection runs:
//   Select  [a], [b] INTO [target] IN "database"[driver] FROM [source]  WHERE filter ;
// parsed into its parts, and run: the rows of the source that the filter selects, the listed
// columns, written by the driver's kind ("Text;" a CSV file, "HTML Export;" one HTML table,
// "Excel …;" an xlsx worksheet named after the target) to a temporary file beside the
// destination, renamed into place when complete.
#pragma once

#include <QString>
#include <QStringList>

class DbEngine;

struct ExportStatement
{
    enum Kind { Text, Html, Spreadsheet };

    QStringList columns; // as named, without brackets; empty for "*"
    QString target;      // INTO
    QString database;    // IN: a folder (text, HTML) or the workbook's path
    QString driver;      // "Text;", "HTML Export;", "Excel 3.0;" …
    QString source;      // FROM
    QString filter;      // after WHERE; empty without one
    Kind kind = Text;

    // Raises DaoError for a text that is not such a statement or names an unknown driver.
    static ExportStatement parse(const QString &sql);
    // The file the statement names: the folder and the target for HTML, the same with each "#" a
    // "." again for text (so a "#" of the file's own name cannot be told from a dot), the
    // workbook's path for a spreadsheet.
    QString outputPath() const;
};

// Runs the statement on the engine's open database, writing to path (the statement's
// outputPath() when empty); the number of rows written. Raises DaoError (FilterError for the
// filter) and leaves an existing file of that name as it was.
int runExport(DbEngine &engine, const ExportStatement &statement, const QString &path = QString());
