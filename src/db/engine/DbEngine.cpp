#include "engine/DbEngine.h"

#include "base/StoredDateTime.h"

QVariant DbEngine::storedForm(const QVariant &v) const
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return QVariant(qint64(v.toBool() ? 1 : 0));
    case QMetaType::QDateTime:
        return QVariant(storedtime::text(v.toDateTime()));
    case QMetaType::Int:
        return QVariant(qint64(v.toInt()));
    default:
        return v;
    }
}
