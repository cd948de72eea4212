// The export statement's grammar, both ways: the text a dataset composes and the connection runs,
//   Select  [a], [b] INTO [target] IN "database"[driver] FROM [source]  WHERE filter ;
// and its parts as parsed from that text. The driver's kind chooses the file: "Text;" a CSV
// file, "HTML Export;" one HTML table, "Excel …;" an xlsx worksheet named after the target.
// runExport (ExportRun.h) writes it.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

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

    // ---- composing. A dataset's field, in field order, and whether its column is exported.
    struct Field
    {
        QString name;
        bool exported = true;
    };
    // "*" for all columns; else each exported field after one blank, with each dot-separated
    // part of its name in brackets when asked, followed by "," unless it is the dataset's last
    // field: " [a], [b].[c]" (a "," left by an unexported last field is dropped).
    static QString columnList(const std::vector<Field> &fields, bool all, bool brackets);
    // The statements over source with the columns of columnList; the filter, unless empty,
    // after " WHERE ". A folder is written as given, ending in its separator, "." without one.
    // The spreadsheet's target is the sheet, its database the whole fileName.
    static QString composeSpreadsheet(const QString &columns, const QString &fileName, const QString &sheet, int version,
                                      const QString &source, const QString &filter);
    // The target is the file's name.
    static QString composeHtml(const QString &columns, const QString &fileName, const QString &source, const QString &filter);
    // The target is the file's name with each "." a "#"; raises DaoError when fileName names no file.
    static QString composeText(const QString &columns, const QString &fileName, const QString &source, const QString &filter);
    // "Excel 3.0;" for 3, 4.0 for 4, 5.0 for 5, 8.0 for anything else.
    static QString spreadsheetDriver(int version);
};
