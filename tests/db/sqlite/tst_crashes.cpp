// Crashes: a driver process posting, appending, writing in bulk and compacting is killed with
// SIGKILL at random moments, round after round on one file. After each kill the file passes
// integrity_check and opens again, every post that had returned outside bulk mode is there (or
// the one in flight when it died), the killed copy is listed as suspect and not as connected,
// and the next compaction removes what an interrupted one left. VELOSTOK_KILLS sets the number
// of kills (default 30), VELOSTOK_CRASH_SEED the random seed (tools/crashes.sh).
#include "base/DaoError.h"
#include "Reliability.h"
#include "files/TDaoInfo.h"
#include "TestDb.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSysInfo>

class TestCrashes : public QObject
{
    Q_OBJECT

    // What the posts that returned promise: per row id, the comments it may hold (the last
    // returned one, and one in flight when the driver died); the appended rows' tokens.
    struct Promises
    {
        QHash<int, QStringList> comments;
        QSet<QString> appended;
        QSet<QString> appendsInFlight;
    };

    // Reads the driver's log; returns its last "state" line ("connected", "compacting", "bulk", …).
    static QString learn(const QByteArray &log, Promises &p)
    {
        QString state;
        QString inFlightAppend;
        for (const QByteArray &raw : log.split('\n')) {
            const QStringList w = QString::fromUtf8(raw).split(QLatin1Char(' '));
            if (w.size() == 4 && w.at(1) == QLatin1String("C")) {
                const int id = w.at(2).toInt();
                if (w.at(0) == QLatin1String("try")) {
                    // May or may not have reached the file; a row not seen before may still
                    // hold what it held ("*": anything).
                    QStringList &may = p.comments[id];
                    if (may.isEmpty())
                        may << QStringLiteral("*");
                    may << w.at(3);
                }
                else
                    p.comments[id] = {w.at(3)}; // returned: stored
            } else if (w.size() == 3 && w.at(1) == QLatin1String("A")) {
                if (w.at(0) == QLatin1String("try")) {
                    inFlightAppend = w.at(2);
                } else {
                    p.appended.insert(w.at(2));
                    inFlightAppend.clear();
                }
            } else if (w.size() == 1 && !w.at(0).isEmpty()) {
                state = w.at(0);
            } else if (!w.isEmpty() && w.at(0) == QLatin1String("error")) {
                qWarning("driver: %s", raw.constData());
                state = QStringLiteral("error");
            }
        }
        if (!inFlightAppend.isEmpty())
            p.appendsInFlight.insert(inFlightAppend);
        return state;
    }

    // Rows or changes promised and missing.
    static int missing(TestDb &db, Promises &p)
    {
        SqliteConnection c;
        c.open(db.path);
        int lost = 0;
        for (auto it = p.comments.begin(); it != p.comments.end(); ++it) {
            const QString now = c.scalar(QStringLiteral("SELECT comment FROM main WHERE id = %1").arg(it.key())).toString();
            // The value now held: the last returned post's, or the one that was in flight.
            if (!it.value().contains(now) && !it.value().contains(QStringLiteral("*"))) {
                qWarning() << "row" << it.key() << "holds" << now << "expected one of" << it.value();
                ++lost;
            } else {
                it.value() = {now};
            }
        }
        for (const QString &token : std::as_const(p.appended)) {
            if (c.scalar(QStringLiteral("SELECT COUNT(*) FROM main WHERE unit_number = '%1'").arg(token)).toInt() != 1) {
                qWarning() << "appended row" << token << "missing";
                ++lost;
            }
        }
        // The history holds every change there is and none that is not: the newest comment a row's
        // history names is the one it holds, and the history's triggers (set aside while a bulk
        // operation records itself) are all there.
        for (auto it = p.comments.begin(); it != p.comments.end(); ++it) {
            const QString now = it.value().constFirst();
            const QString newest = c.scalar(QStringLiteral("SELECT json_extract(fields, '$.comment[1]') FROM history WHERE row_id = %1 "
                                                           "AND json_extract(fields, '$.comment') IS NOT NULL ORDER BY id DESC LIMIT 1")
                                                .arg(it.key()))
                                       .toString();
            if (newest != now) {
                qWarning() << "row" << it.key() << "holds" << now << "but its history says" << newest;
                ++lost;
            }
        }
        if (c.scalar(QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE type = 'trigger' AND name LIKE 'history%'")).toInt() != 3) {
            qWarning() << "history triggers missing";
            ++lost;
        }
        // An append in flight is there once or not at all.
        for (const QString &token : std::as_const(p.appendsInFlight))
            if (c.scalar(QStringLiteral("SELECT COUNT(*) FROM main WHERE unit_number = '%1'").arg(token)).toInt() > 1)
                ++lost;
        return lost;
    }

private slots:
    void killedAtRandomMoments()
    {
        const int kills = qEnvironmentVariableIsSet("VELOSTOK_KILLS") ? qEnvironmentVariableIntValue("VELOSTOK_KILLS") : 30;
        const quint32 seed = qEnvironmentVariableIsSet("VELOSTOK_CRASH_SEED") ? quint32(qEnvironmentVariableIntValue("VELOSTOK_CRASH_SEED"))
                                                                               : QRandomGenerator::global()->generate();
        qInfo("crashes: %d kills, seed %u", kills, seed);
        QRandomGenerator random(seed);
        TestDb db;
        db.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 200) "
                               "INSERT INTO main (user_id, unit_name, comment) SELECT i, 'ред ' || i, 'начало' FROM k"));
        const QString folder = QFileInfo(db.path).absolutePath();
        Promises promises;
        for (int id = 1; id <= 200; ++id)
            promises.comments[id] = {QStringLiteral("начало")};
        int lost = 0;
        int whileConnected = 0;
        int journals = 0; // left by a write the kill interrupted
        for (int round = 1; round <= kills; ++round) {
            QProcess driver;
            driver.start(QStringLiteral(CRASHDRIVER_PATH), {db.path, QString::number(round), QString::number(random.generate())});
            QVERIFY(driver.waitForStarted(10000));
            QVERIFY(driver.waitForReadyRead(10000)); // connected
            QTest::qWait(20 + int(random.bounded(400)));
            driver.kill();
            QVERIFY(driver.waitForFinished(10000));
            const QByteArray log = driver.readAllStandardOutput();
            const QString state = learn(log, promises);
            if (qEnvironmentVariableIsSet("VELOSTOK_CRASH_LOG"))
                qInfo("round %d:\n%s", round, log.constData());
            QVERIFY2(state != QLatin1String("error"), "the driver met an error");

            // The killed copy: not connected; suspect when it died connected.
            TDaoInfo info;
            info.setDatabase(db.path);
            info.setActive(true);
            QCOMPARE(info.NumberOfUsers(), 0);
            QCOMPARE(info.LoggedNowUsers(), QStringList());
            if (state == QLatin1String("connected") || state == QLatin1String("bulk") || state == QLatin1String("bulked")) {
                QVERIFY2(info.ErrorUsers().contains(QSysInfo::machineHostName()), qPrintable(state));
                ++whileConnected;
            }

            // It opens again as the program opens it, which plays back the journal of a write
            // the kill interrupted; every few rounds it is compacted, which removes what an
            // interrupted compaction left.
            if (QFileInfo(db.path + QStringLiteral("-journal")).size() > 0)
                ++journals;
            {
                auto conn = db.connect();
                auto t = TestDb::table(conn.get(), QStringLiteral("main"));
                t->Open();
                QVERIFY(t->RecordCount() >= 200);
            }
            // The file whole, every promise kept.
            QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
            const int gone = missing(db, promises);
            lost += gone;
            QCOMPARE(gone, 0);

            if (round % 5 == 0 || round == kills) {
                TDaoDatabase compactor;
                compactor.CompactDatabaseFile(db.path, QString());
                QCOMPARE(QDir(folder).entryList({QStringLiteral("mdb*")}), QStringList());
                QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
                QCOMPARE(missing(db, promises), 0);
            }
        }
        qInfo("crashes: %d kills (%d while connected, %d journals played back), %lld rows promised by appends, %lld rows by posts",
              kills, whileConnected, journals,
              qint64(promises.appended.size()), qint64(promises.comments.size()));
        QVERIFY(!promises.appended.isEmpty());
        reliabilityCount("kills", kills);
        reliabilityCount("lost", lost);
    }
};

QTEST_GUILESS_MAIN(TestCrashes)
#include "tst_crashes.moc"
