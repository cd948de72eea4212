// A sheet read to its end as text, for comparing what the import's readers give: one line a row,
// "row: cell|cell…", an empty cell as "~", a date in ISO form, a number with 17 digits, a boolean
// as TRUE or FALSE.
#pragma once

#include "import/SheetReader.h"

#include <QDateTime>
#include <QStringList>

inline QString cellText(const QVariant &c)
{
    if (!c.isValid())
        return QStringLiteral("~");
    if (c.typeId() == QMetaType::QDateTime)
        return c.toDateTime().toString(Qt::ISODate);
    if (c.typeId() == QMetaType::Double)
        return QString::number(c.toDouble(), 'g', 17);
    if (c.typeId() == QMetaType::Bool)
        return c.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    return c.toString();
}

inline QStringList sheetRows(SheetReader &r)
{
    QStringList out;
    QVariantList cells;
    while (r.next(cells)) {
        QStringList texts;
        for (const QVariant &c : std::as_const(cells))
            texts << cellText(c);
        out << QStringLiteral("%1: %2").arg(r.row()).arg(texts.join(QLatin1Char('|')));
    }
    return out;
}
