// Excel 97-2003 workbooks written by Python's xlwt read back cell by cell; files that are no
// workbook, damaged, encrypted or that would cost libfreexl too much memory or time refused.
#include "base/DaoError.h"
#include "import/XlsReader.h"
#include "SheetText.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestXlsReader : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;

private slots:
    void initTestCase()
    {
        // Debian's python3 with python3-xlwt (tools/install-deps.sh). Beside a good workbook: two
        // full sheets, far dates, an encrypted copy (FILEPASS in place of WRITEACCESS, an unknown
        // record filling the rest, as Excel marks a workbook saved with a password), a copy whose
        // workbook stream's chain of sectors turns back to its start (libfreexl follows a chain
        // past the stream's end), a copy cut short and a text file.
        const QString script = QStringLiteral(
            "import sys, datetime, struct, xlwt\n"
            "def book(): return xlwt.Workbook(encoding='utf-8')\n"
            "def save(name, data): open(sys.argv[1] + '/' + name, 'wb').write(data)\n"
            "wb = book(); a = wb.add_sheet('Склад'); b = wb.add_sheet('Втори')\n"
            "f = lambda s: xlwt.easyxf(num_format_str=s)\n"
            "a.write(0, 0, 'Кат.№'); a.write(0, 1, 'Кол.'); a.write(0, 3, 'Дата')\n"
            "a.write(1, 0, '007'); a.write(1, 1, 4); a.write(1, 2, 0.1)\n"
            "a.write(1, 3, datetime.datetime(2024, 2, 29, 8, 15), f('dd.mm.yyyy hh:mm')); a.write(1, 4, True); a.write(1, 5, 1e20)\n"
            "a.write(4, 0, 'ред\\nдва'); a.write(4, 1, datetime.date(2024, 3, 1), f('dd.mm.yyyy'))\n"
            "a.write(4, 2, datetime.time(12, 30), f('hh:mm')); a.write(4, 3, xlwt.Formula('B2*2')); a.write(4, 4, '')\n"
            "a.write_merge(6, 6, 0, 2, 'слети'); b.write(1, 1, 'x')\n"
            "wb.save(sys.argv[1] + '/good.xls')\n"
            "wb = book()\n"
            "for n in ('a', 'b'): s = wb.add_sheet(n); s.write(0, 0, 'a'); s.write(65535, 255, 'z')\n"
            "wb.save(sys.argv[1] + '/cells.xls')\n"
            "wb = book(); s = wb.add_sheet('a')\n"
            "for r in range(10): s.write(r, 0, 2.0e9, f('dd.mm.yyyy'))\n"
            "wb.save(sys.argv[1] + '/dates.xls')\n"
            "d = open(sys.argv[1] + '/good.xls', 'rb').read(); u = lambda at: struct.unpack_from('<I', d, at)[0]\n"
            "i = d.find(b'\\x5c\\x00\\x70\\x00'); save('encrypted.xls', d[:i] + bytes.fromhex('2f000600000012345678af016600') + bytes(102) + d[i + 116:])\n"
            "fat = (u(0x4c) + 1) * 512; first = last = u((u(0x30) + 1) * 512 + 128 + 0x74)  # the Workbook entry\n"
            "while u(fat + 4 * last) != 0xfffffffe: last = u(fat + 4 * last)\n"
            "c = bytearray(d); struct.pack_into('<I', c, fat + 4 * last, first); save('cyclic.xls', c)\n"
            "save('half.xls', d[:3000]); save('text.xls', 'Код;Цена\\n'.encode())\n");
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, mDir.path()});
        QVERIFY(py.waitForFinished(60000));
        QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
    }

    void writtenByXlwt()
    {
        XlsReader r(mDir.filePath(QStringLiteral("good.xls")));
        QCOMPARE(r.sheets(), (QStringList{QStringLiteral("Склад"), QStringLiteral("Втори")}));
        // A boolean comes as 1 and a formula as nothing: libfreexl gives no more.
        QCOMPARE(sheetRows(r), (QStringList{QStringLiteral("1: Кат.№|Кол.|~|Дата"),
                                            QStringLiteral("2: 007|4|0.10000000000000001|2024-02-29T08:15:00|1|1e+20"),
                                            QStringLiteral("5: ред\nдва|2024-03-01T00:00:00|1899-12-31T12:30:00"), QStringLiteral("7: слети")}));
        r.select(1);
        QCOMPARE(sheetRows(r), QStringList{QStringLiteral("2: ~|x")});
        r.select(0); // again from the start
        QVariantList cells;
        QVERIFY(r.next(cells));
        QCOMPARE(r.row(), 1);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("text") << "text.xls" << "не е работна книга на Excel (xls)";
        QTest::newRow("cut short") << "half.xls" << "повреден";
        QTest::newRow("chain in a circle") << "cyclic.xls" << "не може да бъде прочетен: повреден е";
        QTest::newRow("encrypted") << "encrypted.xls" << "защитен е с парола";
        QTest::newRow("two full sheets") << "cells.xls" << "листовете му заемат общо 33554432 клетки";
        QTest::newRow("dates far away") << "dates.xls" << "датите в него";
        QTest::newRow("missing") << "none.xls" << "не може да бъде отворен";
    }

    void refusals()
    {
        QFETCH(QString, file);
        QFETCH(QString, message);
        try {
            XlsReader r(mDir.filePath(file));
            sheetRows(r);
            QFAIL("read");
        } catch (const DaoError &e) {
            QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        }
    }
};

QTEST_GUILESS_MAIN(TestXlsReader)
#include "tst_xlsreader.moc"
