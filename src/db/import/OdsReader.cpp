// OpenDocument spreadsheets.
#include "import/OdsReader.h"

#include "base/DaoError.h"

#include <QDateTime>

OdsReader::OdsReader(const QString &path) : mZip(path)
{
    load();
}

OdsReader::OdsReader(const QByteArray &bytes, const QString &name) : mZip(bytes, name)
{
    load();
}

void OdsReader::load()
{
    if (!mZip.isOpen())
        throw DaoError(QStringLiteral("Файлът \"%1\" не е таблица на LibreOffice (ods) или е повреден.").arg(mZip.name()));
    // The tables' names: one pass over the content first.
    start();
    for (QXmlStreamReader::TokenType t = mContent->next(); t != QXmlStreamReader::EndDocument; t = mContent->next())
        if (t == QXmlStreamReader::StartElement && xml().name() == QLatin1String("table")
            && xml().namespaceUri().contains(QLatin1String(":table:")))
            mNames << xml().attributes().value(QLatin1String("urn:oasis:names:tc:opendocument:xmlns:table:1.0"), QLatin1String("name")).toString();
    if (mNames.isEmpty())
        fail(QStringLiteral("в него няма таблици"));
    select(0);
}

OdsReader::~OdsReader() = default;

void OdsReader::start()
{
    mContent.reset(); // one part open at a time
    mContent = std::make_unique<ZipXmlPart>(mZip, QStringLiteral("content.xml"), ZipXmlPart::Subject{QStringLiteral("съдържанието"), true});
    mTable = -1;
    mRow = 0;
    mRepeatsLeft = 0;
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
    const QXmlStreamAttributes a = xml().attributes();
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
        const QXmlStreamReader::TokenType t = mContent->next();
        if (t == QXmlStreamReader::StartElement) {
            ++depth;
            const QStringView name = xml().name();
            if (name == QLatin1String("p") && paragraphs++ > 0)
                text += QLatin1Char('\n');
            else if (name == QLatin1String("s")) {
                const int n = xml().attributes().value(QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0"), QLatin1String("c")).toInt(&ok);
                text += QString(ok && n > 0 ? std::min(n, 1000) : 1, QLatin1Char(' '));
            } else if (name == QLatin1String("tab"))
                text += QLatin1Char('\t');
            else if (name == QLatin1String("line-break"))
                text += QLatin1Char('\n');
            else if (name == QLatin1String("annotation")) {
                mContent->skip(); // a comment is not the cell's text
                --depth;
            }
        } else if (t == QXmlStreamReader::EndElement) {
            --depth;
        } else if (t == QXmlStreamReader::Characters) {
            text += xml().text();
        }
        // Marked spaces too: a few bytes of XML stand for a thousand of them.
        if (text.size() > (1 << 20))
            fail(QStringLiteral("клетка на ред %1 е по-дълга от %2 знака").arg(mRow + 1).arg(1 << 20));
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
    if (!mContent) // a select that failed
        return false;
    for (;;) {
        const QXmlStreamReader::TokenType t = mContent->next();
        if (t == QXmlStreamReader::EndDocument)
            return false;
        if (t == QXmlStreamReader::StartElement && xml().namespaceUri() == table) {
            const QStringView name = xml().name();
            if (name == QLatin1String("table")) {
                ++mTable;
                if (mTable > mSelected)
                    return false;
                if (mTable < mSelected)
                    mContent->skip();
            } else if (name == QLatin1String("table-row") && mTable == mSelected) {
                bool ok = false;
                qint64 repeat = xml().attributes().value(table, QLatin1String("number-rows-repeated")).toLongLong(&ok);
                if (!ok || repeat < 1)
                    repeat = 1;
                QVariantList row;
                qsizetype column = 0;
                for (QXmlStreamReader::TokenType c = mContent->next(); !(c == QXmlStreamReader::EndElement && xml().name() == QLatin1String("table-row"));
                     c = mContent->next()) {
                    if (c == QXmlStreamReader::EndDocument)
                        fail(QStringLiteral("съдържанието свършва по средата"));
                    if (c != QXmlStreamReader::StartElement)
                        continue;
                    if (xml().name() == QLatin1String("table-cell") || xml().name() == QLatin1String("covered-table-cell")) {
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
                        mContent->skip();
                    }
                }
                if (row.isEmpty()) {
                    mRow += repeat; // empty rows, however many, give nothing
                    continue;
                }
                if (mRow + repeat > MaxRows) // a row repeated beyond any sheet's end
                    fail(QStringLiteral("таблицата има повече от %1 реда").arg(MaxRows));
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
