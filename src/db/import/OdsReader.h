// OpenDocument spreadsheets (ods): the tables of content.xml, read as it streams out of the zip.
// Cells take their typed value (float, percentage, currency, date, boolean), else their text;
// repeated rows and cells are repeated, except the empty ones a sheet ends with.
#pragma once

#include "import/SheetReader.h"

#include <QXmlStreamReader>
#include <memory>

class OdsReader : public SheetReader
{
public:
    // Raises for a file that is no readable spreadsheet.
    explicit OdsReader(const QString &path);
    ~OdsReader() override;

    QStringList sheets() override { return mNames; }
    void select(int sheet) override;
    bool next(QVariantList &cells) override;
    qint64 row() const override { return mRow; }

    static constexpr qint64 MaxPartBytes = qint64(1) << 30;

private:
    struct Zip;
    void start();
    QXmlStreamReader::TokenType nextToken();
    void skip();
    [[noreturn]] void fail(const QString &why) const;
    // Reads one table:table-cell (at its start element): its value and how often it repeats.
    QVariant readCell(int *repeat);

    QString mPath;
    std::unique_ptr<Zip> mZip;
    QStringList mNames;
    QXmlStreamReader mXml;
    int mTable = -1;     // the table being read
    int mSelected = 0;
    qint64 mRow = 0;
    QVariantList mRepeated; // a row still to be given again
    qint64 mRepeatsLeft = 0;
};
