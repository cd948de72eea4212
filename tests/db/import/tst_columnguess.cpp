// Guessing a file's columns from its headings: field names, the grid's titles and suppliers'
// headings, whatever their case, spaces and punctuation; a field taken once; heading rows told
// from rows of data.
#include "base/Regional.h"
#include "import/ColumnGuess.h"

#include <QDateTime>
#include <QTest>

class TestColumnGuess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { regional::setLocale(QLocale(QLocale::Bulgarian, QLocale::Bulgaria)); }

    void headings_data()
    {
        QTest::addColumn<QStringList>("headings");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("the export's field names")
            << QStringList{"id", "user_id", "unit_number", "UNIT_NAME", "delivery_unit_number", "last_modified"}
            << QStringList{"id", "user_id", "unit_number", "unit_name", "delivery_unit_number", "last_modified"};
        QTest::newRow("the grid's titles")
            << QStringList{" №", "Кат.№", "Наименованние", "Кол.", "Цена", "Ц.-едро", "№ при доставчика", "Производител"}
            << QStringList{"user_id", "unit_number", "unit_name", "quantity", "price", "second_price", "delivery_unit_number",
                           "delivery_country"};
        QTest::newRow("a supplier's, case, spaces and punctuation aside")
            << QStringList{"КОД", "Описание ", "кол-во", "Цена без ДДС:", "Код на доставчика", "Марка"}
            << QStringList{"unit_number", "unit_name", "quantity", "price", "delivery_unit_number", ""};
        QTest::newRow("a field named twice goes to the first column")
            << QStringList{"Код", "Артикул", "Цена", "Ед. цена"} << QStringList{"unit_number", "", "price", ""};
    }

    void headings()
    {
        QFETCH(QStringList, headings);
        QFETCH(QStringList, fields);
        QCOMPARE(columnguess::guess(headings), fields);
    }

    void headingRows()
    {
        using columnguess::looksLikeHeadings;
        QVERIFY(looksLikeHeadings({QStringLiteral("Код"), QVariant(), QStringLiteral("Цена")}));
        QVERIFY(!looksLikeHeadings({QStringLiteral("Ценоразпис"), QVariant(), QVariant()})); // a title above the table
        QVERIFY(!looksLikeHeadings({QStringLiteral("Код"), 12.5, QStringLiteral("Цена")}));  // typed number: data
        QVERIFY(!looksLikeHeadings({QStringLiteral("Код"), QStringLiteral("12,5"), QStringLiteral("Цена")}));
        QVERIFY(!looksLikeHeadings({QStringLiteral("Код"), QDateTime::currentDateTime(), QStringLiteral("Цена")}));
    }
};

QTEST_GUILESS_MAIN(TestColumnGuess)
#include "tst_columnguess.moc"
