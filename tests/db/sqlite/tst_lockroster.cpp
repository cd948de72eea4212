// The lock-file roster and the connected-users component, with real second processes.
#include "base/DaoError.h"
#include "sqlite/LockRoster.h"
#include "sqlite/RosterGate.h"
#include "sqlite/SqliteEngine.h"
#include "files/TDaoInfo.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

void makeDatabase(const QString &path, int userVersion = 3)
{
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    const QByteArray sql = "PRAGMA user_version = " + QByteArray::number(userVersion)
                           + "; CREATE TABLE t (x INTEGER);";
    const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(rc, SQLITE_OK);
}

QByteArray field(const QByteArray &bytes)
{
    QByteArray f = bytes.left(32);
    f.append(32 - f.size(), '\0');
    return f;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

QList<LockRoster::Entry> entriesOf(const QString &db)
{
    QList<LockRoster::Entry> entries;
    QString error;
    if (!LockRoster::readEntries(db, &entries, &error))
        qWarning() << "readEntries failed:" << error;
    return entries;
}

// The helper process: its first line of output says what it holds.
class Holder
{
public:
    ~Holder()
    {
        if (mProcess.state() != QProcess::NotRunning) {
            mProcess.kill();
            mProcess.waitForFinished();
        }
    }

    QString start(const QStringList &arguments)
    {
        mProcess.start(QStringLiteral(ROSTERHOLDER_PATH), arguments);
        if (!mProcess.waitForStarted())
            return QStringLiteral("not started");
        while (!mProcess.canReadLine()) {
            if (!mProcess.waitForReadyRead(30000))
                return QStringLiteral("no answer");
        }
        return QString::fromUtf8(mProcess.readLine()).trimmed();
    }

    // Ends its input: it leaves or lets the gate go, and exits.
    int finish()
    {
        mProcess.closeWriteChannel();
        if (!mProcess.waitForFinished(30000))
            return -1;
        return mProcess.exitCode();
    }

    void killHard()
    {
        mProcess.kill(); // SIGKILL: no chance to leave
        mProcess.waitForFinished();
    }

private:
    QProcess mProcess;
};

} // namespace

class TestLockRoster : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lockFilePath_data();
    void lockFilePath();
    void joinsInOneProcess();
    void longNamesCutOnCharacterBoundary_data();
    void longNamesCutOnCharacterBoundary();
    void otherProcessAndKilledCopy();
    void gateExcludesJoins();
    void joinsRaceTheLastLeaver();
    void loggedUsersExReadsRawEntries();
    void missingFiles();
    void databaseVersion_data();
    void databaseVersion();
    void inactiveKeepsLists();
    void activationOrderAndProperties();
    void engineKeepsTheRoster();
};

void TestLockRoster::lockFilePath_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("lockFile");
    QTest::newRow("mdb") << "/data/base.mdb" << "/data/base.ldb";
    QTest::newRow("last extension only") << "/data/base.2024.mdb" << "/data/base.2024.ldb";
    QTest::newRow("dot in folder") << "/da.ta/base" << "/da.ta/base.ldb";
    QTest::newRow("relative") << "Inventory.MDB" << "Inventory.ldb";
}

void TestLockRoster::lockFilePath()
{
    QFETCH(QString, database);
    QFETCH(QString, lockFile);
    QCOMPARE(LockRoster::lockFilePath(database), lockFile);
}

void TestLockRoster::joinsInOneProcess()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("base.mdb"));
    makeDatabase(db);
    const QString ldb = dir.filePath(QStringLiteral("base.ldb"));

    LockRoster a;
    LockRoster b;
    QVERIFY(a.join(db, QStringLiteral("PC-A"), QStringLiteral("Admin")));
    QCOMPARE(a.entryIndex(), 0);
    QVERIFY(b.join(db, QStringLiteral("PC-B"), QStringLiteral("Иван")));
    QCOMPARE(b.entryIndex(), 1);

    QList<LockRoster::Entry> entries = entriesOf(db);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0].computer, QStringLiteral("PC-A"));
    QCOMPARE(entries[0].user, QStringLiteral("Admin"));
    QVERIFY(entries[0].held);
    QCOMPARE(entries[1].index, 1);
    QCOMPARE(entries[1].computer, QStringLiteral("PC-B"));
    QCOMPARE(entries[1].user, QStringLiteral("Иван"));
    QVERIFY(entries[1].held);

    {
        RosterGate gate;
        QVERIFY(!gate.tryLockExclusive(db));
    }

    a.leave();
    QVERIFY(!a.joined());
    entries = entriesOf(db);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].index, 1);
    QVERIFY(QFile::exists(ldb));

    LockRoster c;
    QVERIFY(c.join(db, QStringLiteral("PC-C"), QStringLiteral("Admin")));
    QCOMPARE(c.entryIndex(), 0);

    b.leave();
    c.leave();
    QVERIFY(entriesOf(db).isEmpty());
    QVERIFY(!QFile::exists(ldb)); // the last one out removes it

    // The gate held here in this process excludes joins just as another process's would.
    RosterGate gate;
    QVERIFY(gate.tryLockExclusive(db));
    QVERIFY(QFile::exists(ldb));
    RosterGate second;
    QVERIFY(!second.tryLockExclusive(db));
    LockRoster d;
    QVERIFY_THROWS_EXCEPTION(DaoError, d.join(db, QStringLiteral("PC-D"), QStringLiteral("Admin"), 0));
    QVERIFY(!d.joined());
    gate.unlock();
    QVERIFY(d.join(db, QStringLiteral("PC-D"), QStringLiteral("Admin"), 0));
    QCOMPARE(d.entryIndex(), 0);
    d.leave();

    // A full lock file lists nobody more, but whoever connects still holds the gate, so the
    // file cannot be compacted under them; and the file is open to every user.
    {
        std::vector<std::unique_ptr<LockRoster>> all;
        for (int i = 0; i < 256; ++i) {
            all.push_back(std::make_unique<LockRoster>());
            QVERIFY(all.back()->join(db, QStringLiteral("PC-%1").arg(i), QStringLiteral("Admin")));
        }
        QCOMPARE(QFile::permissions(ldb) & QFileDevice::WriteOther, QFileDevice::WriteOther);
        LockRoster extra;
        QVERIFY(!extra.join(db, QStringLiteral("PC-X"), QStringLiteral("Admin")));
        QVERIFY(extra.joined());
        QCOMPARE(extra.entryIndex(), -1);
        all.clear();
        RosterGate g;
        QVERIFY(!g.tryLockExclusive(db));
        extra.leave();
        QVERIFY(g.tryLockExclusive(db));
    }
}

void TestLockRoster::longNamesCutOnCharacterBoundary_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stored");
    const QString cyrillic20 = QString(20, QChar(0x0416)); // Ж, two bytes each
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80"); // four bytes, a surrogate pair
    QTest::newRow("ascii 40") << QString(40, QLatin1Char('x')) << QString(32, QLatin1Char('x'));
    QTest::newRow("exactly 32 bytes") << QString(16, QChar(0x0416)) << QString(16, QChar(0x0416));
    QTest::newRow("cyrillic 40 bytes") << cyrillic20 << QString(16, QChar(0x0416));
    QTest::newRow("odd start") << QLatin1Char('a') + cyrillic20
                               << QLatin1Char('a') + QString(15, QChar(0x0416));
    QTest::newRow("four-byte characters") << QStringLiteral("abc") + smile.repeated(10)
                                          << QStringLiteral("abc") + smile.repeated(7);
}

void TestLockRoster::longNamesCutOnCharacterBoundary()
{
    QFETCH(QString, name);
    QFETCH(QString, stored);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("base.mdb"));
    makeDatabase(db);

    LockRoster roster;
    QVERIFY(roster.join(db, name, name));
    const QList<LockRoster::Entry> entries = entriesOf(db);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].computer, stored);
    QCOMPARE(entries[0].user, stored);
}

void TestLockRoster::otherProcessAndKilledCopy()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("base.mdb"));
    makeDatabase(db);
    const QString ldb = dir.filePath(QStringLiteral("base.ldb"));

    Holder other;
    QCOMPARE(other.start({db, QStringLiteral("OTHER-PC")}), QStringLiteral("joined 0"));
    LockRoster mine;
    QVERIFY(mine.join(db, QStringLiteral("MINE"), QStringLiteral("Admin")));
    QCOMPARE(mine.entryIndex(), 1);

    TDaoInfo info;
    info.setDatabase(db);
    info.setActive(true);
    QCOMPARE(info.NumberOfUsers(), 2);
    QCOMPARE(info.LoggedNowUsers(), QStringList({"OTHER-PC", "MINE"}));
    QCOMPARE(info.LoggedUsers(), QStringList({"OTHER-PC", "MINE"}));
    QVERIFY(info.ErrorUsers().isEmpty());
    QCOMPARE(info.LastError(), 0);

    mine.leave();
    QCOMPARE(info.NumberOfUsers(), 1);
    QCOMPARE(info.LoggedNowUsers(), QStringList({"OTHER-PC"}));
    RosterGate gate;
    QVERIFY(!gate.tryLockExclusive(db)); // the other process is joined
    QVERIFY(mine.join(db, QStringLiteral("MINE"), QStringLiteral("Admin")));
    QCOMPARE(mine.entryIndex(), 1);

    other.killHard();
    QCOMPARE(info.NumberOfUsers(), 1);
    QCOMPARE(info.LoggedNowUsers(), QStringList({"MINE"}));
    QCOMPARE(info.ErrorUsers(), QStringList({"OTHER-PC"}));
    QCOMPARE(info.LoggedUsers(), QStringList({"OTHER-PC", "MINE"}));

    // The killed copy's entry stays filled, so leaving does not remove the file.
    mine.leave();
    QVERIFY(QFile::exists(ldb));
    QCOMPARE(info.NumberOfUsers(), 0);
    QVERIFY(info.LoggedNowUsers().isEmpty());
    QCOMPARE(info.ErrorUsers(), QStringList({"OTHER-PC"}));
    QCOMPARE(info.LoggedUsers(), QStringList({"OTHER-PC"}));

    QVERIFY(gate.tryLockExclusive(db));
    gate.unlock();

    LockRoster again;
    QVERIFY(again.join(db, QStringLiteral("AGAIN"), QStringLiteral("Admin")));
    QCOMPARE(again.entryIndex(), 0);
    QCOMPARE(info.NumberOfUsers(), 1);
    QCOMPARE(info.LoggedNowUsers(), QStringList({"AGAIN"}));
    QVERIFY(info.ErrorUsers().isEmpty());
    const QList<LockRoster::Entry> entries = entriesOf(db);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].computer, QStringLiteral("AGAIN")); // no tail of the longer old name
}

void TestLockRoster::gateExcludesJoins()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("base.mdb"));
    makeDatabase(db);

    Holder compaction;
    QCOMPARE(compaction.start({QStringLiteral("--gate"), db}), QStringLiteral("gate"));

    LockRoster roster;
    QString message;
    try {
        roster.join(db, QStringLiteral("PC"), QStringLiteral("Admin"), 100);
    } catch (const DaoError &e) {
        message = e.message();
    }
    QVERIFY(!message.isEmpty());
    QVERIFY(!roster.joined());
    RosterGate gate;
    QVERIFY(!gate.tryLockExclusive(db));

    QCOMPARE(compaction.finish(), 0);
    QVERIFY(roster.join(db, QStringLiteral("PC"), QStringLiteral("Admin"), 100));
    QCOMPARE(roster.entryIndex(), 0);
}

// Each leaver that is alone deletes the file while others are opening it: a joiner must never
// end up on a deleted file, where its entry is invisible to everyone else.
void TestLockRoster::joinsRaceTheLastLeaver()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("base.mdb"));
    std::atomic<int> invisible{0};
    std::atomic<int> failed{0};
    auto churn = [&](int thread) {
        for (int i = 0; i < 1000; ++i) {
            const QString name = QStringLiteral("T%1-%2").arg(thread).arg(i);
            LockRoster roster;
            try {
                if (!roster.join(db, name, QStringLiteral("Admin"))) {
                    ++failed;
                    continue;
                }
            } catch (const DaoError &) {
                ++failed;
                continue;
            }
            QList<LockRoster::Entry> entries;
            QString error;
            bool seen = false;
            if (LockRoster::readEntries(db, &entries, &error)) {
                for (const LockRoster::Entry &entry : entries)
                    seen = seen || (entry.index == roster.entryIndex() && entry.computer == name && entry.held);
            }
            if (!seen)
                ++invisible;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(churn, t);
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(failed.load(), 0);
    QCOMPARE(invisible.load(), 0);
}

void TestLockRoster::loggedUsersExReadsRawEntries()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("base.mdb"));
    makeDatabase(db);
    const QByteArray cp1251Computer = "\xCA\xEE\xEC\xEF\xFE\xF2\xFA\xF0"; // Компютър
    const QByteArray cp1251User = "\xC8\xE2\xE0\xED";                      // Иван
    const QByteArray full = field(QByteArray(32, 'A')) + field(QByteArray(32, 'B'));
    writeFile(dir.filePath(QStringLiteral("base.ldb")),
              field("PC1") + field(QByteArray("Admin\0junk", 10))
                  + QByteArray(64, '\0')
                  + field(cp1251Computer) + field(cp1251User)
                  + full
                  + field("\xD0\x9F\xD0\xB5\xD1\x82\xD1\x8A\xD1\x80") + field("Admin") // UTF-8 Петър
                  + QByteArray("TRAILING!!"));

    TDaoInfo info;
    info.setDatabase(db);
    info.setActive(true);
    const QString a32(32, QLatin1Char('A'));
    const QString b32(32, QLatin1Char('B'));
    QCOMPARE(info.LoggedUsersEx(),
             QStringList({"PC1/Admin", "/", "Компютър/Иван", a32 + "/" + b32, "Петър/Admin"}));
    QCOMPARE(info.LoggedUsers(), QStringList({"PC1", "Компютър", a32, "Петър"}));
    QCOMPARE(info.ErrorUsers(), info.LoggedUsers());
    QVERIFY(info.LoggedNowUsers().isEmpty());
    QCOMPARE(info.NumberOfUsers(), 0);

    const QList<LockRoster::Entry> entries = entriesOf(db);
    QCOMPARE(entries.size(), 4);
    QCOMPARE(entries[1].index, 2);
    QCOMPARE(entries[1].user, QStringLiteral("Иван"));
    QCOMPARE(entries[2].user, b32);

    // A joiner takes the first entry nobody holds: the suspect one before the empty one.
    LockRoster roster;
    QVERIFY(roster.join(db, QStringLiteral("NEW"), QStringLiteral("Admin")));
    QCOMPARE(roster.entryIndex(), 0);
    QCOMPARE(info.LoggedNowUsers(), QStringList({"NEW"}));
    QCOMPARE(info.LoggedUsersEx().first(), QStringLiteral("NEW/Admin"));
    roster.leave();

    // Without the database the lock file is not read.
    QVERIFY(QFile::remove(db));
    QVERIFY(info.LoggedUsersEx().isEmpty());
    QVERIFY(info.LoggedUsers().isEmpty());
    QCOMPARE(info.LastError(), int(TDaoInfo::DatabaseNotFound));
    QVERIFY(!info.LastErrorText().isEmpty());
    QCOMPARE(info.NumberOfUsers(), 0);
}

void TestLockRoster::missingFiles()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("base.mdb"));
    makeDatabase(db);

    TDaoInfo info;
    info.setDatabase(db);
    info.setActive(true);
    QCOMPARE(info.NumberOfUsers(), 0);
    QVERIFY(info.LoggedUsers().isEmpty());
    QVERIFY(info.LoggedNowUsers().isEmpty());
    QVERIFY(info.ErrorUsers().isEmpty());
    QVERIFY(info.LoggedUsersEx().isEmpty());
    QCOMPARE(info.LastError(), 0);
    QVERIFY(info.LastErrorText().isEmpty());

    // A lock file that exists but cannot be read is an error, not an empty roster.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("base.ldb")));
    QVERIFY(info.LoggedUsers().isEmpty());
    QCOMPARE(info.LastError(), int(TDaoInfo::LockFileUnreadable));
    QVERIFY(!info.LastErrorText().isEmpty());
    QCOMPARE(info.NumberOfUsers(), 0);
    QVERIFY(info.LoggedUsersEx().isEmpty());
}

void TestLockRoster::databaseVersion_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("error");
    QTest::newRow("database") << "sqlite" << 7 << 0;
    QTest::newRow("text file") << "text" << 0 << int(TDaoInfo::NotADatabase);
    QTest::newRow("short file") << "short" << 0 << int(TDaoInfo::NotADatabase);
    QTest::newRow("missing") << "missing" << 0 << int(TDaoInfo::DatabaseNotFound);
    QTest::newRow("no name") << "none" << 0 << int(TDaoInfo::NoDatabaseName);
}

void TestLockRoster::databaseVersion()
{
    QFETCH(QString, kind);
    QFETCH(int, version);
    QFETCH(int, error);
    QTemporaryDir dir;
    QString db = dir.filePath(QStringLiteral("base.mdb"));
    if (kind == QLatin1String("sqlite"))
        makeDatabase(db, 7);
    else if (kind == QLatin1String("text"))
        writeFile(db, QByteArray(200, 'x'));
    else if (kind == QLatin1String("short"))
        writeFile(db, QByteArray("SQLite format 3\0\x10\0", 19));
    else if (kind == QLatin1String("none"))
        db.clear();

    TDaoInfo info;
    info.setDatabase(db);
    info.setActive(true);
    QCOMPARE(info.DatabaseVersion(), version);
    QCOMPARE(info.LastError(), error);
    QCOMPARE(info.LastErrorText().isEmpty(), error == 0);
}

void TestLockRoster::inactiveKeepsLists()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("base.mdb"));
    makeDatabase(db, 5);
    const QString ldb = dir.filePath(QStringLiteral("base.ldb"));
    writeFile(ldb, QByteArray(64, '\0') + field("PC1") + field("Admin"));
    LockRoster roster;
    QVERIFY(roster.join(db, QStringLiteral("PC2"), QStringLiteral("Admin")));
    QCOMPARE(roster.entryIndex(), 0);

    TDaoInfo info;
    info.setDatabase(db);
    info.setActive(true);
    QCOMPARE(info.DatabaseVersion(), 5);
    QCOMPARE(info.NumberOfUsers(), 1);
    QCOMPARE(info.LoggedUsers(), QStringList({"PC2", "PC1"}));

    info.setActive(false);
    QCOMPARE(info.NumberOfUsers(), 0);
    QCOMPARE(info.DatabaseVersion(), 0);
    roster.leave();
    QVERIFY(QFile::remove(ldb));
    QCOMPARE(info.LoggedUsers(), QStringList({"PC2", "PC1"}));
    QCOMPARE(info.LoggedNowUsers(), QStringList({"PC2"}));
    QCOMPARE(info.ErrorUsers(), QStringList({"PC1"}));
    QCOMPARE(info.LoggedUsersEx(), QStringList({"PC2/Admin", "PC1/Admin"}));

    info.setActive(true);
    QVERIFY(info.LoggedUsers().isEmpty());
    QVERIFY(info.LoggedUsersEx().isEmpty());

    // While active every read looks again.
    writeFile(ldb, field("PC3") + field("Admin"));
    QCOMPARE(info.LoggedUsers(), QStringList({"PC3"}));
    QCOMPARE(info.LoggedUsersEx(), QStringList({"PC3/Admin"}));
}

void TestLockRoster::activationOrderAndProperties()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("base.mdb"));
    makeDatabase(db, 4);
    LockRoster roster;
    QVERIFY(roster.join(db, QStringLiteral("PC1"), QStringLiteral("Admin")));

    TDaoInfo info;
    QCOMPARE(info.DaoInfoDll(), QStringLiteral("msldbusr.dll"));
    QStringList order;
    int usersSeen = -1;
    connect(&info, &TDaoInfo::AfterGetDatabaseVersion, this, [&] { order << "DatabaseVersion"; });
    connect(&info, &TDaoInfo::AfterGetNumberOfUsers, this, [&] {
        order << "NumberOfUsers";
        usersSeen = info.NumberOfUsers();
    });
    connect(&info, &TDaoInfo::AfterGetLoggedUsers, this, [&] { order << "LoggedUsers"; });
    connect(&info, &TDaoInfo::AfterGetLoggedNowUsers, this, [&] { order << "LoggedNowUsers"; });
    connect(&info, &TDaoInfo::AfterGetErrorUsers, this, [&] { order << "ErrorUsers"; });
    connect(&info, &TDaoInfo::AfterGetLoggedUsersEx, this, [&] { order << "LoggedUsersEx"; });

    QVERIFY(info.setProperty("Database", db));
    QVERIFY(info.setProperty("Active", true));
    QCOMPARE(order, QStringList({"DatabaseVersion", "NumberOfUsers", "LoggedUsers",
                                 "LoggedNowUsers", "ErrorUsers", "LoggedUsersEx"}));
    QCOMPARE(usersSeen, 1);

    // Reading does not raise the events; only activation does.
    order.clear();
    QCOMPARE(info.property("NumberOfUsers").toInt(), 1);
    QCOMPARE(info.property("DatabaseVersion").toInt(), 4);
    QCOMPARE(info.property("LoggedNowUsers").toStringList(), QStringList({"PC1"}));
    QCOMPARE(info.property("LoggedUsersEx").toStringList(), QStringList({"PC1/Admin"}));
    QVERIFY(info.property("ErrorUsers").toStringList().isEmpty());
    QCOMPARE(info.property("LastError").toInt(), 0);
    QVERIFY(order.isEmpty());

    QVERIFY(info.setProperty("Active", false));
    QCOMPARE(info.property("NumberOfUsers").toInt(), 0);
    QVERIFY(order.isEmpty());
}

// The SQLite engine behind DbEngine: its connection is listed from announce() until close(),
// and compaction (or anyone holding the file alone) is kept out meanwhile.
void TestLockRoster::engineKeepsTheRoster()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("base.mdb"));
    SqliteEngine().createDatabase(db);
    SqliteEngine engine;
    engine.open(db);
    QCOMPARE(engine.rosterEntry(), -1);
    engine.announce(QStringLiteral("КАСА-1"), QStringLiteral("Иван"));
    QCOMPARE(engine.rosterEntry(), 0);
    // A copy killed while connected, listed after an empty entry.
    QFile ldb(LockRoster::lockFilePath(db));
    QVERIFY(ldb.open(QIODevice::Append));
    ldb.write(QByteArray(64, '\0') + field("PC9") + field("Admin"));
    ldb.close();

    const std::optional<QList<DbEngine::Connected>> listed = SqliteEngine().connectedTo(db);
    QVERIFY(listed && listed->size() == 2);
    QCOMPARE(listed->at(0).user, QStringLiteral("Иван"));
    QVERIFY(!listed->at(0).suspect);
    QCOMPARE(listed->at(1).computer, QStringLiteral("PC9"));
    QVERIFY(listed->at(1).suspect);
    QStringList places;
    for (const DbEngine::Connected &c : SqliteEngine().rosterPlaces(db))
        places << c.computer + QLatin1Char('/') + c.user;
    QCOMPARE(places, QStringList({"КАСА-1/Иван", "/", "PC9/Admin"}));

    QVERIFY(!SqliteEngine().holdAlone(db));
    const QByteArray before = [&] { QFile f(db); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    QVERIFY_THROWS_EXCEPTION(DaoError, SqliteEngine().compact(db));
    QFile f(db);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);

    engine.close();
    QCOMPARE(engine.rosterEntry(), -1);
    QCOMPARE(SqliteEngine().connectedTo(db)->size(), 1); // only the killed copy's entry
    {
        const std::unique_ptr<DbEngine::Hold> alone = SqliteEngine().holdAlone(db);
        QVERIFY(alone);
        QVERIFY(!SqliteEngine().holdAlone(db));
    }
    SqliteEngine().compact(db);
    engine.open(db); // an inventory still
}

QTEST_GUILESS_MAIN(TestLockRoster)
#include "tst_lockroster.moc"
