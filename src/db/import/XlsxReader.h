// Office Open XML workbooks (xlsx, xlsm): the sheets named in the workbook, their cells read as the
// sheet's XML streams out of the zip (never the whole sheet in memory). Shared, inline and rich
// strings are text; numbers in a date format are dates (the 1900 and the 1904 systems); a
// formula's cached value is its cell's value; booleans are bool.
#pragma once

#include "import/SheetReader.h"
#include "import/ZipXmlPart.h"

#include <QHash>
#include <functional>
#include <memory>

class XlsxReader : public SheetReader
{
public:
    // Raises for a file that is no readable workbook.
    explicit XlsxReader(const QString &path);
    // The same from a file's bytes in memory; name: the file as messages name it.
    XlsxReader(const QByteArray &bytes, const QString &name);
    ~XlsxReader() override;

    QStringList sheets() override { return mNames; }
    void select(int sheet) override;
    bool next(QVariantList &cells) override;
    qint64 row() const override { return mRow; }

    // The most any part may unpack to: a zip bomb is refused, not unpacked.
    static constexpr qint64 MaxPartBytes = ZipXmlPart::MaxBytes;

private:
    void load();
    // Streams a small part's XML through handle (one token at a time).
    void readPart(const QString &name, const std::function<void(QXmlStreamReader &)> &handle);
    [[noreturn]] void fail(const QString &why) const { mZip.fail(why); }
    QVariant cellValue(const QString &type, int style, const QString &value, const QString &inlineText) const;

    ZipXmlPart::Archive mZip;
    QStringList mNames;   // the sheets, in the workbook's order
    QStringList mTargets; // their parts
    QStringList mShared;  // the shared strings
    QList<bool> mDateStyles; // by cell style: a date format
    bool m1904 = false;

    std::unique_ptr<ZipXmlPart> mSheet;
    qint64 mRow = 0;
};
