// Field conversions and the exact texts of their failures.
#include "dataset/TDaoField.h"

#include "base/DaoError.h"
#include "base/Regional.h"
#include "base/StoredDateTime.h"
#include "dataset/TDaoTable.h"

#include <cmath>
#include <limits>

TDaoField::TDaoField(TDaoTable *dataSet, int index, QString name, TFieldType type, int size)
    : mDataSet(dataSet), mIndex(index), mName(std::move(name)), mType(type), mSize(size)
{
}

bool TDaoField::isNumeric() const
{
    switch (mType) {
    case TFieldType::Long:
    case TFieldType::Short:
    case TFieldType::Double:
    case TFieldType::Counter:
        return true;
    default:
        return false;
    }
}

QVariant TDaoField::raw() const { return mDataSet->fieldValue(mIndex); }

void TDaoField::store(const QVariant &typed) { mDataSet->setFieldValue(mIndex, typed); }

void TDaoField::invalid(const QString &text, const char *kind) const
{
    throw DaoError(QStringLiteral("'%1' is not a valid %2 value for field '%3'")
                       .arg(text, QLatin1String(kind), mName));
}

// Values as stored may come from other programs in any type the engine holds; they are read into
// this field's type where they can be, and left as they are where they cannot.
QVariant TDaoField::fromStorage(const QVariant &stored) const
{
    if (!stored.isValid() || stored.isNull())
        return QVariant();
    switch (mType) {
    case TFieldType::Text:
        return stored.typeId() == QMetaType::QString ? stored : QVariant(stored.toString());
    case TFieldType::Long:
    case TFieldType::Short:
    case TFieldType::Counter:
        if (stored.typeId() == QMetaType::LongLong)
            return stored;
        if (stored.typeId() == QMetaType::Double)
            return QVariant(qint64(std::llround(stored.toDouble())));
        return stored;
    case TFieldType::Double:
        if (stored.typeId() == QMetaType::Double)
            return stored;
        if (stored.typeId() == QMetaType::LongLong)
            return QVariant(double(stored.toLongLong()));
        return stored;
    case TFieldType::Boolean:
        if (stored.typeId() == QMetaType::LongLong || stored.typeId() == QMetaType::Double)
            return QVariant(stored.toDouble() != 0);
        return QVariant(stored.toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0);
    case TFieldType::DateTime:
        if (stored.typeId() == QMetaType::QString) {
            const QDateTime d = storedtime::parse(stored.toString());
            return d.isValid() ? QVariant(d) : stored;
        }
        return stored;
    case TFieldType::Blob:
        return stored;
    }
    return stored;
}

QString TDaoField::textOf(const QVariant &v) const
{
    if (!v.isValid() || v.isNull())
        return QString();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
        return regional::formatNumber(v.toDouble());
    case QMetaType::QDateTime:
        return regional::formatDateTime(v.toDateTime());
    default:
        return v.toString();
    }
}

bool TDaoField::IsNull() const
{
    const QVariant v = raw();
    return !v.isValid() || v.isNull();
}

QVariant TDaoField::Value() const { return raw(); }

QString TDaoField::AsString() const { return textOf(raw()); }

qint64 TDaoField::AsInteger() const
{
    const QVariant v = raw();
    if (!v.isValid() || v.isNull())
        return 0;
    switch (v.typeId()) {
    case QMetaType::LongLong:
        return v.toLongLong();
    case QMetaType::Double:
        return std::llround(v.toDouble());
    case QMetaType::Bool:
        return v.toBool() ? 1 : 0;
    default: {
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok);
        if (!ok)
            invalid(v.toString(), "integer");
        return n;
    }
    }
}

double TDaoField::AsFloat() const
{
    const QVariant v = raw();
    if (!v.isValid() || v.isNull())
        return 0;
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Double:
        return v.toDouble();
    case QMetaType::Bool:
        return v.toBool() ? 1 : 0;
    default: {
        // A text stored by another program: the engine's own form first, then the regional one.
        bool ok = false;
        double d = v.toString().trimmed().toDouble(&ok);
        if (ok && !std::isfinite(d))
            ok = false;
        if (!ok && !regional::parseNumber(v.toString(), &d))
            invalid(v.toString(), "floating point");
        return d;
    }
    }
}

bool TDaoField::AsBoolean() const
{
    const QVariant v = raw();
    if (!v.isValid() || v.isNull())
        return false;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Double)
        return v.toDouble() != 0;
    const QString t = v.toString().trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || t.isEmpty())
        return false;
    invalid(t, "boolean");
}

QDateTime TDaoField::AsDateTime() const
{
    const QVariant v = raw();
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    if (!v.isValid() || v.isNull())
        return {};
    const QDateTime d = regional::parseDateTime(v.toString());
    if (!d.isValid())
        invalid(v.toString(), "date and time");
    return d;
}

// Text written into a field: empty stores null; numbers follow the regional forms.
QVariant TDaoField::parseText(const QString &text) const
{
    if (text.isEmpty())
        return mType == TFieldType::Boolean ? QVariant(false) : QVariant();
    switch (mType) {
    case TFieldType::Text:
        return QVariant(mSize > 0 && text.size() > mSize ? text.left(mSize) : text);
    case TFieldType::Long:
    case TFieldType::Short:
    case TFieldType::Counter: {
        bool ok = false;
        const qint64 n = text.trimmed().toLongLong(&ok);
        // Text beyond 32 bits is no integer at all; within them the field's range decides.
        if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
            invalid(text, "integer");
        return QVariant(n);
    }
    case TFieldType::Double: {
        double d = 0;
        if (!regional::parseNumber(text, &d))
            invalid(text, "floating point");
        return QVariant(d);
    }
    case TFieldType::Boolean: {
        const QString t = text.trimmed();
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || t == QLatin1String("1"))
            return QVariant(true);
        if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || t == QLatin1String("0"))
            return QVariant(false);
        invalid(text, "boolean");
    }
    case TFieldType::DateTime: {
        const QDateTime d = regional::parseDateTime(text);
        if (!d.isValid())
            invalid(text, "date and time");
        return QVariant(d);
    }
    case TFieldType::Blob:
        return QVariant(text.toUtf8());
    }
    return QVariant(text);
}

bool TDaoField::IsValidChar(QChar c) const
{
    switch (mType) {
    case TFieldType::Long:
    case TFieldType::Short:
    case TFieldType::Counter:
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+') || c == QLatin1Char('-');
    case TFieldType::Double:
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+') || c == QLatin1Char('-')
               || c == QLatin1Char('E') || c == QLatin1Char('e') || c == regional::decimalSeparator();
    default:
        return true;
    }
}

void TDaoField::setAsString(const QString &text) { setValue(parseText(text)); }

void TDaoField::setAsInteger(qint64 value) { setValue(QVariant(value)); }

void TDaoField::setAsFloat(double value) { setValue(QVariant(value)); }

void TDaoField::setAsBoolean(bool value) { setValue(QVariant(value)); }

void TDaoField::setAsDateTime(const QDateTime &value)
{
    setValue(value.isValid() ? QVariant(value) : QVariant());
}

// Every write ends here: the value is brought into the field's type, checked against its range
// and cut to its size.
void TDaoField::setValue(const QVariant &value)
{
    if (mType == TFieldType::Counter)
        throw DaoError(QStringLiteral("Field '%1' cannot be modified").arg(mName));
    if (!value.isValid() || value.isNull()) {
        // A yes/no column is never null.
        store(mType == TFieldType::Boolean ? QVariant(false) : QVariant());
        return;
    }
    if (value.typeId() == QMetaType::QString && mType != TFieldType::Text) {
        // Parsed, then checked like any typed value (a Short's range, for one).
        setValue(parseText(value.toString()));
        return;
    }
    switch (mType) {
    case TFieldType::Text: {
        const QString t = textOf(value);
        store(QVariant(mSize > 0 && t.size() > mSize ? t.left(mSize) : t));
        return;
    }
    case TFieldType::Long:
    case TFieldType::Short: {
        qint64 n;
        if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
            const double d = value.toDouble();
            if (std::isnan(d) || std::isinf(d))
                invalid(value.toString(), "integer");
            n = std::llround(d);
        } else if (value.typeId() == QMetaType::QDateTime) {
            invalid(textOf(value), "integer");
        } else {
            n = value.toLongLong();
        }
        const qint64 lo = mType == TFieldType::Short ? std::numeric_limits<qint16>::min()
                                                     : std::numeric_limits<qint32>::min();
        const qint64 hi = mType == TFieldType::Short ? std::numeric_limits<qint16>::max()
                                                     : std::numeric_limits<qint32>::max();
        if (n < lo || n > hi)
            throw DaoError(QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is %3 to %4")
                               .arg(n).arg(mName).arg(lo).arg(hi));
        store(QVariant(n));
        return;
    }
    case TFieldType::Double: {
        if (value.typeId() == QMetaType::QDateTime)
            invalid(textOf(value), "floating point");
        const double d = value.toDouble();
        if (std::isnan(d) || std::isinf(d))
            invalid(value.toString(), "floating point");
        store(QVariant(d));
        return;
    }
    case TFieldType::Boolean:
        store(QVariant(value.typeId() == QMetaType::Bool ? value.toBool() : value.toDouble() != 0));
        return;
    case TFieldType::DateTime:
        if (value.typeId() != QMetaType::QDateTime)
            invalid(value.toString(), "date and time");
        store(value);
        return;
    case TFieldType::Counter:
    case TFieldType::Blob:
        store(value);
        return;
    }
}
