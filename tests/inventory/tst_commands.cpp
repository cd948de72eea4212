// The record commands: mark deleted and restore, commit, purge, refresh, add and renumber, with
// their guards and the rows they write.
#include "AppFixture.h"
#include "base/Clock.h"
#include "TApplication.h"
#include "TDBGrid.h"

#include <QProgressBar>
#include <QToolButton>

class TestCommands : public QObject
{
    Q_OBJECT

    static const QDateTime &pinned()
    {
        static const QDateTime t(QDate(2026, 12, 9), QTime(11, 30, 0));
        return t;
    }

    // Rows: id 1..5, numbers 1..5, names in reverse order, 3 deleted, 2 locked.
    static void fill(AppFixture &f)
    {
        f.exec(QStringLiteral("INSERT INTO main (user_id, unit_name, deleted, locked, last_modified) VALUES "
                              "(1, 'Д', FALSE, FALSE, '2020-01-01 10:00:00'), (2, 'Г', FALSE, TRUE, '2020-01-01 10:00:00'),"
                              "(3, 'В', TRUE, FALSE, '2020-01-01 10:00:00'), (4, 'Б', FALSE, FALSE, '2020-01-01 10:00:00'),"
                              "(5, 'А', FALSE, FALSE, '2020-01-01 10:00:00')"));
    }

private slots:
    void initTestCase()
    {
        initWindowTests();
        Clock::setSource([] { return pinned(); });
    }
    void cleanupTestCase() { Clock::setSource({}); }

    void markDeletedAndRestore()
    {
        AppFixture f;
        fill(f);
        QVERIFY(f.start());
        TDaoTable *t = DM->tblMain;
        QCOMPARE(t->RecordCount(), 4); // deleted rows hidden
        t->setRecNo(1);
        f.prompts.confirmAnswers << false;
        fVelostok->action(QStringLiteral("Dell1"))->trigger();
        QCOMPARE(f.prompts.confirmations, QStringList{QStringLiteral("Предупреждение|Наистина ли искате да истриете този запис ?")});
        QCOMPARE(f.scalar(QStringLiteral("SELECT deleted FROM main WHERE id = 2")).toInt(), 0);
        t->setRecNo(1);
        fVelostok->action(QStringLiteral("Dell1"))->trigger();
        QCOMPARE(f.scalar(QStringLiteral("SELECT deleted FROM main WHERE id = 2")).toInt(), 1);
        QCOMPARE(f.scalar(QStringLiteral("SELECT last_modified FROM main WHERE id = 2")).toString(), QStringLiteral("2026-12-09 11:30:00"));
        QCOMPARE(t->RecordCount(), 3); // it left the grid
        QCOMPARE(t->RecNo(), 0);

        // Deleted rows shown: the row stays, drawn white; restoring asks nothing.
        fSettings->cbxShowDel->setChecked(true);
        fVelostok->Records->Rollback1Click();
        QCOMPARE(t->RecordCount(), 5);
        QVERIFY(t->FindByKey(QStringLiteral("user_id"), 3));
        const int before = int(f.prompts.confirmations.size());
        fVelostok->action(QStringLiteral("Dell1"))->trigger(); // already deleted: nothing is asked or changed
        QCOMPARE(f.prompts.confirmations.size(), before);
        QCOMPARE(fVelostok->Inventory->DBGrid1DrawColumnCell(t->RecNo(), false, Qt::red), QColor(Qt::white));
        fVelostok->action(QStringLiteral("UnDel2"))->trigger();
        QCOMPARE(f.scalar(QStringLiteral("SELECT deleted FROM main WHERE id = 3")).toInt(), 0);
        QCOMPARE(t->RecNo(), 0);
        QCOMPARE(t->RecordCount(), 5);
        t->setRecNo(0); // not deleted: restore does nothing
        fVelostok->action(QStringLiteral("UnDel2"))->trigger();
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main WHERE last_modified = '2020-01-01 10:00:00'")).toInt(), 3);
        QCOMPARE(f.prompts.confirmations.size(), before);
    }

    void commit()
    {
        AppFixture f;
        fill(f);
        f.exec(QStringLiteral("UPDATE main SET locked = TRUE"));
        QVERIFY(f.start(true));
        TDaoTable *t = DM->tblMain;
        t->setRecNo(3);
        fVelostok->action(QStringLiteral("Commit1"))->trigger();
        // All locked already: nothing changes but the current row's stamp.
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main WHERE locked")).toInt(), 5);
        QCOMPARE(f.scalar(QStringLiteral("SELECT id FROM main WHERE last_modified = '2026-12-09 11:30:00'")).toInt(), 4);
        QCOMPARE(t->RecNo(), 0);
        f.exec(QStringLiteral("UPDATE main SET locked = FALSE"));
        fVelostok->button(QStringLiteral("tbtSave"))->click();
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main WHERE locked")).toInt(), 5);
        QCOMPARE(fVelostok->Inventory->DBGrid1DrawColumnCell(0, false, Qt::red), QColor(Qt::black));
        QVERIFY(f.prompts.messages.isEmpty());
    }

    void commitAndDeleteOnAnEmptyRowSetWriteOneRow()
    {
        AppFixture f;
        fill(f);
        QVERIFY(f.start());
        fVelostok->ApplyFilter(QStringLiteral("[unit_name] = \"няма такъв\""));
        QCOMPARE(DM->tblMain->RecordCount(), 0);
        fVelostok->action(QStringLiteral("Commit1"))->trigger();
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 6);
        QCOMPARE(f.scalar(QStringLiteral("SELECT user_id FROM main WHERE id = 6")).toInt(), 6);
        QCOMPARE(f.scalar(QStringLiteral("SELECT locked FROM main WHERE id = 6")).toInt(), 1);
        QCOMPARE(f.scalar(QStringLiteral("SELECT last_modified FROM main WHERE id = 6")).toString(), QStringLiteral("2026-12-09 11:30:00"));
        fVelostok->ApplyFilter(QStringLiteral("[unit_name] = \"няма такъв\""));
        fVelostok->action(QStringLiteral("Dell1"))->trigger();
        QCOMPARE(f.scalar(QStringLiteral("SELECT user_id FROM main WHERE id = 7")).toInt(), 7);
        QCOMPARE(f.scalar(QStringLiteral("SELECT deleted FROM main WHERE id = 7")).toInt(), 1);
        // Hidden while deleted rows are hidden.
        fVelostok->Records->Rollback1Click();
        QVERIFY(!DM->tblMain->FindByKey(QStringLiteral("user_id"), 7));
    }

    void purgeRemovesRowsASearchHides()
    {
        AppFixture f;
        fill(f);
        f.exec(QStringLiteral("INSERT INTO main (user_id, unit_name, deleted) VALUES (9, 'Скрит', TRUE)"));
        QVERIFY(f.start(true));
        fVelostok->ApplyFilter(QStringLiteral("[unit_name] = \"А\""));
        QCOMPARE(DM->tblMain->RecordCount(), 1);
        f.prompts.onModal = [](QDialog *d) {
            d->accept();
            return d->result();
        };
        fVelostok->action(QStringLiteral("Erase2"))->trigger(); // no administrator row: unguarded
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main WHERE deleted")).toInt(), 0);
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 4);
        QVERIFY(f.prompts.messages.isEmpty());
    }

    void renumbering()
    {
        AppFixture f;
        fill(f);
        QVERIFY(f.start());
        TDaoTable *t = DM->tblMain;
        // Sorted by name, deleted rows hidden: the shown rows get 1..4 in name order; the
        // deleted one keeps its number; nothing is stamped.
        fVelostok->Inventory->DBGrid1TitleClick(fVelostok->DBGrid1->columnOfField(QStringLiteral("unit_name"), 2));
        f.prompts.confirmAnswers << false;
        fVelostok->action(QStringLiteral("N2"))->trigger();
        QCOMPARE(f.prompts.confirmations, QStringList{QStringLiteral("Confirm|Наистина ли искате да преномерирате таблицата ?")});
        QCOMPARE(f.scalar(QStringLiteral("SELECT user_id FROM main WHERE unit_name = 'А'")).toInt(), 5);
        fVelostok->action(QStringLiteral("N2"))->trigger();
        QCOMPARE(f.joined(QStringLiteral("SELECT unit_name || user_id FROM main ORDER BY user_id, id")),
                 QStringLiteral("А1,Б2,Г3,В3,Д4"));
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main WHERE last_modified = '2020-01-01 10:00:00'")).toInt(), 5);
        QVERIFY(fVelostok->isEnabled());
        QVERIFY(fVelostok->ProgressBar1->isHidden());
        QVERIFY(!DM->BulkUpdate);
        QVERIFY(!t->ControlsDisabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(fVelostok->ProgressBar1->maximum(), 5); // every row of the table
        QVERIFY(f.prompts.messages.isEmpty());

        // Nothing shown: nothing to number.
        fVelostok->ApplyFilter(QStringLiteral("[user_id] > 100"));
        fVelostok->action(QStringLiteral("N2"))->trigger();
        QCOMPARE(f.prompts.messages, QStringList{QStringLiteral("Няма нищо за номериране !")});
    }

    void renumberingThatFailsHalfWay()
    {
        AppFixture f;
        fill(f);
        // A test-only trigger refuses the third number.
        f.refuse(QStringLiteral("refuse"), QStringLiteral("UPDATE OF user_id"), QStringLiteral("NEW.user_id = 3"), QStringLiteral("refused"));
        f.exec(QStringLiteral("UPDATE main SET user_id = user_id + 20"));
        QVERIFY(f.start(true));
        fVelostok->action(QStringLiteral("N2"))->trigger();
        QCOMPARE(f.prompts.messages.size(), 1);
        QVERIFY(f.prompts.messages.first().contains(QStringLiteral("refused")));
        QVERIFY(fVelostok->isEnabled());
        QVERIFY(fVelostok->ProgressBar1->isHidden());
        QVERIFY(!DM->BulkUpdate);
        QVERIFY(!DM->tblMain->ControlsDisabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        // The error text is the engine's; the rows numbered before it keep their numbers.
        QCOMPARE(f.joined(QStringLiteral("SELECT user_id FROM main ORDER BY id")),
                 QStringLiteral("1,2,23,24,25"));
        // The window works afterwards.
        f.allow(QStringLiteral("refuse"));
        fVelostok->action(QStringLiteral("N2"))->trigger();
        QCOMPARE(f.joined(QStringLiteral("SELECT user_id FROM main ORDER BY id")),
                 QStringLiteral("1,2,3,4,5"));
    }

    void commitAndPurgeFailuresAreTold()
    {
        AppFixture f;
        fill(f);
        // Test-only triggers make the statements fail; each applies wholly or not at all.
        f.refuse(QStringLiteral("nolock"), QStringLiteral("UPDATE OF locked"), QStringLiteral("NEW.id = 4"), QStringLiteral("no"));
        f.refuse(QStringLiteral("nodelete"), QStringLiteral("DELETE"), QStringLiteral("TRUE"), QStringLiteral("no"));
        QVERIFY(f.start(true));
        fVelostok->action(QStringLiteral("Commit1"))->trigger();
        QCOMPARE(f.prompts.messages, QStringList{QStringLiteral("Поради възникнала грешка, записът не бе направен !")});
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main WHERE locked")).toInt(), 1);
        f.prompts.onModal = [](QDialog *d) {
            d->accept();
            return d->result();
        };
        fVelostok->action(QStringLiteral("Erase1"))->trigger();
        QCOMPARE(f.prompts.messages.last(), QStringLiteral("Поради възникнала грешка, записът не бе премахнат !"));
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main WHERE deleted")).toInt(), 1);
    }

    void addAndGuards()
    {
        AppFixture f;
        fill(f);
        QVERIFY(f.start());
        fVelostok->action(QStringLiteral("Add1"))->trigger();
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsInsert);
        QCOMPARE(fVelostok->DBGrid1->currentIndex().row(), 4);
        // The editor does not open on a new row not yet posted.
        fVelostok->action(QStringLiteral("Connect1"))->trigger();
        QVERIFY(!f.prompts.modals.contains(QStringLiteral("fEditor")));
        DM->tblMain->Cancel();
        fVelostok->action(QStringLiteral("Connect1"))->trigger();
        QVERIFY(f.prompts.modals.contains(QStringLiteral("fEditor")));
        // A disabled grid: add, mark deleted, refresh and commit do nothing.
        fVelostok->DBGrid1->setEnabled(false);
        fSettings->cbxShowDel->setChecked(true);
        fVelostok->action(QStringLiteral("Rollback1"))->trigger();
        QCOMPARE(DM->tblMain->Filter(), QStringLiteral("[deleted]=False"));
        fVelostok->action(QStringLiteral("Add1"))->trigger();
        fVelostok->action(QStringLiteral("Dell1"))->trigger();
        fVelostok->action(QStringLiteral("Commit1"))->trigger();
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
        QVERIFY(f.prompts.confirmations.isEmpty());
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main WHERE locked")).toInt(), 1);
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestCommands t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_commands.moc"
