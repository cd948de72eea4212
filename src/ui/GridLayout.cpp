// The grid layout file: the column set as JSON.
#include "GridLayout.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace GridLayout {

namespace {

const QString Format = QStringLiteral("velostok-grid");
constexpr int Version = 1;

QJsonValue fontValue(const QFont &f)
{
    return f == QFont() ? QJsonValue() : QJsonValue(f.toString());
}

bool readFont(const QJsonValue &v, QFont *f)
{
    if (v.isNull() || v.isUndefined()) {
        *f = QFont();
        return true;
    }
    return v.isString() && f->fromString(v.toString());
}

QJsonValue colourValue(const QColor &c)
{
    return c.isValid() ? QJsonValue(c.name(QColor::HexArgb)) : QJsonValue();
}

bool readColour(const QJsonValue &v, QColor *c)
{
    if (v.isNull() || v.isUndefined()) {
        *c = QColor();
        return true;
    }
    if (!v.isString())
        return false;
    const QColor read = QColor::fromString(v.toString());
    if (!read.isValid())
        return false;
    // Eight bits a channel, as the file is written: a finer "#rrrgggbbb" would change at the next save.
    *c = QColor::fromRgba(read.rgba());
    return true;
}

// A whole number within int: a fraction or a larger number is damage, not some default.
bool readInt(const QJsonObject &o, const char *key, int *out)
{
    const QJsonValue v = o.value(QLatin1String(key));
    const double d = v.toDouble();
    if (!v.isDouble() || !(d >= std::numeric_limits<int>::min() && d <= std::numeric_limits<int>::max()) || d != std::trunc(d))
        return false;
    *out = int(d);
    return true;
}

bool readAlignment(const QJsonObject &o, const char *key, Qt::Alignment *out)
{
    int a = 0;
    if (!readInt(o, key, &a) || (a & ~int(Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask)))
        return false;
    *out = Qt::Alignment(a);
    return true;
}

} // namespace

QByteArray save(const QList<TColumn> &columns)
{
    QJsonArray cols;
    for (const TColumn &c : columns) {
        QJsonObject o;
        o.insert(QStringLiteral("field"), c.FieldName);
        o.insert(QStringLiteral("title"), c.Title);
        o.insert(QStringLiteral("width"), c.Width);
        o.insert(QStringLiteral("visible"), c.Visible);
        o.insert(QStringLiteral("alignment"), int(c.Alignment));
        o.insert(QStringLiteral("titleAlignment"), int(c.TitleAlignment));
        o.insert(QStringLiteral("titleFont"), fontValue(c.TitleFont));
        o.insert(QStringLiteral("titleColour"), colourValue(c.TitleColor));
        o.insert(QStringLiteral("font"), fontValue(c.Font));
        o.insert(QStringLiteral("colour"), colourValue(c.Color));
        o.insert(QStringLiteral("pickList"), QJsonArray::fromStringList(c.PickList.items()));
        o.insert(QStringLiteral("readOnly"), c.ReadOnly);
        cols.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("format"), Format);
    root.insert(QStringLiteral("version"), Version);
    root.insert(QStringLiteral("columns"), cols);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<QList<TColumn>> load(const QByteArray &bytes)
{
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != Format || root.value(QStringLiteral("version")).toInt() != Version)
        return std::nullopt;
    const QJsonValue colsValue = root.value(QStringLiteral("columns"));
    if (!colsValue.isArray())
        return std::nullopt;
    QList<TColumn> out;
    for (const QJsonValue &v : colsValue.toArray()) {
        if (!v.isObject())
            return std::nullopt;
        const QJsonObject o = v.toObject();
        TColumn c;
        if (!o.value(QStringLiteral("field")).isString() || !o.value(QStringLiteral("title")).isString()
            || !readInt(o, "width", &c.Width) || c.Width < 0 || !o.value(QStringLiteral("visible")).isBool()
            || !readAlignment(o, "alignment", &c.Alignment) || !readAlignment(o, "titleAlignment", &c.TitleAlignment)
            || !readFont(o.value(QStringLiteral("titleFont")), &c.TitleFont)
            || !readColour(o.value(QStringLiteral("titleColour")), &c.TitleColor)
            || !readFont(o.value(QStringLiteral("font")), &c.Font)
            || !readColour(o.value(QStringLiteral("colour")), &c.Color)
            || !o.value(QStringLiteral("pickList")).isArray() || !o.value(QStringLiteral("readOnly")).isBool())
            return std::nullopt;
        c.FieldName = o.value(QStringLiteral("field")).toString();
        c.Title = o.value(QStringLiteral("title")).toString();
        c.Visible = o.value(QStringLiteral("visible")).toBool();
        QStringList pickList;
        for (const QJsonValue &p : o.value(QStringLiteral("pickList")).toArray()) {
            if (!p.isString())
                return std::nullopt;
            pickList << p.toString();
        }
        c.PickList = pickList;
        c.ReadOnly = o.value(QStringLiteral("readOnly")).toBool();
        out << c;
    }
    return out;
}

} // namespace GridLayout
