// The import's plan against an inventory, its write as one operation and its undo.
#include "FaultVfs.h"
#include "TestDb.h"

#include "base/Regional.h"
#include "dataset/ChangeLog.h"
#include "import/DelimitedText.h"
#include "import/ImportPlan.h"
#include "import/SheetFile.h"

#include <QBuffer>

using namespace inventoryimport;

namespace {

// Three rows of stock: A (twice on the shelf of one supplier), B, and C of two suppliers.
const char *const Stock = "INSERT INTO main (user_id, unit_number, unit_name, quantity, price, deliver_name, deleted) VALUES "
                          "(5, 'A-1', 'Филтър', 2, 10, 'Бош', FALSE), (9, 'B-2', 'Свещ', 4, 3.5, 'NGK', FALSE), "
                          "(12, 'C-3', 'Накладки', 1, 40, 'Бош', FALSE), (13, 'C-3', 'Накладки', 1, 41, 'TRW', FALSE), "
                          "(14, 'D-4', 'Ремък', 1, 20, 'Гейтс', TRUE)";


} // namespace

class TestInventoryImport : public QObject
{
    Q_OBJECT

    TestDb *mDb = nullptr;
    std::unique_ptr<TDaoDatabase> mConn;

    std::unique_ptr<ImportPlan> plan(const QByteArray &csv, Options o = Options())
    {
        QBuffer buffer;
        buffer.setData(csv);
        buffer.open(QIODevice::ReadOnly);
        DelimitedTextReader reader(&buffer, delimitedtext::detect(csv));
        QVariantList headings;
        reader.next(headings);
        for (const QVariant &h : std::as_const(headings)) {
            o.headings << h.toString();
            o.fields << h.toString(); // the test's headings are the field names
        }
        reader.select(0);
        std::optional<SourceInfo> main;
        mConn->readSnapshot([&](DbEngine &e) { main = e.findSource(QStringLiteral("main")); });
        auto p = std::make_unique<ImportPlan>(main->columns, o);
        p->read(reader);
        mConn->readSnapshot([&](DbEngine &e) { p->match(e); });
        return p;
    }
    qint64 write(ImportPlan &p)
    {
        return mConn->writeOperation(ChangeLog::Kind::Import, [&](DbEngine &e) {
            p.write(e, mConn->changeLog(), QDateTime(QDate(2026, 12, 11), QTime(9, 30)));
        });
    }
    // Each row as number:catalogue number:supplier:quantity:price, in key order.
    QString rows() const
    {
        QList<QVariantList> cols;
        for (const char *c : {"user_id", "unit_number", "deliver_name", "quantity", "price"})
            cols << mDb->column(QStringLiteral("SELECT %1 FROM main ORDER BY id").arg(QLatin1String(c)));
        QStringList out;
        for (qsizetype r = 0; r < cols.first().size(); ++r) {
            QStringList cells;
            for (const QVariantList &c : std::as_const(cols))
                cells << (c.at(r).isNull() ? QString()
                          : c.at(r).typeId() == QMetaType::Double ? QString::number(c.at(r).toDouble())
                                                                  : c.at(r).toString());
            out << cells.join(QLatin1Char(':'));
        }
        return out.join(QLatin1Char(' '));
    }

private slots:
    void initTestCase() { regional::setLocale(QLocale(QLocale::Bulgarian, QLocale::Bulgaria)); }
    void init()
    {
        mDb = new TestDb;
        mDb->exec(QString::fromUtf8(Stock));
        mConn = mDb->connect();
    }
    void cleanup()
    {
        mConn.reset();
        delete mDb;
    }

    // The preview's counts and reasons under each key and mode, and what the write leaves.
    void planAndWrite_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("quantity");
        QTest::addColumn<bool>("skipDeleted");
        QTest::addColumn<QString>("counts"); // append change same skip refuse
        QTest::addColumn<QString>("after");
        const QString untouched = QStringLiteral("5:A-1:Бош:2:10 9:B-2:NGK:4:3.5 12:C-3:Бош:1:40 13:C-3:TRW:1:41 14:D-4:Гейтс:1:20");
        QTest::newRow("number, update and append")
            << int(Key::Number) << int(Mode::UpdateAndAppend) << int(Quantity::Replace) << false << "1 2 1 0 3"
            << "5:A-1:Бош:7:11.5 9:B-2:NGK:4:3.5 12:C-3:Бош:1:40 13:C-3:TRW:1:41 14:D-4:Гейтс:5:20 15:N-9:::1";
        QTest::newRow("number and supplier, add quantity")
            << int(Key::NumberAndSupplier) << int(Mode::UpdateAndAppend) << int(Quantity::Add) << false << "2 3 0 0 2"
            << "5:A-1:Бош:9:11.5 9:B-2:NGK:8:3.5 12:C-3:Бош:1:40 13:C-3:TRW:3:41 14:D-4:Гейтс:1:20 15:N-9:::1 16:D-4::5:";
        QTest::newRow("update only") << int(Key::Number) << int(Mode::UpdateOnly) << int(Quantity::Replace) << false
                                     << "0 2 1 1 3"
                                     << "5:A-1:Бош:7:11.5 9:B-2:NGK:4:3.5 12:C-3:Бош:1:40 13:C-3:TRW:1:41 14:D-4:Гейтс:5:20";
        QTest::newRow("append only, deleted rows not matched")
            << int(Key::Number) << int(Mode::AppendOnly) << int(Quantity::Replace) << true << "2 0 0 2 3"
            << untouched + QStringLiteral(" 15:N-9:::1 16:D-4::5:");
    }
    void planAndWrite()
    {
        QFETCH(int, key);
        QFETCH(int, mode);
        QFETCH(int, quantity);
        QFETCH(bool, skipDeleted);
        QFETCH(QString, counts);
        QFETCH(QString, after);
        const QByteArray csv = QStringLiteral("unit_number;deliver_name;quantity;price;unit_name\r\n"
                                              "  a-1 ;Бош;7;11,5;\r\n"      // case and blanks ignored; no name: kept
                                              "B-2;NGK;4;3,5;Свещ\r\n"      // the same as stored
                                              ";;;;\r\n"                     // empty: passed over
                                              "N-9;;;1;Нов\r\n"              // new
                                              "C-3;TRW;2;41;\r\n"            // two rows under the number key
                                              "X-0;;2;12,5 лв;\r\n"          // refused cell
                                              "A-1;Бош;2;;\r\n"              // repeats the first row's key
                                              "D-4;;5;;\r\n")                // only a deleted row has it
                                   .toUtf8();
        Options o;
        o.key = Key(key);
        o.mode = Mode(mode);
        o.quantity = Quantity(quantity);
        o.skipDeleted = skipDeleted;
        auto p = plan(csv, o);
        const QString got = QStringLiteral("%1 %2 %3 %4 %5")
                                .arg(p->count(Outcome::Append))
                                .arg(p->count(Outcome::Change))
                                .arg(p->count(Outcome::Same))
                                .arg(p->count(Outcome::Skip))
                                .arg(p->count(Outcome::Refuse));
        QCOMPARE(got, counts);
        QStringList reasons;
        for (const PlannedRow &r : p->rows())
            if (r.outcome == Outcome::Refuse)
                reasons << r.reasons;
        QVERIFY(reasons.contains(QStringLiteral("ред 7, колона „price“: очаква се число, намерено „12,5 лв“")));
        QVERIFY(reasons.contains(QStringLiteral("ред 8: „A-1%1“ се повтаря (ред 2)").arg(o.key == Key::Number ? "" : " / Бош")));

        const qint64 entry = write(*p);
        QCOMPARE(rows(), after);
        // Written rows are stamped; unwritten ones are not; the whole import is one entry.
        QCOMPARE(mDb->scalar(QStringLiteral("SELECT count(*) FROM main WHERE last_modified = '2026-12-11 09:30:00'")).toLongLong(),
                 p->count(Outcome::Append) + p->count(Outcome::Change));
        const qint64 written = p->count(Outcome::Append) + p->count(Outcome::Change);
        QCOMPARE(entry > 0, written > 0);
        QCOMPARE(mDb->scalar(QStringLiteral("SELECT count(*) FROM history WHERE kind = 8")).toInt(), written > 0 ? 1 : 0);
        QCOMPARE(mConn->changeLog()->operationRows(entry).size(), written);
    }

    // A failure anywhere leaves the inventory as it was; a counter that appended meanwhile is
    // matched and numbered after.
    void allOrNothing()
    {
        const QByteArray csv = "unit_number;price\r\nA-1;99\r\nN-1;1\r\nN-2;2\r\n";
        const QString before = rows();
        auto p = plan(csv);
        mDb->refuse(QStringLiteral("no_n2"), QStringLiteral("INSERT"), QStringLiteral("NEW.unit_number = 'N-2'"), QStringLiteral("отказан"));
        QVERIFY_THROWS_EXCEPTION(DaoError, write(*p));
        QCOMPARE(rows(), before);
        mDb->allow(QStringLiteral("no_n2"));
        if (!TestDb::onServer()) {
            faultvfs::install();
            auto conn = mDb->connect(); // through the failing file layer
            std::swap(conn, mConn);
            auto q = plan(csv);
            faultvfs::arm(faultvfs::Kind::Sync, 1, true);
            QVERIFY_THROWS_EXCEPTION(DaoError, write(*q));
            faultvfs::disarm();
            std::swap(conn, mConn);
            QCOMPARE(rows(), before);
        }
        QCOMPARE(mDb->scalar(QStringLiteral("SELECT count(*) FROM history WHERE kind = 8")).toInt(), 0);
        // Another counter appends N-1 and a higher number after the preview: what was shown is
        // no longer what would be written, so nothing is; a new preview is written, numbered after.
        mDb->exec(QStringLiteral("INSERT INTO main (user_id, unit_number, price) VALUES (40, 'N-1', 5)"));
        QVERIFY_THROWS_EXCEPTION(DaoError, write(*p));
        QCOMPARE(mDb->scalar(QStringLiteral("SELECT count(*) FROM main WHERE price = 99")).toInt(), 0);
        p = plan(csv);
        write(*p);
        QCOMPARE(rows(), QStringLiteral("5:A-1:Бош:2:99 9:B-2:NGK:4:3.5 12:C-3:Бош:1:40 13:C-3:TRW:1:41 14:D-4:Гейтс:1:20 "
                                        "40:N-1:::1 41:N-2:::2"));
    }

    // The program's export read back: into an empty inventory every column comes back equal;
    // into the inventory it came from, nothing changes.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("text") << QStringLiteral("export.txt");
        QTest::newRow("xlsx") << QStringLiteral("export.xlsx");
    }
    void roundTrip()
    {
        QFETCH(QString, file);
        // The workbook is read under the name "export.xls", as its bytes say it is an xlsx.
        TestDb source(QStringLiteral("source.mdb")), target(QStringLiteral("target.mdb"));
        source.exec(QStringLiteral(
            "INSERT INTO main (id, user_id, unit_number, unit_name, quantity, price, second_price, deliver_name, delivery_country, "
            "delivery_unit_number, comment, modifier, locked, deleted, last_modified, created) VALUES "
            "(1, 7, '007', 'Филтър \"Mann\"' || char(10) || 'ред 2', 0.1, 1e20, NULL, 'Бош, ООД', NULL, 'x;y', "
            "'VW Golf 1997-2006;', 'Иван', TRUE, FALSE, '2026-12-01 08:15:30', '2025-01-02 03:04:05'), "
            "(2, 8, 'A', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, FALSE, TRUE, '2026-01-31 23:59:59', '2025-01-02 03:04:05'), "
            "(3, 9, ' b ', '  отстъп', -2.5, 0, 1234567.891, 'TRW', 'Германия', NULL, NULL, NULL, FALSE, FALSE, "
            "'2024-02-29 00:00:00', '2024-02-29 12:00:00')").replace(QStringLiteral("char(10)"), TestDb::onServer() ? QStringLiteral("chr(10)") : QStringLiteral("char(10)")));
        if (TestDb::onServer())
            source.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('main', 'id'), 3)"));
        const QString path = source.dir.filePath(file);
        {
            auto conn = source.connect();
            auto t = TestDb::table(conn.get(), QStringLiteral("main"));
            t->Open();
            t->ExportMethod = TDaoTable::TExportMethod::AllFields;
            if (file.endsWith(QLatin1String(".xlsx")))
                t->WriteSpreadsheetExport(path, QStringLiteral("main"), 8, false, true);
            else
                t->WriteTextExport(path, false, true);
        }
        const QString read = file.endsWith(QLatin1String(".xlsx")) ? path.chopped(1) : path;
        QVERIFY(read == path || QFile::rename(path, read));
        const auto importInto = [&](TestDb &db) {
            auto conn = db.connect();
            std::swap(conn, mConn);
            const sheetfile::Kind kind = sheetfile::kindOf(read);
            QFile f(read);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const delimitedtext::Format format = kind == sheetfile::Kind::Text ? delimitedtext::detect(f.read(65536)) : delimitedtext::Format();
            std::unique_ptr<SheetReader> reader = sheetfile::open(read, kind, format);
            QVariantList headings;
            reader->next(headings);
            Options o;
            for (const QVariant &h : std::as_const(headings))
                o.headings << h.toString(), o.fields << h.toString();
            std::optional<SourceInfo> main;
            mConn->readSnapshot([&](DbEngine &e) { main = e.findSource(QStringLiteral("main")); });
            o.exportForm = exportHeadings(o.headings, main->columns);
            QVERIFY(o.exportForm);
            reader->select(0);
            ImportPlan p(main->columns, o);
            p.read(*reader);
            mConn->readSnapshot([&](DbEngine &e) { p.match(e); });
            for (const PlannedRow &r : p.rows())
                QVERIFY2(r.outcome != Outcome::Refuse, qPrintable(r.reasons.join(QLatin1Char(' '))));
            write(p);
            std::swap(conn, mConn);
            QCOMPARE(p.count(Outcome::Same), &db == &source ? 3 : 0);
        };
        importInto(target);
        const char *columns[] = {"id", "user_id", "unit_number", "unit_name", "quantity", "price", "second_price", "deliver_name",
                                 "delivery_country", "delivery_unit_number", "comment", "modifier", "locked", "deleted",
                                 "last_modified", "created"};
        for (const char *c : columns) {
            const QString sql = QStringLiteral("SELECT %1 FROM main ORDER BY id").arg(QLatin1String(c));
            QCOMPARE(target.column(sql), source.column(sql));
        }
        importInto(source);
        QCOMPARE(source.scalar(QStringLiteral("SELECT count(*) FROM history WHERE kind = 8")).toInt(), 0);
    }

    // The undo gives back what the last import changed and removes what it added, leaving alone
    // a row changed since; it undoes an import once.
    void undo()
    {
        auto p = plan("unit_number;price\r\nA-1;99\r\nB-2;7\r\nN-1;1\r\nN-2;2\r\n");
        write(*p);
        mDb->exec(QStringLiteral("UPDATE main SET price = 8 WHERE unit_number = 'B-2'"));
        mDb->exec(QStringLiteral("UPDATE main SET quantity = 3 WHERE unit_number = 'N-2'"));
        const UndoResult r = undoLastImport(*mConn);
        QCOMPARE(r.restored, 1);
        QCOMPARE(r.removed, 1);
        QCOMPARE(r.leftAlone, QStringList({QStringLiteral("9"), QStringLiteral("16")}));
        QCOMPARE(rows(), QStringLiteral("5:A-1:Бош:2:10 9:B-2:NGK:4:8 12:C-3:Бош:1:40 13:C-3:TRW:1:41 14:D-4:Гейтс:1:20 16:N-2::3:2"));
        QCOMPARE(mDb->scalar(QStringLiteral("SELECT last_modified FROM main WHERE unit_number = 'A-1'")), QVariant());
        try {
            undoLastImport(*mConn);
            QFAIL("undone twice");
        } catch (const DaoError &e) {
            QCOMPARE(e.message(), QStringLiteral("Последното вмъкване от файл вече е отменено."));
        }
    }
};

QTEST_GUILESS_MAIN(TestInventoryImport)
#include "tst_inventoryimport.moc"
