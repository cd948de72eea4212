// Delimited text files (csv, tsv, txt): the encoding and the delimiter told from the first bytes,
// and the reader. A cell in double quotes may hold the delimiter, line breaks and doubled quotes;
// records end with CR LF, LF or CR, the last one also without.
#pragma once

#include "import/SheetReader.h"

#include <QByteArrayView>
#include <QFile>
#include <QStringDecoder>

namespace delimitedtext {

enum class Encoding { Utf8, Cp1251 };

struct Format
{
    Encoding encoding = Encoding::Utf8;
    QChar delimiter = QLatin1Char(';');
    bool operator==(const Format &) const = default;
};

// From the first bytes of a file: UTF-8 (with or without its byte order mark) when they are valid
// UTF-8, else code page 1251; the delimiter among TAB, ";" and "," that splits the first records
// into the same number of cells most often. Raises for bytes that are no such text (NUL bytes:
// UTF-16, or not text at all).
Format detect(QByteArrayView head);

// The longest cell read, in characters: an inventory's longest field holds a few hundred.
constexpr qsizetype MaxCell = 1 << 20;

} // namespace delimitedtext

class DelimitedTextReader : public SheetReader
{
public:
    // Reads path (raises when it cannot be opened) in format.
    DelimitedTextReader(const QString &path, delimitedtext::Format format);
    // Reads the bytes of device (not owned, open for reading) in format.
    DelimitedTextReader(QIODevice *device, delimitedtext::Format format);

    QStringList sheets() override;
    void select(int sheet) override;
    bool next(QVariantList &cells) override;
    qint64 row() const override { return mRow; }

private:
    bool fill();
    [[noreturn]] void fail(const QString &why) const;

    QFile mFile;
    QIODevice *mDevice;
    delimitedtext::Format mFormat;
    QStringDecoder mUtf8{QStringDecoder::Utf8};
    QString mText; // decoded, not yet read from mPos on
    qsizetype mPos = 0;
    bool mEnd = false;
    bool mStarted = false;
    qint64 mRow = 0;
};
