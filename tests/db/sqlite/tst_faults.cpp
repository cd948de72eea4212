// Faults injected at the engine: each scenario runs with the Nth write (an I/O error, then a full
// disk) or the Nth sync failing, N = 1, 2, 3, … until it completes without meeting one. After each:
// the file passes integrity_check, every row committed before is there, the operation reported
// the failure (never success), the dataset is where a failed post leaves it, and with the fault
// lifted the same operation goes through.
#include "base/DaoError.h"
#include "FaultVfs.h"
#include "dataset/ChangeLog.h"
#include "Reliability.h"
#include "TestDb.h"

#include <QScopeGuard>
#include <QTest>
#include <sys/wait.h>

class TestFaults : public QObject
{
    Q_OBJECT

    struct Fault
    {
        faultvfs::Kind kind;
        bool full;
        const char *name;
    };
    static QList<Fault> faults()
    {
        return {{faultvfs::Kind::Write, false, "write I/O error"},
                {faultvfs::Kind::Write, true, "full disk"},
                {faultvfs::Kind::Sync, false, "sync error"}};
    }

    static void rows(TestDb &db, int n)
    {
        db.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < %1) "
                               "INSERT INTO main (user_id, unit_name) SELECT i, 'ред ' || i FROM k").arg(n));
    }

    static void whole(TestDb &db, int atLeast)
    {
        QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        QVERIFY(db.scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt() >= atLeast);
    }

    int mInjected = 0; // faults injected, over every scenario
    const Fault *mFault = nullptr; // the kind being injected

    // Runs one scenario under every fault kind and N until it meets no fault; counts the faults met.
    int sweep(const std::function<void(TestDb &db, bool failed)> &check, const std::function<void(TDaoDatabase *, TDaoTable *)> &op)
    {
        int met = 0;
        for (const Fault &fault : faults()) {
            for (int n = 1; n < 400; ++n) {
                TestDb db;
                rows(db, 20);
                faultvfs::disarm();
                auto conn = db.connect();
                auto t = TestDb::table(conn.get(), QStringLiteral("main"));
                t->Open();
                faultvfs::arm(fault.kind, n, fault.full);
                mFault = &fault;
                bool failed = false;
                try {
                    op(conn.get(), t.get());
                } catch (const DaoError &) {
                    failed = true;
                }
                const bool hit = faultvfs::hit();
                faultvfs::disarm();
                mInjected += hit ? 1 : 0;
                if (failed && !hit)
                    qFatal("%s, N=%d: the operation failed without a fault", fault.name, n);
                check(db, failed);
                if (QTest::currentTestFailed()) {
                    qWarning("%s, N=%d", fault.name, n);
                    return met;
                }
                if (failed)
                    ++met;
                if (!hit)
                    break; // the operation no longer meets the fault: done
            }
        }
        return met;
    }

private slots:
    void initTestCase() { faultvfs::install(); }
    void cleanupTestCase()
    {
        reliabilityCount("faults", mInjected);
        reliabilityCount("survived", mInjected);
    }
    void cleanup() { faultvfs::disarm(); }

    void postAndAppend()
    {
        // Whether the fault met the post or not, the value ends up stored exactly once (the failed
        // post is posted again once the disk is back).
        // Its history entry goes with it: never without the change, never twice.
        const auto storedOnce = [](TestDb &db, const char *text) {
            QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM main WHERE unit_name = '%1'").arg(QString::fromUtf8(text))).toInt(), 1);
            QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM history WHERE fields LIKE '%%1%'").arg(QString::fromUtf8(text))).toInt(), 1);
        };
        int met = sweep([&](TestDb &db, bool) { whole(db, 20); storedOnce(db, "нов"); }, [](TDaoDatabase *, TDaoTable *t) {
            t->setRecNo(3);
            t->Edit();
            t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("нов"));
            try {
                t->Post();
            } catch (const DaoError &) {
                // A failed post stays editing with what was entered, and goes through once the
                // disk is back.
                if (t->State() != TDaoTable::dsEdit || t->FieldByName(QStringLiteral("unit_name"))->AsString() != QStringLiteral("нов"))
                    qFatal("a failed post left the row: state %d, text %s", int(t->State()), qPrintable(t->FieldByName(QStringLiteral("unit_name"))->AsString()));
                faultvfs::disarm();
                t->Post();
                throw;
            }
        });
        QVERIFY(met > 0);
        met = sweep([&](TestDb &db, bool) { whole(db, 21); storedOnce(db, "добавен"); }, [](TDaoDatabase *, TDaoTable *t) {
            t->Append();
            t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("добавен"));
            try {
                t->Post();
            } catch (const DaoError &) {
                if (t->State() != TDaoTable::dsInsert)
                    qFatal("a failed append lost the new row");
                faultvfs::disarm();
                t->Post();
                throw;
            }
        });
        QVERIFY(met > 0);
    }

    void bulkPosts()
    {
        // Posts in bulk mode (as renumbering and the row paste make them): the file stays whole
        // and a failure is told, whether it meets a post or the batch's commit.
        const int met = sweep(
            [](TestDb &db, bool failed) {
                whole(db, 20);
                // Told success: every row renumbered.
                if (!failed)
                    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM main WHERE user_id >= 100")).toInt(), 20);
            },
            [this](TDaoDatabase *, TDaoTable *t) {
            t->setBulkMode(true);
            // A lost batch says why: a full disk is told as one, so that the user knows the cure.
            const auto toldWhy = [this](const BatchLost &e) {
                if (mFault->full && !e.message().contains(QStringLiteral("Дискът е пълен")))
                    qFatal("a batch lost to a full disk was told as: %s", qPrintable(e.message()));
            };
            const auto end = qScopeGuard([t] {
                if (t->State() != TDaoTable::dsBrowse)
                    t->Cancel();
                try {
                    t->setBulkMode(false);
                } catch (const DaoError &) {
                }
            });
            try {
                for (t->First(); !t->Eof(); t->Next()) {
                    t->Edit();
                    t->FieldByName(QStringLiteral("user_id"))->setAsInteger(t->RecNo() + 100);
                    t->Post();
                }
                t->setBulkMode(false);
            } catch (const BatchLost &e) {
                toldWhy(e);
                throw;
            }
        });
        qInfo("bulk posts: %d faults met", met);
        QVERIFY(met > 0);
    }

    void statementsCompactionAndCopies()
    {
        // A statement is all or nothing.
        int met = sweep(
            [](TestDb &db, bool failed) {
                whole(db, 20);
                const int changed = db.scalar(QStringLiteral("SELECT COUNT(*) FROM main WHERE quantity = 7")).toInt();
                QVERIFY(changed == (failed ? 0 : 20));
                QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM history_rows")).toInt(), failed ? 0 : 1);
            },
            [](TDaoDatabase *, TDaoTable *t) { t->ExecSQL({QStringLiteral("UPDATE main SET quantity = 7")}); });
        QVERIFY(met > 0);
        // Compaction: the file untouched when it fails.
        met = sweep([](TestDb &db, bool) { whole(db, 20); }, [](TDaoDatabase *c, TDaoTable *t) {
            t->Close();
            const QString path = c->Database();
            c->Close();
            c->CompactDatabaseFile(path, QString());
        });
        QVERIFY(met > 0);
        // The copy of an open database: the source whole, a failed copy never in place.
        met = sweep([](TestDb &db, bool) { whole(db, 20); }, [](TDaoDatabase *c, TDaoTable *) {
            const QString copy = QFileInfo(c->Database()).absolutePath() + QStringLiteral("/Backup1.mdb");
            try {
                c->CopyOpenDatabase(copy);
            } catch (const DaoError &) {
                if (QFileInfo::exists(copy))
                    qFatal("a failed copy was put in place");
                throw;
            }
        });
        QVERIFY(met > 0);
    }

    // An older inventory is brought up to date on opening in one transaction: a fault, or the
    // program killed, at any write of it leaves the file as it was (opened without a history),
    // and the next opening makes the addition whole.
    void upgradeIsAllOrNothing()
    {
        const QString objects = QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name LIKE 'history%' OR name LIKE 'fitment%' OR name = 'velostok_meta'");
        const int whole = TestDb().scalar(objects).toInt();
        QVERIFY(whole >= 10);
        int met = 0;
        int kills = 0;
        for (const bool kill : {false, true}) {
            for (int n = 1; n < 400; ++n) {
                TestDb db;
                rows(db, 20);
                db.exec(TestDb::dropLaterAdditionsSql(false)
                        + QStringLiteral("DROP TRIGGER history_insert; DROP TRIGGER history_update; DROP TRIGGER history_delete; "
                                         "DROP TABLE history; DROP TABLE history_rows; DROP TABLE history_writer; "
                                         "DROP TABLE history_collect; DROP TABLE velostok_meta"));
                bool hit = false;
                if (kill) {
                    const pid_t child = ::fork();
                    if (child == 0) {
                        faultvfs::arm(faultvfs::Kind::Write, n);
                        faultvfs::state().dies = true;
                        db.connect();
                        ::_exit(0);
                    }
                    int status = 0;
                    ::waitpid(child, &status, 0);
                    hit = WIFEXITED(status) && WEXITSTATUS(status) == 137;
                } else {
                    faultvfs::arm(faultvfs::Kind::Write, n, n % 2 == 0);
                    const bool kept = db.connect()->changeLog()->kept();
                    hit = faultvfs::hit();
                    faultvfs::disarm();
                    QCOMPARE(kept, !hit);
                }
                QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
                const int made = db.scalar(objects).toInt();
                QVERIFY2(made == 0 || made == whole, qPrintable(QStringLiteral("N=%1: %2 of %3").arg(n).arg(made).arg(whole)));
                QVERIFY(made == whole || hit);
                QVERIFY(db.connect()->changeLog()->kept());
                QCOMPARE(db.scalar(objects).toInt(), whole);
                QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), 20);
                (kill ? kills : met) += hit ? 1 : 0;
                if (!hit)
                    break;
            }
        }
        mInjected += met;
        reliabilityCount("kills", kills);
        QVERIFY(met > 2 && kills > 2);
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
