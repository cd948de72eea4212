// The fitment index and the search through it, on the file and on the server: cars inside,
// outside and at the edges of the entries' years, and the index after every way a row is written.
#include "TestDb.h"
#include "dataset/ChangeLog.h"
#include "engine/DbStatement.h"
#include "fitment/CompatibilityText.h"
#include "fitment/FitmentIndex.h"

#include <set>
#include <sqlite3.h>

using Kind = inventoryschema::ChangeKind;

class TstFitmentIndex : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestDb> db;
    std::unique_ptr<TDaoDatabase> conn;

    // The catalogue numbers of the rows a filter shows, sorted, joined by blanks.
    QString shown(const QString &filter) const
    {
        auto t = TestDb::table(conn.get(), QStringLiteral("main"));
        t->setFilter(filter);
        t->setFiltered(true);
        t->Open();
        QStringList out;
        for (t->First(); !t->Eof(); t->Next())
            out << t->FieldByName(QStringLiteral("unit_number"))->AsString();
        out.sort();
        return out.join(QLatin1Char(' '));
    }

    QString fits(const QString &make, const QString &model, int year) const
    {
        return shown(QStringLiteral("FITS(\"%1\", \"%2\", %3)").arg(make, model).arg(year));
    }

    // The index holds exactly the entries of the rows' texts as they are read now.
    void indexIsExact() const
    {
        conn->bringFitmentUpToDate();
        conn->readSnapshot([](DbEngine &e) { indexIn(e); });
    }

    static void indexIn(DbEngine &e)
    {
        const QStringList makes = fitment::catalogueMakes(e);
        std::multiset<QString> expected, got;
        auto rows = e.prepare(QStringLiteral("SELECT id, comment FROM main WHERE comment IS NOT NULL"));
        while (rows->step())
            for (const compatibility::Entry &x : compatibility::parse(rows->column(1).toString(), makes))
                if (x.years != compatibility::Entry::Years::Bad)
                    expected.insert(QStringLiteral("%1|%2|%3|%4|%5").arg(rows->columnInt64(0)).arg(fitment::key(x.make),
                                                                                              fitment::key(x.model))
                                        .arg(x.from).arg(x.to ? x.to : 9999));
        auto index = e.prepare(QStringLiteral("SELECT row_id, make, model, year_from, year_to FROM fitment"));
        while (index->step())
            got.insert(QStringLiteral("%1|%2|%3|%4|%5").arg(index->columnInt64(0)).arg(index->column(1).toString(),
                                                                                    index->column(2).toString())
                           .arg(index->columnInt64(3)).arg(index->columnInt64(4)));
        QCOMPARE(QStringList(got.begin(), got.end()), QStringList(expected.begin(), expected.end()));
    }

private slots:
    void init()
    {
        db = std::make_unique<TestDb>();
        db->exec(QStringLiteral("INSERT INTO models (mark_name, model_name) VALUES ('Alfa Romeo', '147'), ('VW', 'Golf'), "
                                "('Опел', 'Астра')"));
        db->exec(QStringLiteral(
            "INSERT INTO main (unit_number, comment, deleted) VALUES "
            "('A', 'VW Golf 1991-1997;', FALSE), ('B', 'VW Golf 1997-2006; VW Passat 2000-2005;', FALSE), "
            "('C', 'vw  golf 2003-', FALSE), ('D', 'VW Golf -1990', FALSE), ('E', 'VW Golf', FALSE), "
            "('F', 'VW Golf 2003', FALSE), ('G', 'Опел Астра 1998-2004;', FALSE), ('H', 'Alfa Romeo 147 2001-2010;', FALSE), "
            "('I', 'VW Golf 1991-19975;', FALSE), ('J', 'Подходящ за всички', FALSE), ('K', 'VW Golf/Jetta 1984-1992', FALSE), "
            "('L', 'VW Golf 2000-2004', TRUE), ('M', NULL, FALSE)"));
        conn = db->connect();
    }

    void cleanup()
    {
        conn.reset();
        db.reset();
    }

    void search_data()
    {
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("year");
        QTest::addColumn<QString>("rows");
        QTest::newRow("inside, open end, no years, one year") << "VW" << "Golf" << 2003 << "B C E F L";
        QTest::newRow("last and first year of two ranges, case") << "vw" << "GOLF" << 1997 << "A B E";
        QTest::newRow("open start to its end") << "VW" << "Golf" << 1990 << "D E K";
        QTest::newRow("first year") << "VW" << "Golf" << 1991 << "A E K";
        QTest::newRow("any model, any year; bad years left out") << "VW" << "" << 0 << "A B C D E F K L";
        QTest::newRow("second model of a list") << "VW" << "Jetta" << 1985 << "K";
        QTest::newRow("Cyrillic, letter case") << "ОПЕЛ" << "астра" << 2004 << "G";
        QTest::newRow("make of two words") << "Alfa Romeo" << "147" << 2005 << "H";
        QTest::newRow("not its first word") << "Alfa" << "Romeo 147" << 2005 << "";
        QTest::newRow("after the range") << "Опел" << "Астра" << 2005 << "";
    }

    void search()
    {
        QFETCH(QString, make);
        QFETCH(QString, model);
        QFETCH(int, year);
        QFETCH(QString, rows);
        QCOMPARE(fits(make, model, year), rows);
    }

    // With the search window's terms, and in the export's selection of the same filter.
    void combinedWithOtherTerms()
    {
        QCOMPARE(shown(QStringLiteral("[deleted]=False AND FITS(\"VW\", \"Golf\", 2003) AND [unit_number] <> \"C\"")),
                 QStringLiteral("B E F"));
        QCOMPARE(shown(QStringLiteral("FITS(\"VW\", \"Golf\", 1990) OR [unit_number] = \"M\"")), QStringLiteral("D E K M"));
        auto t = TestDb::table(conn.get(), QStringLiteral("main"));
        t->setFieldNames({QStringLiteral("unit_number")});
        t->setFilter(QStringLiteral("FITS(\"Опел\", \"Астра\", 2000)"));
        t->setFiltered(true);
        t->Open();
        const QString path = db->dir.filePath(QStringLiteral("fits.txt"));
        t->WriteTextExport(path, false, true);
        auto other = TestDb::table(conn.get(), QStringLiteral("comment")); // a stored query has no index
        other->setFilter(QStringLiteral("FITS(\"VW\", \"\", 0)"));
        other->setFiltered(true);
        try {
            other->Open();
            QFAIL("FITS outside the inventory");
        } catch (const DaoError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("само в склада")), qPrintable(e.message()));
        }
        QFile out(path);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QVERIFY2(out.readAll().contains("\"G\""), "the export's rows");
    }

    // Each way a row is written, the catalogue's makes changing, and another program's writes:
    // the index is what the texts say when it is next used.
    void everyWritePath()
    {
        auto t = TestDb::table(conn.get(), QStringLiteral("main"));
        t->setSortedBy({QStringLiteral("[unit_number]")});
        t->Open();
        indexIsExact();
        t->First(); // A: the grid's post
        t->Edit();
        t->FieldByName(QStringLiteral("comment"))->setAsString(QStringLiteral("VW Golf 2003-2004; BMW X5"));
        t->Post();
        t->Append();
        t->FieldByName(QStringLiteral("unit_number"))->setAsString(QStringLiteral("N"));
        t->FieldByName(QStringLiteral("comment"))->setAsString(QStringLiteral("BMW X5 2005"));
        t->Post();
        QCOMPARE(fits("bmw", "x5", 2005), QStringLiteral("A N"));
        indexIsExact();

        conn->beginOperation(Kind::Paste); // the paste's bulk posts
        t->setBulkMode(true);
        t->First();
        t->Next(); // B
        t->Edit();
        t->FieldByName(QStringLiteral("comment"))->setAsString(QString());
        t->Post();
        t->setBulkMode(false);
        conn->endOperation();
        QCOMPARE(fits("VW", "Passat", 2001), QString());

        conn->writeOperation(Kind::Import, [](DbEngine &e) { // the import's operation
            e.execute(QStringLiteral("UPDATE main SET comment = 'VW Passat 2001' WHERE unit_number IN ('C', 'D')"));
        });
        QCOMPARE(fits("VW", "Passat", 2001), QStringLiteral("C D"));
        QCOMPARE(t->ExecSQL({QStringLiteral("DELETE FROM main WHERE unit_number = 'C';")}), 1); // the purge
        QCOMPARE(fits("VW", "Passat", 2001), QStringLiteral("D"));

        // Another program, which knows nothing of the index.
        db->exec(QStringLiteral("UPDATE main SET comment = 'Land Rover Defender 1990-2016' WHERE unit_number = 'E'"));
        db->exec(QStringLiteral("INSERT INTO main (unit_number, comment, deleted) VALUES ('O', 'VW Passat', FALSE)"));
        db->exec(QStringLiteral("DELETE FROM main WHERE unit_number = 'D'"));
        db->exec(QStringLiteral("UPDATE main SET id = id + 1000 WHERE unit_number = 'G'"));
        QCOMPARE(fits("VW", "Passat", 2001), QStringLiteral("O"));
        QCOMPARE(fits("Опел", "", 0), QStringLiteral("G"));
        QCOMPARE(fits("Land", "Rover Defender", 2000), QStringLiteral("E"));
        indexIsExact();
        db->exec(QStringLiteral("INSERT INTO models (mark_name, model_name) VALUES ('Land  Rover', 'Defender')"));
        QCOMPARE(fits("Land Rover", "Defender", 2000), QStringLiteral("E"));
        QCOMPARE(fits("Land", "Rover Defender", 2000), QString());
        indexIsExact();
        // A row replaced whole, then every row gone at once.
        const bool server = TestDb::onServer();
        db->exec(QStringLiteral("INSERT %1 INTO main (id, unit_number, comment, deleted) SELECT id, 'F', NULL, FALSE FROM main "
                                "WHERE unit_number = 'F' %2")
                     .arg(server ? QString() : QStringLiteral("OR REPLACE"),
                          server ? QStringLiteral("ON CONFLICT (id) DO UPDATE SET comment = NULL") : QString()));
        QCOMPARE(fits("VW", "Golf", 2003), QStringLiteral("A L"));
        indexIsExact();
        db->exec(server ? QStringLiteral("TRUNCATE main") : QStringLiteral("DELETE FROM main"));
        QCOMPARE(fits("VW", "", 0), QString());
        indexIsExact();
    }

    // Every row read in parts of their own transactions: another counter's writes between two
    // parts, to a row read and to one not yet read, are in the index at the end.
    void readInParts()
    {
        db->exec(TestDb::onServer()
                     ? QStringLiteral("INSERT INTO main (unit_number, comment, deleted) SELECT 'R' || x, 'VW Golf ' || (1990 + x % 20), "
                                      "FALSE FROM generate_series(1, 45000) AS x")
                     : QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 45000) "
                                      "INSERT INTO main (unit_number, comment, deleted) SELECT 'R' || x, 'VW Golf ' || (1990 + x % 20), "
                                      "FALSE FROM c"));
        int parts = 0;
        conn->bringFitmentUpToDate([&](qint64, qint64) {
            if (++parts == 1)
                db->exec(QStringLiteral("UPDATE main SET comment = 'Opel Astra F' WHERE unit_number IN ('R5', 'R44000')"));
        });
        QVERIFY(parts >= 2);
        QCOMPARE(fits("Opel", "Astra F", 0), QStringLiteral("R44000 R5"));
        // every twentieth row but R44000, and D, E, K
        QCOMPARE(fits("VW", "Golf", 1990).split(QLatin1Char(' ')).size(), 2249 + 3);
        indexIsExact();
    }

    // An inventory of the layout before the index gets it on opening, and reads every row at
    // the first search; one opened when it could not be changed says so.
    void olderInventory()
    {
        conn.reset();
        db->exec(TestDb::dropLaterAdditionsSql(TestDb::onServer()) + QStringLiteral("UPDATE velostok_meta SET additions = 1"));
        conn = db->connect();
        conn->readSnapshot([](DbEngine &e) { QVERIFY(fitment::present(e)); });
        QCOMPARE(fits("VW", "Golf", 2003), QStringLiteral("B C E F L"));
        indexIsExact();
        if (TestDb::onServer())
            return;
        conn.reset();
        db->exec(TestDb::dropLaterAdditionsSql(false) + QStringLiteral("UPDATE velostok_meta SET additions = 1"));
        // Another copy's write keeps it from being brought up to date.
        sqlite3 *other = nullptr;
        sqlite3_open(db->path.toUtf8().constData(), &other);
        sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        conn = std::make_unique<TDaoDatabase>();
        conn->setDatabase(db->path);
        conn->SmartOpen = false;
        conn->setLockTimes(50, 50, 100);
        conn->Open();
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        conn->readSnapshot([](DbEngine &e) { QVERIFY(!fitment::present(e)); });
        try {
            fits("VW", "Golf", 2003);
            QFAIL("searched without an index");
        } catch (const DaoError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("не е обновена")), qPrintable(e.message()));
        }
    }
};

QTEST_GUILESS_MAIN(TstFitmentIndex)
#include "tst_fitmentindex.moc"
