// Office Open XML workbooks.
#include "import/XlsxReader.h"

#include "base/DaoError.h"

#include <QDateTime>
#include <QFile>
#include <cmath>
#include <zip.h>

namespace {

// Built-in number formats that show dates or times.
bool builtInDate(int id)
{
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

// A format code shows a date or time when, outside quoted text and [...] parts, it has one of
// the letters of days, months, years, hours or seconds.
bool dateFormat(const QString &code)
{
    bool quoted = false;
    int bracket = 0;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (c == QLatin1Char('\\')) {
            ++i;
            continue;
        }
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('['))
            ++bracket;
        else if (!quoted && c == QLatin1Char(']'))
            bracket = std::max(0, bracket - 1);
        else if (!quoted && bracket == 0 && QStringLiteral("dmyhsDMYHS").contains(c))
            return true;
    }
    return false;
}

// A column's index from a cell reference ("C7" is 2); -1 when it has none.
int columnOf(QStringView ref)
{
    int column = 0;
    qsizetype i = 0;
    for (; i < ref.size() && ref.at(i).isLetter(); ++i)
        column = column * 26 + (ref.at(i).toUpper().unicode() - 'A' + 1);
    return i == 0 || column > 16384 ? -1 : column - 1;
}

QDateTime fromSerial(double serial, bool system1904)
{
    // The 1900 system counts a 29 February 1900 that never was.
    const QDate base = system1904 ? QDate(1904, 1, 1) : serial < 61 ? QDate(1899, 12, 31) : QDate(1899, 12, 30);
    const double days = std::floor(serial);
    const qint64 seconds = qint64(std::llround((serial - days) * 86400.0));
    return QDateTime(base.addDays(qint64(days)), QTime(0, 0)).addSecs(seconds);
}

} // namespace

struct XlsxReader::Zip
{
    zip_t *archive = nullptr;
    ~Zip()
    {
        if (archive)
            zip_discard(archive);
    }
};

struct XlsxReader::Part
{
    zip_file_t *file = nullptr;
    QString name;
    qint64 read = 0;
    ~Part()
    {
        if (file)
            zip_fclose(file);
    }
};

XlsxReader::XlsxReader(const QString &path) : mPath(path), mZip(std::make_unique<Zip>())
{
    int error = 0;
    mZip->archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!mZip->archive)
        throw DaoError(QStringLiteral("Файлът \"%1\" не е работна книга на Excel (xlsx) или е повреден.").arg(path));

    QHash<QString, QString> targets; // by relationship id
    readPart(QStringLiteral("xl/_rels/workbook.xml.rels"), [&](QXmlStreamReader &x) {
        if (x.isStartElement() && x.name() == QLatin1String("Relationship")) {
            QString target = x.attributes().value(QLatin1String("Target")).toString();
            target = target.startsWith(QLatin1Char('/')) ? target.mid(1) : QStringLiteral("xl/") + target;
            targets.insert(x.attributes().value(QLatin1String("Id")).toString(), target);
        }
    });
    readPart(QStringLiteral("xl/workbook.xml"), [&](QXmlStreamReader &x) {
        if (!x.isStartElement())
            return;
        if (x.name() == QLatin1String("workbookPr")) {
            const QStringView v = x.attributes().value(QLatin1String("date1904"));
            m1904 = v == QLatin1String("1") || v == QLatin1String("true");
        } else if (x.name() == QLatin1String("sheet")) {
            for (const QXmlStreamAttribute &a : x.attributes())
                if (a.name() == QLatin1String("id")) { // r:id, whatever the prefix
                    mNames << x.attributes().value(QLatin1String("name")).toString();
                    mTargets << targets.value(a.value().toString());
                }
        }
    });
    if (mNames.isEmpty())
        fail(QStringLiteral("работната книга няма листове"));

    if (zip_name_locate(mZip->archive, "xl/styles.xml", 0) >= 0) {
        QHash<int, bool> custom;
        bool inCellXfs = false;
        readPart(QStringLiteral("xl/styles.xml"), [&](QXmlStreamReader &x) {
            if (x.isStartElement() && x.name() == QLatin1String("numFmt"))
                custom.insert(x.attributes().value(QLatin1String("numFmtId")).toInt(),
                              dateFormat(x.attributes().value(QLatin1String("formatCode")).toString()));
            else if (x.isStartElement() && x.name() == QLatin1String("cellXfs"))
                inCellXfs = true;
            else if (x.isEndElement() && x.name() == QLatin1String("cellXfs"))
                inCellXfs = false;
            else if (inCellXfs && x.isStartElement() && x.name() == QLatin1String("xf")) {
                const int id = x.attributes().value(QLatin1String("numFmtId")).toInt();
                mDateStyles << custom.value(id, builtInDate(id));
            }
        });
    }
    if (zip_name_locate(mZip->archive, "xl/sharedStrings.xml", 0) >= 0) {
        // One text per <si>: its <t>, or the <t> of each of its runs; phonetic hints left out.
        QString text;
        int depth = 0;
        bool inText = false;
        bool phonetic = false;
        readPart(QStringLiteral("xl/sharedStrings.xml"), [&](QXmlStreamReader &x) {
            if (x.isStartElement()) {
                if (x.name() == QLatin1String("si")) {
                    text.clear();
                    depth = 1;
                } else if (x.name() == QLatin1String("rPh")) {
                    phonetic = true;
                } else if (x.name() == QLatin1String("t") && depth > 0 && !phonetic) {
                    inText = true;
                }
            } else if (x.isEndElement()) {
                if (x.name() == QLatin1String("si")) {
                    mShared << text;
                    depth = 0;
                } else if (x.name() == QLatin1String("rPh")) {
                    phonetic = false;
                } else if (x.name() == QLatin1String("t")) {
                    inText = false;
                }
            } else if (x.isCharacters() && inText) {
                text += x.text();
                if (text.size() > (1 << 20))
                    fail(QStringLiteral("общ текст по-дълъг от %1 знака").arg(1 << 20));
            }
        });
    }
    select(0);
}

XlsxReader::~XlsxReader() = default;

void XlsxReader::fail(const QString &why) const
{
    throw DaoError(QStringLiteral("Файлът \"%1\" не може да бъде прочетен: %2.").arg(mPath, why));
}

std::unique_ptr<XlsxReader::Part> XlsxReader::open(const QString &name)
{
    const QByteArray entry = name.toUtf8();
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(mZip->archive, entry.constData(), 0, &st) != 0)
        fail(QStringLiteral("липсва частта %1").arg(name));
    if ((st.valid & ZIP_STAT_SIZE) && qint64(st.size) > MaxPartBytes)
        fail(QStringLiteral("частта %1 е %2 MB след разархивиране (най-много %3 MB)")
                 .arg(name)
                 .arg(qint64(st.size) >> 20)
                 .arg(MaxPartBytes >> 20));
    auto part = std::make_unique<Part>();
    part->name = name;
    part->file = zip_fopen(mZip->archive, entry.constData(), 0);
    if (!part->file)
        fail(QStringLiteral("частта %1 не може да бъде разархивирана").arg(name));
    return part;
}

void XlsxReader::readPart(const QString &name, const std::function<void(QXmlStreamReader &)> &handle)
{
    mSheet = open(name);
    mXml.clear();
    while (nextToken() != QXmlStreamReader::EndDocument)
        handle(mXml);
    mSheet.reset();
}

// The next token of the part being read, fed to the XML reader as it unpacks.
QXmlStreamReader::TokenType XlsxReader::nextToken()
{
    for (;;) {
        const QXmlStreamReader::TokenType t = mXml.readNext();
        if (t != QXmlStreamReader::Invalid)
            return t;
        if (mXml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
            fail(QStringLiteral("частта %1 не е правилен XML (%2)").arg(mSheet->name, mXml.errorString()));
        char chunk[64 * 1024];
        const zip_int64_t n = zip_fread(mSheet->file, chunk, sizeof chunk);
        if (n < 0)
            fail(QStringLiteral("частта %1 е повредена").arg(mSheet->name));
        if (n == 0)
            fail(QStringLiteral("частта %1 свършва по средата").arg(mSheet->name));
        mSheet->read += n;
        if (mSheet->read > MaxPartBytes)
            fail(QStringLiteral("частта %1 е над %2 MB след разархивиране").arg(mSheet->name).arg(MaxPartBytes >> 20));
        mXml.addData(QByteArray(chunk, int(n)));
    }
}

void XlsxReader::select(int sheet)
{
    if (sheet < 0 || sheet >= mTargets.size() || mTargets.at(sheet).isEmpty())
        fail(QStringLiteral("листът не е намерен"));
    mSheet = open(mTargets.at(sheet));
    mXml.clear();
    mRow = 0;
}

QVariant XlsxReader::cellValue(const QString &type, int style, const QString &value, const QString &inlineText) const
{
    if (type == QLatin1String("inlineStr"))
        return inlineText.isEmpty() ? QVariant() : QVariant(inlineText);
    if (value.isEmpty())
        return QVariant();
    if (type == QLatin1String("s")) {
        bool ok = false;
        const int i = value.toInt(&ok);
        if (!ok || i < 0 || i >= mShared.size())
            fail(QStringLiteral("ред %1 сочи общ текст %2, който няма").arg(mRow).arg(value));
        return mShared.at(i).isEmpty() ? QVariant() : QVariant(mShared.at(i));
    }
    if (type == QLatin1String("str") || type == QLatin1String("e"))
        return value;
    if (type == QLatin1String("b"))
        return value == QLatin1String("1") || value == QLatin1String("true");
    if (type == QLatin1String("d")) {
        const QDateTime d = QDateTime::fromString(value, Qt::ISODate);
        return d.isValid() ? QVariant(d) : QVariant(value);
    }
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok)
        return value;
    if (style >= 0 && style < mDateStyles.size() && mDateStyles.at(style) && d >= 0 && d < 2958466)
        return fromSerial(d, m1904);
    return d;
}

bool XlsxReader::next(QVariantList &cells)
{
    cells.clear();
    if (!mSheet)
        return false;
    bool inRow = false;
    int column = -1;
    QString type, value, inlineText;
    int style = -1;
    enum class Text { None, Value, Inline } text = Text::None;
    for (;;) {
        const QXmlStreamReader::TokenType t = nextToken();
        if (t == QXmlStreamReader::EndDocument) {
            mSheet.reset();
            return false;
        }
        if (t == QXmlStreamReader::StartElement) {
            const QStringView name = mXml.name();
            if (name == QLatin1String("row")) {
                inRow = true;
                bool ok = false;
                const qint64 r = mXml.attributes().value(QLatin1String("r")).toLongLong(&ok);
                mRow = ok ? r : mRow + 1;
                column = -1;
            } else if (inRow && name == QLatin1String("c")) {
                const int c = columnOf(mXml.attributes().value(QLatin1String("r")));
                column = c >= 0 ? c : column + 1;
                type = mXml.attributes().value(QLatin1String("t")).toString();
                style = mXml.attributes().hasAttribute(QLatin1String("s")) ? mXml.attributes().value(QLatin1String("s")).toInt() : -1;
                value.clear();
                inlineText.clear();
            } else if (inRow && name == QLatin1String("v")) {
                text = Text::Value;
            } else if (inRow && name == QLatin1String("t")) {
                text = Text::Inline;
            } else if (name == QLatin1String("rPh")) {
                text = Text::None;
            }
        } else if (t == QXmlStreamReader::Characters) {
            QString &into = text == Text::Value ? value : inlineText;
            if (text != Text::None) {
                into += mXml.text();
                if (into.size() > (1 << 20))
                    fail(QStringLiteral("клетка на ред %1 е по-дълга от %2 знака").arg(mRow).arg(1 << 20));
            }
        } else if (t == QXmlStreamReader::EndElement) {
            const QStringView name = mXml.name();
            if (name == QLatin1String("v") || name == QLatin1String("t")) {
                text = Text::None;
            } else if (inRow && name == QLatin1String("c")) {
                const QVariant v = cellValue(type, style, value, inlineText);
                if (v.isValid()) {
                    while (cells.size() <= column)
                        cells.append(QVariant());
                    cells[column] = v;
                }
            } else if (name == QLatin1String("row")) {
                return true;
            }
        }
    }
}
