// Power cuts: the data layer posts, appends, writes in bulk, compacts and makes the archive copy
// while a test VFS keeps what the disk would hold (tests/support/PowerLossVfs.h); the power is cut
// at a random write, sync, deletion or rename, the connection dropped without another write, and
// the folder laid out as the disk may hold it. After each cut the file opens as the program opens
// it and passes integrity_check, every post that returned outside bulk mode and every bulk row
// reported committed is there, an archive copy in place is whole and holds what it held when it
// was reported made, and a compaction or copy that completed left no temporary file. The random
// run lasts VELOSTOK_POWERLOSS_MS (default 5000); VELOSTOK_POWERLOSS_SEED repeats one
// (tools/powerloss.sh).
#include "base/DaoError.h"
#include "PowerLossVfs.h"
#include "Reliability.h"
#include "TestDb.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLoggingCategory>
#include <QTest>

namespace {

const QString Backup = QStringLiteral("Backup1.mdb");

enum class Act { Post, Append, BulkEdit, BulkAppend, Compact, Copy };

// What the disk must hold of a row after a cut: the values it may have ("*": any), the last one
// promised among them.
struct Expected
{
    bool required = true; // promised to be there
    QStringList comment, name, number;
};

bool fits(const QStringList &may, const QString &value)
{
    return may.contains(value) || may.contains(QStringLiteral("*"));
}

// An inventory worked on through the power-loss VFS, and what its posts promised.
struct Shop
{
    TestDb db;
    QString folder;
    QRandomGenerator random;
    std::unique_ptr<TDaoDatabase> conn;
    std::unique_ptr<TDaoTable> table;
    QHash<qint64, Expected> rows;
    QSet<QString> tried; // appended rows whose post did not return before the cut
    bool backupPromised = false;
    QSet<qint64> backupHolds; // rows the archive copy held when it was reported made
    QSet<QString> clean; // prefixes of temporary files none of which may be left
    int seq = 0;
    qint64 promised = 0;
    Act current = Act::Post; // the action last begun

    Shop(quint32 seed, int count) : random(seed)
    {
        db.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < %1) "
                               "INSERT INTO main (user_id, unit_name, comment) SELECT i, 'ред ' || i, 'начало' FROM k").arg(count));
        folder = QFileInfo(db.path).absolutePath();
        powerloss::install();
        powerloss::watch(folder);
        baseline();
    }
    ~Shop()
    {
        drop();
        powerloss::watch(QString());
    }

    // Every row as the disk holds it now is what a later cut must keep.
    void baseline()
    {
        rows.clear();
        tried.clear();
        SqliteConnection c;
        c.open(db.path, false, true);
        SqliteStatement st = c.prepare(QStringLiteral(
            "SELECT id, COALESCE(comment, ''), COALESCE(unit_name, ''), COALESCE(unit_number, '') FROM main"));
        while (st.step())
            rows.insert(st.columnInt64(0), {true, {st.column(1).toString()}, {st.column(2).toString()}, {st.column(3).toString()}});
    }

    void connect()
    {
        conn = std::make_unique<TDaoDatabase>();
        conn->setDatabase(db.path);
        conn->SmartOpen = false;
        // Batches committed at every bulk post now and then, or every few milliseconds.
        conn->setLockTimes(1000, 50, random.bounded(3) == 0 ? 0 : 2 + int(random.bounded(20)));
        conn->Open();
        table = TestDb::table(conn.get(), QStringLiteral("main"));
        table->Open();
    }

    // The program is gone: nothing it still does reaches the disk once the power is cut.
    void drop()
    {
        table.reset();
        conn.reset();
    }

    QString token() { return QStringLiteral("т%1").arg(++seq); }

    // Rows posted in bulk are promised once their batch is known to be committed: a new batch
    // began without an error, or bulk mode ended.
    void settle(QList<qint64> &posted, const std::function<void(Expected &)> &promise)
    {
        if (!powerloss::isCut()) {
            for (const qint64 id : std::as_const(posted))
                promise(rows[id]);
            promised += posted.size();
        }
        posted.clear();
    }

    // One action; the message of an error that came without a cut.
    QString act(Act a)
    {
        current = a;
        try {
            run(a);
        } catch (const DaoError &e) {
            if (!powerloss::isCut())
                return e.message();
        }
        return QString();
    }

    void run(Act a)
    {
        TDaoTable *t = table.get();
        const auto field = [t](const char *name) { return t->FieldByName(QString::fromLatin1(name)); };
        switch (a) {
        case Act::Post: {
            t->setRecNo(int(random.bounded(t->RecordCount())));
            const qint64 id = field("id")->AsInteger();
            const QString v = token();
            rows[id].comment << v;
            t->Edit();
            field("comment")->setAsString(v);
            t->Post();
            if (!powerloss::isCut()) {
                rows[id].comment = {v};
                ++promised;
            }
            break;
        }
        case Act::Append: {
            const QString v = token();
            tried << v;
            t->Append();
            field("user_id")->setAsInteger(t->RecordCount() + 1);
            field("unit_number")->setAsString(v);
            field("unit_name")->setAsString(QStringLiteral("нов ") + v);
            t->Post();
            if (!powerloss::isCut()) {
                rows.insert(field("id")->AsInteger(), {true, {QString()}, {QStringLiteral("нов ") + v}, {v}});
                tried.remove(v);
                ++promised;
            }
            break;
        }
        case Act::BulkEdit: {
            // A paste over rows from a random one on.
            const QString v = token();
            t->setBulkMode(true);
            QList<qint64> posted;
            quint64 batch = conn->batchSerial();
            const auto promise = [v](Expected &e) { e.name = {v}; };
            t->setRecNo(int(random.bounded(t->RecordCount())));
            for (int i = 0; i < 60 && !t->Eof(); ++i, t->Next()) {
                const qint64 id = field("id")->AsInteger();
                rows[id].name << v;
                t->Edit();
                field("unit_name")->setAsString(v);
                t->Post();
                if (conn->batchSerial() != std::exchange(batch, conn->batchSerial()))
                    settle(posted, promise);
                posted << id;
            }
            t->setBulkMode(false);
            settle(posted, promise);
            break;
        }
        case Act::BulkAppend: {
            // A paste of new rows.
            t->setBulkMode(true);
            QList<qint64> posted;
            quint64 batch = conn->batchSerial();
            const auto promise = [this](Expected &e) {
                e.required = true;
                tried.remove(e.number.value(0));
            };
            for (int i = int(random.bounded(8)); i >= 0; --i) {
                const QString v = token();
                tried << v;
                t->Append();
                field("user_id")->setAsInteger(t->RecordCount() + 1);
                field("unit_number")->setAsString(v);
                field("unit_name")->setAsString(QStringLiteral("вмъкнат ") + v);
                t->Post();
                if (conn->batchSerial() != std::exchange(batch, conn->batchSerial()))
                    settle(posted, promise);
                rows.insert(field("id")->AsInteger(), {false, {QString()}, {QStringLiteral("вмъкнат ") + v}, {v}});
                posted << field("id")->AsInteger();
            }
            t->setBulkMode(false);
            settle(posted, promise);
            break;
        }
        case Act::Compact:
            clean.remove(QStringLiteral("mdb"));
            t->Close();
            conn->Close();
            conn->CompactDatabaseFile(db.path, QString());
            if (!powerloss::isCut())
                clean.insert(QStringLiteral("mdb"));
            conn->Open();
            t->Open();
            break;
        case Act::Copy: {
            clean.remove(Backup + QLatin1Char('.'));
            QSet<qint64> holds;
            for (auto it = rows.cbegin(); it != rows.cend(); ++it)
                if (it->required)
                    holds.insert(it.key());
            conn->CopyOpenDatabase(QDir(folder).filePath(Backup));
            if (!powerloss::isCut()) {
                backupPromised = true;
                backupHolds = holds;
                clean.insert(Backup + QLatin1Char('.'));
            }
            break;
        }
        }
    }

    // Cuts the power (now, unless it is out already), drops the program and reboots.
    void cut(powerloss::Keep keep)
    {
        powerloss::cutNow();
        drop();
        powerloss::reboot(random, keep);
    }

    // Checks the disk after a reboot; adds what was promised and is missing to lost, then takes
    // what the disk holds as the next baseline.
    void verify(int &lost)
    {
        try {
            // As the program opens it: a journal the cut left is played back here.
            auto c = db.connect();
            auto t = TestDb::table(c.get(), QStringLiteral("main"));
            t->Open();
            QVERIFY(t->RecordCount() > 0);
        } catch (const DaoError &e) {
            QFAIL(qPrintable(QStringLiteral("the file does not open: ") + e.message()));
        }
        QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        QHash<qint64, QStringList> now;
        {
            SqliteConnection c;
            c.open(db.path, false, true);
            SqliteStatement st = c.prepare(QStringLiteral(
                "SELECT id, COALESCE(comment, ''), COALESCE(unit_name, ''), COALESCE(unit_number, '') FROM main"));
            while (st.step())
                now.insert(st.columnInt64(0), {st.column(1).toString(), st.column(2).toString(), st.column(3).toString()});
        }
        for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
            const QStringList v = now.value(it.key());
            if (v.isEmpty()) {
                if (it->required) {
                    qWarning() << "row" << it.key() << "is gone";
                    ++lost;
                }
            } else if (!fits(it->comment, v[0]) || !fits(it->name, v[1]) || !fits(it->number, v[2])) {
                qWarning() << "row" << it.key() << "holds" << v << "expected" << it->comment << it->name << it->number;
                ++lost;
            }
        }
        // Nothing else: a row of an append that did not return is there once or not at all.
        QSet<QString> numbers;
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            const QString &number = it.value().at(2);
            QVERIFY2(rows.contains(it.key()) || tried.contains(number), qPrintable(QStringLiteral("row %1 came from nowhere").arg(it.key())));
            QVERIFY2(number.isEmpty() || !numbers.contains(number), qPrintable(number + QStringLiteral(" is there twice")));
            numbers.insert(number);
        }

        const QString backup = QDir(folder).filePath(Backup);
        if (QFileInfo::exists(backup)) {
            try {
                TDaoDatabase b;
                b.setDatabase(backup);
                b.SmartOpen = false;
                b.Open();
            } catch (const DaoError &e) {
                QFAIL(qPrintable(QStringLiteral("the archive copy does not open: ") + e.message()));
            }
            SqliteConnection c;
            c.open(backup, false, true);
            QCOMPARE(c.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
            for (const qint64 id : std::as_const(backupHolds)) {
                if (c.scalar(QStringLiteral("SELECT COUNT(*) FROM main WHERE id = %1").arg(id)).toInt() != 1) {
                    qWarning() << "the archive copy lacks row" << id;
                    ++lost;
                }
            }
        } else if (backupPromised) {
            qWarning("the archive copy reported made is gone");
            ++lost;
        }
        for (const QString &prefix : std::as_const(clean))
            QCOMPARE(QDir(folder).entryList({prefix + QStringLiteral("*") + FileReplacement::Suffix}), QStringList());
        baseline();
    }
};

} // namespace

Q_DECLARE_METATYPE(Act)
Q_DECLARE_METATYPE(powerloss::Keep)

class TestPowerLoss : public QObject
{
    Q_OBJECT

    enum Outcome { Old, New, Gone };

private slots:
    void initTestCase()
    {
        // Every dropped connection says that its last write failed.
        QLoggingCategory::setFilterRules(QStringLiteral("velostok.db.warning=false"));
    }

    void diskModel_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<powerloss::Keep>("keep");
        QTest::addColumn<int>("outcome");
        // Steps: 1 write "new" over "old", 2 sync it, 4 delete the file, 8 with SQLite's syncDir,
        // 16 the write into a new file renamed over it, 32 the folder flushed after.
        using K = powerloss::Keep;
        QTest::newRow("unsynced write lost") << 1 << K::Nothing << int(Old);
        QTest::newRow("unsynced write kept") << 1 << K::Everything << int(New);
        QTest::newRow("synced write lasts") << (1 | 2) << K::Nothing << int(New);
        QTest::newRow("deletion undone") << 4 << K::Nothing << int(Old);
        QTest::newRow("deletion kept") << 4 << K::Everything << int(Gone);
        QTest::newRow("deletion with syncDir lasts") << (4 | 8) << K::Nothing << int(Gone);
        QTest::newRow("rename lost") << 16 << K::Nothing << int(Old);
        QTest::newRow("rename kept") << 16 << K::Everything << int(New);
        QTest::newRow("rename and flush last") << (16 | 32) << K::Nothing << int(New);
    }

    // The model itself: what lasts a cut is what was synced, and what the folder's flush covered.
    void diskModel()
    {
        QFETCH(int, steps);
        QFETCH(powerloss::Keep, keep);
        QFETCH(int, outcome);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
        }
        powerloss::install();
        powerloss::watch(dir.path());
        sqlite3_vfs *vfs = sqlite3_vfs_find(nullptr);
        QByteArray name = QFile::encodeName(QFileInfo(path).absoluteFilePath()) + QByteArray(4, '\0');
        if (steps & 3) {
            std::vector<char> buffer(size_t(vfs->szOsFile));
            auto *f = reinterpret_cast<sqlite3_file *>(buffer.data());
            QCOMPARE(vfs->xOpen(vfs, name.constData(), f, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MAIN_DB, nullptr), SQLITE_OK);
            QCOMPARE(f->pMethods->xWrite(f, "new", 3, 0), SQLITE_OK);
            if (steps & 2)
                QCOMPARE(f->pMethods->xSync(f, SQLITE_SYNC_NORMAL), SQLITE_OK);
            f->pMethods->xClose(f);
        }
        if (steps & 4)
            QCOMPARE(vfs->xDelete(vfs, name.constData(), (steps & 8) ? 1 : 0), SQLITE_OK);
        if (steps & 16) {
            FileReplacement r(path);
            QFile f(r.temporaryPath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("new");
            f.close();
            if (steps & 32) {
                r.commit();
            } else {
                QVERIFY(FileReplacement::syncStep()(QFile::encodeName(r.temporaryPath()), false));
                QCOMPARE(FileReplacement::renameStep()(QFile::encodeName(r.temporaryPath()), QFile::encodeName(path)), 0);
            }
        }
        QRandomGenerator random(1);
        powerloss::reboot(random, keep);
        powerloss::watch(QString());
        QFile f(path);
        if (outcome == Gone) {
            QVERIFY(!f.exists());
        } else {
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray(outcome == Old ? "old" : "new"));
        }
    }

    void cutAfterReturn_data()
    {
        QTest::addColumn<Act>("act");
        QTest::addColumn<powerloss::Keep>("keep");
        const QList<QPair<const char *, Act>> acts = {{"post", Act::Post}, {"append", Act::Append}, {"bulk edit", Act::BulkEdit},
                                                      {"bulk append", Act::BulkAppend}, {"compaction", Act::Compact}, {"archive copy", Act::Copy}};
        for (const auto &[name, act] : acts) {
            QTest::addRow("%s, nothing unsynced kept", name) << act << powerloss::Keep::Nothing;
            QTest::addRow("%s, some kept", name) << act << powerloss::Keep::Some;
            QTest::addRow("%s, everything kept", name) << act << powerloss::Keep::Everything;
        }
    }

    // The power fails right after an operation returned: what it reported done lasts.
    void cutAfterReturn()
    {
        QFETCH(Act, act);
        QFETCH(powerloss::Keep, keep);
        Shop shop(7, 20);
        shop.connect();
        QCOMPARE(shop.act(act), QString());
        QVERIFY(shop.promised > 0 || act == Act::Compact || act == Act::Copy);
        shop.cut(keep);
        int lost = 0;
        shop.verify(lost);
        QCOMPARE(lost, 0);
    }

    // Round after round, the power is cut at a random operation of random work.
    void randomCuts()
    {
        const int ms = qEnvironmentVariableIsSet("VELOSTOK_POWERLOSS_MS") ? qEnvironmentVariableIntValue("VELOSTOK_POWERLOSS_MS") : 5000;
        const quint32 seed = qEnvironmentVariableIsSet("VELOSTOK_POWERLOSS_SEED") ? qgetenv("VELOSTOK_POWERLOSS_SEED").toUInt()
                                                                                   : QRandomGenerator::global()->generate();
        qInfo("power loss: %d ms, seed %u", ms, seed);
        Shop shop(seed, 200);
        QRandomGenerator &random = shop.random;
        int cuts = 0;
        int idle = 0; // cuts after the round's work had ended
        int lost = 0;
        int estimate = 200; // operations of a round's work, roughly
        QMap<int, int> during; // cuts in the middle of each kind of action
        int journals = 0; // left by the cut and played back at the next opening
        const QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            ++cuts;
            powerloss::arm(1 + int(random.bounded(estimate)));
            shop.connect();
            for (int i = int(random.bounded(10)); i >= 0 && !powerloss::isCut(); --i) {
                const int r = int(random.bounded(100));
                const bool grow = shop.table->RecordCount() < 1500;
                const Act a = r < 35 ? Act::Post
                    : r < 55      ? (grow ? Act::Append : Act::Post)
                    : r < 70      ? Act::BulkEdit
                    : r < 80      ? (grow ? Act::BulkAppend : Act::BulkEdit)
                    : r < 90      ? Act::Copy
                                  : Act::Compact;
                const QString error = shop.act(a);
                QVERIFY2(error.isEmpty(), qPrintable(QStringLiteral("round %1, seed %2: an error without a cut: %3").arg(cuts).arg(seed).arg(error)));
            }
            if (powerloss::isCut()) {
                ++during[int(shop.current)];
                estimate = std::max(40, estimate * 19 / 20);
            } else {
                ++idle;
                estimate = std::max(estimate, powerloss::operations() * 5 / 4);
            }
            const int k = int(random.bounded(10));
            shop.cut(k < 6 ? powerloss::Keep::Some : k < 8 ? powerloss::Keep::Nothing : powerloss::Keep::Everything);
            journals += QFileInfo(shop.db.path + QStringLiteral("-journal")).size() > 0 ? 1 : 0;
            shop.verify(lost);
            if (QTest::currentTestFailed() || lost > 0) {
                qWarning("power loss: round %d of seed %u", cuts, seed);
                break;
            }
        }
        qInfo("power loss: %d cuts (%d after the work had ended; during posts %d, appends %d, bulk edits %d, bulk appends %d, "
              "compactions %d, archive copies %d; %d journals played back), %lld posts and bulk rows promised, %d lost",
              cuts, idle, during[int(Act::Post)], during[int(Act::Append)], during[int(Act::BulkEdit)], during[int(Act::BulkAppend)],
              during[int(Act::Compact)], during[int(Act::Copy)], journals, shop.promised, lost);
        reliabilityCount("cuts", cuts);
        reliabilityCount("promised", shop.promised);
        reliabilityCount("lost", lost);
        QCOMPARE(lost, 0);
    }
};

QTEST_GUILESS_MAIN(TestPowerLoss)
#include "tst_powerloss.moc"
