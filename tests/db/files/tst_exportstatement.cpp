// The export statement's grammar: the column list a dataset's fields give, and each kind's
// composed text parsed back into the parts it was composed from.
#include "base/DaoError.h"
#include "files/ExportStatement.h"

#include <QtTest>

using Fields = std::vector<ExportStatement::Field>;
Q_DECLARE_METATYPE(Fields)

class TestExportStatement : public QObject
{
    Q_OBJECT

private slots:
    void columnList_data()
    {
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<bool>("all");
        QTest::addColumn<bool>("brackets");
        QTest::addColumn<QString>("expected");
        const Fields abc{{QStringLiteral("a"), true}, {QStringLiteral("b.c"), true}, {QStringLiteral("d"), true}};
        QTest::newRow("brackets, dotted") << abc << false << true << " [a], [b].[c], [d]";
        QTest::newRow("plain") << abc << false << false << " a, b.c, d";
        QTest::newRow("all") << abc << true << true << "*";
        QTest::newRow("middle left out") << Fields{{QStringLiteral("a"), true}, {QStringLiteral("b"), false}, {QStringLiteral("c"), true}}
                                         << false << true << " [a], [c]";
        QTest::newRow("last left out") << Fields{{QStringLiteral("a"), true}, {QStringLiteral("b"), true}, {QStringLiteral("c"), false}}
                                       << false << true << " [a], [b]";
        QTest::newRow("none") << Fields{{QStringLiteral("a"), false}} << false << true << "";
    }

    void columnList()
    {
        QFETCH(Fields, fields);
        QFETCH(bool, all);
        QFETCH(bool, brackets);
        QFETCH(QString, expected);
        QCOMPARE(ExportStatement::columnList(fields, all, brackets), expected);
    }

    void composedParsesBack_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("output");
        QTest::newRow("text, filtered") << int(ExportStatement::Text) << "[deleted]=False"
                                        << "Select  [id], [a].[b] INTO [x#y#txt] IN \"/d ir/\"[Text;] FROM [main]  WHERE [deleted]=False ;"
                                        << "x#y#txt" << "/d ir/x.y.txt";
        QTest::newRow("html") << int(ExportStatement::Html) << ""
                              << "Select  [id], [a].[b] INTO [x.y.htm] IN \"/d ir/\"[HTML Export;] FROM [main] ;"
                              << "x.y.htm" << "/d ir/x.y.htm";
        QTest::newRow("spreadsheet") << int(ExportStatement::Spreadsheet) << "[comment] LIKE \"*a;b]*\""
                                     << "Select  [id], [a].[b] INTO [Tab1] IN \"/d ir/x.y.xlsx\"[Excel 4.0;] FROM [main]  WHERE "
                                        "[comment] LIKE \"*a;b]*\" ;"
                                     << "Tab1" << "/d ir/x.y.xlsx";
    }

    void composedParsesBack()
    {
        QFETCH(int, kind);
        QFETCH(QString, filter);
        QFETCH(QString, expected);
        QFETCH(QString, target);
        QFETCH(QString, output);
        const QString columns = ExportStatement::columnList({{QStringLiteral("id"), true}, {QStringLiteral("a.b"), true}}, false, true);
        const QString main = QStringLiteral("main");
        QString file = QStringLiteral("/d ir/x.y.");
        file += kind == ExportStatement::Text ? QStringLiteral("txt") : kind == ExportStatement::Html ? QStringLiteral("htm") : QStringLiteral("xlsx");
        const QString text = kind == ExportStatement::Text ? ExportStatement::composeText(columns, file, main, filter)
                             : kind == ExportStatement::Html
                                 ? ExportStatement::composeHtml(columns, file, main, filter)
                                 : ExportStatement::composeSpreadsheet(columns, file, QStringLiteral("Tab1"), 4, main, filter);
        QCOMPARE(text, expected);
        const ExportStatement s = ExportStatement::parse(text);
        QCOMPARE(int(s.kind), kind);
        QCOMPARE(s.columns, (QStringList{QStringLiteral("id"), QStringLiteral("a.b")}));
        QCOMPARE(s.target, target);
        QCOMPARE(s.source, main);
        QCOMPARE(s.filter, filter);
        QCOMPARE(s.outputPath(), output);
        // A text file needs a name.
        QVERIFY_THROWS_EXCEPTION(DaoError, ExportStatement::composeText(columns, QStringLiteral("/d ir/"), main, filter));
    }
};

QTEST_GUILESS_MAIN(TestExportStatement)
#include "tst_exportstatement.moc"
