// The connection: engine versions, the program-folder fallback, refusing files that are not
// inventory databases, the journal, compaction, copies of an open file, and files shared with
// the sqlite3 tool.
#include "base/DaoError.h"
#include "base/FileReplacement.h"
#include "engine/InventorySchema.h"
#include "sqlite/LockRoster.h"
#include "files/TDaoInfo.h"
#include "TestDb.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <cerrno>
#include <sqlite3.h>

namespace {
QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestDaoDatabase : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { TDaoDatabase::setAvailableEngines({QStringLiteral("3.6")}); }

    void versionRules()
    {
        TDaoDatabase db;
        QCOMPARE(db.Version(), QStringLiteral("3.6"));
        QCOMPARE(db.EngineVersions(), QStringList{QStringLiteral("3.6")});
        db.setVersion(QStringLiteral("3.5")); // the older engine is not here: the newer one
        QCOMPARE(db.Version(), QStringLiteral("3.6"));
        db.setVersion(QStringLiteral("3.60 (Access 2000)"));
        QCOMPARE(db.Version(), QStringLiteral("3.6"));
        QVERIFY_THROWS_EXCEPTION(DaoError, db.setVersion(QStringLiteral("4.0")));
        QVERIFY_THROWS_EXCEPTION(DaoError, db.setVersion(QString()));
        QCOMPARE(db.Version(), QStringLiteral("3.6"));

        TDaoDatabase::setAvailableEngines({QStringLiteral("3.5"), QStringLiteral("3.6")});
        db.setVersion(QStringLiteral("3.5"));
        QCOMPARE(db.Version(), QStringLiteral("3.5"));
        TDaoDatabase::setAvailableEngines({});
        try {
            db.setVersion(QStringLiteral("3.6"));
            QFAIL("no error");
        } catch (const DaoError &e) {
            QCOMPARE(e.message(), QStringLiteral("You does not have Microsoft DAO installed ot it is an OLD Version!"));
        }
        QCOMPARE(db.Version(), QStringLiteral("3.5"));
        TDaoDatabase::setAvailableEngines({QStringLiteral("3.6")});

        TestDb file;
        db.setDatabase(file.path);
        db.Open();
        QVERIFY_THROWS_EXCEPTION(DaoError, db.setVersion(QStringLiteral("3.6")));
        QVERIFY_THROWS_EXCEPTION(DaoError, db.setDatabase(QStringLiteral("other.mdb")));
        QCOMPARE(db.connectText(), QStringLiteral(";UID=Admin;PWD=;"));
    }

    void missingFileIsLookedForInTheProgramFolder()
    {
        if (TestDb::onServer())
            QSKIP("a server database is named by its connection string, not looked for in folders");
        TestDb file(QStringLiteral("Shop.mdb"));
        QTemporaryDir work;
        TDaoDatabase db;
        db.setProgramDir(file.dir.path());
        db.setDatabase(work.filePath(QStringLiteral("Shop.mdb")));
        db.Open();
        QVERIFY(db.Connected());
        QCOMPARE(db.Database(), file.path);
        db.Close();

        // Names written on a system that ignores case find the file in either folder.
        db.setDatabase(work.filePath(QStringLiteral("SHOP.MDB")));
        db.Open();
        QCOMPARE(db.Database(), file.path);
        db.Close();
        db.setDatabase(file.dir.filePath(QStringLiteral("shop.MDB")));
        db.Open();
        QVERIFY(db.Connected());
        db.Close();
        // Two files that differ only in case: neither is guessed.
        TestDb upper(QStringLiteral("Two.mdb"));
        QFile::copy(upper.path, upper.dir.filePath(QStringLiteral("TWO.mdb")));
        db.setDatabase(upper.dir.filePath(QStringLiteral("two.mdb")));
        QVERIFY_THROWS_EXCEPTION(DaoError, db.Open());

        // Missing in both places: an error, the tried name kept, nothing created.
        db.setDatabase(QStringLiteral("C:\\Data\\Nowhere.mdb"));
        QVERIFY_THROWS_EXCEPTION(DaoError, db.Open());
        QVERIFY(!db.Connected());
        QCOMPARE(db.Database(), QDir(file.dir.path()).filePath(QStringLiteral("Nowhere.mdb")));
        QVERIFY(!QFile::exists(db.Database()));
    }

    void theNameFoundIsTheNameKept()
    {
        if (TestDb::onServer())
            QSKIP("a server database is named by its connection string, not looked for in folders");
        TestDb file(QStringLiteral("Velostok.mdb"));
        QTemporaryDir elsewhere;
        TDaoDatabase db;
        db.setProgramDir(elsewhere.path());
        // Another letter case, as the older system's settings write it.
        db.setDatabase(file.dir.filePath(QStringLiteral("Velostok.MDB")));
        db.Open();
        QCOMPARE(db.Database(), file.path);
        // The roster under that name lists this connection and one opened by the exact name.
        auto other = file.connect();
        TDaoInfo info;
        info.setDatabase(db.Database());
        info.setActive(true);
        QCOMPARE(info.NumberOfUsers(), 2);
        QCOMPARE(info.LoggedNowUsers().size(), 2);
        other->Close();
        db.Close();

        // Backslashes of a stored path are separators.
        db.setDatabase(file.dir.path() + QStringLiteral("\\VELOSTOK.mdb"));
        db.Open();
        QCOMPARE(db.Database(), file.path);
        db.Close();

        // A bare name in the working directory stays a bare name, in the found case.
        const QString cwd = QDir::currentPath();
        const auto back = qScopeGuard([&] { QDir::setCurrent(cwd); });
        QVERIFY(QDir::setCurrent(file.dir.path()));
        db.setDatabase(QStringLiteral("velostok.MDB"));
        db.Open();
        QCOMPARE(db.Database(), QStringLiteral("Velostok.mdb"));
        db.Close();
    }

    void filesThatAreNoInventoryAreRefused_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("zero bytes") << QByteArray();
        QTest::newRow("garbage") << QByteArray("MZ\x90\x00garbage that is no database at all").repeated(200);
        QTest::newRow("other sqlite application") << QByteArray("sqlite");
        QTest::newRow("newer schema") << QByteArray("newer");
    }

    void filesThatAreNoInventoryAreRefused()
    {
        if (TestDb::onServer())
            QSKIP("about files; tst_pgengine refuses server databases that are no inventory");
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.mdb"));
        if (content == "sqlite") {
            SqliteConnection c;
            c.open(path, true);
            c.exec(QStringLiteral("CREATE TABLE main (id INTEGER PRIMARY KEY, x TEXT)"));
        } else if (content == "newer") {
            sqliteschema::createDatabase(path);
            SqliteConnection c;
            c.open(path);
            c.exec(QStringLiteral("PRAGMA user_version = 99"));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        const QByteArray before = [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }();
        TDaoDatabase db;
        db.setDatabase(path);
        QVERIFY_THROWS_EXCEPTION(DaoError, db.Open());
        QVERIFY(!db.Connected());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before); // nothing written into a file that is not ours
        QVERIFY(!QFile::exists(LockRoster::lockFilePath(path)));
    }

    void journalAndRoster()
    {
        if (TestDb::onServer())
            QSKIP("about the file's journal and lock file; a server lists its connections itself");
        TestDb file;
        auto a = file.connect();
        QCOMPARE(file.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("delete"));
        QCOMPARE(a->rosterEntry(), 0);
        auto b = file.connect();
        QCOMPARE(b->rosterEntry(), 1);
        TDaoInfo info;
        info.setDatabase(file.path);
        info.setActive(true);
        QCOMPARE(info.NumberOfUsers(), 2);
        b->Close();
        QCOMPARE(info.NumberOfUsers(), 1);
        a->Close();
        QCOMPARE(info.NumberOfUsers(), 0);
    }

    void aWalFileIsSwitchedBackWhenOpened()
    {
        if (TestDb::onServer())
            QSKIP("about the file's journal");
        TestDb file;
        {
            // Another program leaves the file in WAL mode with rows still in the WAL.
            SqliteConnection other;
            other.open(file.path);
            QCOMPARE(other.scalar(QStringLiteral("PRAGMA journal_mode = WAL")).toString(), QStringLiteral("wal"));
            QCOMPARE(sqlite3_db_config(other.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr), SQLITE_OK);
            other.exec(QStringLiteral("PRAGMA wal_autocheckpoint = 0"));
            other.exec(QStringLiteral("INSERT INTO main (unit_name) VALUES ('в WAL'), ('също')"));
        }
        QVERIFY(QFileInfo(file.path + QStringLiteral("-wal")).size() > 0);
        auto db = file.connect();
        QVERIFY(!QFile::exists(file.path + QStringLiteral("-wal")));
        QVERIFY(!QFile::exists(file.path + QStringLiteral("-shm")));
        QCOMPARE(file.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("delete"));
        auto t = TestDb::table(db.get(), QStringLiteral("main"));
        t->Open();
        QCOMPARE(t->RecordCount(), 2);
        // Writes go through the rollback journal, which leaves no file beside the database.
        t->Append();
        t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("нов"));
        t->Post();
        QVERIFY(!QFile::exists(file.path + QStringLiteral("-wal")));
        QVERIFY(!QFile::exists(file.path + QStringLiteral("-journal")));
        db->Close();
        QCOMPARE(file.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 3);
    }

    void aJournalBesideATornHeader_data()
    {
        QTest::addColumn<QByteArray>("header"); // what the file's first sector holds instead
        QTest::addColumn<bool>("foreign"); // the journal is another file's, of another page size
        QByteArray garbage(512, 0);
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 7919 + 13) & 0xff);
        QTest::newRow("torn") << garbage << false;
        QTest::newRow("zeroed") << QByteArray(512, 0) << false;
        QTest::newRow("sound, another file's journal") << QByteArray() << true;
    }

    void aJournalBesideATornHeader()
    {
        // A power cut while page 1 was written may tear the file's header; the file's own journal
        // holds the page as it was and is played back. A journal of another page size is not.
        QFETCH(QByteArray, header);
        QFETCH(bool, foreign);
        if (TestDb::onServer())
            QSKIP("about the file's journal");
        // The file and its hot journal as a copy that died in the middle of a large write leaves
        // them: pages spilled into the file, the journal synced.
        const auto crashed = [](const QString &path, QByteArray &file) {
            SqliteConnection c;
            c.open(path);
            const int version = c.scalar(QStringLiteral("PRAGMA user_version")).toInt();
            c.exec(QStringLiteral("PRAGMA cache_size = 5; BEGIN; PRAGMA user_version = %1").arg(version));
            c.exec(QStringLiteral("UPDATE main SET unit_name = unit_name || ' променен'"));
            file = contentOf(path);
            const QByteArray journal = contentOf(path + QStringLiteral("-journal"));
            c.exec(QStringLiteral("ROLLBACK"));
            return journal;
        };
        const QString rows = QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 2000) "
                                            "INSERT INTO main (unit_name) SELECT printf('ред %d %.150c', i, '*') FROM k");
        TestDb file;
        file.exec(rows);
        const QByteArray before = contentOf(file.path);
        QByteArray mid;
        QByteArray journal = crashed(file.path, mid);
        QVERIFY(journal.size() > 512 && mid != before);
        if (foreign) {
            TestDb other(QStringLiteral("other.mdb"));
            other.exec(QStringLiteral("PRAGMA page_size = 1024; VACUUM"));
            other.exec(rows);
            QByteArray ignored;
            journal = crashed(other.path, ignored);
            mid = before;
        }
        mid.replace(0, header.size(), header);
        for (const auto &[path, bytes] : {std::pair{file.path, mid}, std::pair{file.path + QStringLiteral("-journal"), journal}}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        }
        if (foreign) {
            QVERIFY_THROWS_EXCEPTION(DaoError, file.connect());
            QVERIFY(contentOf(file.path) == mid);
            return;
        }
        try {
            file.connect();
        } catch (const DaoError &e) {
            QFAIL(qPrintable(e.message()));
        }
        QVERIFY(contentOf(file.path) == before);
        QCOMPARE(file.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        QCOMPARE(file.scalar(QStringLiteral("SELECT count(*) FROM main WHERE unit_name LIKE '%променен'")).toInt(), 0);
    }

    void aFailedReplacementLeavesTheOlderFileWhole()
    {
        TestDb file;
        auto db = file.connect();
        const QString copy = file.dir.filePath(QStringLiteral("Backup1.mdb"));
        QFile old(copy);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older copy");
        old.close();
        auto leftovers = [&] {
            QStringList names = QDir(file.dir.path()).entryList(QDir::Files);
            names.removeAll(QStringLiteral("test.mdb"));
            names.removeAll(QStringLiteral("test.ldb"));
            names.removeAll(QStringLiteral("Backup1.mdb"));
            return names;
        };
        {
            // The rename into place fails: the older copy is still there, whole.
            auto &rename = FileReplacement::renameStep();
            const auto saved = rename;
            const auto restore = qScopeGuard([&] { rename = saved; });
            rename = [](const QByteArray &, const QByteArray &) {
                errno = EIO;
                return -1;
            };
            QVERIFY_THROWS_EXCEPTION(DaoError, db->CopyOpenDatabase(copy));
            QCOMPARE(contentOf(copy), QByteArray("older copy"));
            QCOMPARE(leftovers(), QStringList());

            // Compaction of a file the same: the database as it was, no "mdb…" file left.
            if (!file.server) {
                db->Close();
                const QByteArray before = contentOf(file.path);
                QVERIFY_THROWS_EXCEPTION(DaoError, db->CompactDatabaseFile(file.path, QStringLiteral("quietmaple")));
                QCOMPARE(contentOf(file.path), before);
                QCOMPARE(leftovers(), QStringList());
                db->Open();
            }
        }
        // A folder in the copy's place is not replaced.
        const QString folder = file.dir.filePath(QStringLiteral("Backup2.mdb"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/inside")));
        QVERIFY_THROWS_EXCEPTION(DaoError, db->CopyOpenDatabase(folder));
        QVERIFY(QFileInfo(folder + QStringLiteral("/inside")).isDir());
        QCOMPARE(leftovers(), QStringList());
        // And when nothing fails, the copy is complete and nothing else is left.
        db->CopyOpenDatabase(copy);
        SqliteConnection c;
        c.open(copy);
        QCOMPARE(c.scalar(QStringLiteral("PRAGMA application_id")).toInt(), inventoryschema::ApplicationId);
        QCOMPARE(leftovers(), QStringList());
    }

    void compactionKeepsDataAndRefusesWhileInUse()
    {
        if (TestDb::onServer())
            QSKIP("about compacting a file; tst_pgengine compacts a server database");
        TestDb file;
        file.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                                 "INSERT INTO main (user_id, unit_name, comment) SELECT i, 'част ' || i, hex(randomblob(60)) FROM n"));
        file.exec(QStringLiteral("DELETE FROM main WHERE user_id > 100"));
        const qint64 before = QFileInfo(file.path).size();

        auto other = file.connect();
        TDaoDatabase db;
        QVERIFY_THROWS_EXCEPTION(DaoError, db.CompactDatabaseFile(file.path, QStringLiteral("quietmaple")));
        QCOMPARE(QFileInfo(file.path).size(), before);
        other->Close();

        db.CompactDatabaseFile(file.path, QStringLiteral("quietmaple"));
        QVERIFY(QFileInfo(file.path).size() < before);
        QCOMPARE(file.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 100);
        QCOMPARE(file.scalar(QStringLiteral("PRAGMA application_id")).toInt(), inventoryschema::ApplicationId);
        const QStringList left = QDir(file.dir.path()).entryList({QStringLiteral("mdb*")}, QDir::Files);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));

        // A file that is not an inventory is refused and left as it was.
        const QString junk = file.dir.filePath(QStringLiteral("junk.mdb"));
        QFile j(junk);
        QVERIFY(j.open(QIODevice::WriteOnly));
        j.write("not a database");
        j.close();
        QVERIFY_THROWS_EXCEPTION(DaoError, db.CompactDatabaseFile(junk, QString()));
        QCOMPARE(QFileInfo(junk).size(), qint64(14));
    }

    void copyOfAnOpenDatabaseHoldsWhatIsInTheJournal()
    {
        TestDb file;
        auto db = file.connect();
        auto t = TestDb::table(db.get(), QStringLiteral("main"));
        t->Open();
        for (int i = 0; i < 20; ++i) {
            t->Append();
            t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("ред %1").arg(i));
            t->Post();
        }
        const QString copy = file.dir.filePath(QStringLiteral("Backup3.mdb"));
        QFile old(copy);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older copy");
        old.close();
        db->CopyOpenDatabase(copy);
        SqliteConnection c;
        c.open(copy);
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 20);
        if (!file.server) // a file is not copied over itself
            QVERIFY_THROWS_EXCEPTION(DaoError, db->CopyOpenDatabase(file.path));
    }

    void sharedWithTheSqliteTool()
    {
        if (TestDb::onServer())
            QSKIP("about the file shared with the sqlite3 tool");
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
        if (tool.isEmpty())
            QSKIP("the sqlite3 tool is not installed");
        // The built template, and a file Velostok has written to.
        const QString templ = QStringLiteral(VELOSTOK_TEMPLATE);
        QVERIFY2(QFile::exists(templ), "the template is built with the project");
        TestDb file;
        QVERIFY(QFile::remove(file.path));
        QVERIFY(QFile::copy(templ, file.path));
        QFile::setPermissions(file.path, QFile::ReadOwner | QFile::WriteOwner);
        {
            auto db = file.connect();
            auto t = TestDb::table(db.get(), QStringLiteral("main"));
            t->Open();
            t->Append();
            t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("ФИЛТЪР"));
            t->Post();
            QProcess p;
            p.start(tool, {file.path, QStringLiteral("PRAGMA integrity_check; INSERT INTO main (unit_name) VALUES ('филтър'); "
                                                     "SELECT count(*) FROM models; SELECT count(*) FROM unit_name;")});
            QVERIFY(p.waitForFinished(30000));
            const QString out = QString::fromUtf8(p.readAllStandardOutput());
            QVERIFY2(p.exitCode() == 0, qPrintable(QString::fromUtf8(p.readAllStandardError())));
            const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QCOMPARE(lines.value(0), QStringLiteral("ok"));
            QVERIFY(lines.value(1).toInt() > 100); // the catalogue of makes and models
            QCOMPARE(lines.value(2), QStringLiteral("2")); // the tool folds only ASCII

            // Velostok's own connection folds Cyrillic in the stored query.
            auto q = TestDb::table(db.get(), QStringLiteral("unit_name"));
            q->Open();
            QCOMPARE(q->RecordCount(), 1);
            t->Requery();
            QCOMPARE(t->RecordCount(), 2);
        }
    }

    // Another connection's commit is told within moments, on any of the tables; this
    // connection's own commits are not; nothing is told while not watching.
    void othersCommitsTold()
    {
        TestDb db;
        auto conn = db.connect();
        QSignalSpy told(conn.get(), &TDaoDatabase::othersCommitted);
        conn->watchCommits(true);
        db.exec(QStringLiteral("INSERT INTO main (unit_number, deleted) VALUES ('A', FALSE)"));
        QVERIFY(told.wait(3000));
        told.clear();
        auto t = TestDb::table(conn.get(), QStringLiteral("main"));
        t->Open();
        t->Edit();
        t->FieldByName(QStringLiteral("quantity"))->setAsInteger(3);
        t->Post();
        QVERIFY(!told.wait(1500));
        db.exec(QStringLiteral("INSERT INTO users (user_name) VALUES ('Иван')"));
        QVERIFY(told.wait(3000));
        told.clear();
        conn->watchCommits(false);
        db.exec(QStringLiteral("DELETE FROM main"));
        QVERIFY(!told.wait(1200));
    }

    // A sorted, filtered dataset following others' commits ends as a fresh opening would: a few
    // new rows placed one by one, many at once by selecting the keys again, a purge, a row that
    // left the filter coming back with its new values (not those held from before), and more
    // rows than are read one by one.
    void followsOthersAsAnOpeningWould()
    {
        TestDb db;
        db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60) "
                               "INSERT INTO main (user_id, unit_name, quantity, price, deleted) "
                               "SELECT i, 'Част ' || (i * 37 % 61), 5, i, FALSE FROM n"));
        auto conn = db.connect();
        const auto open = [&](TDaoDatabase *c) {
            auto t = TestDb::table(c, QStringLiteral("main"));
            t->setSortedBy({QStringLiteral("[unit_name] DESC")});
            t->Open();
            t->applyFilter(QStringLiteral("[quantity] > 2"));
            return t;
        };
        auto t = open(conn.get());
        const auto keys = [](TDaoTable *d) {
            QList<qint64> out;
            for (int i = 0; i < d->RecordCount(); ++i)
                out << d->rowValue(i, 0).toLongLong();
            return out;
        };
        const int price = t->FieldByName(QStringLiteral("price"))->Index();
        const qint64 x = t->rowValue(3, 0).toLongLong();
        QVERIFY(t->rowValue(3, price).isValid()); // its values held
        conn->followOthers(true);
        conn->watchCommits(true);
        QSignalSpy followed(t.get(), &TDaoTable::rowsFollowed);
        const auto step = [&](const QString &sql) {
            followed.clear();
            db.exec(sql);
            QTRY_VERIFY_WITH_TIMEOUT(!followed.isEmpty(), 5000);
        };
        step(QStringLiteral("UPDATE main SET quantity = 1 WHERE id = %1").arg(x));
        step(QStringLiteral("INSERT INTO main (user_id, unit_name, quantity, deleted) VALUES (61, 'Ново А', 5, FALSE), "
                            "(62, 'Ново Б', 1, FALSE)"));
        step(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40) "
                            "INSERT INTO main (user_id, unit_name, quantity, deleted) SELECT 100 + i, 'Много ' || i, 3, FALSE FROM n"));
        db.exec(QStringLiteral("DELETE FROM main WHERE user_id = 7"));
        db.exec(QStringLiteral("UPDATE main SET quantity = 9, price = 777 WHERE id = %1").arg(x));
        // More rows at once than are worth reading one by one (another counter's renumbering).
        db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20001) "
                               "INSERT INTO main (user_id, unit_name, quantity, deleted) SELECT 1000 + i, 'Куп ' || i, 4, FALSE FROM n"));
        const auto freshDb = db.connect();
        const auto fresh = open(freshDb.get());
        QTRY_COMPARE_WITH_TIMEOUT(keys(t.get()), keys(fresh.get()), 5000);
        const int at = int(keys(t.get()).indexOf(x));
        QCOMPARE(t->rowValue(at, price).toInt(), 777);
    }
};

QTEST_GUILESS_MAIN(TestDaoDatabase)
#include "tst_daodatabase.moc"
