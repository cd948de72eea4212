// How the history windows write an entry.
#include "HistoryText.h"

#include "base/Regional.h"
#include "dataset/TDaoTable.h"

#include <algorithm>
#include <cmath>

namespace HistoryText {

using Kind = ChangeLog::Kind;

QString kind(const ChangeLog::Entry &e)
{
    // A row written by a bulk command is named by the command.
    const Kind k = e.operation && (e.operationKind == Kind::Renumbering || e.operationKind == Kind::Paste || e.operationKind == Kind::Import)
                       ? e.operationKind
                       : e.kind;
    switch (k) {
    case Kind::New: return QStringLiteral("Добавен");
    case Kind::Change: return QStringLiteral("Променен");
    case Kind::DeleteMark: return QStringLiteral("Изтрит");
    case Kind::Undelete: return QStringLiteral("Възстановен");
    case Kind::Purge: return QStringLiteral("Изчистен");
    case Kind::Renumbering: return QStringLiteral("Преномериране");
    case Kind::Paste: return QStringLiteral("Поставяне");
    case Kind::Import: return QStringLiteral("Вмъкване от файл");
    case Kind::Revert: return QStringLiteral("Върнат");
    case Kind::Restore: return QStringLiteral("Върнат от изчистените");
    }
    return QString::number(int(k));
}

QString field(const QString &column)
{
    static const QHash<QString, QString> titles{
        {QStringLiteral("id"), QStringLiteral("Запис")},
        {QStringLiteral("user_id"), QStringLiteral("№")},
        {QStringLiteral("unit_number"), QStringLiteral("Кат.№")},
        {QStringLiteral("unit_name"), QStringLiteral("Наименование")},
        {QStringLiteral("quantity"), QStringLiteral("Кол.")},
        {QStringLiteral("price"), QStringLiteral("Цена")},
        {QStringLiteral("second_price"), QStringLiteral("Ц.-едро")},
        {QStringLiteral("deliver_name"), QStringLiteral("Доставчик")},
        {QStringLiteral("delivery_country"), QStringLiteral("Производител")},
        {QStringLiteral("delivery_unit_number"), QStringLiteral("№ при доставчика")},
        {QStringLiteral("comment"), QStringLiteral("Съвместимост")},
        {QStringLiteral("modifier"), QStringLiteral("Променил")},
        {QStringLiteral("locked"), QStringLiteral("Потвърден")},
        {QStringLiteral("deleted"), QStringLiteral("Изтрит")},
        {QStringLiteral("last_modified"), QStringLiteral("Последна промяна")},
        {QStringLiteral("created"), QStringLiteral("Създаден")},
    };
    return titles.value(column, column);
}

QString who(const ChangeLog::Entry &e)
{
    if (e.outside)
        return QStringLiteral("друга програма");
    return e.who;
}

QString time(const ChangeLog::Entry &e)
{
    return regional::formatDateTime(e.at);
}

QString value(TDaoTable *inventory, const QString &column, const QVariant &stored)
{
    if (stored.isNull() || !stored.isValid())
        return QString();
    const TDaoField *f = inventory ? inventory->FindField(column) : nullptr;
    if (!f || column == QLatin1String("id"))
        return stored.toString();
    if (f->DataType() == TFieldType::Boolean)
        return f->typedOf(stored).toBool() ? QStringLiteral("да") : QStringLiteral("не");
    return f->textOf(f->typedOf(stored));
}

QList<ChangeLog::FieldChange> revertable(const ChangeLog::Entry &e)
{
    QList<ChangeLog::FieldChange> out;
    // A renumbering's old number may be another row's by now.
    if (e.kind == Kind::New || e.kind == Kind::Purge || e.kind == Kind::Restore
        || (e.operation && e.operationKind == Kind::Renumbering))
        return out;
    for (const ChangeLog::FieldChange &f : e.fields)
        if (f.field != QLatin1String("modifier") && f.field != QLatin1String("last_modified") && f.field != QLatin1String("id")
            && f.field != QLatin1String("created"))
            out.append(f);
    return out;
}

bool sameValue(const TDaoField *field, const QVariant &a, const QVariant &b)
{
    if (a.isValid() != b.isValid())
        return false;
    if (field->DataType() == TFieldType::Double && a.isValid()) {
        const double x = a.toDouble();
        const double y = b.toDouble();
        return std::abs(x - y) <= 1e-14 * std::max({1.0, std::abs(x), std::abs(y)});
    }
    return a == b;
}

} // namespace HistoryText
