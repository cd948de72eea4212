// OpenDocument spreadsheets as LibreOffice writes them: typed values, paragraphs and marked
// spaces, repeated cells and rows, merged (covered) cells, a sheet that ends in a million empty
// rows, the second table; a content cut short, a row repeated past a sheet's end and a cell of
// too many marked spaces refused.
#include "base/DaoError.h"
#include "import/OdsReader.h"
#include "SheetText.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <zip.h>

namespace {

QString makeOds(const QString &path, const QByteArray &body, bool whole = true)
{
    static const QByteArray head =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:spreadsheet>";
    static QByteArray content; // libzip reads the buffer when the archive is closed
    content = head + body + (whole ? "</office:spreadsheet></office:body></office:document-content>" : "");
    zip_t *z = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    static const char mime[] = "application/vnd.oasis.opendocument.spreadsheet";
    zip_file_add(z, "mimetype", zip_source_buffer(z, mime, strlen(mime), 0), 0);
    zip_file_add(z, "content.xml", zip_source_buffer(z, content.constData(), zip_uint64_t(content.size()), 0), 0);
    zip_close(z);
    return path;
}

} // namespace

class TestOdsReader : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;

private slots:
    void asLibreOfficeWritesThem()
    {
        const QString path = makeOds(mDir.filePath(QStringLiteral("a.ods")), QByteArray(
            "<table:table table:name=\"Склад\">"
            "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>Кат.№</text:p></table:table-cell>"
            "<table:table-cell table:number-columns-spanned=\"2\"><text:p>Наименование</text:p></table:table-cell>"
            "<table:covered-table-cell/><table:table-cell><text:p>Цена</text:p></table:table-cell></table:table-row>"
            "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>007</text:p></table:table-cell>"
            "<table:table-cell><text:p>Маслен<text:s text:c=\"2\"/>филтър</text:p><text:p>втори ред</text:p>"
            "<office:annotation><text:p>бележка</text:p></office:annotation></table:table-cell>"
            "<table:table-cell table:number-columns-repeated=\"2\"/>"
            "<table:table-cell office:value-type=\"currency\" office:value=\"12.5\"><text:p>12,50 лв.</text:p></table:table-cell>"
            "</table:table-row>"
            "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell office:value-type=\"date\" "
            "office:date-value=\"2024-02-29T08:15:00\"/><table:table-cell office:value-type=\"boolean\" office:boolean-value=\"true\"/>"
            "<table:table-cell table:number-columns-repeated=\"1020\"/></table:table-row>"
            "<table:table-row table:number-rows-repeated=\"1048572\"><table:table-cell table:number-columns-repeated=\"1024\"/></table:table-row>"
            "</table:table>"
            "<table:table table:name=\"Втори\"><table:table-row><table:table-cell/><table:table-cell office:value-type=\"float\" "
            "office:value=\"1E+20\"/></table:table-row></table:table>"));
        OdsReader r(path);
        QCOMPARE(r.sheets(), (QStringList{QStringLiteral("Склад"), QStringLiteral("Втори")}));
        const QStringList first{QStringLiteral("1: Кат.№|Наименование|~|Цена"), QStringLiteral("2: 007|Маслен  филтър\nвтори ред|~|~|12.5"),
                                QStringLiteral("3: 2024-02-29T08:15:00|TRUE"), QStringLiteral("4: 2024-02-29T08:15:00|TRUE")};
        QCOMPARE(sheetRows(r), first);
        r.select(1);
        QCOMPARE(sheetRows(r), QStringList{QStringLiteral("1: ~|1e+20")});
        QFile file(path); // the same from memory
        QVERIFY(file.open(QIODevice::ReadOnly));
        OdsReader inMemory(file.readAll(), QStringLiteral("a.ods"));
        QCOMPARE(sheetRows(inMemory), first);
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::newRow("cut short") << QByteArray("<table:table table:name=\"A\"><table:table-row>") << "свършва по средата";
        QTest::newRow("a row past the sheet's end")
            << QByteArray("<table:table table:name=\"A\"><table:table-row table:number-rows-repeated=\"2000000000\">"
                          "<table:table-cell office:value-type=\"float\" office:value=\"1\"/></table:table-row></table:table>")
            << "повече от 1048576 реда";
        QTest::newRow("marked spaces past the cell's limit")
            << "<table:table table:name=\"A\"><table:table-row><table:table-cell><text:p>" + QByteArray("<text:s text:c=\"1000\"/>").repeated(1100)
                   + "</text:p></table:table-cell></table:table-row></table:table>"
            << "по-дълга от 1048576 знака";
    }

    void refusals()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        const bool whole = body.endsWith("</table:table>");
        const QString path = makeOds(mDir.filePath(QStringLiteral("b.ods")), body, whole);
        try {
            OdsReader r(path);
            sheetRows(r);
            QFAIL("read");
        } catch (const DaoError &e) {
            QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        }
    }
};

QTEST_GUILESS_MAIN(TestOdsReader)
#include "tst_odsreader.moc"
