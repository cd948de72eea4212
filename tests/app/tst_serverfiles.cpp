// The database-file commands when the inventory is on a server: a new inventory made in the
// empty database the setting names (never over one that holds an inventory), compaction refused
// with the users message while another counter is connected and done alone, and the archive copy
// on closing written as an inventory file the program opens.
#include "AppFixture.h"
#include "base/Clock.h"
#include "base/DaoError.h"
#include "DatabaseFiles.h"
#include "ServerDb.h"
#include "TApplication.h"
#include "TDBGrid.h"

#include <QAction>
#include <QComboBox>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTest>
#include <QLineEdit>
#include <QSysInfo>


class TestServerFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("VELOSTOK_PG_TEST"))
            QSKIP("no PostgreSQL server (VELOSTOK_PG_TEST)");
        initWindowTests();
        Clock::setSource([] { return QDateTime(QDate(2026, 12, 7), QTime(18, 0)); });
    }
    void cleanupTestCase() { Clock::setSource({}); }

    void inventoryOnAServer()
    {
        ServerDb s(false);
        AppFixture f;
        QVERIFY(f.start());
        // The setting names the empty server database: connecting fails, nothing is made.
        // A database the server does not have, a wrong password, then a database without an
        // inventory: the connection failure message and the settings window, as for a damaged file.
        const QString failed = QStringLiteral("Не може да се установи връзка с базата или тя е повредена !");
        f.prompts.onModal = [](QDialog *d) { return d->result(); };
        fSettings->eDataBase->setText(s.admin + QStringLiteral(" dbname=velostok_no_such_database"));
        fVelostok->ConnectDatabase();
        QVERIFY(!DM->DataBase->Connected());
        fSettings->eDataBase->setText(s.ownedByPasswordRole() + QStringLiteral(" password=wrong"));
        fVelostok->ConnectDatabase();
        QVERIFY(!DM->DataBase->Connected());
        // The status bar names the database tried, never with its password.
        const QString shown = fVelostok->StatusBar1->currentMessage();
        QVERIFY2(shown.contains(QStringLiteral("dbname=%1").arg(s.name)) && !shown.contains(QLatin1String("wrong"))
                     && !shown.contains(QLatin1String(ServerDb::Password)),
                 qPrintable(shown));
        fSettings->eDataBase->setText(s.conninfo);
        fVelostok->ConnectDatabase();
        QVERIFY(!DM->DataBase->Connected());
        QCOMPARE(f.prompts.messages, QStringList({failed, failed, failed}));
        QCOMPARE(f.prompts.modals, QStringList({QStringLiteral("fSettings"), QStringLiteral("fSettings"), QStringLiteral("fSettings")}));
        f.prompts.messages.clear();

        // "&Нова база", refused at the question: nothing made.
        f.prompts.confirmAnswers = {false};
        fVelostok->Files->NewBase1Click();
        QCOMPARE(s.text(QStringLiteral("SELECT to_regclass('main')::text")), QString());
        // Confirmed: the inventory is made with the template's makes and models, and connected.
        fVelostok->Files->NewBase1Click();
        QVERIFY(f.prompts.messages.isEmpty());
        QVERIFY(DM->DataBase->Connected());
        QVERIFY(s.text(QStringLiteral("SELECT count(*) FROM models")).toInt() > 100);
        QVERIFY(f.prompts.fileRequests.isEmpty()); // no file dialog for a server
        // Once more over the inventory now there: refused, the rows kept.
        DM->tblMain->Append();
        DM->tblMain->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("на сървъра"));
        DM->tblMain->Post();
        fVelostok->Files->NewBase1Click();
        QCOMPARE(f.prompts.messages, QStringList{QStringLiteral("Грешка при създаване на базата !")});
        QCOMPARE(s.text(QStringLiteral("SELECT count(*) FROM main")), QStringLiteral("1"));
        f.prompts.messages.clear();

        // Compaction while another counter is connected: the users message names it.
        {
            TDaoDatabase other;
            other.setDatabase(s.conninfo);
            other.Open();
            fVelostok->Files->Compact1Click();
            QCOMPARE(f.prompts.messages.size(), 1);
            QVERIFY2(f.prompts.messages.first().startsWith(QStringLiteral("Има свързани към базата потребители !")),
                     qPrintable(f.prompts.messages.first()));
            QVERIFY(f.prompts.messages.first().contains(QSysInfo::machineHostName()));
            QVERIFY(DM->DataBase->Connected());
            f.prompts.messages.clear();
        }
        // Alone: compacted (the server's VACUUM), told, connected again, the row kept; the safety
        // copy is an inventory file.
        fVelostok->Files->Compact1Click();
        QCOMPARE(f.prompts.messages, QStringList{QStringLiteral("Базата е сбита успешно !")});
        QVERIFY(DM->DataBase->Connected());
        QCOMPARE(DM->tblMain->RecordCount(), 1);
        {
            SqliteConnection c;
            c.open(QDir(f.work()).filePath(QStringLiteral("Compact.mdb")));
            QCOMPARE(c.scalar(QStringLiteral("SELECT unit_name FROM main")).toString(), QStringLiteral("на сървъра"));
        }

        // The archive copy on closing: Backup7.mdb beside the program, the server's rows in it.
        fSettings->eArchiveCount->setEditText(QStringLiteral("10"));
        fSettings->cbAutoArchive->setChecked(true);
        fVelostok->close();
        const QString copy = f.bin(QStringLiteral("Backup7.mdb"));
        QVERIFY(QFileInfo(copy).isFile());
        TDaoDatabase local;
        local.setDatabase(copy);
        local.SmartOpen = false;
        local.Open();
        TDaoTable t;
        t.setDatabase(&local);
        t.setTableName(QStringLiteral("main"));
        t.Open();
        QCOMPARE(t.RecordCount(), 1);
        QCOMPARE(t.FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("на сървъра"));
    }

    // The server goes away while the window is open (its sessions ended and no new ones let in,
    // as when it stops): each action is told, the typed value stays in the row being edited, and
    // once the server is back the same post stores it.
    void serverGoneInTheMiddleOfWork()
    {
        AppFixture f;
        f.exec(QStringLiteral("INSERT INTO main (user_id, unit_name) SELECT i, 'ред ' || i FROM generate_series(1, 300) AS i"));
        QVERIFY(f.start());
        TDBGrid *grid = fVelostok->DBGrid1;
        TDaoTable *t = DM->tblMain;
        const int name = grid->columnOfField(QStringLiteral("unit_name"), 2);
        const auto serverUp = [&](bool up) {
            PgConnection admin;
            admin.open(f.server->admin);
            admin.exec(QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS %2").arg(f.server->name, up ? QStringLiteral("true") : QStringLiteral("false")));
            if (!up)
                f.server->dropSessions();
        };
        // The rows on screen are read, as on a counter's display, before the server goes.
        QVERIFY(QTest::qWaitForWindowExposed(fVelostok));
        grid->viewport()->repaint();
        serverUp(false);
        const auto restore = qScopeGuard([&] { serverUp(true); });

        // Typed into the grid and posted by leaving the row: told, the value kept in the row.
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, name));
        QVERIFY(grid->model()->setData(grid->model()->index(0, name), QStringLiteral("Нова стойност")));
        QCOMPARE(t->State(), TDaoTable::dsEdit);
        QTest::keyClick(grid, Qt::Key_Down);
        QTRY_VERIFY(!f.prompts.messages.isEmpty());
        QVERIFY2(f.prompts.messages.first().contains(QStringLiteral("Няма връзка със сървъра на базата")),
                 qPrintable(f.prompts.messages.join(QLatin1Char('|'))));
        QCOMPARE(t->State(), TDaoTable::dsEdit);
        QCOMPARE(t->FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("Нова стойност"));
        f.prompts.messages.clear();

        // Scrolling to rows not read yet, and the refresh command: told once each, nothing breaks.
        grid->scrollToBottom();
        QTRY_COMPARE(f.prompts.messages.size(), 1);
        fVelostok->action(QStringLiteral("Rollback1"))->trigger();
        QTRY_COMPARE(f.prompts.messages.size(), 2);
        for (const QString &m : std::as_const(f.prompts.messages))
            QVERIFY2(m.startsWith(QStringLiteral("Няма връзка със сървъра на базата: ")), qPrintable(m));
        QVERIFY(fVelostok->isEnabled());
        QCOMPARE(t->State(), TDaoTable::dsEdit);
        QCOMPARE(t->FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("Нова стойност"));

        // Back: leaving the row again stores the kept value.
        serverUp(true);
        f.prompts.messages.clear();
        grid->setCurrentIndex(grid->model()->index(0, name));
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(t->State(), TDaoTable::dsBrowse);
        QCOMPARE(f.scalar(QStringLiteral("SELECT unit_name FROM main WHERE user_id = 1")).toString(), QStringLiteral("Нова стойност"));
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 300);
        fVelostok->action(QStringLiteral("Rollback1"))->trigger();
        QCOMPARE(t->RecordCount(), 300);
        QVERIFY(f.prompts.messages.isEmpty());
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestServerFiles t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_serverfiles.moc"
