// Delimited text files.
#include "import/DelimitedText.h"

#include "base/DaoError.h"
#include "base/TextCodec.h"

#include <array>

namespace delimitedtext {

namespace {

// How many records of text split into the same number (above one) of cells by delimiter as the
// first record does, quotes heeded.
int evenRecords(QStringView text, QChar delimiter)
{
    int first = -1;
    int even = 0;
    int cells = 1;
    int records = 0;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size() && records < 50; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == delimiter)
            ++cells;
        else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            if (first < 0)
                first = cells;
            if (cells > 1 && cells == first)
                ++even;
            cells = 1;
            ++records;
        }
    }
    return even;
}

} // namespace

Format detect(QByteArrayView head)
{
    if (head.contains('\0'))
        throw DaoError(QStringLiteral("Файлът не е текст в UTF-8 или Windows-1251 (може би е UTF-16 или не е текстов файл)."));
    Format f;
    QString text;
    QStringDecoder utf8(QStringDecoder::Utf8);
    text = utf8.decode(head);
    if (utf8.hasError()) {
        f.encoding = Encoding::Cp1251;
        text = TextCodec::decodeCp1251(head);
    }
    // Ties go to the first: a TAB is never part of a value, a ";" seldom (a "," is the decimal
    // separator of Bulgarian numbers).
    int best = 0;
    for (const QChar d : {QChar(QLatin1Char('\t')), QChar(QLatin1Char(';')), QChar(QLatin1Char(','))}) {
        const int even = evenRecords(text, d);
        if (even > best) {
            best = even;
            f.delimiter = d;
        }
    }
    return f;
}

} // namespace delimitedtext

DelimitedTextReader::DelimitedTextReader(const QString &path, delimitedtext::Format format)
    : mFile(path), mDevice(&mFile), mFormat(format)
{
    if (!mFile.open(QIODevice::ReadOnly))
        throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде отворен: %2").arg(path, mFile.errorString()));
}

DelimitedTextReader::DelimitedTextReader(QIODevice *device, delimitedtext::Format format) : mDevice(device), mFormat(format)
{
}

QStringList DelimitedTextReader::sheets()
{
    return {QString()};
}

void DelimitedTextReader::select(int)
{
    if (mStarted && !mDevice->seek(0))
        fail(QStringLiteral("файлът не може да бъде прочетен отначало"));
    mUtf8.resetState();
    mText.clear();
    mPos = 0;
    mEnd = false;
    mStarted = false;
    mRow = 0;
}

void DelimitedTextReader::fail(const QString &why) const
{
    throw DaoError(QStringLiteral("Ред %1 на файла: %2.").arg(mRow + 1).arg(why));
}

// The next part of the file, decoded, after what is still to be read.
bool DelimitedTextReader::fill()
{
    if (mEnd)
        return false;
    if (mPos > 0) {
        mText.remove(0, mPos);
        mPos = 0;
    }
    const QByteArray bytes = mDevice->read(64 * 1024);
    if (bytes.isEmpty()) {
        mEnd = true;
        if (mFormat.encoding == delimitedtext::Encoding::Utf8) {
            mText += mUtf8.decode(QByteArrayView()); // an unfinished character at the very end
            if (mUtf8.hasError())
                fail(QStringLiteral("файлът завършва с непълен знак в UTF-8"));
        }
        return mPos < mText.size();
    }
    if (mFormat.encoding == delimitedtext::Encoding::Utf8) {
        mText += mUtf8.decode(bytes);
        if (mUtf8.hasError())
            fail(QStringLiteral("текстът не е в UTF-8; изберете кодировка Windows-1251"));
    } else {
        mText += TextCodec::decodeCp1251(bytes);
    }
    if (!mStarted) {
        mStarted = true;
        if (mText.startsWith(QChar(0xFEFF)))
            mPos = 1;
    }
    return mPos < mText.size() || fill();
}

bool DelimitedTextReader::next(QVariantList &cells)
{
    cells.clear();
    if (mPos >= mText.size() && !fill())
        return false;
    QString cell;
    bool quoted = false;   // inside quotes
    bool wasQuoted = false; // this cell began with a quote
    const auto push = [&] {
        cells.append(cell.isEmpty() ? QVariant() : QVariant(cell));
        cell.clear();
        wasQuoted = false;
    };
    for (;;) {
        if (mPos >= mText.size() && !fill()) {
            if (quoted)
                fail(QStringLiteral("кавичките на клетка %1 не са затворени до края на файла").arg(cells.size() + 1));
            push();
            ++mRow;
            return true;
        }
        const QChar c = mText.at(mPos++);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (mPos >= mText.size())
                    fill();
                if (mPos < mText.size() && mText.at(mPos) == QLatin1Char('"')) {
                    cell += c;
                    ++mPos;
                } else {
                    quoted = false;
                }
            } else {
                cell += c;
            }
        } else if (c == mFormat.delimiter) {
            push();
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r')) {
                if (mPos >= mText.size())
                    fill();
                if (mPos < mText.size() && mText.at(mPos) == QLatin1Char('\n'))
                    ++mPos;
            }
            push();
            ++mRow;
            return true;
        } else if (c == QLatin1Char('"') && cell.isEmpty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
        } else {
            cell += c;
        }
        if (cell.size() > delimitedtext::MaxCell)
            fail(QStringLiteral("клетка %1 е по-дълга от %2 знака").arg(cells.size() + 1).arg(delimitedtext::MaxCell));
    }
}
