// Delimited text: the encoding and delimiter told from the first bytes, and the records read back
// cell by cell, whatever the file's line ends, quotes and length.
#include "base/DaoError.h"
#include "import/DelimitedText.h"

#include <QBuffer>
#include <QTest>

using delimitedtext::Encoding;

namespace {

// Every record as its cells joined by "|", an empty cell as "~".
QStringList records(const QByteArray &bytes, delimitedtext::Format format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    DelimitedTextReader reader(&buffer, format);
    QStringList out;
    QVariantList cells;
    while (reader.next(cells)) {
        QStringList texts;
        for (const QVariant &c : std::as_const(cells))
            texts << (c.isValid() ? c.toString() : QStringLiteral("~"));
        out << texts.join(QLatin1Char('|'));
    }
    return out;
}

} // namespace

class TestDelimitedText : public QObject
{
    Q_OBJECT

private slots:
    void detection_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QString>("delimiter");
        QTest::newRow("utf-8 semicolons") << QByteArray("Код;Цена\r\nA1;12,5\r\n") << int(Encoding::Utf8) << ";";
        QTest::newRow("utf-8 BOM, commas") << QByteArray("\xEF\xBB\xBFКод,Цена\nA1,12.5\n") << int(Encoding::Utf8) << ",";
        QTest::newRow("cp1251 tabs") << QByteArray("\xCA\xee\xe4\t\xD6\xe5\xed\xe0\r\nA1\t12,5\r\n") << int(Encoding::Cp1251) << "\t";
        // Decimal commas in a ";" file do not make it a "," file.
        QTest::newRow("decimal commas") << QByteArray("a;b;c\n1,5;2,25;3\n4;5,5;6\n") << int(Encoding::Utf8) << ";";
        // A delimiter inside quotes does not count.
        QTest::newRow("quoted commas") << QByteArray("\"a,b\";c\n\"d,e\";f\n") << int(Encoding::Utf8) << ";";
        QTest::newRow("one column") << QByteArray("code\nA1\n") << int(Encoding::Utf8) << ";";
    }

    void detection()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, encoding);
        QFETCH(QString, delimiter);
        const delimitedtext::Format f = delimitedtext::detect(head);
        QCOMPARE(int(f.encoding), encoding);
        QCOMPARE(QString(f.delimiter), delimiter);
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("CR LF, LF and CR ends, no final end")
            << QByteArray("a;b\r\nc;d\ne;f\rg;h") << QStringList{"a|b", "c|d", "e|f", "g|h"};
        QTest::newRow("empty cells and lines") << QByteArray(";x;\n\n") << QStringList{"~|x|~", "~"};
        QTest::newRow("quotes: delimiter, line breaks, doubled quotes")
            << QByteArray("\"1;2\";\"ред\r\nдва\";\"12\"\" диск\"\r\n") << QStringList{"1;2|ред\r\nдва|12\" диск"};
        QTest::newRow("a quote inside an unquoted cell stays") << QByteArray("13\" джанти;x\n") << QStringList{"13\" джанти|x"};
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF" "a;b\n") << QStringList{"a|b"};
        QTest::newRow("leading zeros stay text") << QByteArray("007;0,10\n") << QStringList{"007|0,10"};
    }

    void reading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QCOMPARE(records(bytes, {Encoding::Utf8, QLatin1Char(';')}), expected);
    }

    // Long files across the reader's parts, code page 1251, and what it refuses with the row.
    void partsAndRefusals()
    {
        QByteArray big;
        for (int i = 0; i < 20000; ++i)
            big += "\"ред " + QByteArray::number(i) + "\r\nвтори\";Маслен филтър;" + QByteArray::number(i) + ",5\r\n";
        const QStringList rows = records(big, {Encoding::Utf8, QLatin1Char(';')});
        QCOMPARE(rows.size(), 20000);
        QCOMPARE(rows.at(12345), QStringLiteral("ред 12345\r\nвтори|Маслен филтър|12345,5"));
        QCOMPARE(records(QByteArray("\xCA\xee\xe4\t\xB9\n"), {Encoding::Cp1251, QLatin1Char('\t')}), QStringList{"Код|№"});

        const auto refusal = [](const QByteArray &bytes) {
            try {
                records(bytes, {Encoding::Utf8, QLatin1Char(';')});
            } catch (const DaoError &e) {
                return e.message();
            }
            return QString();
        };
        QCOMPARE(refusal("a;b\nc;\"open\n"), QStringLiteral("Ред 2 на файла: кавичките на клетка 2 не са затворени до края на файла."));
        QCOMPARE(refusal("a\n\xCA\xee\xe4\n"), QStringLiteral("Ред 1 на файла: текстът не е в UTF-8; изберете кодировка Windows-1251."));
        QVERIFY(refusal(QByteArray(delimitedtext::MaxCell + 10, 'x')).contains(QStringLiteral("по-дълга")));
        QVERIFY_THROWS_EXCEPTION(DaoError, delimitedtext::detect(QByteArray("\xFF\xFEK\0o\0", 6)));
    }
};

QTEST_GUILESS_MAIN(TestDelimitedText)
#include "tst_delimitedtext.moc"
