// The server goes away in the middle of work (its session ended, as a restart or a dropped
// network ends it): the action that meets it is refused with a clear message and keeps what was
// typed, nothing half-written is stored, and the next action connects again.
#include "base/DaoError.h"
#include "postgresql/PgConnection.h"
#include "postgresql/PgEngine.h"
#include "base/Regional.h"
#include "ServerDb.h"
#include "TestDb.h"

#include <QScopeGuard>
#include <atomic>
#include <libpq-fe.h>
#include <chrono>
#include <functional>
#include <thread>



class TestPgFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("VELOSTOK_PG_TEST"))
            QSKIP("no PostgreSQL server (VELOSTOK_PG_TEST)");
        regional::setLocale(QLocale(QLocale::Bulgarian, QLocale::Bulgaria));
    }

    // Watching others' commits while idle: the server goes away and comes back, and what was
    // committed meanwhile shows without the user doing anything.
    void othersChangesFollowAfterTheServerCameBack()
    {
        ServerDb s;
        TDaoDatabase db;
        db.setDatabase(s.conninfo);
        db.Open();
        TDaoTable t;
        t.setDatabase(&db);
        t.setTableName(QStringLiteral("main"));
        t.Open();
        db.followOthers(true);
        db.watchCommits(true);
        QTest::qWait(100);
        s.dropSessions();
        PgConnection other;
        other.open(s.conninfo);
        other.exec(QStringLiteral("INSERT INTO main (user_id, unit_name) VALUES (7, 'докато сървърът го нямаше')"));
        QTRY_COMPARE_WITH_TIMEOUT(t.RecordCount(), 1, 8000);
        QCOMPARE(t.FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("докато сървърът го нямаше"));
    }

    void connectionLostInTheMiddleOfWork()
    {
        ServerDb s;
        {
            PgConnection c;
            c.open(s.conninfo);
            c.exec(QStringLiteral("INSERT INTO main (user_id, unit_name) VALUES (1, 'първи'), (2, 'втори')"));
        }
        TDaoDatabase db;
        db.setDatabase(s.conninfo);
        db.UserName = QStringLiteral("Иванка");
        db.Open();
        TDaoTable t;
        t.setDatabase(&db);
        t.setTableName(QStringLiteral("main"));
        t.setSortedBy({QStringLiteral("[user_id] ASC")});
        t.Open();

        // A post that meets the lost connection: either it had written nothing yet and is done
        // on a new connection, or it is told and stays editing with the typed value, stored by
        // the next post. Never half-written, never lost.
        t.Edit();
        t.FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("след срива"));
        s.dropSessions();
        try {
            t.Post();
        } catch (const DaoError &e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("Няма връзка със сървъра на базата")), qPrintable(e.message()));
            QCOMPARE(t.State(), TDaoTable::dsEdit);
            QCOMPARE(t.FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("след срива"));
            QCOMPARE(s.text(QStringLiteral("SELECT unit_name FROM main WHERE user_id = 1")), QStringLiteral("първи"));
            t.Post();
        }
        QCOMPARE(t.State(), TDaoTable::dsBrowse);
        QCOMPARE(s.text(QStringLiteral("SELECT unit_name FROM main WHERE user_id = 1")), QStringLiteral("след срива"));
        QCOMPARE(s.text(QStringLiteral("SELECT count(*) FROM main")), QStringLiteral("2"));
        // The counter is listed again on the new connection.
        QCOMPARE(s.text(QStringLiteral("SELECT string_agg(user_name, ',') FROM velostok_sessions s JOIN pg_stat_activity a "
                                       "ON a.pid = s.pid AND a.backend_start = s.started")),
                 QStringLiteral("Иванка"));

        // A statement that writes, already prepared, run on a connection the server closed: told,
        // nothing stored; the next one works.
        t.Edit();
        t.FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("втори опит"));
        t.Post();
        t.Edit();
        t.FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("трети опит"));
        const QStringList add{QStringLiteral("UPDATE main SET [quantity] = COALESCE([quantity], 0) + 1 WHERE [user_id] = 2;")};
        t.ExecSQL(add);
        s.dropSessions();
        bool told = false;
        try {
            t.ExecSQL(add);
        } catch (const DaoError &e) {
            told = e.message().startsWith(QStringLiteral("Няма връзка със сървъра на базата"));
        }
        QVERIFY(told);
        QCOMPARE(s.text(QStringLiteral("SELECT quantity FROM main WHERE user_id = 2")), QStringLiteral("1"));
        t.ExecSQL(add);
        QCOMPARE(s.text(QStringLiteral("SELECT quantity FROM main WHERE user_id = 2")), QStringLiteral("2"));
        t.Post();
        QCOMPARE(s.text(QStringLiteral("SELECT unit_name FROM main WHERE user_id = 1")), QStringLiteral("трети опит"));

        // Lost between two actions: the next one simply works, filters and sorts included.
        s.dropSessions();
        t.setFilter(QStringLiteral("[unit_name] LIKE \"В*\""));
        t.setFiltered(true);
        QCOMPARE(t.RecordCount(), 1);
        QCOMPARE(t.FieldByName(QStringLiteral("user_id"))->AsInteger(), 2);

        // Lost inside a write batch: the batch is told lost, nothing of it stored.
        t.setFiltered(false);
        t.setBulkMode(true);
        t.First();
        t.Edit();
        t.FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("в партида"));
        t.Post();
        s.dropSessions();
        t.Next();
        t.Edit();
        t.FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("в партида 2"));
        QVERIFY_THROWS_EXCEPTION(DaoError, t.Post());
        t.Cancel();
        try {
            t.setBulkMode(false);
        } catch (const DaoError &) {
        }
        QCOMPARE(s.text(QStringLiteral("SELECT count(*) FROM main WHERE unit_name LIKE 'в партида%'")), QStringLiteral("0"));
        // And the work goes on.
        t.Refresh();
        t.First();
        t.Edit();
        t.FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("отново"));
        t.Post();
        QCOMPARE(s.text(QStringLiteral("SELECT unit_name FROM main WHERE user_id = 1")), QStringLiteral("отново"));
    }

    // A COMMIT that the server turned into a rollback (a statement outside a savepoint aborted
    // the transaction), or one after the connection was lost, is a failure, never a success; a
    // statement that libpq refuses to send leaves the connection and its transaction as they were.
    void failedTransactionsAreToldAndRefusedSendsLeaveThemWhole()
    {
        ServerDb s;
        PgEngine e;
        e.open(s.conninfo);
        const QString rows = QStringLiteral("SELECT string_agg(user_id::text, ',' ORDER BY user_id) FROM main");
        const auto insert = [](int n) { return QStringLiteral("INSERT INTO main (user_id) VALUES (%1)").arg(n); };
        const auto failure = [](const std::function<void()> &f) {
            try {
                f();
            } catch (const DaoError &err) {
                return err.message();
            }
            return QStringLiteral("(succeeded)");
        };
        for (const bool lost : {false, true}) {
            e.beginWrite();
            e.execute(insert(1));
            if (lost)
                s.dropSessions();
            QVERIFY_THROWS_EXCEPTION(DaoError, e.execute(QStringLiteral("SELECT 1/0"))); // aborts, or meets the loss
            const QString told = failure([&] { e.commit(); });
            QVERIFY2(told.startsWith(lost ? QStringLiteral("Няма връзка със сървъра на базата")
                                          : QStringLiteral("Сървърът на базата отмени транзакцията")), qPrintable(told));
            QVERIFY(!e.inTransaction());
            QCOMPARE(s.text(rows), QString());
        }

        PgConnection c;
        c.open(s.conninfo);
        c.exec(QStringLiteral("BEGIN"));
        c.exec(insert(2));
        const std::vector<const char *> tooMany(70000, nullptr); // more parameters than the protocol carries
        const PgResult r = c.execGuarded(c.prepared(QStringLiteral("SELECT 1")), int(tooMany.size()), tooMany.data());
        const QString refused = failure([&] { c.check(r); });
        QVERIFY2(refused.startsWith(QStringLiteral("Грешка в базата данни: ")), qPrintable(refused));
        QCOMPARE(PQpipelineStatus(c.handle()), PQ_PIPELINE_OFF);
        QCOMPARE(PQtransactionStatus(c.handle()), PQTRANS_INTRANS);
        c.exec(insert(3));
        c.exec(QStringLiteral("COMMIT"));
        QCOMPARE(s.text(rows), QStringLiteral("2,3"));
    }

    // A read nobody wants any more (the window moved on) is cancelled on the server rather than
    // waited out; the connection serves the next read.
    void aStoppedReadIsCancelledOnTheServer()
    {
        ServerDb s;
        PgEngine e;
        e.open(s.conninfo);
        std::atomic<bool> stop = false;
        e.setStopCheck([&stop] { return stop.load(); });
        e.beginRead();
        // A statement, then a scan read in parts.
        for (const bool scan : {false, true}) {
            const QString sql = QStringLiteral("SELECT pg_sleep(60), count(*) FROM main");
            auto slow = scan ? e.prepareScan(sql) : e.prepare(sql);
            std::thread stopper([&stop] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                stop = true;
            });
            const auto joined = qScopeGuard([&stopper] { stopper.join(); });
            try {
                slow->step();
                QFAIL("the read ran to its end");
            } catch (const DaoError &err) {
                QCOMPARE(err.message(), QStringLiteral("Заявката беше прекъсната."));
            }
            if (!scan) {
                stop = false;
                e.rollback();
                e.beginRead();
            }
        }
        e.rollback();
        QVERIFY(!e.inTransaction());
        QVERIFY_THROWS_EXCEPTION(DaoError, e.prepare(QStringLiteral("SELECT 1"))); // stopped before it runs
        stop = false;
        auto next = e.prepare(QStringLiteral("SELECT count(*) FROM main"));
        QVERIFY(next->step());
        QCOMPARE(next->columnInt64(0), 0);
    }
};

QTEST_GUILESS_MAIN(TestPgFaults)
#include "tst_pgfaults.moc"
