// Start-up and the main window: the first show with good, missing and damaged databases, the
// engine-version error, size limits, special columns, the commands that open windows, the
// error guard, closing, and the splash's Close.
#include "AppFixture.h"
#include "base/DaoError.h"
#include "Guard.h"
#include "StandInPrinter.h"
#include "Paths.h"
#include "base/Regional.h"
#include "ScriptedPrompts.h"
#include "sqlite/SqliteConnection.h"
#include "Startup.h"
#include "TApplication.h"
#include "TDBGrid.h"
#include "module/uDM.h"
#include "uSettings.h"
#include "uUniversalReport.h"
#include "uVelostok.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

class TestVelostok : public QObject
{
    Q_OBJECT

    // A program tree: Bin/ (the program directory), Sys/EmptyBase.bck, and work/ as the
    // working directory.
    std::unique_ptr<AppFixture> mApp;
    QTemporaryDir *mRoot = nullptr;
    ScriptedPrompts *mPrompts = nullptr;

    QString bin() const { return mRoot->filePath(QStringLiteral("Bin")); }
    QString work() const { return mRoot->filePath(QStringLiteral("work")); }

    static void addRows(const QString &path, int count, bool deletedEvery3rd = false)
    {
        SqliteConnection c;
        c.open(path);
        c.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                              "INSERT INTO main (user_id, unit_number, unit_name, quantity, price, deleted, locked) "
                              "SELECT i, 'N' || i, 'Детайл ' || i, i % 7, i * 1.5, %2, 0 FROM n")
                   .arg(count)
                   .arg(deletedEvery3rd ? QStringLiteral("(i % 3 = 0)") : QStringLiteral("0")));
    }

    // Creates every window; the test then sets controls and shows the main window.
    void create()
    {
        QVERIFY(Startup::createAll());
    }

private slots:
    void initTestCase() { initWindowTests(); }

    void init()
    {
        mApp = std::make_unique<AppFixture>(false);
        mRoot = &mApp->root;
        mPrompts = &mApp->prompts;
        TDaoDatabase::setAvailableEngines({QStringLiteral("3.6")});
        MainWindowShown = false;
    }

    void cleanup()
    {
        TfUniversalReport::setPrinterSource({});
        mApp.reset();
        mRoot = nullptr;
        mPrompts = nullptr;
    }

    void firstStartInAnEmptyFolder()
    {
        create();
        // Creation alone connects nothing and shows nothing.
        QVERIFY(!DM->DataBase->Connected());
        QVERIFY(!QFile::exists(QStringLiteral("Velostok.mdb")));
        QVERIFY(!MainWindowShown);
        fVelostok->show();
        QVERIFY(MainWindowShown);
        QVERIFY(QFile::exists(QDir(work()).filePath(QStringLiteral("Velostok.mdb"))));
        QVERIFY(DM->DataBase->Connected());
        QVERIFY(mPrompts->messages.isEmpty());
        QCOMPARE(fVelostok->StatusBar1->currentMessage(), QStringLiteral("   Velostok v1.0 - DataBase: Velostok.mdb"));
        for (TDaoTable *t : DM->connectOrder())
            QVERIFY(t->Active());
        QVERIFY(!DM->tblMyPersonalQuery->Active());
        QVERIFY(DM->dbInfo->Active());
        // Defaults without a settings file: deleted rows hidden, special columns hidden, tool
        // bar shown, export offered, language hidden.
        QCOMPARE(DM->tblMain->Filter(), QStringLiteral("[deleted]=False"));
        QVERIFY(DM->tblMain->Filtered());
        for (int c : fVelostok->Inventory->specialColumns())
            QVERIFY(fVelostok->DBGrid1->isColumnHidden(c));
        QVERIFY(!fVelostok->DBGrid1->isColumnHidden(0));
        QVERIFY(fVelostok->ToolBar1->isVisible());
        QVERIFY(fVelostok->action(QStringLiteral("SpeedButtons1"))->isChecked());
        QVERIFY(fVelostok->action(QStringLiteral("ExportTo1"))->isVisible());
        QVERIFY(!fVelostok->action(QStringLiteral("Language1"))->isVisible());

        // Rows another copy adds show at the next refresh; deleted ones stay hidden.
        addRows(QStringLiteral("Velostok.mdb"), 300, true);
        fVelostok->ApplyFilter(QStringLiteral("[deleted]=False"));
        TDBGrid *grid = fVelostok->DBGrid1;
        QAbstractItemModelTester tester(grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(grid->model()->rowCount(), 200);
        QCOMPARE(grid->model()->index(0, 2).data().toString(), QStringLiteral("Детайл 1"));
        QCOMPARE(grid->model()->index(1, 4).data().toString(), QStringLiteral("3"));
        QCOMPARE(grid->model()->index(0, 4).data().toString(), QStringLiteral("1,5"));
        QCOMPARE(grid->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Наименованние"));
        // The current row follows the dataset, and the dataset follows the grid.
        DM->tblMain->Last();
        QCOMPARE(grid->currentIndex().row(), 199);
        grid->setCurrentIndex(grid->model()->index(10, 2));
        QCOMPARE(DM->tblMain->RecNo(), 10);
        QCOMPARE(DM->tblMain->FieldByName(QStringLiteral("user_id"))->AsInteger(), 16);
        fVelostok->button(QStringLiteral("tbtFirst"))->click();
        QCOMPARE(grid->currentIndex().row(), 0);
        fVelostok->button(QStringLiteral("tbtLast"))->click();
        QCOMPARE(DM->tblMain->RecNo(), 199);
        // The pick lists were built at the first show from the (then empty) table; a refresh
        // lists the new values.
        fVelostok->RefreshPickLists();
        QCOMPARE(grid->Columns().at(2).PickList.size(), 300);
        QCOMPARE(grid->Columns().at(1).PickList.at(0), QStringLiteral("N1"));
    }

    void missingConfiguredFileFoundInTheProgramFolder()
    {
        QVERIFY(QFile::copy(mRoot->filePath(QStringLiteral("Sys/EmptyBase.bck")), QDir(bin()).filePath(QStringLiteral("Shop.mdb"))));
        addRows(QDir(bin()).filePath(QStringLiteral("Shop.mdb")), 5);
        create();
        fSettings->eDataBase->setText(QStringLiteral("C:\\Data\\Shop.mdb"));
        fVelostok->show();
        QVERIFY(DM->DataBase->Connected());
        QVERIFY(mPrompts->messages.isEmpty());
        const QString tried = QDir(bin()).filePath(QStringLiteral("Shop.mdb"));
        QCOMPARE(fVelostok->StatusBar1->currentMessage(), QStringLiteral("   Velostok v1.0 - DataBase: ") + tried);
        QCOMPARE(fVelostok->DBGrid1->model()->rowCount(), 5);
        // The default database is made from the template whatever file is configured.
        QVERIFY(QFile::exists(QStringLiteral("Velostok.mdb")));
    }

    void connectedUsersAreReadUnderTheNameFound()
    {
        // The default setting names "Velostok.MDB"; the file made is "Velostok.mdb". Another copy
        // of the program holds an entry of its lock file.
        QVERIFY(QFile::copy(mRoot->filePath(QStringLiteral("Sys/EmptyBase.bck")), QDir(work()).filePath(QStringLiteral("Velostok.mdb"))));
        QProcess holder;
        holder.start(QStringLiteral(ROSTERHOLDER_PATH), {QDir(work()).filePath(QStringLiteral("Velostok.mdb")), QStringLiteral("Касата")});
        QVERIFY(holder.waitForReadyRead(10000));
        QVERIFY(holder.readAll().startsWith("joined"));
        create();
        QCOMPARE(fSettings->eDataBase->text(), QStringLiteral("Velostok.MDB"));
        fVelostok->show();
        QVERIFY(DM->DataBase->Connected());
        QCOMPARE(QFileInfo(DM->DataBase->Database()).fileName(), QStringLiteral("Velostok.mdb"));
        QCOMPARE(DM->dbInfo->Database(), DM->DataBase->Database());
        QCOMPARE(fVelostok->StatusBar1->currentMessage(), QStringLiteral("   Velostok v1.0 - DataBase: ") + DM->DataBase->Database());
        QCOMPARE(DM->dbInfo->NumberOfUsers(), 2);
        QVERIFY(DM->dbInfo->LoggedNowUsers().contains(QStringLiteral("Касата")));
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));
        QCOMPARE(DM->dbInfo->NumberOfUsers(), 1);
    }

    void damagedDatabase_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("otherSqlite");
        QTest::newRow("garbage") << QByteArray("\x01\x02garbage bytes that are no database\xff", 40) << false;
        QTest::newRow("zero bytes") << QByteArray() << false;
        QTest::newRow("sqlite of another application") << QByteArray() << true;
        QFile t(QStringLiteral(VELOSTOK_TEMPLATE));
        QVERIFY(t.open(QIODevice::ReadOnly));
        const QByteArray inventory = t.readAll();
        QVERIFY(inventory.size() > 8192);
        QByteArray newer = inventory;
        newer[60] = 0; newer[61] = 0; newer[62] = 0x03; newer[63] = char(0xE7); // user_version 999
        QTest::newRow("newer schema version") << newer << false;
        QTest::newRow("truncated inventory") << inventory.left(4096) << false;
        // An inventory with rows whose later pages (rows, not the schema before them) are overwritten.
        QTemporaryDir scratch;
        const QString rows = scratch.filePath(QStringLiteral("rows.mdb"));
        QVERIFY(QFile::copy(QStringLiteral(VELOSTOK_TEMPLATE), rows));
        RawDb{rows}.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 2000) "
                                        "INSERT INTO main (user_id, unit_name) SELECT i, 'Амортисьор преден ' || i FROM k"));
        QFile r(rows);
        QVERIFY(r.open(QIODevice::ReadOnly));
        QByteArray damaged = r.readAll();
        for (qsizetype i = damaged.size() / 2 / 4096 * 4096; i < damaged.size(); ++i)
            damaged[i] = char((i * 131) & 0xff);
        QTest::newRow("damaged pages") << damaged << false;
    }

    void damagedDatabase()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, otherSqlite);
        const QString bad = QDir(work()).filePath(QStringLiteral("bad.mdb"));
        if (otherSqlite) {
            SqliteConnection c;
            c.open(bad, true);
            c.exec(QStringLiteral("CREATE TABLE main (id INTEGER PRIMARY KEY, x TEXT); INSERT INTO main (x) VALUES ('a')"));
        } else {
            QFile f(bad);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        const QByteArray before = [&] {
            QFile f(bad);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        create();
        fSettings->eDataBase->setText(bad);
        fVelostok->show();
        // A file whose pages the engine finds damaged is named as such, with what can be done.
        if (QByteArrayView(QTest::currentDataTag()) == "damaged pages")
            QVERIFY(mPrompts->messages.value(0).startsWith(QStringLiteral("Файлът на базата \"%1\" е повреден").arg(bad)));
        else
            QCOMPARE(mPrompts->messages, QStringList{QStringLiteral("Не може да се установи връзка с базата или тя е повредена !")});
        QCOMPARE(mPrompts->modals, QStringList{QStringLiteral("fSettings")});
        QVERIFY(!DM->DataBase->Connected());
        QVERIFY(!DM->dbInfo->Active());
        for (TDaoTable *t : DM->connectOrder())
            QVERIFY(!t->Active());
        QCOMPARE(fVelostok->StatusBar1->currentMessage(), QStringLiteral("   Velostok v1.0 - DataBase: ") + bad);
        QCOMPARE(fVelostok->DBGrid1->model()->rowCount(), 0);
        // The file is left as it was, and commands that need the database do nothing.
        QFile f(bad);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        fVelostok->button(QStringLiteral("tbtLast"))->click();
        fVelostok->RefreshPickLists();
        QCOMPARE(mPrompts->messages.size(), 1);
    }

    void garbageBesideTheDatabase_data()
    {
        QTest::addColumn<QByteArray>("journal");
        QByteArray noise(8192, 0);
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) & 0xff);
        QTest::newRow("random bytes") << noise;
        // A rollback journal's header (magic, a record count, a nonce, the original size, the
        // sector and page sizes) followed by pages whose contents and checksums are garbage.
        QByteArray hot = QByteArray::fromHex("d9d505f920a163d7") + QByteArray::fromHex("0000000a" "12345678" "00000010" "00000200" "00001000");
        hot.append(QByteArray(512 - hot.size(), 0));
        hot.append(noise);
        QTest::newRow("journal header, garbage pages") << hot;
        // A header naming a smaller file and no pages: played back, it would cut the file.
        QByteArray cut = QByteArray::fromHex("d9d505f920a163d7") + QByteArray::fromHex("00000000" "12345678" "00000002" "00000200" "00001000");
        cut.append(QByteArray(512 - cut.size(), 0));
        QTest::newRow("journal header naming a smaller file") << cut;
    }

    void garbageBesideTheDatabase()
    {
        // A journal that is not this database's (or is damaged) is not played back into it: the
        // inventory opens with its rows, its bytes as they were, or the connection fails as for a
        // damaged file, the file untouched.
        QFETCH(QByteArray, journal);
        const QString db = QDir(work()).filePath(QStringLiteral("Velostok.mdb"));
        QVERIFY(QFile::copy(QStringLiteral(VELOSTOK_TEMPLATE), db));
        addRows(db, 25);
        const auto bytes = [&db] {
            QFile f(db);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        };
        const QByteArray before = bytes();
        {
            QFile j(db + QStringLiteral("-journal"));
            QVERIFY(j.open(QIODevice::WriteOnly));
            j.write(journal);
        }
        create();
        fVelostok->show();
        if (DM->DataBase->Connected()) {
            QVERIFY(mPrompts->messages.isEmpty());
            QCOMPARE(DM->tblMain->RecordCount(), 25);
        } else {
            QCOMPARE(mPrompts->messages, QStringList{QStringLiteral("Не може да се установи връзка с базата или тя е повредена !")});
        }
        QCOMPARE(bytes().size(), before.size());
        QVERIFY(bytes() == before);
        // Without the journal the file is whole with every row.
        Startup::destroyAll();
        QFile::remove(db + QStringLiteral("-journal"));
        SqliteConnection c;
        c.open(db);
        QCOMPARE(c.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM main")).toInt(), 25);
    }

    void reconnectFromTheSettingsWindowContinuesTheFirstShow()
    {
        create();
        fSettings->eDataBase->setText(QStringLiteral("/nonexistent/folder/none.mdb"));
        fSettings->cbxShowDel->setChecked(true);
        mPrompts->onModal = [](QDialog *d) {
            // The user picks the default database and confirms.
            fSettings->eDataBase->setText(QStringLiteral("Velostok.mdb"));
            QTest::mouseClick(fSettings->bStart, Qt::LeftButton);
            return d->result();
        };
        fVelostok->show();
        QCOMPARE(mPrompts->modals, QStringList{QStringLiteral("fSettings")});
        QCOMPARE(mPrompts->messages.size(), 1);
        QVERIFY(DM->DataBase->Connected());
        // The rest of the first show ran: the filter follows "deleted rows shown".
        QCOMPARE(DM->tblMain->Filter(), QString());
        QCOMPARE(fVelostok->StatusBar1->currentMessage(), QStringLiteral("   Velostok v1.0 - DataBase: Velostok.mdb"));
    }

    void engineVersions()
    {
        // An engine that cannot be started: the error is shown, the rest of the first show is
        // skipped, nothing is connected and the status line is not written.
        {
            create();
            fSettings->cbxDaoVersion->setEditText(QStringLiteral("4.0"));
            fVelostok->ToolBar1->setVisible(false);
            fVelostok->show();
            QCOMPARE(mPrompts->messages.size(), 1);
            QVERIFY(mPrompts->messages.first() != QStringLiteral("Не може да се установи връзка с базата или тя е повредена !"));
            QVERIFY(mPrompts->modals.isEmpty());
            QVERIFY(!DM->DataBase->Connected());
            QVERIFY(fVelostok->StatusBar1->currentMessage().isEmpty());
            QVERIFY(fVelostok->ToolBar1->isHidden());
            QVERIFY(MainWindowShown);
            Startup::destroyAll();
        }
        // "3.5" falls back to "3.6" here, so the export entry is offered.
        {
            mPrompts->messages.clear();
            create();
            fSettings->cbxDaoVersion->setEditText(QStringLiteral("3.5"));
            fVelostok->show();
            QVERIFY(DM->DataBase->Connected());
            QCOMPARE(DM->DataBase->Version(), QStringLiteral("3.6"));
            QVERIFY(fVelostok->action(QStringLiteral("ExportTo1"))->isVisible());
            Startup::destroyAll();
        }
        // Where the older engine runs, a "3.5" connection hides it.
        {
            TDaoDatabase::setAvailableEngines({QStringLiteral("3.5"), QStringLiteral("3.6")});
            create();
            QCOMPARE(fSettings->cbxDaoVersion->count(), 2);
            QCOMPARE(fSettings->cbxDaoVersion->currentText(), QStringLiteral("3.6"));
            fSettings->cbxDaoVersion->setEditText(QStringLiteral("3.5 (Access 97)"));
            fVelostok->show();
            QVERIFY(DM->DataBase->Connected());
            QCOMPARE(DM->DataBase->Version(), QStringLiteral("3.5"));
            QVERIFY(!fVelostok->action(QStringLiteral("ExportTo1"))->isVisible());
        }
    }

    void sizeLimits()
    {
        // Before the first show only the width is limited; the height the window is shown
        // with becomes its minimum.
        create();
        fVelostok->resize(100, 300);
        fVelostok->show();
        QCOMPARE(fVelostok->size(), QSize(TfVelostok::MinimumWidth, 300));
        QCOMPARE(fVelostok->minimumHeight(), fVelostok->frameGeometry().height());
        Startup::destroyAll();

        create();
        fVelostok->show();
        QCOMPARE(fVelostok->minimumHeight(), 562);
        fVelostok->resize(100, 300);
        QCoreApplication::processEvents();
        QCOMPARE(fVelostok->frameGeometry().height(), 562);
        QCOMPARE(fVelostok->width(), TfVelostok::MinimumWidth);
        fVelostok->resize(1000, 700);
        QCoreApplication::processEvents();
        QCOMPARE(fVelostok->size(), QSize(1000, 700));
    }

    void specialColumnsByFieldName()
    {
        create();
        TDBGrid *grid = fVelostok->DBGrid1;
        QCOMPARE(fVelostok->Inventory->specialColumns(), (QList<int>{10, 11, 12}));
        // A saved layout that moved last_modified to the front and has no deleted column; a
        // second column on modifier wins as the last match.
        QList<TColumn> cols = grid->Columns();
        TColumn lm = cols.takeAt(10);
        cols.insert(0, lm);
        cols.removeAt(12); // deleted
        TColumn mod = cols.at(11);
        cols.append(mod);
        grid->setColumns(cols);
        QCOMPARE(fVelostok->Inventory->specialColumns(), (QList<int>{0, 12, 12}));
        fSettings->cbxShowSpecial->setChecked(true);
        fVelostok->show();
        QVERIFY(mPrompts->messages.isEmpty());
        QVERIFY(!grid->isColumnHidden(0));
        QVERIFY(!grid->isColumnHidden(12));
        QVERIFY(!grid->isColumnHidden(11)); // shown as before
        fVelostok->Inventory->showSpecialColumns(false);
        QVERIFY(grid->isColumnHidden(0));
        QVERIFY(grid->isColumnHidden(12));
        QVERIFY(!grid->isColumnHidden(11));
        Startup::destroyAll();

        // Too few columns for a fallback position: an error, and the tool bar step is skipped.
        create();
        cols = fVelostok->DBGrid1->Columns().mid(0, 11); // no modifier, no deleted
        fVelostok->DBGrid1->setColumns(cols);
        fSettings->cbSpeedButtons->setChecked(false);
        fVelostok->show();
        QCOMPARE(mPrompts->messages.size(), 1);
        QVERIFY(fVelostok->ToolBar1->isVisible());
    }

    void commandsOpenTheirWindowsModally()
    {
        create();
        fVelostok->show();
        addRows(QStringLiteral("Velostok.mdb"), 3);
        fVelostok->action(QStringLiteral("Models1"))->trigger();
        // The makes-and-models window may have changed the tables: the grid was refreshed.
        QCOMPARE(fVelostok->DBGrid1->Columns().at(2).PickList.size(), 3);
        fVelostok->action(QStringLiteral("Settings1"))->trigger();
        fVelostok->button(QStringLiteral("tbtSearch"))->click();
        fVelostok->action(QStringLiteral("About1"))->trigger();
        fVelostok->DBGrid1->setEnabled(false);
        fVelostok->action(QStringLiteral("Find1"))->trigger(); // the grid is disabled: no search
        fVelostok->DBGrid1->setEnabled(true);
        fVelostok->button(QStringLiteral("tbtHelp"))->click();
        fVelostok->button(QStringLiteral("tbtNext"))->click();
        fVelostok->button(QStringLiteral("tbtSettings"))->click();
        QCOMPARE(mPrompts->modals, (QStringList{QStringLiteral("fModels"), QStringLiteral("fSettings"),
                                                QStringLiteral("fSearchForm"), QStringLiteral("AboutBox"),
                                                QStringLiteral("AboutBox"), QStringLiteral("fModels"),
                                                QStringLiteral("fSettings")}));
        // The tool bar switch.
        fVelostok->action(QStringLiteral("SpeedButtons1"))->trigger();
        QVERIFY(!fVelostok->ToolBar1->isVisible());
        QVERIFY(!fSettings->cbSpeedButtons->isChecked());
        fVelostok->action(QStringLiteral("SpeedButtons1"))->trigger();
        QVERIFY(fVelostok->ToolBar1->isVisible());
        // Menus as laid out.
        QStringList top;
        for (QAction *a : fVelostok->MainMenu1->actions())
            top << a->text();
        QCOMPARE(top, (QStringList{QStringLiteral("&Операции"), QStringLiteral("&Действие"), QStringLiteral("&Таблици"),
                                   QStringLiteral("&Инструменти"), QStringLiteral("&Помощ")}));
        QCOMPARE(fVelostok->action(QStringLiteral("Rollback1"))->text(), QStringLiteral("&Опресни         Ctrl+R"));
        QCOMPARE(fVelostok->action(QStringLiteral("Find1"))->shortcut(), QKeySequence(Qt::Key_F3));
        QCOMPARE(fVelostok->ToolBar1->findChildren<QToolButton *>(QString(), Qt::FindDirectChildrenOnly).size() >= 13, true);
        QCOMPARE(fVelostok->button(QStringLiteral("tbtPreviews"))->toolTip(), QStringLiteral("Потребители"));
        QCOMPARE(fVelostok->findChild<QAction *>(QStringLiteral("Dell2"))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
    }

    void settingsWindowControls()
    {
        create();
        fVelostok->show();
        TfSettings *s = fSettings;
        QCOMPARE(s->windowTitle(), QStringLiteral("Настройки"));
        QCOMPARE(s->size(), QSize(307, 287));
        QCOMPARE(s->eDataBase->text(), QStringLiteral("Velostok.MDB"));
        QCOMPARE(s->eArchiveCount->currentText(), QStringLiteral("3"));
        QCOMPARE(s->eArchiveCount->count(), 10);
        QCOMPARE(s->eSkinPath->text(), QStringLiteral("..\\Skins\\MySkin.skn"));
        QVERIFY(s->cbSpeedButtons->isChecked() && s->cbAutoArchive->isChecked() && s->cbSkins->isChecked());
        QVERIFY(!s->cbxShowDel->isChecked() && !s->cbxShowSpecial->isChecked() && !s->cbxPassByChange->isChecked()
                && !s->cbxChangeLanguage->isChecked());
        QCOMPARE(s->cbxShowDel->text(), QStringLiteral("&Да се виждат изтритите записи"));

        // Typed characters are dropped; Enter in the path opens the file dialog.
        QTest::keyClicks(s->eDataBase, QStringLiteral("xyz"));
        QTest::keyClick(s->eDataBase, Qt::Key_Backspace);
        QCOMPARE(s->eDataBase->text(), QStringLiteral("Velostok.MDB"));
        QTest::keyClicks(s->cbxDaoVersion->lineEdit(), QStringLiteral("9"));
        QCOMPARE(s->cbxDaoVersion->currentText(), QStringLiteral("3.6"));
        QTest::keyClicks(s->eArchiveCount->lineEdit(), QStringLiteral("7"));
        QCOMPARE(s->eArchiveCount->currentText(), QStringLiteral("3"));
        const QString other = QDir(work()).filePath(QStringLiteral("other.mdb"));
        mPrompts->fileAnswers << other;
        QTest::keyClick(s->eDataBase, Qt::Key_Return);
        QCOMPARE(mPrompts->fileRequests,
                 QStringList{QStringLiteral("open|Database|*.mdb|All files|*.*|%1|Velostok.MDB").arg(bin())});
        QCOMPARE(s->eDataBase->text(), other);
        // Cancelling the dialog keeps the path.
        s->btnDBLoad->click();
        QCOMPARE(s->eDataBase->text(), other);

        // The archive count follows the automatic archive box.
        s->cbAutoArchive->setChecked(false);
        QVERIFY(!s->eArchiveCount->isEnabled());
        s->cbAutoArchive->setChecked(true);
        QVERIFY(s->eArchiveCount->isEnabled());

        // Each showing takes the tool bar's state; the tab chosen last stays chosen.
        fVelostok->ToolBar1->hide();
        s->TabControl1->setCurrentIndex(1);
        QCOMPARE(s->Notebook1->currentIndex(), 1);
        s->show();
        QVERIFY(!s->cbSpeedButtons->isChecked());
        s->hide();
        s->show();
        QCOMPARE(s->Notebook1->currentIndex(), 1);
        s->hide();

        // "&Да" applies: the chosen file is connected, deleted rows shown, tool bar back.
        QVERIFY(QFile::copy(QStringLiteral("Velostok.mdb"), other));
        s->cbxShowDel->setChecked(true);
        s->cbSpeedButtons->setChecked(true);
        s->bStart->click();
        QVERIFY(DM->DataBase->Connected());
        QCOMPARE(DM->DataBase->Database(), other);
        QCOMPARE(DM->tblMain->Filter(), QString());
        QVERIFY(fVelostok->ToolBar1->isVisible());
        QCOMPARE(fVelostok->StatusBar1->currentMessage(), QStringLiteral("   Velostok v1.0 - DataBase: ") + other);
    }

    void errorsLeavingHandlersAreShownAndTheProgramGoesOn()
    {
        create();
        fVelostok->show();
        QPushButton button;
        int after = 0;
        QObject::connect(&button, &QPushButton::clicked, &button, Guard::slot([&] {
                             fVelostok->ApplyFilter(QStringLiteral("[unit_name] LIKE"));
                             ++after;
                         }));
        button.click();
        QCOMPARE(after, 0);
        QCOMPARE(mPrompts->messages.size(), 1);
        QVERIFY(!mPrompts->messages.first().isEmpty());
        // The row set is still usable.
        QVERIFY(DM->tblMain->Active());
        // An error escaping an event handler reaches the same box through the application.
        struct Throwing : QWidget
        {
            bool event(QEvent *e) override
            {
                if (e->type() == QEvent::User)
                    throw DaoError(QStringLiteral("грешка в събитие"));
                return QWidget::event(e);
            }
        } w;
        QEvent ev(QEvent::User);
        QCoreApplication::sendEvent(&w, &ev);
        QCOMPARE(mPrompts->messages.last(), QStringLiteral("грешка в събитие"));
    }

    void closing()
    {
        create();
        fVelostok->show();
        QVERIFY(DM->DataBase->Connected());
        // A row left in editing is stored, and the settings are saved.
        DM->tblMain->Append();
        DM->tblMain->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("незаписан"));
        fVelostok->action(QStringLiteral("Exit1"))->trigger();
        QVERIFY(!fVelostok->isVisible());
        QVERIFY(QFile::exists(QDir(bin()).filePath(QStringLiteral("set.dll"))));
        QVERIFY(QFile::exists(QDir(bin()).filePath(QStringLiteral("grid.ini"))));
        {
            SqliteConnection c;
            c.open(QStringLiteral("Velostok.mdb"));
            QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM main WHERE unit_name = 'незаписан'")).toInt(), 1);
        }
        Startup::destroyAll();
        QVERIFY(!DM);
        // Everything is closed: the lock file is gone and the database opens exclusively.
        QVERIFY(!QFile::exists(QStringLiteral("Velostok.ldb")));
    }

    void printerFailureEndsStartUp()
    {
        // A printer of A4 paper only starts the program, the report on A4.
        TfUniversalReport::setPrinterSource([] { return std::make_unique<StandInPrinter>(QList<QPageSize>{QPageSize(QPageSize::A4)}); });
        QVERIFY(Startup::createAll());
        QVERIFY(mPrompts->messages.isEmpty());
        QCOMPARE(fUniversalReport->pageLayout().pageSize().id(), QPageSize::A4);
        Startup::destroyAll();
        // One on which no page layout can be set at all stops it.
        TfUniversalReport::setPrinterSource([] {
            auto p = std::make_unique<StandInPrinter>(QList<QPageSize>{QPageSize(QPageSize::A4)});
            p->refuseAll = true;
            return p;
        });
        QVERIFY(!Startup::createAll());
        QCOMPARE(mPrompts->messages, QStringList{QStringLiteral("Драйвера на принтера не поддържа този режим!")});
        QVERIFY(!fVelostok->isVisible());
        QVERIFY(!DM->DataBase->Connected());
    }

    void splashCloseEndsTheProcessAtOnce()
    {
        QProcess p;
        const QString mark = QDir(work()).filePath(QStringLiteral("mark"));
        p.setProcessEnvironment([] {
            auto e = QProcessEnvironment::systemEnvironment();
            e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            return e;
        }());
        p.start(QStringLiteral(VELOSTOK_TEST_BIN_DIR "/splashclose"), {mark});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFile::exists(mark)); // nothing was cleaned up
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestVelostok t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_velostok.moc"
