// A file's cells as field values: typed cells and the regional text forms taken, everything else
// refused with what was expected and what was found, long text cut with a warning.
#include "base/Regional.h"
#include "import/CellValue.h"

#include <QDateTime>
#include <QTest>

class TestCellValue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { regional::setLocale(QLocale(QLocale::Bulgarian, QLocale::Bulgaria)); }

    void conversions_data()
    {
        QTest::addColumn<QVariant>("cell");
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("refusal");
        const int text = int(TFieldType::Text), real = int(TFieldType::Double), whole = int(TFieldType::Long),
                  yesNo = int(TFieldType::Boolean), date = int(TFieldType::DateTime);
        const QDateTime d(QDate(2026, 12, 9), QTime(11, 30, 0));
        QTest::newRow("empty") << QVariant(QStringLiteral("  ")) << real << QVariant() << "";
        QTest::newRow("regional number") << QVariant(QStringLiteral("12,5")) << real << QVariant(12.5) << "";
        QTest::newRow("typed number") << QVariant(0.1) << real << QVariant(0.1) << "";
        QTest::newRow("dot is not the regional separator") << QVariant(QStringLiteral("12.5")) << real << QVariant()
                                                           << "очаква се число, намерено „12.5“";
        QTest::newRow("currency") << QVariant(QStringLiteral("12,5 лв")) << real << QVariant() << "очаква се число, намерено „12,5 лв“";
        QTest::newRow("whole number") << QVariant(7.0) << whole << QVariant(qint64(7)) << "";
        QTest::newRow("not whole") << QVariant(QStringLiteral("7,5")) << whole << QVariant() << "очаква се цяло число, намерено „7,5“";
        QTest::newRow("code kept as a number") << QVariant(123456789.0) << text << QVariant(QStringLiteral("123456789")) << "";
        QTest::newRow("leading zeros") << QVariant(QStringLiteral("007")) << text << QVariant(QStringLiteral("007")) << "";
        QTest::newRow("yes word") << QVariant(QStringLiteral("Да")) << yesNo << QVariant(true) << "";
        QTest::newRow("typed no") << QVariant(false) << yesNo << QVariant(false) << "";
        QTest::newRow("LibreOffice's no") << QVariant(QStringLiteral("НЕВЯРНО")) << yesNo << QVariant(false) << "";
        QTest::newRow("zero") << QVariant(0.0) << yesNo << QVariant(false) << "";
        QTest::newRow("maybe") << QVariant(QStringLiteral("може би")) << yesNo << QVariant() << "очаква се да или не, намерено „може би“";
        QTest::newRow("typed date") << QVariant(d) << date << QVariant(d) << "";
        QTest::newRow("regional date") << QVariant(regional::formatDateTime(d)) << date << QVariant(d) << "";
        QTest::newRow("date and minutes as spreadsheets show them") << QVariant(QStringLiteral("09.12.2026 11:30")) << date << QVariant(d) << "";
        QTest::newRow("no date") << QVariant(QStringLiteral("утре")) << date << QVariant() << "очаква се дата, намерено „утре“";
    }

    void conversions()
    {
        QFETCH(QVariant, cell);
        QFETCH(int, type);
        QFETCH(QVariant, value);
        QFETCH(QString, refusal);
        const cellvalue::Converted c = cellvalue::convert(cell, TFieldType(type), 30);
        QCOMPARE(c.refusal, refusal);
        QCOMPARE(c.value, value);
        QVERIFY(c.warning.isEmpty());
    }

    void longTextIsCutWithAWarning()
    {
        const cellvalue::Converted c = cellvalue::convert(QStringLiteral("Накладки спирачни предни к-т"), TFieldType::Text, 8);
        QCOMPARE(c.value.toString(), QStringLiteral("Накладки"));
        QCOMPARE(c.warning, QStringLiteral("текстът е съкратен до 8 знака"));
    }
};

QTEST_GUILESS_MAIN(TestCellValue)
#include "tst_cellvalue.moc"
