// Realistic inventory rows for the benchmarks.
#include "InventoryData.h"

#include "sqlite/SqliteSchema.h"
#include "sqlite/SqliteConnection.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace benchdata {

namespace {

const char *const parts[] = {
    "Филтър маслен", "Филтър въздушен", "Филтър горивен", "Филтър купе", "Накладки спирачни предни",
    "Накладки спирачни задни", "Диск спирачен преден", "Барабан спирачен", "Амортисьор преден",
    "Амортисьор заден", "Свещ запалителна", "Подгревна свещ", "Ремък ангренажен к-т", "Ремък пистов",
    "Водна помпа", "Съединител к-т", "Лагер главина предна", "Каре", "Шарнир външен", "Носач преден ляв",
    "Носач преден десен", "Крушка H7 12V", "Крушка H4", "Чистачка предна", "Термостат", "Радиатор воден",
    "Стартер", "Алтернатор", "Датчик ABS", "Ламбда сонда", "Маркуч радиатор", "Тампон двигател",
    "Биалета", "Кормилен накрайник", "Пружина предна", "Гарнитура глава", "Семеринг колянов вал",
    "Oil filter", "Air filter", "Brake pads front", "Spark plug", "Wiper blade", "Масло 5W-30 4л",
    "Антифриз G12 1л", "Акумулатор 74Ah", "Изпускателна гърне", "Катализатор", "Дюза", "Помпа гориво"};
const char *const makes[] = {"VW Golf IV 1997-2003;", "VW Passat B5 1996-2005;", "Opel Astra G 1998-2004;",
                             "Ford Focus II 2004-2011;", "Renault Megane II 2002-2009;", "BMW 3 Series E46 1998-2006;",
                             "Audi A4 B6 2000-2004;", "Skoda Octavia II 2004-2013;", "Toyota Corolla E120 2001-2007;",
                             "Peugeot 206 1998-2012;", "Mercedes-Benz C-Class W203 2000-2007;", "Dacia Logan I 2004-2012;",
                             "Fiat Punto II 1999-2010;", "Citroen C4 I 2004-2010;", "Lada Niva 2121 1977-;"};
const char *const suppliers[] = {"Авто Плюс", "Интер Карс", "Моторсервиз", "AutoPartner", "Елит Кар",
                                 "Бош Сервиз", "Стил Моторс", "Авто Експрес", "Car Parts BG", "Пено 2000",
                                 "Ауто Лидер", "Профи Авто", "Мега Парт", "Дани Ауто", "Рали Кар"};
const char *const makers[] = {"Bosch", "Mann-Filter", "Valeo", "TRW", "Sachs", "Lemförder", "NGK", "Febi",
                              "SKF", "Gates", "Denso", "Brembo", "Hella", "Mahle", "Monroe"};
const char *const modifiers[] = {"Иван", "Мария", "Георги", "Admin", "Петя"};

template <size_t N>
const char *pick(const char *const (&list)[N], QRandomGenerator &r)
{
    return list[r.bounded(int(N))];
}

} // namespace

QString inventory(const QString &dir, int rows)
{
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(QStringLiteral("inventory_%1.mdb").arg(rows));
    if (QFile::exists(path)) {
        SqliteConnection c;
        c.open(path);
        if (c.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt() == rows)
            return path;
        c.close();
        QFile::remove(path);
    }
    const QString tmp = path + QStringLiteral(".making");
    QFile::remove(tmp);
    sqliteschema::createDatabase(tmp);
    SqliteConnection c;
    c.open(tmp);
    // The rows are the inventory's own, not changes: the history's triggers are told to keep quiet.
    c.exec(QStringLiteral("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN; "
                          "INSERT INTO history_writer (who, mode) VALUES (NULL, 1)"));
    SqliteStatement ins = c.prepare(QStringLiteral(
        "INSERT INTO main (user_id, unit_number, unit_name, quantity, price, second_price, deliver_name, "
        "delivery_country, delivery_unit_number, comment, modifier, locked, deleted, last_modified) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    QRandomGenerator r(20261209);
    const QDateTime start(QDate(2019, 1, 1), QTime(8, 0));
    for (int i = 1; i <= rows; ++i) {
        const double price = r.bounded(100000) / 100.0 + 1;
        ins.reset();
        ins.bind(1, i);
        ins.bind(2, QStringLiteral("%1 %2 %3").arg(r.bounded(10)).arg(r.bounded(100, 999)).arg(r.bounded(1000, 9999)));
        ins.bind(3, QStringLiteral("%1 %2").arg(QString::fromUtf8(pick(parts, r))).arg(QString::fromUtf8(pick(makers, r))));
        ins.bind(4, double(r.bounded(50)));
        ins.bind(5, price);
        ins.bind(6, std::floor(price * 80) / 100);
        ins.bind(7, QString::fromUtf8(pick(suppliers, r)));
        ins.bind(8, QString::fromUtf8(pick(makers, r)));
        ins.bind(9, QStringLiteral("%1-%2").arg(QChar('A' + r.bounded(26))).arg(r.bounded(100000, 999999)));
        ins.bind(10, QString::fromUtf8(pick(makes, r)) + (r.bounded(3) == 0 ? QString::fromUtf8(pick(makes, r)) : QString()));
        ins.bind(11, QString::fromUtf8(pick(modifiers, r)));
        ins.bind(12, r.bounded(10) == 0 ? 1 : 0);
        ins.bind(13, r.bounded(20) == 0 ? 1 : 0);
        ins.bind(14, start.addSecs(qint64(r.bounded(200000000))));
        ins.step();
    }
    c.exec(QStringLiteral("DELETE FROM history_writer; COMMIT"));
    c.close();
    QFile::rename(tmp, path);
    return path;
}

} // namespace benchdata
