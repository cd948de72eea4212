// The data module: the datasets by name, the stamping and numbering of every post, bulk mode,
// the after-post hook, the scratch dataset and the stored pick-list queries.
#include "base/Clock.h"
#include "base/DaoError.h"
#include "engine/EngineFactory.h"
#include "sqlite/SqliteEngine.h"
#include "dataset/ResultCache.h"
#include "TestDb.h"
#include "engine/DbEngine.h"
#include "engine/DbStatement.h"
#include "dataset/DistinctValues.h"

#include <QRandomGenerator>
#include "module/uDM.h"

#include <QScopeGuard>

class TestDM : public QObject
{
    Q_OBJECT

    QDateTime mNow = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53));

    std::unique_ptr<TDM> connected(const TestDb &db)
    {
        auto dm = std::make_unique<TDM>();
        dm->DataBase->setDatabase(db.path);
        dm->DataBase->Open();
        for (TDaoTable *t : dm->connectOrder())
            t->Open();
        return dm;
    }

    static qint64 number(TDM *dm) { return dm->tblMain->FieldByName(QStringLiteral("user_id"))->AsInteger(); }

private slots:
    void distinctValuesFollowManyChanges()
    {
        // Thousands of this connection's changes (more than one merge's worth), in a random
        // order of new, removed and changed values, give the list a fresh scan gives.
        TestDb db;
        db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                               "INSERT INTO main (unit_number) SELECT 'Б-' || (i % 700) FROM n"));
        std::unique_ptr<DbEngine> engine = engines::create(db.path);
        engine->open(db.path);
        DistinctValues kept(QStringLiteral("main"), QStringLiteral("unit_number"));
        kept.build(*engine);
        QRandomGenerator r(7);
        engine->execute(QStringLiteral("BEGIN"));
        for (int i = 0; i < 6000; ++i) {
            const qint64 id = r.bounded(1, 3001);
            std::unique_ptr<DbStatement> old = engine->prepare(QStringLiteral("SELECT unit_number FROM main WHERE id = %1").arg(id));
            QVERIFY(old->step());
            const QVariant was = old->columnIsNull(0) ? QVariant() : QVariant(QString::fromUtf8(old->columnText(0)));
            old.reset();
            const QVariant now = r.bounded(5) == 0 ? QVariant() : QVariant(QStringLiteral("б-%1").arg(r.bounded(2000)));
            engine->execute(QStringLiteral("UPDATE main SET unit_number = %1 WHERE id = %2")
                                .arg(now.isValid() ? QLatin1Char('\'') + now.toString() + QLatin1Char('\'') : QStringLiteral("NULL"))
                                .arg(id));
            kept.change(&was, &now);
        }
        engine->execute(QStringLiteral("COMMIT"));
        QVERIFY(kept.valid());
        DistinctValues fresh(QStringLiteral("main"), QStringLiteral("unit_number"));
        fresh.build(*engine);
        QCOMPARE(*kept.rows(), *fresh.rows());
        // A value never counted going away: the list knows it is wrong.
        const QVariant ghost(QStringLiteral("няма го")), none;
        kept.change(&ghost, &none);
        QVERIFY(!kept.valid());
    }

    void init() { Clock::setSource([this] { return mNow; }); }
    void cleanup() { Clock::setSource({}); }

    void componentsByName()
    {
        TDM dm;
        QCOMPARE(dm.objectName(), QStringLiteral("DM"));
        for (const char *name : {"DataBase", "tblMain", "tblModels", "tblUsers", "tblMyPersonalQuery", "tblUnitName",
                                 "tblDeliverName", "tblUnitNumber", "tblMark", "tblComment", "srcMain", "srcModels",
                                 "srcUsers", "srcUnitName", "srcDeliverName", "srcUnitNumber", "srcMark", "srcComment",
                                 "dbInfo"})
            QVERIFY2(dm.findChild<QObject *>(QLatin1String(name)), name);
        QCOMPARE(dm.DataBase->Database(), QStringLiteral("Velostok.mdb"));
        QCOMPARE(dm.DataBase->DatabasePassword, QStringLiteral("quietmaple"));
        QCOMPARE(dm.DataBase->connectText(), QStringLiteral(";UID=Admin;PWD=quietmaple;"));
        QVERIFY(dm.tblMark->ReadOnly());
        QCOMPARE(dm.srcMain->DataSet(), dm.tblMain);
        for (TDaoTable *t : dm.connectOrder())
            QVERIFY(!t->Active());
        QCOMPARE(dm.dbInfo->DaoInfoDll(), QStringLiteral(".\\Msldbusr.dll"));
    }

    void stampingAndNumbering()
    {
        TestDb db;
        auto dm = connected(db);
        int refreshes = 0;
        dm->RefreshPickLists = [&] { ++refreshes; };
        TDaoTable *t = dm->tblMain;
        QCOMPARE(t->FieldCount(), 16);
        QCOMPARE(t->Fields(7)->FieldName(), QStringLiteral("comment")); // the dataset's own order

        // Empty table: 1.
        t->Append();
        t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("първи"));
        t->Post();
        QCOMPARE(number(dm.get()), 1);
        QCOMPARE(t->FieldByName(QStringLiteral("last_modified"))->AsDateTime(), mNow);
        QCOMPARE(refreshes, 1);
        QVERIFY(!dm->RowPosted);
        QVERIFY(!dm->tblMyPersonalQuery->Active());

        // The largest number sits on a deleted row: 58, then 59.
        db.exec(QStringLiteral("INSERT INTO main (user_id, deleted) VALUES (57, TRUE), (12, FALSE)"));
        t->Append();
        t->Post();
        QCOMPARE(number(dm.get()), 58);
        t->Append();
        t->FieldByName(QStringLiteral("user_id"))->setAsInteger(0);
        t->Post();
        QCOMPARE(number(dm.get()), 59);

        // A numbered row keeps its number; its time moves.
        t->setFilter(QStringLiteral("[user_id]=12"));
        t->setFiltered(true);
        mNow = mNow.addSecs(3600);
        t->Edit();
        t->Post();
        QCOMPARE(number(dm.get()), 12);
        QCOMPARE(t->FieldByName(QStringLiteral("last_modified"))->AsDateTime(), mNow);
        QCOMPARE(db.scalar(QStringLiteral("SELECT last_modified FROM main WHERE user_id = 12")).toString(),
                 QStringLiteral("2026-03-14 10:26:53"));

        // A cleared number is given anew; a negative one too.
        t->Edit();
        t->FieldByName(QStringLiteral("user_id"))->setAsString(QString());
        t->Post();
        QCOMPARE(number(dm.get()), 60);
        t->Edit();
        t->FieldByName(QStringLiteral("user_id"))->setAsInteger(-3);
        t->Post();
        QCOMPARE(number(dm.get()), 61);
        QCOMPARE(refreshes, 6);

        // Bulk mode: neither time nor number, and no pick-list rebuild.
        const QDateTime before = t->FieldByName(QStringLiteral("last_modified"))->AsDateTime();
        mNow = mNow.addSecs(60);
        dm->BulkUpdate = true;
        t->Edit();
        t->FieldByName(QStringLiteral("user_id"))->Clear();
        t->Post();
        dm->BulkUpdate = false;
        QVERIFY(t->FieldByName(QStringLiteral("user_id"))->IsNull());
        QCOMPARE(t->FieldByName(QStringLiteral("last_modified"))->AsDateTime(), before);
        QCOMPARE(refreshes, 6);
    }

    void numberIsTakenWithTheRowStored()
    {
        TestDb db;
        db.exec(QStringLiteral("INSERT INTO main (user_id, unit_name) VALUES (7, 'a')"));
        auto dm = connected(db);
        TDaoTable *t = dm->tblMain;
        // Another copy that does not wait for locks: whether it can write tells whether we hold one.
        auto other = db.connect();
        other->setLockTimes(0, 0, 100);
        auto o = TestDb::table(other.get(), QStringLiteral("main"));
        o->Open();
        auto otherWrites = [&] {
            try {
                o->Append();
                o->FieldByName(QStringLiteral("user_id"))->setAsInteger(8);
                o->Post();
                return true;
            } catch (const DaoError &) {
                o->Cancel();
                return false;
            }
        };

        // Between the stamping's reading of the largest number and our write the other copy
        // cannot store its row 8, so the numbers stay apart.
        const auto stamp = t->BeforePost;
        bool otherStored = true;
        t->BeforePost = [&](TDaoTable *ds) {
            stamp(ds);
            otherStored = otherWrites();
        };
        t->Append();
        t->Post();
        QVERIFY(!otherStored);
        QCOMPARE(number(dm.get()), 8);
        QVERIFY(otherWrites()); // the lock ends with the post
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM main WHERE user_id = 8")).toInt(), 2);

        // A BeforePost that raises, and a post refused as a conflict, leave no lock behind.
        t->BeforePost = [](TDaoTable *) { throw DaoError(QStringLiteral("отказ")); };
        t->Append();
        QVERIFY_THROWS_EXCEPTION(DaoError, t->Post());
        t->Cancel();
        QVERIFY(otherWrites());
        t->BeforePost = stamp;
        t->Requery();
        t->Edit();
        t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("b"));
        db.exec(QStringLiteral("UPDATE main SET unit_name = 'c' WHERE user_id = 7"));
        QVERIFY_THROWS_EXCEPTION(RowConflict, t->Post());
        t->Cancel();
        QVERIFY(otherWrites());
    }

    void aRefusedCommitStoresNothing()
    {
        if (TestDb::onServer())
            QSKIP("readers keep a commit waiting only in a file's rollback journal");
        TestDb db;
        db.exec(QStringLiteral("INSERT INTO main (user_id, unit_name) VALUES (7, 'a')"));
        auto dm = connected(db);
        TDaoTable *t = dm->tblMain;
        // A commit refused (another program reads on past our wait) stores nothing; the row
        // stays being inserted and the next post stores it once.
        const int rows = db.scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt();
        SqliteConnection reader;
        reader.open(db.path);
        reader.exec(QStringLiteral("BEGIN"));
        reader.scalar(QStringLiteral("SELECT COUNT(*) FROM main"));
        dm->DataBase->setLockTimes(0, 0, 100);
        t->Append();
        t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("d"));
        QVERIFY_THROWS_EXCEPTION(DaoError, t->Post());
        QCOMPARE(t->State(), TDaoTable::dsInsert);
        reader.exec(QStringLiteral("ROLLBACK"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), rows);
        const int shown = t->RecordCount();
        t->Post();
        QCOMPARE(t->RecordCount(), shown + 1);
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM main WHERE unit_name = 'd'")).toInt(), 1);
    }

    void failedPostKeepsTheStampedRow()
    {
        TestDb db;
        auto dm = connected(db);
        TDaoTable *t = dm->tblMain;
        db.exec(QStringLiteral("INSERT INTO main (user_id, unit_name) VALUES (5, 'a')"));
        t->Requery();
        auto other = db.connect();
        auto o = TestDb::table(other.get(), QStringLiteral("main"));
        o->Open();
        t->Edit();
        t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("b"));
        o->Edit();
        o->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("c"));
        o->Post();
        QVERIFY_THROWS_EXCEPTION(DaoError, t->Post());
        QCOMPARE(t->State(), TDaoTable::dsEdit);
        QVERIFY(dm->RowPosted); // stays set until the next successful post
        QCOMPARE(t->FieldByName(QStringLiteral("last_modified"))->AsDateTime(), mNow);
        QCOMPARE(t->FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("b"));
    }

    void pickListsFollowEveryKindOfChange_data()
    {
        QTest::addColumn<bool>("background");
        QTest::newRow("lists read in the background") << true;
        QTest::newRow("lists read when asked") << false;
    }

    void pickListsFollowEveryKindOfChange()
    {
        QFETCH(bool, background);
        ResultCache::setBackgroundReading(background);
        const auto restore = qScopeGuard([] { ResultCache::setBackgroundReading(true); });
        TestDb db;
        auto dm = connected(db);
        TDaoTable *t = dm->tblMain;
        // The truth: the stored query run by the engine itself on a connection of ours.
        auto expected = [&] {
            QStringList out;
            for (const QVariant &v : db.column(QStringLiteral("SELECT * FROM unit_number")))
                out << (v.isNull() ? QStringLiteral("<null>") : v.toString().toLower());
            return out;
        };
        auto actual = [&] {
            QStringList out;
            dm->tblUnitNumber->Requery();
            for (dm->tblUnitNumber->First(); !dm->tblUnitNumber->Eof(); dm->tblUnitNumber->Next())
                out << (dm->tblUnitNumber->Fields(0)->IsNull() ? QStringLiteral("<null>")
                                                                : dm->tblUnitNumber->Fields(0)->AsString().toLower());
            return out;
        };
        // "A_" and "AB" sort one way by bytes and the other folded.
        const QStringList values{"A1", "a1", "Б2", "б2", "", "C3", "Я", "я", "A_", "AB"};
        quint32 seed = 11;
        auto next = [&](quint32 n) { seed = seed * 1664525u + 1013904223u; return (seed >> 8) % n; };
        for (int step = 0; step < 120; ++step) {
            const quint32 what = next(10);
            if (what < 4 || t->RecordCount() == 0) {
                t->Append();
                if (next(5))
                    t->FieldByName(QStringLiteral("unit_number"))->setAsString(values[int(next(values.size()))]);
                else
                    t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("без номер"));
                t->Post();
            } else if (what < 8) {
                t->setRecNo(int(next(quint32(t->RecordCount()))));
                t->Edit();
                if (next(4))
                    t->FieldByName(QStringLiteral("unit_number"))->setAsString(values[int(next(values.size()))]);
                else
                    t->FieldByName(QStringLiteral("unit_number"))->Clear();
                t->Post();
            } else if (what == 8) {
                t->setRecNo(int(next(quint32(t->RecordCount()))));
                t->Delete();
            } else {
                // Another program's change, and a statement of ours.
                if (next(2)) {
                    db.exec(QStringLiteral("UPDATE main SET unit_number = 'D4' WHERE id = (SELECT max(id) FROM main)"));
                    t->Refresh(); // our copy of that row is stale now
                } else
                    t->ExecSQL({QStringLiteral("UPDATE main SET unit_number = NULL WHERE unit_number = 'C3';")});
            }
            QCOMPARE(actual(), expected());
        }
    }

    void nextNumberAndTheScratchDataset()
    {
        TestDb db;
        auto dm = connected(db);
        QCOMPARE(dm->NextNumber(), 0); // no current row, no numbered row
        db.exec(QStringLiteral("INSERT INTO main (user_id) VALUES (NULL), (7)"));
        dm->tblMain->Requery();
        QCOMPARE(dm->NextNumber(), 7); // the first row has no number
        dm->tblMain->Last();
        QCOMPARE(dm->NextNumber(), -1); // the current row keeps its 7
        // The scratch protocol leaves it closed, or open on request for the next reader.
        QVERIFY(!dm->tblMyPersonalQuery->Active());
        QCOMPARE(dm->scratchValue(QStringLiteral("SELECT Count(id) AS main_count FROM main;"), true).toInt(), 2);
        QVERIFY(dm->tblMyPersonalQuery->Active());
        QCOMPARE(dm->scratchValue(QStringLiteral("SELECT Max([user_id]) AS MaxNum FROM main WHERE False;")), QVariant());
        QVERIFY(!dm->tblMyPersonalQuery->Active());
        // A failing number query: -1, the post goes on.
        dm->tblMain->First();
        QVERIFY(dm->tblMain->FieldByName(QStringLiteral("user_id"))->IsNull());
        db.exec(QStringLiteral("ALTER TABLE main RENAME COLUMN user_id TO number_of_user"));
        QCOMPARE(dm->NextNumber(), -1);
        QVERIFY(!dm->tblMyPersonalQuery->Active());
    }

    void processMessagesRunsBetweenOpeningAndReading()
    {
        TestDb db;
        db.exec(QStringLiteral("INSERT INTO main (user_id) VALUES (4)"));
        auto dm = connected(db);
        // The hook may post (the window messages it lets through): the scratch value stays the
        // one of the moment the query was opened.
        int calls = 0;
        dm->ProcessMessages = [&] {
            ++calls;
            dm->tblMain->ExecSQL({QStringLiteral("INSERT INTO main (user_id) VALUES (40);")});
        };
        QCOMPARE(dm->scratchValue(QStringLiteral("SELECT Max([user_id]) AS MaxNum FROM main;")).toInt(), 4);
        QCOMPARE(calls, 1);
        dm->ProcessMessages = nullptr;
        QCOMPARE(dm->scratchValue(QStringLiteral("SELECT Max([user_id]) AS MaxNum FROM main;")).toInt(), 40);
    }

    void closingReportsALostBatchInsteadOfThrowing()
    {
        if (TestDb::onServer())
            QSKIP("readers keep a commit waiting only in a file's rollback journal");
        TestDb db;
        QStringList reported;
        {
            auto dm = connected(db);
            dm->ReportError = [&](const QString &message) { reported << message; };
            dm->DataBase->setLockTimes(0, 50, 250);
            TDaoTable *t = dm->tblMain;
            t->Append();
            t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("записан"));
            t->Post();
            dm->BulkUpdate = true;
            t->setBulkMode(true);
            t->Append();
            t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("в партидата"));
            t->Post();
            // Another program reads: the final commit cannot take the file.
            SqliteConnection reader;
            reader.open(db.path);
            reader.exec(QStringLiteral("BEGIN"));
            QCOMPARE(reader.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 1);
            dm.reset();
            reader.exec(QStringLiteral("COMMIT"));
        }
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported.first().startsWith(QStringLiteral("Последните промени не бяха записани в базата")),
                 qPrintable(reported.first()));
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM main WHERE unit_name = 'записан'")).toInt(), 1);
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 1);
        // Nothing is left behind: the file opens and takes writes.
        db.exec(QStringLiteral("INSERT INTO main (unit_name) VALUES ('след')"));
    }

    void storedQueriesListEveryValueOnce()
    {
        TestDb db;
        db.exec(QStringLiteral("INSERT INTO main (unit_name, deliver_name, unit_number, deleted) VALUES "
                               "('ФИЛТЪР', 'Авто', 'B2', FALSE), ('филтър', 'авто', 'b2', TRUE), (NULL, NULL, 'A1', FALSE), "
                               "('Свещ', 'Bosch', NULL, TRUE), ('свещ', 'BOSCH', 'a1', FALSE)"));
        db.exec(QStringLiteral("INSERT INTO models (mark_name, model_name) VALUES ('VW', 'Golf'), ('vw', 'Polo'), ('Audi', 'A4')"));
        auto dm = connected(db);
        auto values = [](TDaoTable *t) {
            QStringList out;
            for (t->First(); !t->Eof(); t->Next())
                out << (t->Fields(0)->IsNull() ? QStringLiteral("<null>") : t->Fields(0)->AsString().toLower());
            return out;
        };
        QCOMPARE(values(dm->tblUnitName), QStringList({"<null>", "свещ", "филтър"}));
        QCOMPARE(values(dm->tblDeliverName), QStringList({"<null>", "bosch", "авто"}));
        QCOMPARE(values(dm->tblUnitNumber), QStringList({"<null>", "a1", "b2"}));
        QCOMPARE(values(dm->tblMark), QStringList({"audi", "vw"}));
        QCOMPARE(dm->tblComment->RecordCount(), 1);
        // Filters of the datasets do not reach them; a new value is listed at the re-query.
        dm->tblMain->setFilter(QStringLiteral("[deleted]=False"));
        dm->tblMain->setFiltered(true);
        dm->tblMain->Append();
        dm->tblMain->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("Амортисьор"));
        dm->tblMain->Post();
        dm->tblUnitName->Requery();
        QCOMPARE(values(dm->tblUnitName), QStringList({"<null>", "амортисьор", "свещ", "филтър"}));
    }
};

QTEST_GUILESS_MAIN(TestDM)
#include "tst_dm.moc"
