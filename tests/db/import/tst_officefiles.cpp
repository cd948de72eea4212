// A sheet the test writes (Cyrillic, a line break in a cell, "007" as text, 0.1, 1e20, a date, a
// date and time, booleans, an empty row, a merged heading), converted by LibreOffice to xlsx, xls,
// ods and csv, read back and taken as field values; the csv in the regional forms LibreOffice wrote
// it in (the tests run under a Bulgarian locale). Needs soffice (libreoffice-calc-nogui).
#include "import/CellValue.h"
#include "import/DelimitedText.h"
#include "import/OdsReader.h"
#include "import/XlsReader.h"
#include "import/XlsxReader.h"
#include "SheetText.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

const char source[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <number:date-style style:name="N1"><number:day number:style="long"/><number:text>.</number:text><number:month number:style="long"/><number:text>.</number:text><number:year number:style="long"/></number:date-style>
 <number:date-style style:name="N2"><number:day number:style="long"/><number:text>.</number:text><number:month number:style="long"/><number:text>.</number:text><number:year number:style="long"/><number:text> </number:text><number:hours number:style="long"/><number:text>:</number:text><number:minutes number:style="long"/></number:date-style>
 <number:boolean-style style:name="N3"><number:boolean/></number:boolean-style>
 <style:style style:name="date" style:family="table-cell" style:data-style-name="N1"/>
 <style:style style:name="time" style:family="table-cell" style:data-style-name="N2"/>
 <style:style style:name="bool" style:family="table-cell" style:data-style-name="N3"/>
</office:automatic-styles>
<office:body><office:spreadsheet><table:table table:name="Ценоразпис">
<table:table-row><table:table-cell table:number-columns-spanned="3" office:value-type="string"><text:p>Доставка на части</text:p></table:table-cell><table:covered-table-cell/><table:covered-table-cell/></table:table-row>
<table:table-row><table:table-cell office:value-type="string"><text:p>Кат.№</text:p></table:table-cell><table:table-cell office:value-type="string"><text:p>Наименование</text:p></table:table-cell><table:table-cell office:value-type="string"><text:p>Цена</text:p></table:table-cell><table:table-cell office:value-type="string"><text:p>Брой</text:p></table:table-cell><table:table-cell office:value-type="string"><text:p>Дата</text:p></table:table-cell><table:table-cell office:value-type="string"><text:p>Наличен</text:p></table:table-cell></table:table-row>
<table:table-row><table:table-cell office:value-type="string"><text:p>007</text:p></table:table-cell><table:table-cell office:value-type="string"><text:p>Маслен филтър</text:p><text:p>за дизел</text:p></table:table-cell><table:table-cell office:value-type="float" office:value="0.1"/><table:table-cell office:value-type="float" office:value="1E+20"/><table:table-cell table:style-name="date" office:value-type="date" office:date-value="2024-02-29"/><table:table-cell table:style-name="bool" office:value-type="boolean" office:boolean-value="true"/></table:table-row>
<table:table-row><table:table-cell/></table:table-row>
<table:table-row><table:table-cell office:value-type="string"><text:p>Ж-12</text:p></table:table-cell><table:table-cell office:value-type="string"><text:p>Свещ „Бош“</text:p></table:table-cell><table:table-cell office:value-type="float" office:value="12.5"/><table:table-cell office:value-type="float" office:value="-3"/><table:table-cell table:style-name="time" office:value-type="date" office:date-value="1999-12-31T23:59:00"/><table:table-cell table:style-name="bool" office:value-type="boolean" office:boolean-value="false"/></table:table-row>
</table:table></office:spreadsheet></office:body></office:document>
)";

} // namespace

class TestOfficeFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;

private slots:
    void initTestCase()
    {
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        QVERIFY2(!soffice.isEmpty(), "soffice not found: tools/install-deps.sh installs libreoffice-calc-nogui");
        QFile f(mDir.filePath(QStringLiteral("book.fods")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(source);
        f.close();
        // A profile of its own, so that no user's settings or running LibreOffice take part.
        const QString profile = QUrl::fromLocalFile(mDir.filePath(QStringLiteral("profile"))).toString();
        for (const QString &format : {QStringLiteral("xlsx"), QStringLiteral("xls:MS Excel 97"), QStringLiteral("ods"),
                                      QStringLiteral("csv:Text - txt - csv (StarCalc):59,34,76,1")}) { // ';', '"', UTF-8
            QProcess p;
            p.start(soffice, {QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("-env:UserInstallation=") + profile,
                              QStringLiteral("--convert-to"), format, QStringLiteral("--outdir"), mDir.path(), f.fileName()});
            if (!p.waitForFinished(120000)) {
                p.kill();
                p.waitForFinished();
                QFAIL(qPrintable(QStringLiteral("soffice took over two minutes for ") + format));
            }
            const QString out = mDir.filePath(QStringLiteral("book.") + format.section(QLatin1Char(':'), 0, 0));
            QVERIFY2(p.exitCode() == 0 && QFile::exists(out), p.readAllStandardError().constData());
        }
    }

    void readBack_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("rows"); // a data row as "": compared as field values only
        const QString head = QStringLiteral("1: Доставка на части"), titles = QStringLiteral("2: Кат.№|Наименование|Цена|Брой|Дата|Наличен");
        const QString data = QStringLiteral("3: 007|Маслен филтър\nза дизел|0.10000000000000001|1e+20|2024-02-29T00:00:00|%1"),
                      more = QStringLiteral("5: Ж-12|Свещ „Бош“|12.5|-3|1999-12-31T23:59:00|%1");
        QTest::newRow("xlsx") << "xlsx" << QStringList{head, titles, data.arg("TRUE"), more.arg("FALSE")};
        QTest::newRow("ods") << "ods" << QStringList{head, titles, data.arg("TRUE"), more.arg("FALSE")};
        QTest::newRow("xls") << "xls" << QStringList{head, titles, data.arg(1), more.arg(0)}; // libfreexl's booleans
        // The csv's text as LibreOffice shows the cells, its empty row kept.
        QTest::newRow("csv") << "csv" << QStringList{head + QStringLiteral("|~|~|~|~|~"), titles, QString(), QStringLiteral("4: ~|~|~|~|~|~"), QString()};
    }

    void readBack()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, rows);
        const QString path = mDir.filePath(QStringLiteral("book.") + format);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        std::unique_ptr<SheetReader> r;
        if (format == QLatin1String("xlsx"))
            r = std::make_unique<XlsxReader>(path);
        else if (format == QLatin1String("xls"))
            r = std::make_unique<XlsReader>(path);
        else if (format == QLatin1String("ods"))
            r = std::make_unique<OdsReader>(path);
        else
            r = std::make_unique<DelimitedTextReader>(path, delimitedtext::detect(file.read(4096)));
        if (format != QLatin1String("csv"))
            QCOMPARE(r->sheets(), QStringList{QStringLiteral("Ценоразпис")});
        QStringList read = sheetRows(*r);
        for (qsizetype i = 0; i < read.size() && i < rows.size(); ++i)
            if (rows.at(i).isEmpty())
                read[i].clear();
        QCOMPARE(read, rows);

        // The data rows as the import takes them into text, number, date and yes/no fields.
        const TFieldType types[] = {TFieldType::Text, TFieldType::Text, TFieldType::Double, TFieldType::Double, TFieldType::DateTime, TFieldType::Boolean};
        const QVariantList expected[] = {
            {QStringLiteral("007"), QStringLiteral("Маслен филтър\nза дизел"), 0.1, 1e20, QDateTime(QDate(2024, 2, 29), QTime(0, 0)), true},
            {QStringLiteral("Ж-12"), QStringLiteral("Свещ „Бош“"), 12.5, -3.0, QDateTime(QDate(1999, 12, 31), QTime(23, 59)), false}};
        r->select(0);
        QVariantList cells;
        for (int n = 0; r->next(cells);) {
            if (r->row() != 3 && r->row() != 5)
                continue;
            QVariantList values;
            for (int c = 0; c < 6; ++c) {
                const cellvalue::Converted v = cellvalue::convert(cells.value(c), types[c], 100);
                QVERIFY2(v.refusal.isEmpty(), qPrintable(v.refusal));
                values << v.value;
            }
            QCOMPARE(values, expected[n++]);
        }
    }
};

QTEST_GUILESS_MAIN(TestOfficeFiles)
#include "tst_officefiles.moc"
