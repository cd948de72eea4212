// One export file format: writes the rows of a selection, with a heading of its column names,
// to a file of its own making. Each format is one class beside this one; the statement's kind
// chooses among them (runExport).
#pragma once

#include <QByteArray>
#include <QString>

class ExportSelection;
class QFile;

class ExportWriter
{
public:
    virtual ~ExportWriter() = default;
    // Writes every row left in the selection to path (a new file, made here) and gives their
    // number. Raises DaoError when the file cannot be made or written; what was written of it
    // stays for the caller to drop.
    virtual int write(ExportSelection &selection, const QString &path) = 0;

protected:
    // For the formats written through QFile: open (truncated), write all of bytes, flush; each
    // raises DaoError naming the file.
    static void open(QFile &out);
    static void writeAll(QFile &out, const QByteArray &bytes);
    static void flush(QFile &out);
};
