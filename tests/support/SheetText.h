// A sheet read to its end as text, to compare what the import's readers give: "row: cell|cell…",
// an empty cell "~", a date in ISO form, a number with 17 digits, a boolean TRUE or FALSE.
#pragma once

#include "import/SheetReader.h"

#include <QDateTime>

inline QStringList sheetRows(SheetReader &r)
{
    QStringList out;
    QVariantList cells;
    while (r.next(cells)) {
        QStringList texts;
        for (const QVariant &c : std::as_const(cells))
            texts << (!c.isValid()                         ? QStringLiteral("~")
                      : c.typeId() == QMetaType::QDateTime ? c.toDateTime().toString(Qt::ISODate)
                      : c.typeId() == QMetaType::Double    ? QString::number(c.toDouble(), 'g', 17)
                      : c.typeId() == QMetaType::Bool      ? (c.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE"))
                                                           : c.toString());
        out << QStringLiteral("%1: %2").arg(r.row()).arg(texts.join(QLatin1Char('|')));
    }
    return out;
}
