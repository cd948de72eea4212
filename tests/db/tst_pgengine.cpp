// The PostgreSQL engine under the dataset layer, on a throwaway server (VELOSTOK_PG_TEST holds
// the connection string of a database whose user may create databases): the schema, typed
// fields, filters and sorts with the same rows as on SQLite, optimistic locking between two
// counters, statements all or nothing, the stored queries, and the local copy as an SQLite file.
#include "DaoError.h"
#include "PgConnection.h"
#include "PgEngine.h"
#include "Regional.h"
#include "TDaoInfo.h"
#include "TestDb.h"

#include <QRandomGenerator>
#include <QSysInfo>

namespace {

// A fresh database on the server holding an empty inventory, dropped afterwards.
struct ServerDb
{
    QString admin = qEnvironmentVariable("VELOSTOK_PG_TEST");
    QString name = QStringLiteral("velostok_t%1").arg(QRandomGenerator::global()->generate());
    QString conninfo;

    explicit ServerDb(bool inventory = true)
    {
        PgConnection c;
        c.open(admin);
        c.exec(QStringLiteral("CREATE DATABASE %1").arg(name));
        conninfo = admin + QStringLiteral(" dbname=") + name; // the later keyword wins
        if (inventory)
            PgEngine().createDatabase(conninfo);
    }
    ~ServerDb()
    {
        try {
            PgConnection c;
            c.open(admin);
            c.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
        } catch (const DaoError &e) {
            qWarning("%s", e.what());
        }
    }
    void exec(const QString &sql) const
    {
        PgConnection c;
        c.open(conninfo);
        c.exec(sql);
    }
    std::unique_ptr<TDaoDatabase> connect() const
    {
        auto db = std::make_unique<TDaoDatabase>();
        db->setDatabase(conninfo);
        db->SmartOpen = false;
        db->Open();
        return db;
    }
};

const char *const Rows = "INSERT INTO main (user_id, unit_name, unit_number, quantity, deleted, locked, last_modified) VALUES "
                         "(1, 'Филтър маслен', 'W712', 4, FALSE, FALSE, '2024-05-01 10:20:30'),"
                         "(2, 'АМОРТИСЬОР', 'A-100', 2, TRUE, FALSE, NULL),"
                         "(3, 'амортисьор преден', 'A-101', 10, FALSE, TRUE, NULL),"
                         "(4, NULL, 'Z9', NULL, FALSE, FALSE, NULL),"
                         "(5, 'Bulb H7', 'h7', 7.5, FALSE, FALSE, NULL),"
                         "(6, 'bulb h4', 'H4', 0, TRUE, TRUE, NULL),"
                         "(7, 'ёлха [1]', 'Ё-1', 1, FALSE, FALSE, NULL),"
                         "(8, 'ЁЛХА [2]', '#5', 1, FALSE, FALSE, NULL)";

QStringList numbers(TDaoTable *t)
{
    QStringList out;
    for (t->First(); !t->Eof(); t->Next())
        out << t->FieldByName(QStringLiteral("user_id"))->AsString();
    return out;
}

} // namespace

class TestPgEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("VELOSTOK_PG_TEST"))
            QSKIP("no PostgreSQL server (VELOSTOK_PG_TEST)");
        regional::setLocale(QLocale(QLocale::Bulgarian, QLocale::Bulgaria));
    }

    void connectionStringsAreTold()
    {
        QVERIFY(PgEngine::isConnectionString(QStringLiteral("postgresql://shop@server/inventory")));
        QVERIFY(PgEngine::isConnectionString(QStringLiteral("host=server dbname=inventory user=shop")));
        QVERIFY(!PgEngine::isConnectionString(QStringLiteral("/home/shop/Velostok.mdb")));
        QVERIFY(!PgEngine::isConnectionString(QStringLiteral("C:\\Склад\\host=1.mdb")));
        QCOMPARE(PgConnection::numberedPlaceholders(QStringLiteral("SELECT '?', \"a?\", ? -- ?\n, ?")),
                 QStringLiteral("SELECT '?', \"a?\", $1 -- ?\n, $2"));
    }

    void fieldsAndValues()
    {
        ServerDb s;
        auto conn = s.connect();
        auto t = TestDb::table(conn.get(), QStringLiteral("main"));
        t->Open();
        QCOMPARE(t->FieldByName(QStringLiteral("id"))->DataType(), TFieldType::Counter);
        QCOMPARE(t->FieldByName(QStringLiteral("user_id"))->DataType(), TFieldType::Long);
        QCOMPARE(t->FieldByName(QStringLiteral("unit_name"))->DataType(), TFieldType::Text);
        QCOMPARE(t->FieldByName(QStringLiteral("unit_name"))->Size(), 60);
        QCOMPARE(t->FieldByName(QStringLiteral("price"))->DataType(), TFieldType::Double);
        QCOMPARE(t->FieldByName(QStringLiteral("deleted"))->DataType(), TFieldType::Boolean);
        QCOMPARE(t->FieldByName(QStringLiteral("last_modified"))->DataType(), TFieldType::DateTime);

        // A row posted and read back by another connection, every type.
        const QDateTime when(QDate(2026, 12, 9), QTime(11, 30, 5));
        t->Append();
        t->FieldByName(QStringLiteral("user_id"))->setAsInteger(41);
        t->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("Свещ 'Бош' \"X\""));
        t->FieldByName(QStringLiteral("price"))->setAsFloat(12.5);
        t->FieldByName(QStringLiteral("deleted"))->setAsBoolean(true);
        t->FieldByName(QStringLiteral("last_modified"))->setAsDateTime(when);
        t->Post();
        auto other = s.connect();
        auto u = TestDb::table(other.get(), QStringLiteral("main"));
        u->Open();
        QCOMPARE(u->RecordCount(), 1);
        QCOMPARE(u->FieldByName(QStringLiteral("user_id"))->AsInteger(), 41);
        QCOMPARE(u->FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("Свещ 'Бош' \"X\""));
        QCOMPARE(u->FieldByName(QStringLiteral("price"))->AsFloat(), 12.5);
        QCOMPARE(u->FieldByName(QStringLiteral("deleted"))->AsBoolean(), true);
        QCOMPARE(u->FieldByName(QStringLiteral("locked"))->AsBoolean(), false);
        QCOMPARE(u->FieldByName(QStringLiteral("last_modified"))->AsDateTime(), when);
        QVERIFY(u->FieldByName(QStringLiteral("created"))->AsDateTime().isValid());
        // Edited and stored again; a text longer than its field is cut to it.
        u->Edit();
        u->FieldByName(QStringLiteral("unit_name"))->setAsString(QString(80, QChar(u'ж')));
        u->FieldByName(QStringLiteral("deleted"))->setAsBoolean(false);
        u->Post();
        t->Refresh();
        QCOMPARE(t->FieldByName(QStringLiteral("unit_name"))->AsString(), QString(60, QChar(u'ж')));
        QCOMPARE(t->FieldByName(QStringLiteral("deleted"))->AsBoolean(), false);
    }

    void filtersAndSortsAsOnSqlite_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("sort");
        QTest::newRow("everything by name") << QString() << QStringLiteral("[unit_name] ASC");
        QTest::newRow("by name, descending") << QString() << QStringLiteral("[unit_name] DESC");
        QTest::newRow("not deleted") << QStringLiteral("[deleted]=False") << QString();
        QTest::newRow("equal, other case") << QStringLiteral("[unit_name] = \"bulb h7\"") << QString();
        QTest::newRow("Cyrillic case") << QStringLiteral("[unit_name] LIKE \"амортисьор*\"") << QStringLiteral("[user_id] ASC");
        QTest::newRow("ё and Ё") << QStringLiteral("[unit_name] LIKE \"ЁЛХА*\"") << QStringLiteral("[user_id] ASC");
        QTest::newRow("not containing") << QStringLiteral("NOT [unit_name] LIKE \"*u*\"") << QStringLiteral("[user_id] ASC");
        QTest::newRow("digits and or") << QStringLiteral("[quantity] < 5 AND ([unit_number] LIKE \"a*\" OR [unit_number] LIKE \"W###\")")
                                       << QStringLiteral("[user_id] ASC");
        QTest::newRow("negated list") << QStringLiteral("[unit_number] LIKE \"[!a-g]?\"") << QStringLiteral("[user_id] ASC");
        QTest::newRow("brackets and specials") << QStringLiteral("[unit_name] LIKE \"*[[]1]\"") << QStringLiteral("[user_id] ASC");
        QTest::newRow("hash as a digit") << QStringLiteral("[unit_number] LIKE \"[#]#\"") << QStringLiteral("[user_id] ASC");
        QTest::newRow("greater, text") << QStringLiteral("[unit_name] > \"б\"") << QStringLiteral("[unit_name] ASC");
        QTest::newRow("null quantity last") << QString() << QStringLiteral("[quantity] DESC");
    }
    void filtersAndSortsAsOnSqlite()
    {
        QFETCH(QString, filter);
        QFETCH(QString, sort);
        ServerDb s;
        s.exec(QString::fromUtf8(Rows));
        TestDb file;
        file.exec(QString::fromUtf8(Rows));
        const auto rowsOf = [&](TDaoDatabase *db) {
            auto t = TestDb::table(db, QStringLiteral("main"));
            if (!filter.isEmpty()) {
                t->setFilter(filter);
                t->setFiltered(true);
            }
            if (!sort.isEmpty())
                t->setSortedBy({sort});
            t->Open();
            return numbers(t.get());
        };
        auto server = s.connect();
        auto local = file.connect();
        const QStringList onServer = rowsOf(server.get());
        const QStringList onFile = rowsOf(local.get());
        QCOMPARE(onServer, onFile);
        QVERIFY(!onServer.isEmpty());
    }

    void optimisticLockingBetweenCounters()
    {
        ServerDb s;
        s.exec(QString::fromUtf8(Rows));
        auto a = s.connect();
        auto b = s.connect();
        auto ta = TestDb::table(a.get(), QStringLiteral("main"));
        auto tb = TestDb::table(b.get(), QStringLiteral("main"));
        ta->setSortedBy({QStringLiteral("[user_id] ASC")});
        tb->setSortedBy({QStringLiteral("[user_id] ASC")});
        ta->Open();
        tb->Open();
        ta->Edit();
        ta->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("от каса 1"));
        tb->Edit();
        tb->FieldByName(QStringLiteral("unit_name"))->setAsString(QStringLiteral("от каса 2"));
        ta->Post();
        QVERIFY_THROWS_EXCEPTION(RowConflict, tb->Post());
        QCOMPARE(tb->State(), TDaoTable::dsEdit);
        QCOMPARE(tb->FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("от каса 2"));
        // Deleted by the other counter: the same.
        tb->Cancel();
        tb->Refresh();
        ta->Delete();
        QVERIFY_THROWS_EXCEPTION(RowConflict, {
            tb->Edit();
            tb->FieldByName(QStringLiteral("quantity"))->setAsFloat(3);
            tb->Post();
        });
    }

    void statementsAreAllOrNothing()
    {
        ServerDb s;
        s.exec(QString::fromUtf8(Rows));
        s.exec(QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                              "IF NEW.user_id > 8 THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$;"
                              "CREATE TRIGGER refuse BEFORE UPDATE ON main FOR EACH ROW EXECUTE FUNCTION refuse()"));
        auto conn = s.connect();
        auto t = TestDb::table(conn.get(), QStringLiteral("main"));
        t->Open();
        QVERIFY_THROWS_EXCEPTION(DaoError, t->ExecSQL({QStringLiteral("UPDATE main SET user_id = user_id + 1;")}));
        t->ExecSQL({QStringLiteral("UPDATE main SET [locked] = True WHERE [locked]=False;")});
        t->Requery();
        t->setFilter(QStringLiteral("[user_id] > 8"));
        t->setFiltered(true);
        QCOMPARE(t->RecordCount(), 0); // the refused statement changed nothing
        t->setFilter(QStringLiteral("[locked] = False"));
        QCOMPARE(t->RecordCount(), 0);
    }

    void storedQueriesListDistinctValues()
    {
        ServerDb s;
        s.exec(QString::fromUtf8(Rows));
        auto conn = s.connect();
        TestDb file;
        file.exec(QString::fromUtf8(Rows));
        // Values equal but for letter case, Cyrillic and Latin, make one entry each.
        const QString twins = QStringLiteral("INSERT INTO main (user_id, unit_name) VALUES (9, 'BULB h7'), (10, 'Амортисьор')");
        s.exec(twins);
        file.exec(twins);
        auto local = file.connect();
        // The same groups in the same order as the file's stored query lists them.
        const auto listed = [](TDaoDatabase *db) {
            auto q = TestDb::table(db, QStringLiteral("unit_name"));
            q->Open();
            QStringList names;
            for (q->First(); !q->Eof(); q->Next())
                names << (q->Fields(0)->IsNull() ? QStringLiteral("<null>") : q->Fields(0)->AsString().toLower());
            return names;
        };
        const QStringList onServer = listed(conn.get());
        QCOMPARE(onServer, listed(local.get()));
        QCOMPARE(onServer.size(), 8);
        QCOMPARE(onServer.first(), QStringLiteral("<null>"));
        PgEngine engine;
        engine.open(s.conninfo);
        const std::optional<SourceInfo> info = engine.findSource(QStringLiteral("MARK"));
        QVERIFY(info);
        QCOMPARE(info->name, QStringLiteral("Mark"));
        QCOMPARE(info->distinctOf, std::make_optional(std::make_pair(QStringLiteral("models"), QStringLiteral("mark_name"))));
    }

    void localCopyIsAnInventoryFile()
    {
        ServerDb s;
        s.exec(QString::fromUtf8(Rows));
        auto conn = s.connect();
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("Backup3.mdb"));
        conn->CopyOpenDatabase(copy);
        TDaoDatabase local;
        local.setDatabase(copy);
        local.SmartOpen = false;
        local.Open();
        auto t = TestDb::table(&local, QStringLiteral("main"));
        t->setSortedBy({QStringLiteral("[user_id] ASC")});
        t->Open();
        QCOMPARE(t->RecordCount(), 8);
        QCOMPARE(t->FieldByName(QStringLiteral("unit_name"))->AsString(), QStringLiteral("Филтър маслен"));
        QCOMPARE(t->FieldByName(QStringLiteral("last_modified"))->AsDateTime(), QDateTime(QDate(2024, 5, 1), QTime(10, 20, 30)));
        t->Next();
        QCOMPARE(t->FieldByName(QStringLiteral("deleted"))->AsBoolean(), true);
    }

    void connectedUsersComeFromTheServer()
    {
        ServerDb s;
        const QString host = QSysInfo::machineHostName();
        TDaoInfo info;
        info.setDatabase(s.conninfo);
        info.setActive(true);
        QCOMPARE(info.NumberOfUsers(), 0);
        auto a = std::make_unique<TDaoDatabase>();
        a->setDatabase(s.conninfo);
        a->UserName = QStringLiteral("Иванка");
        a->Open();
        auto b = s.connect();
        QCOMPARE(info.NumberOfUsers(), 2);
        QCOMPARE(info.LoggedNowUsers(), QStringList({host, host}));
        QVERIFY(info.LoggedUsersEx().contains(host + QStringLiteral("/Иванка")));
        QCOMPARE(info.ErrorUsers(), QStringList());
        QCOMPARE(info.LastError(), 0);
        a.reset(); // closed: gone from the list at once
        QCOMPARE(info.NumberOfUsers(), 1);
        QVERIFY(!info.LoggedUsersEx().contains(host + QStringLiteral("/Иванка")));
        // Another database's counters are not this one's.
        ServerDb other;
        TDaoInfo otherInfo;
        otherInfo.setDatabase(other.conninfo);
        otherInfo.setActive(true);
        QCOMPARE(otherInfo.NumberOfUsers(), 0);
    }

    void newInventoryFromTheTemplateAndMaintenance()
    {
        // The template's makes and models go to the server; a database holding an inventory is
        // never made over.
        ServerDb s(false);
        PgEngine().createDatabase(s.conninfo, QStringLiteral(VELOSTOK_TEMPLATE));
        TestDb file;
        SqliteConnection templ;
        templ.open(QStringLiteral(VELOSTOK_TEMPLATE));
        const int models = templ.scalar(QStringLiteral("SELECT COUNT(*) FROM models")).toInt();
        QVERIFY(models > 100);
        auto conn = s.connect();
        auto t = TestDb::table(conn.get(), QStringLiteral("models"));
        t->Open();
        QCOMPARE(t->RecordCount(), models);
        QVERIFY_THROWS_EXCEPTION(DaoError, PgEngine().createDatabase(s.conninfo));
        t->Close();
        // Compaction is the server's VACUUM, the rows kept.
        conn->Close();
        conn->CompactDatabaseFile(s.conninfo, QString());
        conn->Open();
        t->Open();
        QCOMPARE(t->RecordCount(), models);
    }

    void databasesThatAreNoInventoryAreRefused()
    {
        ServerDb empty(false);
        TDaoDatabase db;
        db.setDatabase(empty.conninfo);
        QVERIFY_THROWS_EXCEPTION(DaoError, db.Open());
        QVERIFY(!db.Connected());
        db.setDatabase(empty.admin + QStringLiteral(" dbname=no_such_database_here"));
        QVERIFY_THROWS_EXCEPTION(DaoError, db.Open());
    }
};

QTEST_GUILESS_MAIN(TestPgEngine)
#include "tst_pgengine.moc"
