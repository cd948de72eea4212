// Office Open XML workbooks.
#include "import/XlsxReader.h"

#include "base/DaoError.h"

#include <QDateTime>
#include <cmath>

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
    for (; i < ref.size() && ref.at(i).isLetter(); ++i) {
        const char16_t c = ref.at(i).toUpper().unicode();
        column = column * 26 + (c - u'A' + 1);
        if (c < u'A' || c > u'Z' || column > 16384) // stopped before it overflows
            return -1;
    }
    return i == 0 ? -1 : column - 1;
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

XlsxReader::XlsxReader(const QString &path) : mZip(path)
{
    load();
}

XlsxReader::XlsxReader(const QByteArray &bytes, const QString &name) : mZip(bytes, name)
{
    load();
}

void XlsxReader::load()
{
    if (!mZip.isOpen())
        throw DaoError(QStringLiteral("Файлът \"%1\" не е работна книга на Excel (xlsx) или е повреден.").arg(mZip.name()));

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

    if (mZip.contains(QStringLiteral("xl/styles.xml"))) {
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
    if (mZip.contains(QStringLiteral("xl/sharedStrings.xml"))) {
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

void XlsxReader::readPart(const QString &name, const std::function<void(QXmlStreamReader &)> &handle)
{
    ZipXmlPart part(mZip, name);
    while (part.next() != QXmlStreamReader::EndDocument)
        handle(part.xml());
}

void XlsxReader::select(int sheet)
{
    if (sheet < 0 || sheet >= mTargets.size() || mTargets.at(sheet).isEmpty())
        fail(QStringLiteral("листът не е намерен"));
    mSheet.reset(); // nothing more to read should the part fail to open
    mSheet = std::make_unique<ZipXmlPart>(mZip, mTargets.at(sheet));
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
    QXmlStreamReader &xml = mSheet->xml();
    for (;;) {
        const QXmlStreamReader::TokenType t = mSheet->next();
        if (t == QXmlStreamReader::EndDocument) {
            mSheet.reset();
            return false;
        }
        if (t == QXmlStreamReader::StartElement) {
            const QStringView name = xml.name();
            if (name == QLatin1String("row")) {
                inRow = true;
                bool ok = false;
                const qint64 r = xml.attributes().value(QLatin1String("r")).toLongLong(&ok);
                mRow = ok ? r : mRow + 1;
                column = -1;
            } else if (inRow && name == QLatin1String("c")) {
                const int c = columnOf(xml.attributes().value(QLatin1String("r")));
                column = c >= 0 ? c : column + 1;
                type = xml.attributes().value(QLatin1String("t")).toString();
                style = xml.attributes().hasAttribute(QLatin1String("s")) ? xml.attributes().value(QLatin1String("s")).toInt() : -1;
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
                into += xml.text();
                if (into.size() > (1 << 20))
                    fail(QStringLiteral("клетка на ред %1 е по-дълга от %2 знака").arg(mRow).arg(1 << 20));
            }
        } else if (t == QXmlStreamReader::EndElement) {
            const QStringView name = xml.name();
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
