// OpenDocument spreadsheets (ods): the tables of content.xml, read as it streams out of the zip.
// Cells take their typed value (float, percentage, currency, date, boolean), else their text;
// repeated rows and cells are repeated, except the empty ones a sheet ends with.
#pragma once

#include "import/SheetReader.h"
#include "import/ZipXmlPart.h"

#include <memory>

class OdsReader : public SheetReader
{
public:
    // Raises for a file that is no readable spreadsheet.
    explicit OdsReader(const QString &path);
    // The same from a file's bytes in memory; name: the file as messages name it.
    OdsReader(const QByteArray &bytes, const QString &name);
    ~OdsReader() override;

    QStringList sheets() override { return mNames; }
    void select(int sheet) override;
    bool next(QVariantList &cells) override;
    qint64 row() const override { return mRow; }

    static constexpr qint64 MaxPartBytes = ZipXmlPart::MaxBytes;
    // The rows a sheet may have, as in LibreOffice and Excel.
    static constexpr qint64 MaxRows = 1048576;

private:
    void load();
    void start();
    QXmlStreamReader &xml() { return mContent->xml(); }
    [[noreturn]] void fail(const QString &why) const { mZip.fail(why); }
    // Reads one table:table-cell (at its start element): its value and how often it repeats.
    QVariant readCell(int *repeat);

    ZipXmlPart::Archive mZip;
    QStringList mNames;
    std::unique_ptr<ZipXmlPart> mContent;
    int mTable = -1;     // the table being read
    int mSelected = 0;
    qint64 mRow = 0;
    QVariantList mRepeated; // a row still to be given again
    qint64 mRepeatsLeft = 0;
};
