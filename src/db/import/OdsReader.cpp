// OpenDocument spreadsheets.
#include "import/OdsReader.h"

#include "base/DaoError.h"

#include <QDateTime>
#include <QFile>
#include <zip.h>

struct OdsReader::Zip
{
    zip_t *archive = nullptr;
    zip_file_t *content = nullptr;
    qint64 read = 0;
    ~Zip()
    {
        if (content)
            zip_fclose(content);
        if (archive)
            zip_discard(archive);
    }
};

OdsReader::OdsReader(const QString &path) : mPath(path), mZip(std::make_unique<Zip>())
{
    int error = 0;
    mZip->archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!mZip->archive)
        throw DaoError(QStringLiteral("Файлът \"%1\" не е таблица на LibreOffice (ods) или е повреден.").arg(path));
    // The tables' names: one pass over the content first.
    start();
    for (QXmlStreamReader::TokenType t = nextToken(); t != QXmlStreamReader::EndDocument; t = nextToken())
        if (t == QXmlStreamReader::StartElement && mXml.name() == QLatin1String("table")
            && mXml.namespaceUri().contains(QLatin1String(":table:")))
            mNames << mXml.attributes().value(QLatin1String("urn:oasis:names:tc:opendocument:xmlns:table:1.0"), QLatin1String("name")).toString();
    if (mNames.isEmpty())
        fail(QStringLiteral("в него няма таблици"));
    select(0);
}

OdsReader::~OdsReader() = default;

void OdsReader::fail(const QString &why) const
{
    throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде прочетен: %2.").arg(mPath, why));
}

void OdsReader::start()
{
    if (mZip->content)
        zip_fclose(mZip->content);
    mZip->content = nullptr;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(mZip->archive, "content.xml", 0, &st) != 0)
        fail(QStringLiteral("липсва частта content.xml"));
    if ((st.valid & ZIP_STAT_SIZE) && qint64(st.size) > MaxPartBytes)
        fail(QStringLiteral("съдържанието е %1 MB след разархивиране (най-много %2 MB)").arg(qint64(st.size) >> 20).arg(MaxPartBytes >> 20));
    mZip->content = zip_fopen(mZip->archive, "content.xml", 0);
    if (!mZip->content)
        fail(QStringLiteral("съдържанието не може да бъде разархивирано"));
    mZip->read = 0;
    mXml.clear();
    mXml.setNamespaceProcessing(true);
    mTable = -1;
    mRow = 0;
    mRepeatsLeft = 0;
}

QXmlStreamReader::TokenType OdsReader::nextToken()
{
    for (;;) {
        const QXmlStreamReader::TokenType t = mXml.readNext();
        if (t != QXmlStreamReader::Invalid)
            return t;
        if (mXml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
            fail(QStringLiteral("съдържанието не е правилен XML (%1)").arg(mXml.errorString()));
        char chunk[64 * 1024];
        const zip_int64_t n = mZip->content ? zip_fread(mZip->content, chunk, sizeof chunk) : -1;
        if (n < 0)
            fail(QStringLiteral("съдържанието е повредено"));
        if (n == 0)
            fail(QStringLiteral("съдържанието свършва по средата"));
        mZip->read += n;
        if (mZip->read > MaxPartBytes)
            fail(QStringLiteral("съдържанието е над %1 MB след разархивиране").arg(MaxPartBytes >> 20));
        mXml.addData(QByteArray(chunk, int(n)));
    }
}

// Past the end of the element just started, fed as the content unpacks (the XML reader's own
// skip stops where the data it has ends).
void OdsReader::skip()
{
    for (int depth = 1; depth > 0;) {
        const QXmlStreamReader::TokenType t = nextToken();
        if (t == QXmlStreamReader::StartElement)
            ++depth;
        else if (t == QXmlStreamReader::EndElement)
            --depth;
        else if (t == QXmlStreamReader::EndDocument)
            fail(QStringLiteral("съдържанието свършва по средата"));
    }
}

void OdsReader::select(int sheet)
{
    if (sheet < 0 || sheet >= mNames.size())
        fail(QStringLiteral("таблицата не е намерена"));
    start();
    mSelected = sheet;
}

QVariant OdsReader::readCell(int *repeat)
{
    static const QString office = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
    static const QString table = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
    const QXmlStreamAttributes a = mXml.attributes();
    bool ok = false;
    *repeat = a.value(table, QLatin1String("number-columns-repeated")).toInt(&ok);
    if (!ok || *repeat < 1)
        *repeat = 1;
    const QStringView type = a.value(office, QLatin1String("value-type"));
    QVariant typed;
    if (type == QLatin1String("float") || type == QLatin1String("percentage") || type == QLatin1String("currency")) {
        const double d = a.value(office, QLatin1String("value")).toDouble(&ok);
        if (ok)
            typed = d;
    } else if (type == QLatin1String("date")) {
        const QString v = a.value(office, QLatin1String("date-value")).toString();
        QDateTime d = QDateTime::fromString(v, Qt::ISODate);
        if (!d.isValid())
            d = QDateTime(QDate::fromString(v, Qt::ISODate), QTime(0, 0));
        if (d.isValid())
            typed = d;
    } else if (type == QLatin1String("boolean")) {
        typed = a.value(office, QLatin1String("boolean-value")) == QLatin1String("true");
    }
    // The cell's text: its paragraphs on lines of their own, spaces and tabs as marked.
    QString text;
    int paragraphs = 0;
    for (int depth = 1; depth > 0;) {
        const QXmlStreamReader::TokenType t = nextToken();
        if (t == QXmlStreamReader::StartElement) {
            ++depth;
            const QStringView name = mXml.name();
            if (name == QLatin1String("p") && paragraphs++ > 0)
                text += QLatin1Char('\n');
            else if (name == QLatin1String("s")) {
                const int n = mXml.attributes().value(QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0"), QLatin1String("c")).toInt(&ok);
                text += QString(ok && n > 0 ? std::min(n, 1000) : 1, QLatin1Char(' '));
            } else if (name == QLatin1String("tab"))
                text += QLatin1Char('\t');
            else if (name == QLatin1String("line-break"))
                text += QLatin1Char('\n');
            else if (name == QLatin1String("annotation")) {
                skip(); // a comment is not the cell's text
                --depth;
            }
        } else if (t == QXmlStreamReader::EndElement) {
            --depth;
        } else if (t == QXmlStreamReader::Characters) {
            text += mXml.text();
            if (text.size() > (1 << 20))
                fail(QStringLiteral("клетка на ред %1 е по-дълга от %2 знака").arg(mRow).arg(1 << 20));
        }
    }
    if (typed.isValid())
        return typed;
    return text.isEmpty() ? QVariant() : QVariant(text);
}

bool OdsReader::next(QVariantList &cells)
{
    static const QString table = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
    if (mRepeatsLeft > 0) {
        --mRepeatsLeft;
        ++mRow;
        cells = mRepeated;
        return true;
    }
    cells.clear();
    for (;;) {
        const QXmlStreamReader::TokenType t = nextToken();
        if (t == QXmlStreamReader::EndDocument)
            return false;
        if (t == QXmlStreamReader::StartElement && mXml.namespaceUri() == table) {
            const QStringView name = mXml.name();
            if (name == QLatin1String("table")) {
                ++mTable;
                if (mTable > mSelected)
                    return false;
                if (mTable < mSelected)
                    skip();
            } else if (name == QLatin1String("table-row") && mTable == mSelected) {
                bool ok = false;
                qint64 repeat = mXml.attributes().value(table, QLatin1String("number-rows-repeated")).toLongLong(&ok);
                if (!ok || repeat < 1)
                    repeat = 1;
                QVariantList row;
                qsizetype column = 0;
                for (QXmlStreamReader::TokenType c = nextToken(); !(c == QXmlStreamReader::EndElement && mXml.name() == QLatin1String("table-row"));
                     c = nextToken()) {
                    if (c == QXmlStreamReader::EndDocument)
                        fail(QStringLiteral("съдържанието свършва по средата"));
                    if (c != QXmlStreamReader::StartElement)
                        continue;
                    if (mXml.name() == QLatin1String("table-cell") || mXml.name() == QLatin1String("covered-table-cell")) {
                        int times = 1;
                        const QVariant v = readCell(&times);
                        if (v.isValid()) {
                            if (column + times > 16384)
                                fail(QStringLiteral("ред %1 има повече от 16384 колони").arg(mRow + 1));
                            while (row.size() < column)
                                row.append(QVariant());
                            for (int i = 0; i < times; ++i)
                                row.append(v);
                        }
                        column += times;
                    } else {
                        skip();
                    }
                }
                if (row.isEmpty()) {
                    mRow += repeat; // empty rows, however many, give nothing
                    continue;
                }
                ++mRow;
                cells = row;
                if (repeat > 1) {
                    mRepeated = row;
                    mRepeatsLeft = repeat - 1;
                }
                return true;
            }
        }
    }
}
