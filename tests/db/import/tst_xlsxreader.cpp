// Workbooks written by other programs read back cell by cell: libxlsxwriter (shared and inline
// strings, rich text runs, formulas' cached values, dates, booleans, empty rows) and Python's
// openpyxl (several sheets, the 1904 date system); damaged and oversized files refused.
#include "base/DaoError.h"
#include "base/Regional.h"
#include "import/XlsxReader.h"
#include "SheetText.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <xlsxwriter.h>
#include <zip.h>

#include <cstring>

class TestXlsxReader : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;

private slots:
    void writtenByLibxlsxwriter()
    {
        for (const bool constantMemory : {false, true}) { // inline strings in constant memory mode
            const QByteArray path = mDir.filePath(QStringLiteral("w%1.xlsx").arg(constantMemory)).toUtf8();
            const regional::CNumbers c; // libxlsxwriter prints numbers in the C library's locale
            lxw_workbook_options options = {};
            options.constant_memory = constantMemory;
            lxw_workbook *wb = workbook_new_opt(path.constData(), &options);
            lxw_worksheet *ws = workbook_add_worksheet(wb, "Ценоразпис");
            lxw_format *date = workbook_add_format(wb);
            format_set_num_format(date, "dd.mm.yyyy hh:mm");
            lxw_format *bold = workbook_add_format(wb);
            format_set_bold(bold);
            worksheet_write_string(ws, 0, 0, "Код", nullptr);
            worksheet_write_string(ws, 0, 1, "Наименование", nullptr);
            worksheet_write_string(ws, 0, 3, "Цена", nullptr);
            worksheet_write_string(ws, 1, 0, "007", nullptr);
            if (!constantMemory) { // rich strings need the shared table
                lxw_rich_string_tuple a = {bold, const_cast<char *>("Маслен ")}, b = {nullptr, const_cast<char *>("филтър")};
                lxw_rich_string_tuple *runs[] = {&a, &b, nullptr};
                worksheet_write_rich_string(ws, 1, 1, runs, nullptr);
            } else {
                worksheet_write_string(ws, 1, 1, "Маслен филтър", nullptr);
            }
            worksheet_write_number(ws, 1, 3, 0.1, nullptr);
            worksheet_write_formula_num(ws, 1, 4, "=D2*2", nullptr, 0.2);
            lxw_datetime when = {2026, 12, 9, 11, 30, 0};
            worksheet_write_datetime(ws, 3, 0, &when, date); // row 3 left empty
            worksheet_write_boolean(ws, 3, 1, 1, nullptr);
            worksheet_write_number(ws, 3, 2, 1e20, nullptr);
            QCOMPARE(workbook_close(wb), LXW_NO_ERROR);

            XlsxReader r{QString::fromUtf8(path)};
            QCOMPARE(r.sheets(), QStringList{QStringLiteral("Ценоразпис")});
            QCOMPARE(sheetRows(r), (QStringList{QStringLiteral("1: Код|Наименование|~|Цена"), QStringLiteral("2: 007|Маслен филтър|~|0.10000000000000001|0.20000000000000001"),
                                           QStringLiteral("4: 2026-12-09T11:30:00|TRUE|1e+20")}));
        }
    }

    void writtenByOpenpyxl()
    {
        const QString path = mDir.filePath(QStringLiteral("py.xlsx"));
        const QString script = QStringLiteral(
            "import sys, datetime, openpyxl\n"
            "from openpyxl.utils.datetime import CALENDAR_MAC_1904\n"
            "wb = openpyxl.Workbook(); wb.epoch = CALENDAR_MAC_1904\n"
            "a = wb.active; a.title = 'Склад'; b = wb.create_sheet('Втори')\n"
            "a.append(['Кат.№', 'Кол.', 'Дата']); a.append(['W712', 4, datetime.datetime(2024, 2, 29, 8, 15)])\n"
            "a['A5'] = 'след празни'; a.merge_cells('A7:C7'); a['A7'] = 'слети'\n"
            "b['B2'] = 'x'\n"
            "wb.save(sys.argv[1])\n");
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path}); // Debian's, with python3-openpyxl
        QVERIFY(py.waitForFinished(60000));
        QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
        XlsxReader r(path);
        QCOMPARE(r.sheets(), (QStringList{QStringLiteral("Склад"), QStringLiteral("Втори")}));
        const QStringList first{QStringLiteral("1: Кат.№|Кол.|Дата"), QStringLiteral("2: W712|4|2024-02-29T08:15:00"),
                                QStringLiteral("5: след празни"), QStringLiteral("7: слети")};
        QCOMPARE(sheetRows(r), first);
        r.select(1);
        QCOMPARE(sheetRows(r), QStringList{QStringLiteral("2: ~|x")});
        QFile file(path); // the same from memory
        QVERIFY(file.open(QIODevice::ReadOnly));
        XlsxReader inMemory(file.readAll(), QStringLiteral("py.xlsx"));
        QCOMPARE(sheetRows(inMemory), first);

        // A sheet of 100,000 rows, streamed: every row read, in order.
        const QString big = mDir.filePath(QStringLiteral("big.xlsx"));
        py.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, openpyxl\nwb = openpyxl.Workbook(write_only=True); ws = wb.create_sheet('Голям')\n"
                                 "for i in range(1, 100001): ws.append(['K-%d' % i, i * 0.5])\nwb.save(sys.argv[1])\n"),
                  big});
        QVERIFY(py.waitForFinished(120000));
        QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
        XlsxReader many(big);
        QVariantList cells;
        qint64 n = 0;
        bool inOrder = true;
        while (many.next(cells))
            inOrder = inOrder && ++n == many.row() && cells.value(0).toString() == QStringLiteral("K-%1").arg(n)
                && cells.value(1).toDouble() == n * 0.5;
        QVERIFY(inOrder);
        QCOMPARE(n, 100000);
    }

    void refusals()
    {
        const auto refusal = [](const QString &path) {
            try {
                XlsxReader r(path);
                sheetRows(r);
            } catch (const DaoError &e) {
                return e.message();
            }
            return QString();
        };
        const QString text = mDir.filePath(QStringLiteral("text.xlsx"));
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Код;Цена\n");
        f.close();
        QVERIFY(refusal(text).contains(QStringLiteral("не е работна книга")));
        // A zip without the workbook's parts, and a sheet part cut short.
        const QString broken = mDir.filePath(QStringLiteral("broken.xlsx"));
        zip_t *z = zip_open(broken.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
        static const char rels[] = "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/></Relationships>";
        static const char book[] = "<workbook xmlns:r=\"r\"><sheets><sheet name=\"A\" r:id=\"rId1\"/></sheets></workbook>";
        static const char sheet[] = "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row";
        for (const auto &[name, data] : {std::pair{"xl/_rels/workbook.xml.rels", rels}, std::pair{"xl/workbook.xml", book},
                                         std::pair{"xl/worksheets/sheet1.xml", sheet}})
            zip_file_add(z, name, zip_source_buffer(z, data, strlen(data), 0), 0);
        QCOMPARE(zip_close(z), 0);
        QVERIFY(refusal(broken).contains(QStringLiteral("свършва по средата")));
    }
};

QTEST_GUILESS_MAIN(TestXlsxReader)
#include "tst_xlsxreader.moc"
