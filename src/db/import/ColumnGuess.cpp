// Guessing the columns of a file to import.
#include "import/ColumnGuess.h"

#include "base/Regional.h"

#include <QHash>

namespace columnguess {

namespace {

// Headings by field: its name, the grid's title, then what price lists and stock lists call it.
struct Names
{
    const char *field;
    std::initializer_list<const char *> headings;
};

const Names vocabulary[] = {
    {"id", {"id"}},
    {"user_id", {"№", "Пореден номер"}},
    {"unit_number", {"Кат.№", "Каталожен номер", "Кат. номер", "Код", "Артикул", "Артикулен номер", "Номер на част",
                     "Part number", "Part No", "Code", "Article", "OE", "OE номер"}},
    {"unit_name", {"Наименование", "Наименованние", "Име", "Описание", "Стока", "Name", "Description", "Item"}},
    {"quantity", {"Кол.", "Количество", "Кол-во", "Наличност", "Брой", "Бр.", "Qty", "Quantity", "Stock"}},
    {"price", {"Цена", "Цена без ДДС", "Ед. цена", "Единична цена", "Цена дребно", "Продажна цена", "Price",
               "Unit price"}},
    {"second_price", {"Ц.-едро", "Цена едро", "Цена на едро", "Едро", "Wholesale", "Wholesale price"}},
    {"deliver_name", {"Доставчик", "Supplier", "Vendor"}},
    {"delivery_country", {"Производител", "Марка на частта", "Manufacturer", "Brand", "Maker"}},
    {"delivery_unit_number", {"№ при доставчика", "Номер при доставчика", "Код на доставчика", "Код доставчик",
                              "Supplier code", "Supplier part number"}},
    {"comment", {"Съвместимост", "Приложение", "Подходящ за", "Автомобили", "Application", "Fits", "Compatibility"}},
    {"modifier", {"Променил"}},
    {"locked", {"Потвърден"}},
    {"deleted", {"Изтрит"}},
    {"last_modified", {"Последна промяна"}},
    {"created", {"Създаден"}},
};

const QHash<QString, QString> &fields()
{
    static const QHash<QString, QString> byKey = [] {
        QHash<QString, QString> h;
        for (const Names &n : vocabulary) {
            const QString field = QString::fromLatin1(n.field);
            h.insert(key(field), field);
            for (const char *heading : n.headings)
                h.insert(key(QString::fromUtf8(heading)), field);
        }
        return h;
    }();
    return byKey;
}

} // namespace

QString key(const QString &heading)
{
    QString out;
    out.reserve(heading.size());
    for (const QChar c : heading) {
        if (c == QChar(0x2116)) // №
            out += QLatin1Char('n');
        else if (c.isLetterOrNumber())
            out += c.toLower();
    }
    return out;
}

QString fieldFor(const QString &heading)
{
    return fields().value(key(heading));
}

QStringList guess(const QStringList &headings)
{
    QStringList out;
    for (const QString &h : headings) {
        const QString field = fieldFor(h);
        out << (out.contains(field) ? QString() : field);
    }
    return out;
}

bool looksLikeHeadings(const QVariantList &cells)
{
    int named = 0;
    for (const QVariant &c : cells) {
        if (!c.isValid())
            continue;
        if (c.typeId() != QMetaType::QString)
            return false; // a typed number or date: a row of data
        bool number = false;
        c.toString().toDouble(&number);
        double value = 0;
        if (number || regional::parseNumber(c.toString(), &value))
            return false; // a number written as text, in either form
        if (!fieldFor(c.toString()).isEmpty())
            ++named;
    }
    return named >= 2;
}

} // namespace columnguess
