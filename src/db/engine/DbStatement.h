// One prepared statement of an engine: bind values, step through the rows, read columns.
//
// Values are bound as null, text, integer (bool, int, qint64), double, date-time or bytes; index
// is 1-based. step() gives true for a row and false when done, and raises DaoError with the
// engine's message on failure. A statement obtained from DbEngine::prepare is released (or given
// back to the engine's cache) when the object goes.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <QVariantList>

class DbStatement
{
public:
    virtual ~DbStatement() = default;

    virtual void bind(int index, const QVariant &value) = 0;
    virtual void bindInt64(int index, qint64 value) = 0;
    // Text given as UTF-8 (empty is empty text, not null).
    virtual void bindUtf8(int index, QByteArrayView text) { bind(index, QString::fromUtf8(text)); }
    void bindAll(const QVariantList &values);

    virtual bool step() = 0;
    // Back to before the first row, bindings cleared.
    virtual void reset() = 0;

    virtual int columnCount() const = 0;
    virtual QString columnName(int i) const = 0;
    virtual bool columnIsNull(int i) const = 0;
    virtual qint64 columnInt64(int i) const = 0;
    // The stored value: null, qint64, double, QString or QByteArray.
    virtual QVariant column(int i) const = 0;
    // The value as UTF-8 text, valid until the next step; empty for null.
    virtual QByteArrayView columnText(int i) const = 0;
    // Binds column i of the current row as parameter index of into, as bind(index, column(i))
    // would, without the detour through a QVariant where the engine can spare it.
    virtual void columnInto(int i, DbStatement &into, int index) const { into.bind(index, column(i)); }
};
